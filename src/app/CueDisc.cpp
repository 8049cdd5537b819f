#include "app/CueDisc.h"

#include <fcntl.h>
#include <libcue.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <set>

#include "app/CdDrive.h"

namespace quarrow {

namespace {

constexpr int kFramesPerSector = kSectorBytes / 4;  // stereo frames of 16-bit samples
constexpr std::streamsize kMaxSheetBytes = 1 << 20;
constexpr long kMaxIndex = 100L * 60 * 75;  // sectors in 100 minutes

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// The words a cue sheet line may begin with.
const std::set<std::string>& Keywords() {
    static const std::set<std::string> words = {
        "ARRANGER", "CATALOG", "CDTEXTFILE", "COMPOSER", "DISC_ID", "FILE", "FLAGS", "GENRE",
        "INDEX", "ISRC", "MESSAGE", "PERFORMER", "POSTGAP", "PREGAP", "REM", "SIZE_INFO",
        "SONGWRITER", "TITLE", "TOC_INFO1", "TOC_INFO2", "TRACK", "UPC_EAN"};
    return words;
}

bool ParseNumber(const std::string& s, int max, int& out) {
    if (s.empty() || s.size() > 3) return false;
    out = 0;
    for (char c : s) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        out = out * 10 + (c - '0');
    }
    return out <= max;
}

// libcue gives each track the file of its INDEX 01 but loses track of the file for the
// tracks after a FILE line that falls between a track's INDEX 00 and INDEX 01 (the usual
// layout of one file per track with the gaps at the end of the previous file). The
// files, the track numbers and the file each index lies in are therefore taken from the
// lines themselves; the index times, modes and ISRCs come from libcue.
bool ScanLines(const std::string& text, CueSheet& sheet, std::string& why) {
    size_t pos = 0;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) pos = 3;
    int lineNo = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t b = line.find_first_not_of(" \t");
        if (b == std::string::npos) continue;
        const size_t e = line.find_first_of(" \t", b);
        const std::string word = line.substr(b, e == std::string::npos ? std::string::npos : e - b);
        std::string rest = e == std::string::npos ? std::string() : line.substr(e);
        rest.erase(0, rest.find_first_not_of(" \t"));
        const std::string where = "line " + std::to_string(lineNo);
        if (!Keywords().count(word)) {
            why = where + " begins with \"" + word + "\", which is not a cue sheet word";
            return false;
        }
        if (word == "FILE") {
            CueSheetFile f;
            size_t after;
            if (!rest.empty() && rest[0] == '"') {
                after = rest.find('"', 1);
                if (after == std::string::npos) {
                    why = where + " has a file name without its closing quote";
                    return false;
                }
                f.name = rest.substr(1, after - 1);
                ++after;
            } else {
                after = rest.find_first_of(" \t");
                f.name = rest.substr(0, after);
            }
            const std::string tail = after == std::string::npos ? std::string() : rest.substr(after);
            const size_t tb = tail.find_last_not_of(" \t");
            const size_t ts = tb == std::string::npos ? 0 : tail.find_last_of(" \t", tb) + 1;
            if (f.name.empty() || tb == std::string::npos) {
                why = where + " names no file or no file type";
                return false;
            }
            f.type = Upper(tail.substr(ts, tb + 1 - ts));
            sheet.files.push_back(std::move(f));
        } else if (word == "TRACK") {
            CueSheetTrack t;
            const size_t gap = rest.find_first_of(" \t");
            if (!ParseNumber(rest.substr(0, gap), 99, t.number) || t.number == 0) {
                why = where + " has no track number from 1 to 99";
                return false;
            }
            static const std::set<std::string> modes = {"AUDIO", "MODE1/2048", "MODE1/2352", "MODE2/2336",
                                                        "MODE2/2048", "MODE2/2324", "MODE2/2332", "MODE2/2352"};
            const size_t m = gap == std::string::npos ? gap : rest.find_first_not_of(" \t", gap);
            const std::string mode = m == std::string::npos ? std::string() : rest.substr(m, rest.find_last_not_of(" \t") + 1 - m);
            if (!modes.count(mode)) {
                why = where + " has the track mode \"" + mode + "\", which cannot be read";
                return false;
            }
            if (sheet.files.empty()) {
                why = "track " + std::to_string(t.number) + " comes before any FILE line";
                return false;
            }
            if (!sheet.tracks.empty() && t.number != sheet.tracks.back().number + 1) {
                why = "track " + std::to_string(t.number) + " does not follow track " +
                      std::to_string(sheet.tracks.back().number);
                return false;
            }
            sheet.tracks.push_back(t);
        } else if (word == "INDEX") {
            int n = 0;
            if (!ParseNumber(rest.substr(0, rest.find_first_of(" \t")), 99, n) || sheet.tracks.empty()) {
                why = where + " is not an INDEX of a track";
                return false;
            }
            const int file = static_cast<int>(sheet.files.size()) - 1;
            if (n == 0) sheet.tracks.back().index0File = file;
            if (n == 1) sheet.tracks.back().index1File = file;
        }
    }
    return true;
}

