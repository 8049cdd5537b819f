#include "rip/RipLog.h"

#include <nettle/sha2.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "albuminfo/AlbumRecord.h"
#include "app/SafeFile.h"
#include "rip/ReadingOptions.h"

namespace quarrow {

const char* const kRipLogChecksumPrefix = "Log checksum (SHA-256 of the lines above): ";

namespace {

constexpr std::size_t kMaxLogBytes = 16u << 20;   // a log of 99 tracks is a few tens of kilobytes

std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* fmt, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    return buf;
}

// "Secure Mode    (Precision Rip ...)" with its padding run squeezed to one blank.
std::string Squeeze(const std::string& s) {
    std::string out;
    for (char c : s)
        if (c != ' ' || out.empty() || out.back() != ' ') out += c;
    return out;
}

std::string Caption(const std::vector<std::string>& list, int index) {
    return index >= 0 && index < static_cast<int>(list.size()) ? Squeeze(list[static_cast<std::size_t>(index)])
                                                                 : "unknown (" + std::to_string(index) + ")";
}

// Minutes, seconds and frames of a sector count, "mm:ss:ff".
std::string Msf(int32_t sectors) {
    return Format("%02d:%02d:%02d", sectors / 4500, sectors / 75 % 60, sectors % 75);
}

// One "  Name:  value" line. Album data and paths come from outside: a control character
// (a line feed above all, which could fake a line of the log) becomes a blank.
std::string Field(const std::string& name, std::string value) {
    std::string line = "  " + name + ":";
    line.resize(std::max<std::size_t>(line.size() + 1, 18), ' ');
    for (char& c : value)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    return line + value + "\n";
}

std::string Hex(uint32_t v) { return Format("%08X", v); }

}  // namespace

VerdictKind CombinedVerdict(const RipLogTrack& t, const DiscVerdict& ctdb) {
    for (VerdictKind v : {VerdictKind::Accurate, VerdictKind::Mismatch, VerdictKind::NotInDatabase})
        if (t.accurateRip.kind == v || ctdb.kind == v) return v;
    return VerdictKind::NotChecked;
}

std::string TrackResultLine(const RipLogTrack& t, const DiscVerdict& ctdb) {
    std::string line = Format("Track %2d: ", t.number);
    if (t.TestCopyDiffer()) line += Format("test and copy differ (%08X, %08X); ", t.testCrc, t.copyCrc);
    if (t.accurateRip.kind != VerdictKind::Accurate && ctdb.kind == VerdictKind::Accurate)
        return line + ctdb.Text() + " [CUETools database, whole disc]";
    return line + t.accurateRip.Line();
}

std::string ShortTrackStatus(const RipLogTrack& t, const DiscVerdict& ctdb) {
    if (t.TestCopyDiffer()) return "Test/copy differ";
    switch (CombinedVerdict(t, ctdb)) {
        case VerdictKind::Accurate:
            return "Accurate (" +
                   std::to_string(t.accurateRip.kind == VerdictKind::Accurate ? t.accurateRip.confidence
                                                                              : ctdb.confidence) +
                   ")";
        case VerdictKind::Mismatch: return "Mismatch";
        case VerdictKind::NotInDatabase: return "Not in database";
        case VerdictKind::NotChecked: break;
    }
    return "Not checked";
}

std::string RipSummary(const std::vector<RipLogTrack>& tracks, const DiscVerdict& ctdb) {
    int accurate = 0, missing = 0, mismatch = 0, unchecked = 0, differ = 0;
    std::string why;
    for (const RipLogTrack& t : tracks) {
        differ += t.TestCopyDiffer();
        switch (CombinedVerdict(t, ctdb)) {
            case VerdictKind::Accurate: ++accurate; break;
            case VerdictKind::Mismatch: ++mismatch; break;
            case VerdictKind::NotInDatabase: ++missing; break;
            case VerdictKind::NotChecked:
                ++unchecked;
                if (why.empty()) why = t.accurateRip.reason;
                break;
        }
    }
    const int n = static_cast<int>(tracks.size());
    std::string text;
    if (n > 0 && accurate == n) text = "All tracks accurately ripped";
    else {
        text = Format("%d of %d track%s accurately ripped", accurate, n, n == 1 ? "" : "s");
        if (missing) text += Format(", %d not in database", missing);
        if (mismatch) text += Format(", %d mismatched", mismatch);
        if (unchecked) text += Format(", %d could not be checked", unchecked) + (why.empty() ? "" : " (" + why + ")");
    }
    if (differ) text += Format("; test and copy differ on %d track%s", differ, differ == 1 ? "" : "s");
    return text;
}

