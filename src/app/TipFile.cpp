#include "app/TipFile.h"

#include "app/IniFile.h"
#include "app/Settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quarrow {

CTipFile::CTipFile(const std::string& path) {
    // Only a regular file or a pipe: a device or a folder would never give a line.
    struct stat st {};
    if (path.empty() || stat(path.c_str(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode)))
        return;
    // Opened without blocking, so a named pipe nobody writes to reads as empty instead of
    // hanging the window; reads block again afterwards.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0 || !(file_ = fdopen(fd, "rb"))) close(fd);
}

CTipFile::~CTipFile() {
    if (file_) std::fclose(file_);
}

bool CTipFile::ReadLine(std::string& line) {
    char buf[kLineBytes];
    if (!std::fgets(buf, sizeof buf, file_)) return false;
    line = buf;
    // The rest of an over-long line is not a tip of its own.
    if (!line.empty() && line.back() != '\n') {
        int c;
        while ((c = std::fgetc(file_)) != EOF && c != '\n') {
        }
    }
    return true;
}

std::string CTipFile::Next() {
    if (!file_) return kNoFile;
    bool rewound = false;
    std::string line;
    for (;;) {
        if (!ReadLine(line)) {
            // A second end of file without a tip in between: the file holds none.
            if (rewound) return kTrouble;
            std::clearerr(file_);
            if (std::fseek(file_, 0, SEEK_SET) != 0) return kTrouble;
            rewound = true;
            continue;
        }
        const char first = line[0];
        if (first == ' ' || first == '\t' || first == '\n' || first == ';') continue;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        if (line.empty()) continue;  // a line of "\r\n" only
        return line;
    }
}

int32_t LoadTipSetting(const std::string& homeFolder) {
    IniFile ini;
    if (!ini.Load(CSettings::FilePath(homeFolder))) return 1;
    return static_cast<int32_t>(ini.GetInt("MISC", "Tip").value_or(1));
}

bool SaveTipSetting(const std::string& homeFolder, int32_t value, std::string* error) {
    const std::string path = CSettings::FilePath(homeFolder);
    IniFile ini;
    struct stat st {};
    // A file that exists but cannot be read is left alone: writing would lose its content.
    if (stat(path.c_str(), &st) == 0 && !ini.Load(path, error)) return false;
    ini.Set("MISC", "Tip", std::to_string(value));
    return ini.Save(path, 0600, error);
}

}  // namespace quarrow
