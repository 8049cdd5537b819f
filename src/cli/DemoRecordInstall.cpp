#include <filesystem>
#include <fstream>

#include "app/Settings.h"
#include "cli/DemoRecord.h"

namespace fs = std::filesystem;

namespace quarrow::cli {

std::string InstallDemoRecord(const std::string& home, std::string& error) {
    const std::string text = DemoDiscRecord();
    const auto at = text.find("DISCID=");
    if (at == std::string::npos || text.size() < at + 15) {
        error = "the built-in demo record has no DISCID line";
        return {};
    }
    const std::string discId = text.substr(at + 7, 8);
    CSettings settings = CSettings::Initial(home);
    if (fs::exists(CSettings::FilePath(home))) settings.Load(home);
    const std::string folder = settings.FREEDB.LocalCDDBDir;
    const std::string path = folder + "/" + discId + ".cddb";
    std::error_code ec;
    if (fs::exists(path, ec)) return path;  // the user's own record of the disc wins
    fs::create_directories(folder, ec);
    const std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary);
        out << text;
        out.close();
        if (!out) {
            error = "cannot write " + tmp;
            fs::remove(tmp, ec);
            return {};
        }
    }
    fs::rename(tmp, path, ec);
    if (ec) {
        error = "cannot write " + path + ": " + ec.message();
        fs::remove(tmp, ec);
        return {};
    }
    return path;
}

}  // namespace quarrow::cli