// libcue's parser keeps its state in globals.
std::mutex& CueMutex() {
    static std::mutex m;
    return m;
}

bool ModeOf(enum TrackMode mode, CueSheetTrack& t) {
    switch (mode) {
    case MODE_AUDIO: t.type = kTrackAudio; t.blockBytes = 2352; return true;
    case MODE_MODE1: t.type = kTrackMode1; t.blockBytes = 2048; return true;
    case MODE_MODE1_RAW: t.type = kTrackMode1; t.blockBytes = 2352; return true;
    case MODE_MODE2: t.type = kTrackMode2Form1; t.blockBytes = 2336; return true;
    case MODE_MODE2_FORM1: t.type = kTrackMode2Form1; t.blockBytes = 2048; return true;
    case MODE_MODE2_FORM2: t.type = kTrackMode2Form1; t.blockBytes = 2324; return true;
    case MODE_MODE2_FORM_MIX: t.type = kTrackMode2Form1; t.blockBytes = 2332; return true;
    case MODE_MODE2_RAW: t.type = kTrackMode2Form1; t.blockBytes = 2352; return true;
    }
    return false;
}

bool IsIsrc(const std::string& s) {
    return s.size() == 12 &&
           std::all_of(s.begin(), s.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
}

}  // namespace

bool ParseCueSheet(const std::string& text, CueSheet& sheet, std::string& why) {
    sheet = CueSheet();
    if (text.find('\0') != std::string::npos) {
        why = "it is not a text file";
        return false;
    }
    if (!ScanLines(text, sheet, why)) return false;
    if (sheet.tracks.empty()) {
        why = "it names no tracks";
        return false;
    }
    std::lock_guard lock(CueMutex());
    Cd* cd = cue_parse_string(text.c_str());
    if (!cd) {
        why = "it is not a cue sheet that can be read";
        return false;
    }
    bool ok = cd_get_ntrack(cd) == static_cast<int>(sheet.tracks.size());
    if (!ok) why = "not all of its " + std::to_string(sheet.tracks.size()) + " tracks can be read";
    for (size_t i = 0; ok && i < sheet.tracks.size(); ++i) {
        CueSheetTrack& t = sheet.tracks[i];
        const Track* ct = cd_get_track(cd, static_cast<int>(i) + 1);
        const std::string name = "track " + std::to_string(t.number);
        if (!ct || !ModeOf(track_get_mode(ct), t)) {
            why = name + " has a track mode that cannot be read";
            ok = false;
        } else if (t.index1File < 0 || track_get_index(ct, 1) < 0) {
            why = name + " has no INDEX 01";
            ok = false;
        } else if (track_get_index(ct, 0) > kMaxIndex || track_get_index(ct, 1) > kMaxIndex) {
            why = name + " has an INDEX past the end of any disc";
            ok = false;
        } else {
            t.index1 = static_cast<int32_t>(track_get_index(ct, 1));
            if (t.index0File >= 0 && track_get_index(ct, 0) >= 0) {
                t.index0 = static_cast<int32_t>(track_get_index(ct, 0));
            } else {
                t.index0File = -1;
            }
            const char* isrc = track_get_isrc(ct);
            if (isrc && IsIsrc(isrc)) t.isrc = isrc;
        }
    }
    cd_delete(cd);
    return ok;
}

// ---------------------------------------------------------------------------------

