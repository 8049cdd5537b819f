// Test helper: throwaway folders and whole-file reads and writes, so that a test says
// what a file holds rather than how to open it. Every reader throws, naming the file,
// when the file cannot be read: a missing file never reads as an empty one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <sndfile.h>

namespace quarrow::support {

// A fresh empty folder under the system's temporary folder, removed with all it holds
// when the guard goes out of scope.
class ScratchDir {
public:
    explicit ScratchDir(const std::string& prefix = "quarrow-test");
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
private:
    std::string path_;
};

std::string ReadFile(const std::string& path);
// Replaces the whole file with bytes.
void WriteFile(const std::string& path, const std::string& bytes);
// The interleaved 16-bit samples of a sound file; info, when given, gets its format.
std::vector<int16_t> ReadShorts(const std::string& path, SF_INFO* info = nullptr);

}  // namespace quarrow::support
