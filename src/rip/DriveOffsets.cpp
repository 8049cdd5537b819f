// The per-drive offset settings, the known-drive list and the choice between them.
#include "rip/DriveOffsets.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>

#include "app/CdDrive.h"
#include "app/DataFiles.h"
#include "app/EventLog.h"
#include "app/IniFile.h"
#include "app/SafeFile.h"

namespace quarrow {

namespace {

constexpr const char* kSettingsFile = "DriveOffsets.ini";
constexpr const char* kKnownFile = "drive-offsets.txt";
constexpr const char* kOffsetKey = "ReadOffset";
constexpr std::size_t kMaxKnownBytes = 4u << 20;

// Blanks trimmed and collapsed to one.
std::string Collapse(const std::string& s) {
    std::string out;
    bool blank = false;
    for (char c : s) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            blank = !out.empty();
            continue;
        }
        if (blank) out += ' ';
        blank = false;
        out += c;
    }
    return out;
}

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string KnownKey(const std::string& vendor, const std::string& model) {
    return Upper(Collapse(vendor)) + "\t" + Upper(Collapse(model));
}

std::optional<int> ParseCount(const std::string& text) {
    int value = 0;
    const char* end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || value < 0) return std::nullopt;
    if (p != end && !(p + 1 == end && *p == '%')) return std::nullopt;
    return value;
}

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::string::size_type from = 0;
    while (true) {
        const auto tab = line.find('\t', from);
        fields.push_back(line.substr(from, tab == std::string::npos ? std::string::npos : tab - from));
        if (tab == std::string::npos) break;
        from = tab + 1;
    }
    return fields;
}

}  // namespace

std::string FormatOffset(int32_t samples) {
    return (samples > 0 ? "+" : "") + std::to_string(samples);
}

std::optional<int32_t> ParseOffset(const std::string& text) {
    const std::string t = Collapse(text);
    if (t.empty()) return std::nullopt;
    const char* begin = t.data() + (t[0] == '+' ? 1 : 0);
    if (t[0] == '+' && t.size() > 1 && t[1] == '-') return std::nullopt;
    int32_t value = 0;
    const char* end = t.data() + t.size();
    auto [p, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || p != end || value < -kMaxReadOffset || value > kMaxReadOffset) return std::nullopt;
    return value;
}

std::string DriveOffsetKey(const std::string& vendor, const std::string& model) {
    // Brackets and control characters (an image's file name may hold any) would break
    // the section header they go into.
    std::string key = Collapse(vendor) + " - " + Collapse(model);
    for (char& c : key)
        if (c == '[' || c == ']' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '_';
    return key;
}

// ---------------------------------------------------------------------------------

void CKnownDriveOffsets::Parse(const std::string& text) {
    entries_.clear();
    keys_.clear();
    skipped_ = 0;
    std::vector<std::pair<std::string, KnownDriveOffset>> rows;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (Collapse(line).empty() || line[0] == '#') continue;
        const std::vector<std::string> f = SplitTabs(line);
        if (f.size() >= 2 && Collapse(f[1]) == "[Purged]") continue;
        // The name is "VENDOR - MODEL"; a few entries have no vendor ("- MODEL", or the
        // model alone).
        KnownDriveOffset e;
        const std::string& name = f[0];
        const auto sep = name.find(" - ");
        if (name.rfind("- ", 0) == 0) {
            e.model = Collapse(name.substr(2));
        } else if (sep != std::string::npos) {
            e.vendor = Collapse(name.substr(0, sep));
            e.model = Collapse(name.substr(sep + 3));
        } else {
            e.model = Collapse(name);
        }
        std::optional<int32_t> offset;
        std::optional<int> subs, agree;
        if (f.size() == 4) {
            offset = ParseOffset(f[1]);
            subs = ParseCount(Collapse(f[2]));
            agree = ParseCount(Collapse(f[3]));
        }
        if (!offset || !subs || !agree || e.model.empty()) {
            ++skipped_;
            continue;
        }
        e.offset = *offset;
        e.submissions = *subs;
        e.agreePercent = *agree;
        rows.emplace_back(KnownKey(e.vendor, e.model), std::move(e));
    }
    // One entry a key: the one with the most submissions.
    std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first : a.second.submissions > b.second.submissions;
    });
    for (auto& [key, e] : rows) {
        if (!keys_.empty() && keys_.back() == key) continue;
        keys_.push_back(key);
        entries_.push_back(std::move(e));
    }
}

bool CKnownDriveOffsets::Load(const std::string& path, std::string* error) {
    std::string text, why;
    if (!ReadRegularFile(path, kMaxKnownBytes, text, why)) {
        if (error) *error = "cannot read the known drive offsets: " + why;
        Parse({});
        return false;
    }
    Parse(text);
    return true;
}

