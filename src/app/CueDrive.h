// CueDrive: a cue sheet opened as a drive. The disc is the one CueDisc assembles from
// the files the sheet names; the drive identifies itself as an image ("Image", the
// image's file name, "BIN/CUE"), has no tray and never changes its medium.
#pragma once

#include <memory>
#include <string>

#include "app/CdDrive.h"
#include "app/CueDisc.h"

namespace quarrow {

class CueDrive : public CdDrive {
public:
    // Opens the sheet cuePath; path is the name the drive goes by (the sheet itself or
    // the BIN file the user gave). Null with a message naming path and the fault.
    static std::unique_ptr<CueDrive> Open(const std::string& path, const std::string& cuePath,
                                          std::string* error);

    std::string IdentA() const override { return "Image"; }
    std::string IdentB() const override;
    std::string IdentC() const override { return "BIN/CUE"; }
    std::string DriveName() const override { return path_; }

protected:
    CdDiscLayout ReadLayout() override;
    bool ReadRawSectors(int32_t lba, int count, uint8_t* out) override;

private:
    CueDrive() = default;
    std::string path_;
    std::unique_ptr<CueDisc> disc_;
};

}  // namespace quarrow
