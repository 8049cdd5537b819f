#include "rip/Naming.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "albuminfo/DiscRefresh.h"
#include "app/EventLog.h"
#include "app/Prompter.h"
#include "app/Settings.h"
#include "encoders/FormatTable.h"

namespace quarrow {

const char* const kCharactersReplacedText = "Invalid character(s) replaced.";
const char* const kResetOutputQuestion =
    "Reset ALL Output Options(including the Subpages), Are You Sure?";

namespace {

// One naming scheme: what goes between the destination and the file part (a
// backslash makes a folder level) and whether the file part has the number and/or the
// title. Prefix pieces: 'A' artist, 'L' album, 'Y' year, 'S' separator, 'T' the word
// "Track", '\\' a folder level.
struct Scheme {
    const char* entry;     // list entry, "-" standing for the separator
    const char* prefix;
    bool number;
    bool title;
};

constexpr Scheme kSchemes[kNamingSchemeCount] = {
    {" <Tracknum>", "", true, false},
    {" Track<Tracknum>", "T", true, false},
    {" <Tracktitle>", "", false, true},
    {" <Tracknum>-<Tracktitle>", "", true, true},
    {" <Artist>-<Album>-<Tracktitle>", "ASLS", false, true},
    {" <Artist>-<Album>-<Tracknum>-<Tracktitle>", "ASLS", true, true},
    {" <Artist>-<Album>-<Year>-<Tracknum>-<Tracktitle>", "ASLSYS", true, true},
    {" <Artist>\\<Tracknum>-<Tracktitle>", "A\\", true, true},
    {" <Artist>-<Album>\\<Tracktitle>", "ASL\\", false, true},
    {" <Artist>\\<Album>\\<Tracktitle>", "A\\L\\", false, true},
    {" <Artist>-<Album>\\<Tracknum>-<Tracktitle>", "ASL\\", true, true},
    {" <Artist>\\<Album>\\<Tracknum>-<Tracktitle>", "A\\L\\", true, true},
    {" <Artist>-<Album>-<Year>\\<Tracknum>-<Tracktitle>", "ASLSY\\", true, true},
};

const Scheme& SchemeAt(int index) {
    if (index < 0 || index >= kNamingSchemeCount) index = kDefaultNamingScheme;
    return kSchemes[index];
}

bool IsInvalidChar(unsigned char c) {
    switch (c) {
    case '\\': case '/': case '"': case '<': case '>': case '|': case '*': case '?': case ':':
        return true;
    default:
        // Control characters cannot be shown and would break the line-based playlist.
        return c < 0x20 || c == 0x7f;
    }
}

struct Fields {
    std::string artist, album, title, number;
    int32_t year = 0;
};

// The text of a scheme in the system's own form: backslashes between folder levels.
std::string SchemeText(const Scheme& sc, const Fields& f, const std::string& sep,
                       std::string& filePart) {
    std::string prefix;
    for (const char* p = sc.prefix; *p; ++p) {
        switch (*p) {
        case 'A': prefix += f.artist; break;
        case 'L': prefix += f.album; break;
        case 'Y': prefix += std::to_string(f.year); break;
        case 'S': prefix += sep; break;
        case 'T': prefix += "Track"; break;
        case '\\': prefix += '\\'; break;
        }
    }
    filePart.clear();
    if (sc.number) filePart += f.number;
    if (sc.number && sc.title) filePart += sep;
    if (sc.title) filePart += f.title;
    return prefix;
}

std::string TrimTrailingBlanks(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
    return s;
}

}  // namespace

std::string FormatExtension(const CSettings& s, int id) { return ExtensionOf(s, id); }

std::string FormatExtension(const CSettings& s) {
    return FormatExtension(s, s.OUTPUT.OutputFormat);
}

std::string CutUtf8(const std::string& text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    std::size_t cut = maxBytes;
    // Never leave a lead byte without its continuation bytes: back up to a boundary.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return text.substr(0, cut);
}

std::string SafeNameComponent(const std::string& text, bool& replaced, std::size_t keepTail,
                              std::size_t maxBytes) {
    std::string out = text;
    for (char& c : out) {
        if (IsInvalidChar(static_cast<unsigned char>(c))) {
            c = ' ';
            replaced = true;
        }
    }
    if (maxBytes > kMaxNameBytes) maxBytes = kMaxNameBytes;
    if (out.size() > maxBytes) {
        if (keepTail > maxBytes) keepTail = 0;
        std::string tail = out.substr(out.size() - keepTail);
        out = CutUtf8(out.substr(0, out.size() - keepTail), maxBytes - keepTail) + tail;
    }
    // "", "." and ".." (or blanks that some systems strip to them) would name the
    // parent or the folder itself.
    bool onlyDots = true;
    for (char c : out)
        if (c != '.' && c != ' ') onlyDots = false;
    if (onlyDots) {
        out = out.empty() ? "_" : std::string(out.size(), '_');
        replaced = true;
    }
    return out;
}

TrackPath BuildTrackPath(const CSettings& s, const CAlbumRecord& album, int trackIndex) {
    TrackPath result;
    const Scheme& sc = SchemeAt(s.OUTPUT.FileStyle);
    Fields f;
    f.artist = album.artist;
    f.album = album.albumTitle;
    f.year = album.year;
    if (trackIndex >= 0 && trackIndex < static_cast<int>(album.trackTitles.size()))
        f.title = album.trackTitles[trackIndex];
    char num[16];
    std::snprintf(num, sizeof num, "%02d", trackIndex + 1);
    f.number = num;

    std::string filePart;
    std::string rel = SchemeText(sc, f, s.OUTPUT.Separator, filePart);
    // Folder levels come only from the prefix.
    for (char& c : filePart) {
        if (c == '\\') {
            c = ' ';
            result.replaced = true;
        }
    }
    rel += filePart;

    std::vector<std::string> levels;
    std::size_t from = 0;
    for (;;) {
        std::size_t bs = rel.find('\\', from);
        levels.push_back(rel.substr(from, bs == std::string::npos ? std::string::npos : bs - from));
        if (bs == std::string::npos) break;
        from = bs + 1;
    }

    std::string path = s.OUTPUT.DesDir;
    if (!path.empty() && path.back() != '/') path += '/';
    for (std::size_t i = 0; i + 1 < levels.size(); ++i)
        path += SafeNameComponent(levels[i], result.replaced) + "/";
    const std::string ext = FormatExtension(s);
    path += SafeNameComponent(levels.back() + ext, result.replaced, ext.size(), kMaxFileNameBytes);
    result.path = path;
    return result;
}

bool EnsureFolder(const std::string& folderIn, int* attempts) {
    if (attempts) *attempts = 0;
    std::string folder = folderIn;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (folder.empty() || folder.size() > kMaxFolderPath) return false;
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode);

