// Verified rips against the databases: AccurateRip disc IDs and CUETools TOCs of known
// discs, and both lookups through a loopback server that serves the files written here
// (several pressings, v1 and v2 matches, mismatches, 404, garbage, silence, a proxy).
#include <gtest/gtest.h>

#include <discid/discid.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <memory>

#include "albuminfo/CDDB.h"
#include "albuminfo/DiscVerification.h"
#include "app/CdDrive.h"
#include "app/Settings.h"
#include "support/HttpTestServer.h"

// Records are written with designated initializers that name only the fields a case needs.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using namespace quarrow;

namespace {

// Tracks as {start LBA, audio?}; a negative start opens a new session at -start.
CdDiscLayout Layout(const std::vector<std::pair<int32_t, bool>>& tracks, int32_t leadOut) {
    CdDiscLayout l;
    l.sessions.emplace_back();
    for (const auto& [start, audio] : tracks) {
        if (start < 0) l.sessions.emplace_back();
        CdTrackInfo t;
        t.number = l.TrackCount() + 1, t.start = start < 0 ? -start : start, t.type = audio ? kTrackAudio : kTrackMode1;
        l.sessions.back().push_back(t);
    }
    l.leadOut = leadOut;
    return l;
}

// Worked from the public description alone: id1 sums the audio starts and the lead-out;
// id2 weighs each start (at least 1) by its audio index and the lead-out by count + 1;
// the CDDB part comes from libdiscid.
std::string ReferenceArId(const std::vector<uint32_t>& starts, uint32_t leadOut) {
    uint32_t id1 = leadOut, id2 = leadOut * static_cast<uint32_t>(starts.size() + 1);
    std::vector<int> offsets{static_cast<int>(leadOut) + 150};
    for (std::size_t i = 0; i < starts.size(); ++i)
        id1 += starts[i], id2 += std::max(starts[i], 1u) * static_cast<uint32_t>(i + 1), offsets.push_back(static_cast<int>(starts[i]) + 150);
    offsets.resize(100);
    std::unique_ptr<DiscId, void (*)(DiscId*)> d(discid_new(), discid_free);
    discid_put(d.get(), 1, static_cast<int>(starts.size()), offsets.data());
    char buf[64];
    std::snprintf(buf, sizeof buf, "%03zu-%08x-%08x-%s", starts.size(), id1, id2, discid_get_freedb_id(d.get()));
    return buf;
}

}  // namespace