// One file of the disc. Raw files map sector positions to bytes through regions: from
// each index on, sectors take the block size of the index's track.
struct CueDisc::Source {
    struct Region {
        int32_t pos;
        int64_t byte;
        int32_t block;
    };
    std::string name;
    int fd = -1;
    bool swapped = false;        // MOTOROLA: big-endian samples
    SNDFILE* sound = nullptr;
    std::vector<Region> regions;
    int32_t discStart = 0;
    int32_t sectors = 0;

    ~Source() {
        if (fd >= 0) ::close(fd);
        if (sound) sf_close(sound);
    }

    const Region& RegionOf(int32_t pos) const {
        auto it = std::upper_bound(regions.begin(), regions.end(), pos,
                                   [](int32_t p, const Region& r) { return p < r.pos; });
        return it == regions.begin() ? regions.front() : *(it - 1);
    }

    // Reads count sectors from pos on into out (2352 bytes each).
    bool Read(int32_t pos, int count, uint8_t* out) {
        if (sound) {
            std::vector<int16_t> frames(static_cast<size_t>(count) * kFramesPerSector * 2);
            const sf_count_t want = static_cast<sf_count_t>(count) * kFramesPerSector;
            if (sf_seek(sound, static_cast<sf_count_t>(pos) * kFramesPerSector, SEEK_SET) < 0 ||
                sf_readf_short(sound, frames.data(), want) != want)
                return false;
            for (size_t i = 0; i < frames.size(); ++i) {
                const uint16_t v = static_cast<uint16_t>(frames[i]);
                out[2 * i] = static_cast<uint8_t>(v & 0xFF);
                out[2 * i + 1] = static_cast<uint8_t>(v >> 8);
            }
            return true;
        }
        for (int i = 0; i < count; ++i) {
            const Region& r = RegionOf(pos + i);
            uint8_t* sector = out + static_cast<size_t>(i) * kSectorBytes;
            const off_t at = static_cast<off_t>(r.byte + static_cast<int64_t>(pos + i - r.pos) * r.block);
            if (::pread(fd, sector, static_cast<size_t>(r.block), at) != r.block) return false;
            std::fill(sector + r.block, sector + kSectorBytes, 0);
            if (swapped)
                for (int j = 0; j + 1 < r.block; j += 2) std::swap(sector[j], sector[j + 1]);
        }
        return true;
    }
};

namespace {

std::string ReadSheet(const std::string& path, std::string& why) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        why = std::strerror(errno);
        return {};
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (static_cast<std::streamsize>(text.size()) > kMaxSheetBytes) {
        why = "it is too large for a cue sheet";
        return {};
    }
    if (text.empty()) why = "the cue sheet is empty";
    return text;
}

}  // namespace

CueDisc::~CueDisc() = default;

