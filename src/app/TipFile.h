// CTipFile: the tips of the Tip of the Day, read one line at a time from the tips file.
// Lines starting with a blank, a tab, a line feed or ";" are notes, not tips; at the end
// of the file reading starts again from the top.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace quarrow {

class CTipFile {
public:
    static constexpr const char* kNoFile = "Tips file does not exist in the prescribed directory";  // string 107
    static constexpr const char* kTrouble = "Trouble reading the tips file";                        // string 108
    // A tip line is read into a buffer of this many bytes; the rest of a longer line is dropped.
    static constexpr std::size_t kLineBytes = 1000;

    explicit CTipFile(const std::string& path);
    ~CTipFile();
    CTipFile(const CTipFile&) = delete;
    CTipFile& operator=(const CTipFile&) = delete;

    bool IsOpen() const { return file_ != nullptr; }

    // The next tip without its line end. kNoFile when the file could not be opened;
    // kTrouble when rewinding fails or a whole pass over the file finds no tip.
    std::string Next();

private:
    // One line cut to kLineBytes - 1 bytes; false at the end of the file.
    bool ReadLine(std::string& line);

    std::FILE* file_ = nullptr;
};

// MISC/Tip of homeFolder/Quarrow.ini, which only the tips dialog reads and writes
// (default 1: show a tip at start-up).
int32_t LoadTipSetting(const std::string& homeFolder);
// Writes MISC/Tip as "%d", keeping the rest of the file; false, with the reason, when
// the file exists but cannot be read or the new file cannot be written.
bool SaveTipSetting(const std::string& homeFolder, int32_t value, std::string* error = nullptr);

}  // namespace quarrow