TEST(Verification, DiscIdsAndTocsOfKnownDiscs) {
    // The published IDs of an enhanced CD (ten audio tracks, data in a second session) and
    // of a disc that starts with its data track, as the database's own tools compute them.
    const std::vector<int32_t> liquid{0, 12617, 40337, 63075, 93260, 117965, 151715, 184190, 215110, 247305};
    std::vector<std::pair<int32_t, bool>> enhanced, mixed{{0, false}};
    for (int32_t s : liquid) enhanced.push_back({s, true});
    enhanced.push_back({-281585, false});
    std::string mixedToc = "-0:";
    for (int s : {66728, 76502, 85963, 93760, 104048, 116066, 124743, 134206, 142916, 151852, 160720, 169425, 178731, 188459,
                  196711, 206354, 214845, 223686, 225746, 226384, 232668, 239447, 239931, 244989, 254264, 260066, 261222, 261674})
        mixed.push_back({s - 150, true}), mixedToc += std::to_string(s - 150) + ":";
    struct Row { const char* name; CdDiscLayout layout; std::string arId, toc; };
    const Row rows[] = {
        {"four tracks", Layout({{0, true}, {11413, true}, {25024, true}, {45713, true}}, 55220),
         ReferenceArId({0, 11413, 25024, 45713}, 55220), "0:11413:25024:45713:55220"},
        {"one track", Layout({{0, true}}, 20000), ReferenceArId({0}, 20000), "0:20000"},
        {"enhanced CD", Layout(enhanced, 333651), "010-00164419-00b9f6e2-9e11600b",
         "0:12617:40337:63075:93260:117965:151715:184190:215110:247305:-281585:333651"},
        {"data track first", Layout(mixed, 261826), "028-00517a54-05a845d2-af0da31d", mixedToc + "261826"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const AccurateRipDiscId id = AccurateRipIdOf(r.layout);
        EXPECT_EQ(id.Text(), r.arId);
        EXPECT_EQ(CueToolsDbToc(r.layout), r.toc);
    }
    EXPECT_EQ(AccurateRipUrl("http://h/ar/", AccurateRipIdOf(rows[2].layout)),
              "http://h/ar/9/1/4/dBAR-010-00164419-00b9f6e2-9e11600b.bin");
    // The data track first keeps its slot in the file; the last audio track has none then.
    const AccurateRipDiscId m = AccurateRipIdOf(rows[3].layout);
    EXPECT_EQ(AccurateRipEntryIndex(m, 1), -1);
    EXPECT_EQ(AccurateRipEntryIndex(m, 2), 1);
    EXPECT_FALSE(AccurateRipIdOf(Layout({{0, false}}, 1000)).Valid());
}

namespace {

// A dBAR chunk written from the public layout: count, three IDs, then per track
// confidence, checksum and frame-450 checksum, little endian.
std::string Chunk(const AccurateRipDiscId& id, const std::vector<std::array<uint32_t, 3>>& tracks) {
    std::string b(1, static_cast<char>(tracks.size()));
    auto le = [&b](uint32_t v) { for (int i = 0; i < 4; ++i) b += static_cast<char>(v >> (8 * i)); };
    le(id.id1), le(id.id2), le(id.cddbId);
    for (const auto& t : tracks) b += static_cast<char>(t[0]), le(t[1]), le(t[2]);
    return b;
}

std::string Ctdb(const std::string& entries) {
    return "<?xml version=\"1.0\"?><ctdb xmlns=\"http://db.cuetools.net/ns/mmd-1.0#\">" + entries + "</ctdb>";
}

std::string Replaced(std::string s, const std::string& what, const std::string& with) {
    for (auto at = s.find(what); at != std::string::npos; at = s.find(what, at + with.size())) s.replace(at, what.size(), with);
    return s;
}

}  // namespace

TEST(Verification, LookupsAndVerdicts) {
    const CdDiscLayout disc = Layout({{0, true}, {11413, true}}, 25024);
    const AccurateRipDiscId id = AccurateRipIdOf(disc);
    const std::string arPath = "/ar" + AccurateRipUrl("", id);
    const std::string ctdbPath = "/lookup2.php?version=3&ctdb=1&fuzzy=1&toc=0:11413:25024";
    const std::vector<TrackChecksumResult> sums{{1, {.arV1 = 0x11111111, .arV2 = 0x22222222}},
                                                {2, {.arV1 = 0x33333333, .arV2 = 0x44444444}}};
    std::vector<TrackChecksumResult> partial = sums;
    partial[1].checkable = false, partial[1].uncheckableReason = "only part of the track was ripped";
    const std::string good = Ctdb("<entry confidence=\"896\" crc32=\"13f525de\" id=\"1\" trackcrcs=\"0a 0b\"/>"
                                  "<entry confidence=\"4\" crc32=\"00000001\"/>");
    enum Net { Normal, Silent, Refused, Proxy, ProxyNoAuth, Off };
    struct Row {
        const char* name; std::string ar; std::string ctdb; Net net; bool rawAr;
        std::string track1, track2, disc; std::vector<uint32_t> frame450; std::string summary = "*";
    };
    const std::vector<Row> rows = {
        {"v2 in one pressing, v1 in another, none in a third", Chunk(id, {{5, 0x22222222, 0xA}, {3, 0xDEADBEEF, 0xB}}) +
             Chunk(id, {{2, 0x99, 0xC}, {7, 0x33333333, 0xD}}) + Chunk(id, {{0, 0x22222222, 0xE}, {0, 0, 0xF}}), good, Normal, false,
         "accurately ripped (confidence 5) [v2, pressing 1 of 3]", "accurately ripped (confidence 7) [v1, pressing 2 of 3]",
         "accurately ripped (confidence 896) [1 of 2 entries, total confidence 900]", {0xA, 0xC},
         "AccurateRip: 2 of 2 tracks accurately ripped; CUETools database: accurately ripped (confidence 896)"},
        {"mismatch", Chunk(id, {{4, 0x5555, 0}, {0, 0, 0}}), Ctdb("<entry confidence=\"3\" crc32=\"ff\"/>"), Normal, false,
         "mismatch [1 pressing, none matches]", "not in database", "mismatch [1 entry, total confidence 3]", {},
         "AccurateRip: 0 of 2 tracks accurately ripped, 1 mismatch, 1 not in database; CUETools database: mismatch"},
        {"not in either database", "", Ctdb(""), Normal, false, "not in database", "not in database", "not in database", {}},
        {"cut-short file, no ctdb element", Chunk(id, {{1, 1, 1}, {1, 2, 2}}).substr(0, 25), "<html/>", Normal, false,
         "not checked: the AccurateRip answer is cut short in pressing 1 (2 tracks) at byte 25 (URL" + arPath + ")", "*",
         "not checked: the CUETools database answer has no ctdb element (URL" + ctdbPath + ")", {}},
        {"file cut in its header, bad entry", "\x01", "<ctdb><entry confidence=\"x\" crc32=\"1\"/></ctdb>", Normal, false,
         "not checked: the AccurateRip answer is cut short in the header of pressing 1 at byte 0 (URL" + arPath + ")", "*",
         "not checked: the CUETools database answer's entry 1 has no valid confidence (URL" + ctdbPath + ")", {}},
        {"not an HTTP answer", "garbage\r\n\r\n", "", Normal, true,
         "not checked: the AccurateRip server 127.0.0.1:PORT sent a malformed answer", "*", "not in database", {}},
        {"server silent past the time-out", "", "", Silent, false,
         "not checked: the AccurateRip server 127.0.0.1:PORT did not answer within 300 ms", "*",
         "not checked: the CUETools database server 127.0.0.1:PORT did not answer within 300 ms", {}},
        {"nothing listening", "", "", Refused, false,
         "not checked: cannot connect to the AccurateRip server 127.0.0.1:DEAD: Connection refused", "*", "*", {}},
        {"through a proxy, one track not whole", Chunk(id, {{9, 0x11111111, 0}, {9, 0x44444444, 0}}), good, Proxy, false,
         "accurately ripped (confidence 9) [v1, pressing 1 of 1]", "not checked: only part of the track was ripped", "*", {}},
        {"proxy refusing without credentials", "x", good, ProxyNoAuth, false,
         "not checked: the proxy 127.0.0.1:PORT answered 407 (proxy authentication required)", "*", "*", {}},
        {"lookup turned off", "", "", Off, false, "not checked: the database lookup is turned off", "*",
         "not checked: the database lookup is turned off", {},
         "AccurateRip: not checked: the database lookup is turned off; CUETools database: not checked: the database lookup is turned off"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        test::HttpTestServer server;
        int dead = 0;
        {
            test::CddbTestServer gone;
            dead = gone.Port();
        }
        if (!r.ar.empty()) r.rawAr ? server.ServeRaw(arPath, r.ar) : server.Serve(arPath, r.ar);
        if (!r.ctdb.empty()) server.Serve(ctdbPath, r.ctdb);
        server.Server().SetSilent(r.net == Silent);
        if (r.net == Proxy || r.net == ProxyNoAuth) server.Server().RequireProxyAuth(Base64Encode("who:secret"));

        CSettings settings = CSettings::Initial("/tmp/quarrow-verification-test");
        const std::string host = r.net == Proxy || r.net == ProxyNoAuth ? "http://db.verification.test"
                                 : r.net == Refused                   ? "http://127.0.0.1:" + std::to_string(dead)
                                                                      : server.Url();
        settings.VERIFY = {.Lookup = r.net != Off, .AccurateRipURL = host + "/ar/", .CTDBURL = host};
        settings.FREEDB.Proxy = r.net == Proxy || r.net == ProxyNoAuth;
        settings.FREEDB.ProxyURL = "127.0.0.1", settings.FREEDB.ProxyPort = server.Port();
        settings.FREEDB.Authentication = r.net == Proxy, settings.FREEDB.ProxyUsername = "who", settings.FREEDB.ProxyPassword = "secret";
        const HttpOptions options = HttpOptionsFromSettings(settings, {CFreeDBServer{"freedb.test", 80, 300, 5}});
        EXPECT_EQ(options.timeoutMs, 300u);

        const auto started = std::chrono::steady_clock::now();
        const VerificationLookups l = RunVerificationLookups(disc, settings, options);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3)) << "a lookup blocked";
        const DiscVerification v = VerifyDisc(l.id, r.net == Proxy ? partial : sums, l.accurateRip, 0x13f525deu, l.ctdb);
        auto expect = [&](const std::string& want, const std::string& got) {
            if (want == "*") return;
            EXPECT_EQ(got, Replaced(Replaced(Replaced(want, "PORT", std::to_string(server.Port())), "DEAD", std::to_string(dead)),
                                    "URL", server.Url()));
        };
        expect(r.track1, v.tracks.at(0).Line());
        expect(r.track2, v.tracks.at(1).Line());
        expect(r.disc, v.ctdb.Line());
        expect(r.summary, v.Summary());
        EXPECT_EQ(AccurateRipFrame450(l.accurateRip, l.id, 1), r.frame450);
        if (r.net == Proxy) {
            EXPECT_EQ(server.Targets().at(0), "http://db.verification.test/ar" + AccurateRipUrl("", id));
        }
    }
}