std::unique_ptr<CueDisc> CueDisc::Open(const std::string& cuePath, std::string& why) {
    const std::string text = ReadSheet(cuePath, why);
    if (text.empty()) return nullptr;
    CueSheet sheet;
    if (!ParseCueSheet(text, sheet, why)) {
        why = "the cue sheet cannot be used: " + why;
        return nullptr;
    }
    const size_t slash = cuePath.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : cuePath.substr(0, slash + 1);

    std::unique_ptr<CueDisc> disc(new CueDisc());
    std::vector<Source*> byFile(sheet.files.size(), nullptr);
    int64_t discSectors = 0;
    for (size_t f = 0; f < sheet.files.size(); ++f) {
        const CueSheetFile& file = sheet.files[f];
        // The indexes that lie in this file, in sheet order, with their tracks.
        std::vector<std::pair<int32_t, const CueSheetTrack*>> marks;
        for (const CueSheetTrack& t : sheet.tracks) {
            if (t.index0File == static_cast<int>(f)) marks.emplace_back(t.index0, &t);
            if (t.index1File == static_cast<int>(f)) marks.emplace_back(t.index1, &t);
        }
        if (marks.empty()) continue;  // a file with no index in it holds none of the disc
        auto src = std::make_unique<Source>();
        src->name = "\"" + file.name + "\"";
        const std::string path = file.name[0] == '/' ? file.name : folder + file.name;
        for (size_t i = 1; i < marks.size(); ++i) {
            if (marks[i].first < marks[i - 1].first) {
                why = "the indexes of track " + std::to_string(marks[i].second->number) + " in " + src->name +
                      " go back";
                return nullptr;
            }
        }
        const int32_t lastMark = marks.back().first;
        int64_t sectors = 0;
        // Only regular files: a device or pipe could be endless or block the read.
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
            const std::string err = st.st_mode == 0 ? std::strerror(errno) : "it is not a regular file";
            why = "the file " + src->name + " named by the cue sheet cannot be opened: " + err;
            return nullptr;
        }
        if (file.type == "BINARY" || file.type == "MOTOROLA") {
            src->swapped = file.type == "MOTOROLA";
            src->fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            if (src->fd < 0 || ::fstat(src->fd, &st) != 0) {
                why = "the file " + src->name + " named by the cue sheet cannot be opened: " + std::strerror(errno);
                return nullptr;
            }
            int64_t byte = static_cast<int64_t>(marks[0].first) * marks[0].second->blockBytes;
            for (size_t i = 0; i < marks.size(); ++i) {
                if (i > 0) byte += static_cast<int64_t>(marks[i].first - marks[i - 1].first) * src->regions.back().block;
                src->regions.push_back({marks[i].first, byte, marks[i].second->blockBytes});
            }
            const Source::Region& last = src->regions.back();
            sectors = st.st_size < last.byte ? 0 : last.pos + (st.st_size - last.byte) / last.block;
        } else if (file.type == "WAVE" || file.type == "AIFF") {
            SF_INFO info{};
            src->sound = sf_open(path.c_str(), SFM_READ, &info);
            if (!src->sound) {
                why = "the file " + src->name + " named by the cue sheet cannot be read as audio: " +
                      sf_strerror(nullptr);
                return nullptr;
            }
            if (info.channels != 2 || info.samplerate != 44100 ||
                (info.format & SF_FORMAT_SUBMASK) != SF_FORMAT_PCM_16) {
                why = "the file " + src->name + " is not 16-bit stereo audio at 44100 Hz";
                return nullptr;
            }
            for (const auto& m : marks) {
                if (m.second->type != kTrackAudio) {
                    why = "track " + std::to_string(m.second->number) + " is a data track in the audio file " +
                          src->name;
                    return nullptr;
                }
            }
            sectors = info.frames / kFramesPerSector;
        } else {
            why = "the file " + src->name + " is of the type " + file.type + ", which cannot be read";
            return nullptr;
        }
        if (sectors <= lastMark) {
            why = "the file " + src->name + " is shorter than the cue sheet says: it holds " +
                  std::to_string(sectors) + " sectors, the sheet needs more than " + std::to_string(lastMark);
            return nullptr;
        }
        if (discSectors + sectors > (int64_t{1} << 30)) {
            why = "the files of the cue sheet are too large for a disc";
            return nullptr;
        }
        src->discStart = static_cast<int32_t>(discSectors);
        src->sectors = static_cast<int32_t>(sectors);
        discSectors += sectors;
        byFile[f] = src.get();
        disc->sources_.push_back(std::move(src));
    }
    disc->leadOut_ = static_cast<int32_t>(discSectors);
    for (const CueSheetTrack& t : sheet.tracks) {
        Track track{t.number, t.type, byFile[static_cast<size_t>(t.index1File)]->discStart + t.index1, t.isrc};
        if (!disc->tracks_.empty() && track.start <= disc->tracks_.back().start) {
            why = "track " + std::to_string(t.number) + " does not start after track " +
                  std::to_string(disc->tracks_.back().number);
            return nullptr;
        }
        disc->tracks_.push_back(std::move(track));
    }
    return disc;
}

bool CueDisc::ReadSectors(int32_t lba, int count, uint8_t* out) {
    if (lba < 0 || count <= 0 || count > leadOut_ - lba) return false;
    while (count > 0) {
        auto it = std::upper_bound(sources_.begin(), sources_.end(), lba,
                                   [](int32_t l, const std::unique_ptr<Source>& s) { return l < s->discStart; });
        Source& src = **(it - 1);
        const int32_t pos = lba - src.discStart;
        const int run = std::min(count, src.sectors - pos);
        if (!src.Read(pos, run, out)) return false;
        lba += run;
        count -= run;
        out += static_cast<size_t>(run) * kSectorBytes;
    }
    return true;
}

}  // namespace quarrow
