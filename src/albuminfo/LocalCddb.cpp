#include "albuminfo/LocalCddb.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "albuminfo/Xmcd.h"
#include "app/SafeFile.h"
#include "app/EventLog.h"

namespace quarrow {

namespace {

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void LogError(CEventLog* log, const std::string& message) {
    if (log) log->Add(message, 1);
}

}  // namespace

std::string LocalCddbFilePath(const std::string& folder, uint32_t discId) {
    return folder + "/" + FormatDiscId(discId) + ".cddb";
}

bool WriteLocalCddbFile(const std::string& path, const CAlbumRecord& record, int protocolLevel,
                        std::string* error) {
    const std::string text = XmcdFileText(record, protocolLevel);
    std::string why;
    if (WriteFileAtomically(path, text, 0644, why)) return true;
    if (error) *error = why;
    return false;
}

bool LoadLocalCddb(const std::string& folder, uint32_t discId, CAlbumRecord& record,
                   CEventLog* log) {
    if (!IsDirectory(folder)) {
        LogError(log, "Local CDDB directory " + folder + " not found");
        return false;
    }
    const std::string path = LocalCddbFilePath(folder, discId);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        LogError(log, "Local CDDB file " + path + " not found");
        return false;
    }
    std::string text, error;
    if (!ReadRegularFile(path, kMaxLocalCddbBytes, text, error)) {
        LogError(log, "Local CDDB file " + path + " cannot be used: " + error);
        return false;
    }
    // Only a file that holds a record counts as found: one without the status line of a
    // read answer (empty, binary, anything else) would otherwise "load" while changing
    // nothing, and one the parser rejects holds only part of a record.
    const int code = text.size() < 3 ? -1 : std::atoi(text.substr(0, 3).c_str());
    if (code < 210 || code > 219) {
        LogError(log, "Local CDDB file " + path + " is not a CDDB record (it does not start with a 210 status line)");
        return false;
    }
    CAlbumRecord parsed;
    if (!ParseRecordBody(text, parsed, log)) {
        LogError(log, "Local CDDB file " + path + " is not a valid CDDB record");
        return false;
    }
    record = std::move(parsed);
    return true;
}

bool CreateLocalCddbFolder(const std::string& folder) {
    if (IsDirectory(folder)) return true;
    std::string path = folder;
    const size_t length = path.size();
    size_t cursor = length;
    for (int attempt = 0; attempt < 10 && cursor > 0; ++attempt) {
        const std::string part = path.substr(0, cursor);
        const int rc = ::mkdir(part.c_str(), 0755);
        const int err = rc == 0 ? 0 : errno;
        if (rc != 0 && err == ENOENT) {
            // The parent is missing: step back one level.
            const size_t slash = cursor == 0 ? std::string::npos : path.rfind('/', cursor - 1);
            if (slash == std::string::npos || slash == 0) break;
            cursor = slash;
        } else if (rc == 0 || err == EEXIST) {
            if (cursor >= length) break;
            const size_t next = path.find('/', cursor + 1);
            cursor = next == std::string::npos ? length : next;
        } else {
            break;
        }
    }
    return IsDirectory(folder);
}

bool SaveLocalCddb(const std::string& folder, uint32_t discId, const CAlbumRecord& record,
                   int protocolLevel, CEventLog* log) {
    CreateLocalCddbFolder(folder);
    std::string error;
    if (!WriteLocalCddbFile(LocalCddbFilePath(folder, discId), record, protocolLevel, &error)) {
        LogError(log, "Fail to save local CDDB file: " + error);
        return false;
    }
    if (log) log->Add("Local CDDB file saved.");
    return true;
}

}  // namespace quarrow
