#include "app/DataFiles.h"

#include <filesystem>
#include <system_error>

namespace quarrow {

namespace fs = std::filesystem;

std::string ProgramFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.parent_path().string();
}

std::string FindDataFile(const std::string& name, const std::string& home) {
    if (name.empty()) return {};
    std::string candidates[3];
    if (!home.empty()) candidates[0] = (fs::path(home) / name).string();
    if (const std::string program = ProgramFolder(); !program.empty())
        candidates[1] = (fs::path(program) / ".." / "share" / "quarrow" / name).lexically_normal().string();
#ifdef QUARROW_DATA_DIR
    candidates[2] = (fs::path(QUARROW_DATA_DIR) / name).string();
#endif
    for (const std::string& c : candidates) {
        std::error_code ec;
        if (!c.empty() && fs::exists(c, ec)) return c;
    }
    return {};
}

}  // namespace quarrow