TEST(Verification, HttpAnswersThatAreTooLargeOrCutShort) {
    test::HttpTestServer server;
    server.Serve("/big", std::string(17, 'x'));
    server.ServeRaw("/cut", "HTTP/1.0 200 OK\r\nContent-Length: 50\r\n\r\nonly this");
    server.ServeRaw("/chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n");
    server.ServeRaw("/closed", "HTTP/1.0 200 OK\r\n\r\nto the close");
    const std::string at = "the test server 127.0.0.1:" + std::to_string(server.Port());
    const struct { const char* path; HttpFailure failure; std::string error, body; } rows[] = {
        {"/big", HttpFailure::TooLarge, at + " sent more than 16 bytes", ""},
        {"/cut", HttpFailure::Malformed, at + " sent a malformed answer (cut short)", ""},
        {"/chunked", HttpFailure::Malformed, at + " sent a malformed answer", ""},
        {"/closed", HttpFailure::None, "", "to the close"},
        {"/missing", HttpFailure::None, at + " answered 404", "no such file\n"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.path);
        const HttpResult got = HttpGet(server.Url() + r.path, {.timeoutMs = 2000, .maxBodyBytes = 16}, "test");
        EXPECT_EQ(got.failure, r.failure);
        EXPECT_EQ(got.error, r.error);
        EXPECT_EQ(got.body, r.body);
    }
    EXPECT_EQ(HttpGet("ftp://h/x", {}, "test").error, "the test address \"ftp://h/x\" is not an http:// address");
}
