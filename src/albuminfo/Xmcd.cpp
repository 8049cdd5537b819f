#include "albuminfo/Xmcd.h"

#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "albuminfo/RecordText.h"
#include "app/EventLog.h"

namespace quarrow {

namespace {

// The longest line the writer produces, before its CR LF.
constexpr size_t kMaxLineLength = 254;
// Track indices beyond this are not a CD's; such lines are dropped rather than letting
// a damaged record grow the title list without bound.
constexpr int32_t kMaxTrackIndex = 999;

const char* const kNoStatusLine =
    "CCDDB::ParseRecordBody, CDDB server failed to return a valid xmcd record.";
const char* const kBadSubmittedVia =
    "CCDDB::ParseRecordBodyHelper, CDDB server failed to return a record with a valid "
    "Submitted via: line.";

// Album failures are warnings (level 1); level 2 belongs to start-up failures.
void LogError(CEventLog* log, const std::string& message) {
    if (log) log->Add(message, 1);
}

// A leading decimal number as the C library reads one: blanks skipped, an optional sign,
// digits up to the first non-digit, 0 without digits. Saturates instead of overflowing.
int32_t LeadingInt(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    int64_t value = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        value = value * 10 + (s[i] - '0');
        if (value > int64_t{INT32_MAX} + 1) value = int64_t{INT32_MAX} + 1;
    }
    if (negative) value = -value;
    if (value > INT32_MAX) value = INT32_MAX;
    if (value < INT32_MIN) value = INT32_MIN;
    return static_cast<int32_t>(value);
}

// A leading hexadecimal number (blanks skipped, optional "0x"); keeps the low 32 bits.
uint32_t LeadingHex(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    if (i + 2 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X') &&
        std::isxdigit(static_cast<unsigned char>(s[i + 2])))
        i += 2;
    uint32_t value = 0;
    for (; i < s.size() && std::isxdigit(static_cast<unsigned char>(s[i])); ++i) {
        char c = static_cast<char>(std::tolower(static_cast<unsigned char>(s[i])));
        value = value * 16 + static_cast<uint32_t>(c <= '9' ? c - '0' : c - 'a' + 10);
    }
    return value;
}

std::string_view Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

bool StartsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

std::string_view After(std::string_view s, size_t count) {
    return count >= s.size() ? std::string_view() : s.substr(count);
}

void ReplaceAll(std::string& s, std::string_view from, std::string_view to) {
    std::string out;
    out.reserve(s.size());
    size_t pos = 0;
    while (true) {
        size_t hit = s.find(from, pos);
        if (hit == std::string::npos) break;
        out.append(s, pos, hit - pos);
        out.append(to);
        pos = hit + from.size();
    }
    out.append(s, pos, std::string::npos);
    s = std::move(out);
}

// Takes the next line off text: up to the first CR LF when the text holds one, else up
// to the first LF; the rest after the last line end is a last line. Returns false when
// nothing is left.
bool NextLine(std::string_view& text, std::string_view& line, bool& hadEnd) {
    if (text.empty()) return false;
    size_t crlf = text.find("\r\n");
    if (crlf != std::string_view::npos) {
        line = text.substr(0, crlf);
        text.remove_prefix(crlf + 2);
        hadEnd = true;
        return true;
    }
    size_t lf = text.find('\n');
    if (lf != std::string_view::npos) {
        line = text.substr(0, lf);
        text.remove_prefix(lf + 1);
        hadEnd = true;
        return true;
    }
    line = text;
    text = std::string_view();
    hadEnd = false;
    return true;
}

// The received text ends at its first NUL, as a C string does.
std::string_view UpToNul(const std::string& text) {
    size_t nul = text.find('\0');
    return std::string_view(text).substr(0, nul);
}

// Sizes list to index + 1 entries and appends value to the entry; false for an index
// no disc can have.
bool AppendIndexed(std::vector<std::string>& list, int32_t index, std::string_view value) {
    if (index < 0 || index > kMaxTrackIndex) return false;
    list.resize(static_cast<size_t>(index) + 1);
    list[static_cast<size_t>(index)].append(value);
    return true;
}

void SplitDTitle(const std::string& dtitle, std::string& artist, std::string& title) {
    size_t sep = dtitle.find(" / ");
    if (sep == std::string::npos) {
        artist = dtitle;
        title = dtitle;
    } else {
        artist = dtitle.substr(0, sep);
        title = dtitle.substr(sep + 3);
    }
}

std::string Format(const char* fmt, long long value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, value);
    return buf;
}

}  // namespace

