// The settings file: any bytes load (a small regular file always does), and what a load
// saves is a fixed point: loading and saving that again writes the same bytes. The
// profile parser on its own reaches its fixed point after one pass.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/IniFile.h"
#include "app/Settings.h"

namespace {

struct Home {  // in memory where the machine has /dev/shm: Save syncs every write
    std::string path = (std::filesystem::is_directory("/dev/shm") ? std::filesystem::path("/dev/shm")
                                                                  : std::filesystem::temp_directory_path()) /
                       "quarrow-fuzz-XXXXXX";
    Home() { if (!::mkdtemp(path.data())) std::abort(); }
    ~Home() { std::error_code ec; std::filesystem::remove_all(path, ec); }
};

std::string SavedAfterLoad(const std::string& home) {
    quarrow::CSettings s = quarrow::CSettings::Initial(home);
    if (!s.Load(home) || !s.Save(home)) __builtin_trap();
    std::ifstream in(quarrow::CSettings::FilePath(home), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    quarrow::IniFile ini;
    ini.Parse(bytes);
    const std::string once = ini.Serialize();
    ini.Parse(once);
    if (ini.Serialize() != once) __builtin_trap();

    static const Home home;
    std::ofstream(quarrow::CSettings::FilePath(home.path), std::ios::binary | std::ios::trunc) << bytes;
    const std::string first = SavedAfterLoad(home.path);
    if (SavedAfterLoad(home.path) != first) __builtin_trap();
    return 0;
}