    std::string buf = folder;
    std::size_t p = buf.size();
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (attempts) ++*attempts;
        int rc = ::mkdir(buf.c_str(), 0777);
        int err = rc == 0 ? 0 : errno;
        if (rc == 0 || err == EEXIST) {
            if (p == folder.size())
                return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
            std::size_t next = folder.find('/', p + 1);
            p = next == std::string::npos ? folder.size() : next;
            buf = folder.substr(0, p);
        } else if (err == ENOENT) {
            std::size_t prev = p == 0 ? std::string::npos : folder.rfind('/', p - 1);
            if (prev == std::string::npos || prev == 0) return false;
            p = prev;
            buf = folder.substr(0, p);
        } else {
            return false;
        }
    }
    return false;
}

std::string OutputPathProblem(const std::string& path) {
    std::string folder = FolderOf(path);
    if (folder.empty()) folder = ".";
    if (::access(folder.c_str(), W_OK | X_OK) != 0) return folder + ": " + std::strerror(errno);
    const long nameMax = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    const std::size_t limit = nameMax > 0 ? static_cast<std::size_t>(nameMax) : kMaxNameBytes;
    // The file is written as ".NAME.part" first.
    if (FileNameOf(path).size() + 6 > limit) return path + ": " + std::strerror(ENAMETOOLONG);
    return {};
}

std::string FolderOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string FileNameOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void InstallDestinationColumn(MainContext& ctx) {
    ctx.destinationOf = [&ctx](const TrackRow& row) {
        // The album record indexes titles disc-wide: count the rows of earlier sessions.
        int index = row.track;
        for (const TrackRow& r : ctx.rows)
            if (r.session < row.session) ++index;
        CAlbumRecord album = ctx.album;
        album.artist = TrimTrailingBlanks(album.artist);
        album.albumTitle = TrimTrailingBlanks(album.albumTitle);
        TrackPath tp = BuildTrackPath(ctx.settings, album, index);
        if (tp.replaced) ctx.log.Add(kCharactersReplacedText, 0);
        return tp.path;
    };
}

std::vector<std::string> NamingSchemeEntries(const std::string& separator) {
    std::vector<std::string> out;
    for (const Scheme& sc : kSchemes) {
        std::string e;
        for (const char* p = sc.entry; *p; ++p) {
            if (*p == '-') e += separator;
            else if (*p == '\\') e += '/';
            else e += *p;
        }
        out.push_back(e);
    }
    return out;
}