std::string XmcdEscape(const std::string& value) {
    std::string s = value;
    ReplaceAll(s, "\\", "\\\\");
    ReplaceAll(s, "\n", "\\n");
    ReplaceAll(s, "\t", "\\t");
    return s;
}

std::string XmcdUnescape(const std::string& value) {
    // Three passes in this order, as records have always been read: a "\\n" written for
    // a literal backslash before an n therefore reads back as a backslash and a line feed.
    std::string s = value;
    ReplaceAll(s, "\\n", "\n");
    ReplaceAll(s, "\\t", "\t");
    ReplaceAll(s, "\\\\", "\\");
    return s;
}

std::string XmcdKeyedLines(const std::string& key, const std::string& value) {
    const std::string escaped = XmcdEscape(value);
    // A key too long to leave room for text still gets one character per line.
    const size_t room = key.size() + 1 < kMaxLineLength ? kMaxLineLength - 1 - key.size() : 1;
    std::string out;
    size_t pos = 0;
    do {
        size_t remaining = escaped.size() - pos;
        size_t piece = key.size() + 1 + remaining <= kMaxLineLength ? remaining : room;
        out += key;
        out += '=';
        out.append(escaped, pos, piece);
        out += "\r\n";
        pos += piece;
    } while (pos < escaped.size());
    return out;
}

std::string XmcdBody(const CAlbumRecord& record, int protocolLevel) {
    std::string out = "# xmcd\r\n#\r\n# Track frame offsets:\r\n";
    for (uint32_t offset : record.trackFrameOffsets)
        out += Format("# %lld\r\n", static_cast<int32_t>(offset));
    out += Format("#\r\n# Disc length: %lld seconds\r\n#\r\n", record.discLength);
    out += Format("#\r\n# Revision: %lld\r\n", record.revision);
    out += XmcdEscape("# Submitted via: " + record.submittingProgram + " " +
                      record.submittingVersion + " " + record.submittingComment);
    out += "\r\n#\r\n";
    char discId[32];
    std::snprintf(discId, sizeof discId, "DISCID=%08x\r\n", record.discId);
    out += discId;
    out += XmcdKeyedLines("DTITLE", record.artist.empty()
                                         ? record.albumTitle
                                         : record.artist + " / " + record.albumTitle);
    if (protocolLevel >= 5) {
        out += record.year == 0 ? std::string("DYEAR=\r\n") : Format("DYEAR=%04lld\r\n", record.year);
        out += XmcdKeyedLines("DGENRE", record.genre);
    }
    for (size_t i = 0; i < record.trackTitles.size(); ++i)
        out += XmcdKeyedLines("TTITLE" + std::to_string(i), record.trackTitles[i]);
    out += XmcdKeyedLines("EXTD", record.extendedData);
    for (size_t i = 0; i < record.trackExtendedData.size(); ++i)
        out += XmcdKeyedLines("EXTT" + std::to_string(i), record.trackExtendedData[i]);
    out += "PLAYORDER=";
    return out;
}

std::string XmcdFileText(const CAlbumRecord& record, int protocolLevel) {
    return kXmcdStatusLine + XmcdBody(record, protocolLevel);
}

bool ParseRecordBody(const std::string& text, CAlbumRecord& record, CEventLog* log) {
    std::string_view rest = UpToNul(text);
    const int code = rest.size() < 3 ? -1 : LeadingInt(rest.substr(0, 3));
    if (code < 210 || code > 219) return true;
    std::string_view status;
    bool hadEnd = false;
    NextLine(rest, status, hadEnd);
    if (!hadEnd) {
        LogError(log, kNoStatusLine);
        return false;
    }
    return ParseRecordBodyHelper(std::string(rest), record, log);
}