std::string BuildRipLog(const RipLogInput& in) {
    std::string log = "Quarrow " + in.version + " rip log\n";
    char date[64] = "";
    std::tm tm{};
    if (::localtime_r(&in.when, &tm)) std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S %z", &tm);
    log += Field("Date", date);
    log += "\n";
    log += Field("Drive", in.vendor + " " + in.model + " (revision " + in.revision + ")");
    log += Field("Device", in.device);
    log += Field("Read offset", Format("%+d samples", in.readOffset) +
                                    (in.offsetSource.empty() ? "" : " (" + in.offsetSource + ")"));
    log += Field("Read mode", Caption(ReadModeCaptions(), in.readMode));
    log += Field("Reread limit", std::to_string(in.retries));
    log += Field("On read error", Caption(ErrorActionCaptions(), in.errorAction));
    log += Field("Test and copy", in.testAndCopy ? "on" : "off");
    log += "\n";
    log += Field("Artist", in.artist);
    log += Field("Album", in.album);
    log += Field("CDDB disc ID", FormatDiscId(in.discId));
    if (!in.accurateRipId.empty()) log += Field("AccurateRip ID", in.accurateRipId);
    log += Field("CUETools CRC", in.ctdbCrc ? Hex(in.ctdbCrc) : "not made (the rip did not cover every audio track)");
    log += Field("CUETools", in.ctdb.Line());
    log += "\nTable of contents\n";
    log += "  Track  Type   Start sector  Sectors  Start     Length\n";
    std::string dataTracks;
    for (const auto& session : in.layout.sessions)
        for (const CdTrackInfo& t : session) {
            const bool audio = t.type == kTrackAudio;
            log += Format("  %5d  %-5s  %12d  %7d  %s  %s\n", t.number, audio ? "audio" : "data", t.start, t.sectors,
                          Msf(t.start).c_str(), Msf(t.sectors).c_str());
            if (!audio) dataTracks += (dataTracks.empty() ? "" : ", ") + std::to_string(t.number);
        }
    log += Field("Lead-out", Format("%d (%s)", in.layout.leadOut, Msf(in.layout.leadOut).c_str()));
    if (!dataTracks.empty()) log += Field("Data tracks", dataTracks + " (not ripped, not checked)");

    for (const RipLogTrack& t : in.tracks) {
        log += Format("\nTrack %d\n", t.number);
        if (!t.file.empty()) log += Field("File", t.file);
        log += Field("Peak level", t.peak < 0 ? "not measured" : Format("%.1f %%", t.peak));
        if (t.tested) log += Field("Test CRC", Hex(t.testCrc));
        log += Field("Copy CRC", Hex(t.copyCrc));
        if (t.TestCopyDiffer()) log += Field("Test and copy", "differ: the track did not read the same twice");
        log += Field("AccurateRip", t.accurateRip.Line());
        log += Field("AR checksums", "v1 " + Hex(t.arV1) + ", v2 " + Hex(t.arV2));
        log += Field("CUETools", in.ctdb.kind == VerdictKind::Accurate ? "accurately ripped as part of the disc"
                                                                       : in.ctdb.Text() + " (whole disc)");
        log += Field("Rereads", std::to_string(t.rereads));
        log += Field("Read errors", std::to_string(t.errors));
    }
    log += "\nSummary\n  " + RipSummary(in.tracks, in.ctdb) + "\n\n";
    return SealRipLog(std::move(log));
}

std::string Sha256Hex(const std::string& bytes) {
    sha256_ctx ctx;
    sha256_init(&ctx);
    sha256_update(&ctx, bytes.size(), reinterpret_cast<const uint8_t*>(bytes.data()));
    uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(&ctx, sizeof digest, digest);
    std::string hex;
    for (uint8_t b : digest) hex += Format("%02x", b);
    return hex;
}

std::string SealRipLog(std::string body) {
    if (!body.empty() && body.back() != '\n') body += '\n';
    const std::string digest = Sha256Hex(body);
    return body + kRipLogChecksumPrefix + digest + "\n";
}

LogCheck CheckRipLogText(const std::string& text, const std::string& name) {
    const std::string prefix = kRipLogChecksumPrefix;
    // The last checksum line that starts a line.
    std::size_t at = std::string::npos;
    for (std::size_t pos = text.rfind(prefix); pos != std::string::npos;
         pos = pos == 0 ? std::string::npos : text.rfind(prefix, pos - 1))
        if (pos == 0 || text[pos - 1] == '\n') {
            at = pos;
            break;
        }
    if (at == std::string::npos)
        return {LogIntegrity::NoChecksum, name + ": no checksum line: not a rip log, or its last line was removed"};
    std::size_t end = text.find('\n', at);
    const std::string digest = text.substr(at + prefix.size(), (end == std::string::npos ? text.size() : end) -
                                                                   at - prefix.size());
    if (end != std::string::npos && end + 1 < text.size())
        return {LogIntegrity::Edited, name + ": edited: " + std::to_string(text.size() - end - 1) +
                                          " bytes follow the checksum line"};
    if (digest.size() != 64 || digest.find_first_not_of("0123456789abcdef") != std::string::npos)
        return {LogIntegrity::Edited, name + ": edited: the checksum line is damaged"};
    if (Sha256Hex(text.substr(0, at)) != digest)
        return {LogIntegrity::Edited, name + ": edited: the text does not match its checksum line"};
    return {LogIntegrity::Intact, name + ": intact: the checksum matches the text"};
}

LogCheck CheckRipLogFile(const std::string& path) {
    std::string text, error;
    if (!ReadRegularFile(path, kMaxLogBytes, text, error)) return {LogIntegrity::Unreadable, error};
    return CheckRipLogText(text, path);
}

}  // namespace quarrow