std::string NamingPreview(int scheme, const std::string& separator, const std::string& ext) {
    Fields f;
    f.artist = "Artist";
    f.album = "Album";
    f.title = "Title";
    f.year = 1994;
    f.number = "06";
    std::string filePart;
    std::string text = SchemeText(SchemeAt(scheme), f, "-", filePart) + filePart;
    std::string out;
    for (char c : text) {
        if (c == '-') out += separator;
        else if (c == '\\') out += '/';
        else out += c;
    }
    return out + ext;
}

std::string CleanSeparator(const std::string& text) {
    std::string out;
    int chars = 0;
    for (std::size_t i = 0; i < text.size() && chars < 3;) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        std::size_t len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 1;
        if (i + len > text.size()) len = 1;
        if (len == 1 && IsInvalidChar(c)) out += '-';
        else out += text.substr(i, len);
        i += len;
        ++chars;
    }
    return out;
}

void COutputOptions::Open(const CSettings& s) {
    destination = s.OUTPUT.DesDir;
    scheme = s.OUTPUT.FileStyle;
    separator = CleanSeparator(s.OUTPUT.Separator);
    fillTag = s.OUTPUT.FillTag != 0;
    visRip = s.OUTPUT.VisRip != 0;
    writeLog = s.OUTPUT.WriteLog != 0;
    singleOutput = s.OUTPUT.SingleOpt != 0;
    cueSheet = s.OUTPUT.CueSheet != 0;
    playlist = s.OUTPUT.M3U != 0;
    notify = s.OUTPUT.Notify != 0;
    modified = false;
}

void COutputOptions::SetDestination(const std::string& folder) { destination = folder; modified = true; }
void COutputOptions::SetScheme(int sc) { scheme = sc; modified = true; }
void COutputOptions::SetDelimiterText(const std::string& text) {
    separator = CleanSeparator(text);
    modified = true;
}
void COutputOptions::SetSingleOutput(bool on) { singleOutput = on; modified = true; }
void COutputOptions::SetCueSheet(bool on) { cueSheet = on; modified = true; }
void COutputOptions::SetPlaylist(bool on) { playlist = on; modified = true; }
void COutputOptions::SetFillTag(bool on) { fillTag = on; modified = true; }
void COutputOptions::SetVisRip(bool on) { visRip = on; modified = true; }
void COutputOptions::SetWriteLog(bool on) { writeLog = on; modified = true; }
void COutputOptions::SetNotify(bool on) { notify = on; modified = true; }

std::string COutputOptions::Preview(const CSettings& s) const {
    return NamingPreview(scheme, separator, FormatExtension(s));
}

bool COutputOptions::Reset(CSettings& s, const std::string& homeFolder, Prompter& prompter) {
    if (!prompter.AskYesNo(kResetOutputQuestion, "")) return false;
    const CSettings d = CSettings::Defaults(homeFolder);
    s.OUTPUT = d.OUTPUT;
    s.WAV = d.WAV;
    s.AIFF = d.AIFF;
    s.MP2 = d.MP2;
    s.MP3 = d.MP3;
    s.APE = d.APE;
    s.FLAC = d.FLAC;
    s.WMA = d.WMA;
    s.VQF = d.VQF;
    s.OGG = d.OGG;
    s.AAC = d.AAC;
    s.MPC = d.MPC;
    s.WV = d.WV;
    s.OTHER = d.OTHER;
    s.CUSTOM = d.CUSTOM;
    Open(s);
    modified = true;
    return true;
}

bool COutputOptions::Apply(CSettings& s, bool busy) {
    if (busy) return false;
    s.OUTPUT.FileStyle = static_cast<int16_t>(scheme);
    std::string dir = destination;
    while (!dir.empty() && (dir.back() == ' ' || dir.back() == '\t')) dir.pop_back();
    if (dir.empty() || dir.back() != '/') dir += '/';
    s.OUTPUT.DesDir = dir;
    destination = dir;
    s.OUTPUT.FillTag = fillTag;
    s.OUTPUT.VisRip = visRip;
    s.OUTPUT.WriteLog = writeLog;
    s.OUTPUT.SingleOpt = singleOutput;
    s.OUTPUT.CueSheet = cueSheet;
    s.OUTPUT.M3U = playlist;
    s.OUTPUT.Notify = notify;
    s.OUTPUT.Separator = separator;
    modified = false;
    return true;
}

}  // namespace quarrow