const KnownDriveOffset* CKnownDriveOffsets::Find(const std::string& vendor, const std::string& model) const {
    auto find = [&](const std::string& key) -> const KnownDriveOffset* {
        const auto it = std::lower_bound(keys_.begin(), keys_.end(), key);
        return it != keys_.end() && *it == key ? &entries_[static_cast<std::size_t>(it - keys_.begin())] : nullptr;
    };
    if (Collapse(model).empty()) return nullptr;
    if (const KnownDriveOffset* e = find(KnownKey(vendor, model))) return e;
    // The list names some makers by their trade name where drives report another.
    static const std::pair<const char*, const char*> kAliases[] = {
        {"HL-DT-ST", "LG Electronics"}, {"MATSHITA", "Panasonic"}, {"JLMS", "Lite-On"},
    };
    const std::string v = Upper(Collapse(vendor));
    for (const auto& [reported, listed] : kAliases)
        if (v == reported)
            if (const KnownDriveOffset* e = find(KnownKey(listed, model))) return e;
    return nullptr;
}

// ---------------------------------------------------------------------------------

CDriveOffsets::CDriveOffsets(std::string home) : home_(std::move(home)) {}

std::string CDriveOffsets::SettingsPath() const { return home_ + "/" + kSettingsFile; }

std::optional<int32_t> CDriveOffsets::UserOffset(const std::string& vendor, const std::string& model,
                                                 std::string* error) const {
    const std::string path = SettingsPath();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 && errno == ENOENT) return std::nullopt;
    IniFile ini;
    std::string why;
    if (!ini.Load(path, &why)) {
        if (error) *error = why;
        return std::nullopt;
    }
    const std::string section = DriveOffsetKey(vendor, model);
    const std::optional<std::string> value = ini.Get(section, kOffsetKey);
    if (!value || Collapse(*value).empty()) return std::nullopt;
    const std::optional<int32_t> offset = ParseOffset(*value);
    if (!offset && error)
        *error = path + ": [" + section + "] " + kOffsetKey + "=" + *value + " is not a read offset between " +
                 FormatOffset(-kMaxReadOffset) + " and " + FormatOffset(kMaxReadOffset) + "; it is ignored";
    return offset;
}

bool CDriveOffsets::SetUserOffset(const std::string& vendor, const std::string& model,
                                  std::optional<int32_t> samples, std::string* error) {
    if (samples && (*samples < -kMaxReadOffset || *samples > kMaxReadOffset)) {
        if (error)
            *error = "read offset " + FormatOffset(*samples) + " lies outside " + FormatOffset(-kMaxReadOffset) +
                     ".." + FormatOffset(kMaxReadOffset);
        return false;
    }
    const std::string path = SettingsPath();
    IniFile ini;
    std::string why;
    struct stat st {};
    // A file that exists but cannot be read is left alone rather than replaced.
    if ((::stat(path.c_str(), &st) == 0 || errno != ENOENT) && !ini.Load(path, &why)) {
        if (error) *error = why;
        return false;
    }
    ini.Set(DriveOffsetKey(vendor, model), kOffsetKey, samples ? FormatOffset(*samples) : std::string());
    if (!ini.Save(path, 0600, &why)) {
        if (error) *error = why;
        return false;
    }
    return true;
}

const CKnownDriveOffsets* CDriveOffsets::Known(std::string* error) {
    if (!knownLoaded_) {
        knownLoaded_ = true;
        const std::string path = FindDataFile(kKnownFile, home_);
        if (path.empty()) {
            knownError_ = std::string("the list of known drive offsets (") + kKnownFile + ") is not installed";
        } else {
            CKnownDriveOffsets list;
            if (list.Load(path, &knownError_)) known_ = std::move(list);
        }
    }
    if (!known_ && error) *error = knownError_;
    return known_ ? &*known_ : nullptr;
}

EffectiveOffset CDriveOffsets::Effective(const std::string& vendor, const std::string& model, std::string* error) {
    EffectiveOffset e;
    std::string why;
    if (const std::optional<int32_t> user = UserOffset(vendor, model, &why)) {
        e.samples = *user;
        e.source = OffsetSource::User;
        e.sourceText = "your setting";
        return e;
    }
    std::string knownWhy;
    if (const CKnownDriveOffsets* known = Known(&knownWhy)) {
        if (const KnownDriveOffset* k = known->Find(vendor, model)) {
            e.samples = k->offset;
            e.source = OffsetSource::KnownDrive;
            e.sourceText = "known drive list (" + std::to_string(k->submissions) + " submissions, " +
                           std::to_string(k->agreePercent) + "% agree)";
            if (error) *error = why;
            return e;
        }
    } else if (why.empty()) {
        why = knownWhy;
    }
    e.sourceText = "default";
    if (error) *error = why;
    return e;
}

EffectiveOffset CDriveOffsets::Effective(const CdDrive& drive, std::string* error) {
    return Effective(drive.IdentA(), drive.IdentB(), error);
}

EffectiveOffset CDriveOffsets::Apply(CdDrive& drive, CEventLog& log) {
    std::string why;
    const EffectiveOffset e = Effective(drive, &why);
    drive.SetReadOffset(e.samples);
    drive.SetStatusSink([&log](const std::string& text, int level) {
        try {
            log.Add(text, level);
        } catch (const std::runtime_error&) {
            // The log file could not be written; the entry is in the list all the same.
        }
    });
    try {
        if (!why.empty()) log.Add("Warning: " + why, 1);
        if (e.samples != 0)
            log.Add("Read offset of drive \"" + drive.EntryText() + "\": " + FormatOffset(e.samples) + " samples (" +
                    e.sourceText + ")");
    } catch (const std::runtime_error&) {
    }
    return e;
}

}  // namespace quarrow
