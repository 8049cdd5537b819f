#include "rip/CueSheet.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "albuminfo/AlbumRecord.h"
#include "app/SafeFile.h"
#include "app/Settings.h"
#include "rip/Naming.h"
#include "rip/RipJob.h"

namespace quarrow {

namespace {

// Album text goes into the cue sheet as it is; only line breaks (which the xmcd
// escapes can produce) would start new cue commands, so they become blanks.
std::string OneLine(std::string s) {
    for (char& c : s)
        if (c == '\r' || c == '\n') c = ' ';
    return s;
}

bool WriteAll(int fd, const std::string& text) {
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

void SetError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

}  // namespace

std::string CueSheetPath(const std::string& outputPath) {
    std::size_t slash = outputPath.rfind('/');
    std::size_t dot = outputPath.rfind('.');
    // A dot in a folder name is not the extension's.
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return outputPath + ".cue";
    return outputPath.substr(0, dot) + ".cue";
}

std::string CueTime(int64_t frames) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", static_cast<long long>(frames / 4500),
                  static_cast<long long>((frames % 4500) / 75), static_cast<long long>(frames % 75));
    return buf;
}

bool WriteCueSheet(const CRipJob& job, const CAlbumRecord& album, std::string* error) {
    const std::string path = CueSheetPath(job.outputPath);
    const std::string performer = "PERFORMER \"" + OneLine(album.artist) + "\"\r\n";
    std::string text = "TITLE \"" + OneLine(album.albumTitle) + "\"\r\n";
    text += performer;
    text += "FILE \"" + OneLine(FileNameOf(job.outputPath)) + "\" WAVE\r\n";
    for (std::size_t i = 0; i < job.entries.size(); ++i) {
        int64_t frames = i == 0 ? 0 : job.entries[i - 1].cumulativeEnd / kCueSamplesPerFrame;
        const RipJobEntry& e = job.entries[i];
        std::string title;
        if (e.track < album.trackTitles.size()) title = OneLine(album.trackTitles[e.track]);
        char num[16];
        std::snprintf(num, sizeof num, "%02d", static_cast<int>(i + 1));
        text += std::string("  TRACK ") + num + " AUDIO\r\n";
        text += "    TITLE \"" + title + "\"\r\n";
        text += "    " + performer;
        text += "    INDEX 01 " + CueTime(frames) + "\r\n";
    }

    // Written beside the target and renamed over it, so a failure leaves no half file.
    std::string why;
    if (WriteFileAtomically(path, text, 0644, why)) return true;
    SetError(error, "Cannot write the cue sheet " + path + ": " + why);
    return false;
}

bool WantsCueSheet(const CRipJob& job, const CSettings& s) {
    return job.singleOutput && (job.mode == kRipDiscImage || s.OUTPUT.CueSheet != 0);
}

std::string PlaylistPath(const std::string& outputPath, const CAlbumRecord& album) {
    std::size_t slash = outputPath.rfind('/');
    std::string folder = slash == std::string::npos ? std::string(".") : outputPath.substr(0, slash);
    const std::string ext = ".m3u";
    bool replaced = false;
    return folder + "/" + SafeNameComponent(album.albumTitle + ext, replaced, ext.size(), kMaxFileNameBytes);
}

namespace {

// The lines of a playlist (without their line feeds); a missing file has none.
bool ReadLines(const std::string& path, std::vector<std::string>& lines, int& err) {
    lines.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        err = errno;
        return errno == ENOENT;
    }
    std::string text;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) != 0) {
        if (n < 0) {
            if (errno == EINTR) continue;
            err = errno;
            ::close(fd);
            return false;
        }
        text.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t lf = text.find('\n', from);
        if (lf == std::string::npos) lf = text.size();
        lines.push_back(text.substr(from, lf - from));
        from = lf + 1;
    }
    return true;
}

}  // namespace

bool AppendPlaylist(const std::string& outputPath, const CAlbumRecord& album, std::string* error, bool* added) {
    if (added) *added = false;
    const std::string path = PlaylistPath(outputPath, album);
    const std::string name = FileNameOf(outputPath);
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) {
        SetError(error, "Cannot open the playlist " + path + ": " + std::strerror(errno));
        return false;
    }
    ::close(fd);
    std::vector<std::string> lines;
    int err = 0;
    if (!ReadLines(path, lines, err)) {
        SetError(error, "Cannot read the playlist " + path + ": " + std::strerror(err));
        return false;
    }
    for (const std::string& l : lines)
        if (l == name) return true;   // a rerun lists each file once
    fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    bool ok = fd >= 0 && WriteAll(fd, name + "\n");
    err = errno;
    if (fd >= 0 && ::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok) SetError(error, "Cannot write the playlist " + path + ": " + std::strerror(err));
    if (ok && added) *added = true;
    return ok;
}

bool RemovePlaylistLine(const std::string& outputPath, const CAlbumRecord& album, std::string* error) {
    const std::string path = PlaylistPath(outputPath, album);
    const std::string name = FileNameOf(outputPath);
    std::vector<std::string> lines;
    int err = 0;
    if (!ReadLines(path, lines, err)) {
        SetError(error, "Cannot read the playlist " + path + ": " + std::strerror(err));
        return false;
    }
    std::string text;
    bool removed = false;
    for (const std::string& l : lines) {
        if (l == name && !removed) removed = true;
        else text += l + "\n";
    }
    if (!removed) return true;
    if (text.empty()) {
        if (::unlink(path.c_str()) == 0 || errno == ENOENT) return true;
        SetError(error, "Cannot delete the playlist " + path + ": " + std::strerror(errno));
        return false;
    }
    // Replaced whole, so a failure never leaves half a playlist.
    std::string why;
    if (WriteFileAtomically(path, text, 0644, why)) return true;
    SetError(error, "Cannot rewrite the playlist " + path + ": " + why);
    return false;
}

}  // namespace quarrow
