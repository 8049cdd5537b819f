// DriveOffsets: where a drive's read offset comes from. The user's own setting per drive
// (DriveOffsets.ini in the home folder, one section per vendor and model) wins over the
// shipped list of known drives (drive-offsets.txt), which wins over 0.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quarrow {

class CdDrive;
class CEventLog;

// Offsets beyond this many stereo samples either way are refused as settings.
constexpr int32_t kMaxReadOffset = 10000;

// One line of the known-drive list: "VENDOR - MODEL<TAB>+N<TAB>SUBMISSIONS<TAB>AGREE%".
struct KnownDriveOffset {
    std::string vendor;          // as the list spells it; may be empty
    std::string model;
    int32_t offset = 0;
    int submissions = 0;
    int agreePercent = 0;
};

// The list of known drive offsets. Vendor and model are matched without regard to case
// or runs of blanks (drives pad their identification); where the list holds a drive more
// than once the entry with the most submissions counts. Entries marked "[Purged]" are
// left out.
class CKnownDriveOffsets {
public:
    // Lines that are empty or start with '#' are comments; a line that is not an entry
    // is skipped and counted.
    void Parse(const std::string& text);
    // false with a message naming the file when it cannot be read.
    bool Load(const std::string& path, std::string* error);
    const KnownDriveOffset* Find(const std::string& vendor, const std::string& model) const;
    std::size_t Size() const { return entries_.size(); }
    int SkippedLines() const { return skipped_; }

private:
    std::vector<KnownDriveOffset> entries_;   // sorted by key
    std::vector<std::string> keys_;
    int skipped_ = 0;
};

enum class OffsetSource { User, KnownDrive, Default };

struct EffectiveOffset {
    int32_t samples = 0;
    OffsetSource source = OffsetSource::Default;
    std::string sourceText;      // "your setting", "known drive list (N submissions, A% agree)", "default"
};

// "+6", "0", "-582": an offset as the list and the settings write it.
std::string FormatOffset(int32_t samples);
// Parses "+6", "6" or "-582" within kMaxReadOffset; nullopt otherwise.
std::optional<int32_t> ParseOffset(const std::string& text);

// The per-drive settings and the known list of one home folder.
class CDriveOffsets {
public:
    explicit CDriveOffsets(std::string home);

    std::string SettingsPath() const;          // home/DriveOffsets.ini
    // The user's setting for a drive; nullopt when there is none. A damaged value is
    // ignored with its message in error.
    std::optional<int32_t> UserOffset(const std::string& vendor, const std::string& model,
                                      std::string* error = nullptr) const;
    // Stores (or, with nullopt, removes) the user's offset of a drive; false with a
    // message naming the file when it cannot be written. A settings file that cannot be
    // read is never written over.
    bool SetUserOffset(const std::string& vendor, const std::string& model, std::optional<int32_t> samples,
                       std::string* error);
    // The known list, loaded on first use through FindDataFile; null when it is missing.
    const CKnownDriveOffsets* Known(std::string* error = nullptr);

    EffectiveOffset Effective(const std::string& vendor, const std::string& model, std::string* error = nullptr);
    EffectiveOffset Effective(const CdDrive& drive, std::string* error = nullptr);
    // Sets the drive's offset to the effective one and routes its status lines into log;
    // logs the offset when it is not 0 and any problem with the settings or the list.
    EffectiveOffset Apply(CdDrive& drive, CEventLog& log);

private:
    std::string home_;
    bool knownLoaded_ = false;
    std::optional<CKnownDriveOffsets> known_;
    std::string knownError_;
};

// The section name of a drive in DriveOffsets.ini: "VENDOR - MODEL" with blanks collapsed
// and brackets and control characters made '_'.
std::string DriveOffsetKey(const std::string& vendor, const std::string& model);

}  // namespace quarrow