bool ParseRecordBodyHelper(const std::string& textAfterStatusLine, CAlbumRecord& record,
                           CEventLog* log) {
    record = CAlbumRecord{};
    std::string dtitle, playOrder;
    bool xmcdSeen = false, insideOffsets = false, discLengthSeen = false;
    bool submittedViaSeen = false, discIdSeen = false, dtitleSeen = false;

    std::string_view rest = UpToNul(textAfterStatusLine);
    std::string_view line;
    bool hadEnd = false;
    while (NextLine(rest, line, hadEnd)) {
        if (!line.empty() && line[0] == '#') {
            std::string_view c = Trim(line.substr(1));
            if (StartsWith(c, "xmcd")) {
                xmcdSeen = true;
            } else if (c.find("Track frame offsets:") != std::string_view::npos) {
                insideOffsets = true;
            } else if (StartsWith(c, "Disc length:")) {
                record.discLength = LeadingInt(After(c, 13));
                discLengthSeen = true;
                insideOffsets = false;
            } else if (StartsWith(c, "Revision:")) {
                record.revision = LeadingInt(After(c, 9));
            } else if (StartsWith(c, "Submitted via:")) {
                std::string_view words = After(c, 14);
                std::vector<std::string> parts;
                size_t i = 0;
                while (i < words.size() && parts.size() < 3) {
                    while (i < words.size() && words[i] == ' ') ++i;
                    size_t start = i;
                    while (i < words.size() && words[i] != ' ') ++i;
                    if (i > start) parts.emplace_back(words.substr(start, i - start));
                }
                if (parts.size() < 2) {
                    LogError(log, kBadSubmittedVia);
                    return false;
                }
                record.submittingProgram = parts[0];
                record.submittingVersion = parts[1];
                record.submittingComment = parts.size() > 2 ? parts[2] : std::string();
                submittedViaSeen = true;
            } else if (insideOffsets && !c.empty()) {
                record.trackFrameOffsets.push_back(static_cast<uint32_t>(LeadingInt(c)));
            }
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        const std::string_view key = line.substr(0, eq);
        const std::string value = XmcdUnescape(std::string(line.substr(eq + 1)));
        if (key == "DISCID") {
            if (value.size() >= 8) {
                record.discId = LeadingHex(value);
                discIdSeen = true;
            }
        } else if (key == "DTITLE") {
            dtitle += value;
            dtitleSeen = true;
        } else if (key == "DYEAR") {
            record.year = LeadingInt(value);
        } else if (key == "DGENRE") {
            record.genre += value;
        } else if (StartsWith(key, "TTITLE")) {
            if (!AppendIndexed(record.trackTitles, LeadingInt(After(key, 6)), value))
                LogError(log, "xmcd record: line " + std::string(key) +
                                    " ignored, its track number is out of range.");
        } else if (key == "EXTD") {
            record.extendedData += value;
        } else if (StartsWith(key, "EXTT")) {
            if (!AppendIndexed(record.trackExtendedData, LeadingInt(After(key, 4)), value))
                LogError(log, "xmcd record: line " + std::string(key) +
                                    " ignored, its track number is out of range.");
        } else if (key == "PLAYORDER") {
            playOrder += value;
        }
    }

    const char* const prefix = "CCDDB::ParseRecordBodyHelper, CDDB server failed to return a record with ";
    const char* failure = nullptr;
    if (!xmcdSeen)
        failure = "a XMCD comment line.";
    else if (record.trackFrameOffsets.empty())
        failure = "any Track frame offset lines.";
    else if (!discLengthSeen)
        failure = "a Disc length line.";
    else if (!submittedViaSeen)
        failure = "a Submiteed via line.";
    else if (!discIdSeen)
        failure = "a DISCID line.";
    else if (!dtitleSeen)
        failure = "a DTITLE line.";
    else if (record.trackTitles.size() != record.trackExtendedData.size())
        failure = "an equal amount of TTITLE lines to EXTT lines.";
    if (failure) {
        LogError(log, std::string(prefix) + failure);
        return false;
    }

    SplitDTitle(dtitle, record.artist, record.albumTitle);

    size_t pos = 0;
    while (true) {
        size_t comma = playOrder.find(',', pos);
        if (comma == std::string::npos) {
            if (pos < playOrder.size())
                record.playOrder.push_back(LeadingInt(std::string_view(playOrder).substr(pos)));
            break;
        }
        record.playOrder.push_back(
            LeadingInt(std::string_view(playOrder).substr(pos, comma - pos)));
        pos = comma + 1;
    }
    bool detected = false;
    const std::string charset = DecodeRecordText(record, &detected);
    if (charset != kUtf8 && log)
        log->Add("xmcd record of disc " + FormatDiscId(record.discId) + " is not UTF-8: read as " + charset +
                     (detected ? " (detected)" : " (no code page recognised)"),
                 0);
    return true;
}

}  // namespace quarrow
