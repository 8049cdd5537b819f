// The CDDB client: request texts, answer parsers, the answer reader on in-memory bytes,
// and whole requests against the CDDB server that runs inside this test process.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <tuple>

#include "albuminfo/CDDB.h"
#include "app/EventLog.h"
#include "app/Prompter.h"
#include "support/CddbTestServer.h"

// Records are written with designated initializers that name only the fields a case needs.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using namespace quarrow;
using test::CddbTestServer;
using test::Logged;

namespace {

// 00:02:00, 05:10:12, lead-out 10:00:00 (disc ID 06025602)
const CCDDBToc kToc{{0, 2, 0}, {5, 10, 12}, {10, 0, 0}};
const std::string kHello = "hello=joe+box_example+MfcCDDB+1.28";

CCDDB FixedClient(CEventLog* log) {
    CCDDB c(log);
    c.SetUserName("joe"), c.SetHostName("box.example"), c.SetTimeout(5000);
    return c;
}

uint32_t ThrownCode(const std::function<void()>& f, std::string* what = nullptr) {
    try { f(); } catch (const CCDDBException& e) { if (what) *what = e.what(); return e.code(); }
    return 0;
}

}  // namespace

TEST(CddbRequests, HelloAndDirectRequestTexts) {
    CCDDB c = FixedClient(nullptr);
    c.SetUserName("Unregistered User 42");
    EXPECT_EQ(c.HelloParameters(), "hello=Unregistered_User_42+box_example+MfcCDDB+1.28&proto=5");
    c.SetUserName("joe");
    const auto server = CCDDBServerAddress::Query("gnudb.gnudb.org", 80);
    EXPECT_EQ(c.QueryRequest(server, 0x06025602, kToc),
              "GET /~cddb/cddb.cgi?cmd=cddb+query+06025602+2+150+23262+600&" + kHello + "&proto=5 HTTP/1.0\r\n\r\n");
    c.SetProtocolLevel(4);
    // A direct request carries no Host header.
    EXPECT_EQ(c.StatRequest(server), "GET /~cddb/cddb.cgi?cmd=stat&" + kHello + "&proto=4 HTTP/1.0\r\n\r\n");
    // The "auto" user name is the login name made safe: never empty, letters and digits only.
    const std::string user = CCDDB(nullptr).UserName();
    EXPECT_TRUE(!user.empty() && std::all_of(user.begin(), user.end(), [](char ch) { return std::isalnum(ch) || ch == '_'; }));
}

TEST(CddbRequests, ProxyFormsAndBasicCredentials) {
    EXPECT_EQ(Base64Encode("f") + Base64Encode("fo") + Base64Encode("foo") + Base64Encode("\xff\xfe"), "Zg==Zm8=Zm9v//4=");
    CCDDB c = FixedClient(nullptr);
    c.SetProxyHost("proxy.local"), c.SetProxyPort(3128), c.SetProxyUser("user"), c.SetProxyPassword("");
    const auto server = CCDDBServerAddress::Query("gnudb.gnudb.org", 8880);
    // The colon is encoded even with an empty password; Host follows directly.
    EXPECT_EQ(c.MotdRequest(server), "GET http://gnudb.gnudb.org/~cddb/cddb.cgi?cmd=motd&" + kHello +
                                         "&proto=5 HTTP/1.0\r\nProxy-Authorization: Basic dXNlcjo=\r\n"
                                         "Host: gnudb.gnudb.org\r\n\r\n");
    const CAlbumRecord r{.discId = 0x06025602};
    const std::string submit = c.SubmitRequest(CCDDBServerAddress::Submission("gnudb.gnudb.org"), "rock",
                                               "me@example.org", r, "a note", false);
    EXPECT_EQ(submit.rfind("POST http://gnudb.gnudb.org/~cddb/submit.cgi HTTP/1.0\r\nProxy-Authorization: Basic dXNlcjo=\r\n", 0), 0u);
    EXPECT_NE(submit.find("\r\nSubmit-Mode: test\r\nX-Cddbd-Note: a note\r\nContent-Length: "), submit.npos);
    const auto headerEnd = submit.find("\r\n\r\n");
    EXPECT_EQ(std::stoul(submit.substr(submit.find("Content-Length: ") + 16)), submit.size() - headerEnd - 4);
    // A hostile note cannot add a header line.
    const std::string hostile = c.SubmitRequest(CCDDBServerAddress::Submission("h"), "rock", "e", r, "x\r\nEvil: 1", true);
    EXPECT_TRUE(hostile.find("\r\nEvil") == hostile.npos && hostile.find("Submit-Mode: submit\r\n") != hostile.npos);
}

TEST(CddbParsers, QueryAnswersAndMatchLines) {
    CEventLog log;
    std::vector<CCDDBMatch> m;
    ASSERT_TRUE(ParseQueryBody("200 rock 06025602 The Artist / A Title\r\n", 0x06025602, m, &log));
    EXPECT_EQ(m, (std::vector<CCDDBMatch>{{"rock", 0x06025602, "The Artist", "A Title"}}));
    m.clear();
    ASSERT_TRUE(ParseQueryBody("211 close matches found\r\nrock 0a0b0c0d  A/B / C\r\n"
                               "jazz   ffffffff Solo Title\r\nnot-a-match\r\nblues 12345678  X /Y\n", 1, m, &log));
    EXPECT_EQ(m, (std::vector<CCDDBMatch>{{"rock", 0x0a0b0c0d, "A", "B / C"},  // first "/" splits
                                          {"jazz", 0xffffffff, "", "Solo Title"},
                                          {"blues", 0x12345678, "X", "Y"}}));
    m.clear();
    // No match lines, too short, not CDDB at all.
    for (const char* body : {"211 found\r\n", "200 rock", "<html>garbage</html>"})
        EXPECT_FALSE(ParseQueryBody(body, 1, m, &log) || !m.empty()) << body;
    CCDDBMatch one;
    EXPECT_FALSE(ParseMatchLine("rock 12345678   ", one));  // nothing after the ID
    EXPECT_TRUE(ParseMatchLine("rock 12345678 T\r\nnext line", one) && one.title == "T");
    EXPECT_EQ(std::pair(CddbStatusCode("21"), CddbStatusCode("211 x")), std::pair(-1, 211));
}

TEST(CddbReadResponse, TerminatorGrowthAndFailures) {
    CCDDB c(nullptr);
    std::string text;
    const std::string header = "HTTP/1.0 200 OK\r\n\r\n";
    // Many small pieces, more than one block: collected whole, cut before the terminator.
    std::string body = "210 rock 1 follows\r\n";
    for (int i = 0; i < 800; ++i) body += "TTITLE" + std::to_string(i) + "=Some title text\r\n";
    const std::string all = header + body + ".\r\n" + "trailing junk";
    ASSERT_GT(all.size(), 3 * kCddbBlockSize);
    std::vector<std::string> pieces;
    for (std::size_t i = 0; i < all.size(); i += 7) pieces.push_back(all.substr(i, 7));
    MemoryConnection drip(pieces);
    ASSERT_TRUE(c.ReadResponse(drip, kCddbTerminator, text, kCddbBlockSize, kReadToTerminator));
    EXPECT_EQ(text, header + body.substr(0, body.size() - 2));
    // Mode 0 reads on past a one-line code; the close before the terminator fails and keeps the text.
    MemoryConnection oneLine({header + "401 permission denied\r\n"});
    EXPECT_FALSE(c.ReadResponse(oneLine, kCddbTerminator, text, kCddbBlockSize, kReadToTerminator));
    EXPECT_EQ(c.LastAnswer(), header + "401 permission denied\r\n");
    EXPECT_NE(c.FailureReason().find("closed"), std::string::npos);
    // Query mode ends at a whole status line outside 210-219 (even one byte at a time, the
    // connection then staying silent), at the close when the line has no end, and waits
    // for the terminator after a 211.
    std::vector<std::string> bytes;
    for (char ch : header + "200 rock 06025602 A / B\r\n") bytes.emplace_back(1, ch);
    struct { MemoryConnection conn; std::string text; } queries[] = {
        {MemoryConnection(bytes, /*silentAtEnd=*/true), header + "200 rock 06025602 A / B\r\n"},
        {MemoryConnection({header + "211 found\r\n", "rock 1 a / b\r\n", ".\r\n"}), header + "211 found\r\nrock 1 a / b"},
    };
    for (auto& q : queries)
        EXPECT_TRUE(c.ReadResponse(q.conn, kCddbTerminator, text, kCddbBlockSize, kReadQuery) && text == q.text) << q.text;
    // An endless answer is refused once past the limit.
    const std::string mib(1024 * 1024, 'x');
    MemoryConnection flood({header, mib, mib, mib, mib, mib, "\r\n.\r\n"});
    EXPECT_FALSE(c.ReadResponse(flood, kCddbTerminator, text, kCddbBlockSize, kReadToTerminator));
    EXPECT_NE(c.FailureReason().find("larger than 4194304 bytes"), std::string::npos);
    EXPECT_LE(text.size(), kCddbMaxAnswerBytes + kCddbBlockSize);
}

TEST(CddbLoopback, QueryAndReadAgainstLocalServer) {
    CddbTestServer server;
    CEventLog log;
    CCDDB c = FixedClient(&log);
    const auto addr = CCDDBServerAddress::Query("127.0.0.1", server.Port());
    // A genuine record whose DISCID differs from the one asked for.
    server.SetBody(CddbTestServer::ReadAnswerBody(test::XmcdTestFile("rr_a10b600c_crlf.xmcd")));
    CAlbumRecord record;
    c.Read(addr, "rock", 0xa10b600d, record);
    EXPECT_EQ(record.artist + " / " + record.albumTitle + " " + record.trackTitles.at(3), "Motorhead / Inferno Suicide");
    EXPECT_EQ(record.discId, 0xa10b600du);
    EXPECT_TRUE(Logged(log, "CCDDB::Read, Returned DiscID from CDDB read (a10b600c) is different than "
                            "the computed value (a10b600d), using the computed value", 0));
    // No match: 516 after the ParseQueryBody message; the main matches are cleared.
    std::vector<CCDDBMatch> main{{"rock", 1, "a", "b"}}, matches;
    c.SetMainMatches(&main);
    server.SetBody("202 No match for disc ID 06025602.\r\n");
    EXPECT_EQ(ThrownCode([&] { c.Query(addr, 0x06025602, kToc, matches); }), CCDDBException::kQueryFailed);
    EXPECT_TRUE(main.empty());
    // A garbage record answer throws 517; garbage without a header throws 516.
    server.SetBody("210 rock 1 follows\r\nnothing useful here\r\n.\r\n");
    EXPECT_EQ(ThrownCode([&] { c.Read(addr, "rock", 1, record); }), CCDDBException::kReadFailed);
    server.SetHandler([](const std::string&) { return std::string("\x01\x02garbage\r\n.\r\n"); });
    EXPECT_EQ(ThrownCode([&] { c.Read(addr, "rock", 1, record); }), CCDDBException::kQueryFailed);
}

TEST(CddbLoopback, DripSilenceAndConnectionErrors) {
    CddbTestServer server;
    CCDDB c = FixedClient(nullptr);
    const auto addr = CCDDBServerAddress::Query("127.0.0.1", server.Port());
    std::vector<CCDDBMatch> matches;
    std::string what;
    // Silence past a short time-out: the request's own code, promptly.
    server.SetSilent(true);
    c.SetTimeout(300);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ThrownCode([&] { c.Query(addr, 1, kToc, matches); }, &what), CCDDBException::kQueryFailed);
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(took >= std::chrono::milliseconds(290) && took < std::chrono::milliseconds(3000));
    EXPECT_EQ(c.LastError(), ETIMEDOUT);
    EXPECT_NE(what.find("within 300 ms"), std::string::npos) << what;
    CCDDBServerStatus st;
    // One byte every 100 ms never lets a wait reach the time-out; the request still ends
    // with the time-out error once three time-outs have passed.
    server.SetSilent(false);
    server.SetBody(std::string(100, 'x'));
    server.SetDrip(true, std::chrono::milliseconds(100));
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(ThrownCode([&] { c.Query(addr, 1, kToc, matches); }, &what), CCDDBException::kQueryFailed);
    took = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(took >= std::chrono::milliseconds(850) && took < std::chrono::milliseconds(1600));
    EXPECT_EQ(c.LastError(), ETIMEDOUT);
    EXPECT_NE(what.find("no complete answer within 900 ms"), std::string::npos) << what;
    // A refused connection: an error that names host and port.
    server.Stop();
    EXPECT_EQ(ThrownCode([&] { c.Status(addr, st); }, &what), CCDDBException::kFacilityWin32 | ECONNREFUSED);
    EXPECT_NE(what.find("127.0.0.1:" + std::to_string(server.Port())), std::string::npos) << what;
}

TEST(CddbLoopback, RefusedStatMotdSubmitAndProxy) {
    CddbTestServer server;
    CEventLog log;
    RecordingPrompter prompter;
    CCDDB c = FixedClient(&log);
    c.SetPrompter(&prompter);
    const auto addr = CCDDBServerAddress::Query("127.0.0.1", server.Port());
    // Stat, motd and submit answers that succeed are read by the server test and the editor.
    std::string motd;
    CCDDBServerStatus st;
    EXPECT_EQ(ThrownCode([&] { c.Status(addr, st); }), CCDDBException::kStatusFailed);  // 500 No handler
    server.SetBody("210 no line end\r\n.\r\n");  // the terminator leaves no line end behind the status
    EXPECT_EQ(ThrownCode([&] { c.Motd(addr, motd); }), CCDDBException::kMotdFailed);
    const CAlbumRecord r{.trackFrameOffsets = {150, 23262}, .discId = 0x06025602, .trackTitles = {"One", "Two"},
                         .trackExtendedData = {"", ""}};
    const auto submitAddr = CCDDBServerAddress::Submission("127.0.0.1", server.Port());
    server.SetBody("501 Missing required header information.\r\n");
    EXPECT_EQ(ThrownCode([&] { c.Submit(submitAddr, "rock", "e", r, "n", false); }), CCDDBException::kSubmitFailed);
    EXPECT_EQ(prompter.prompts.back().text, "Fail to Submit CDDB Info!  Response Code: 501");
    EXPECT_TRUE(Logged(log, prompter.prompts.back().text, 1));
    // Through a proxy that demands Basic credentials (alice:s3cret:x, a colon in the
    // password): the client connects to the proxy, not to the server it names.
    server.RequireProxyAuth("YWxpY2U6czNjcmV0Ong=");
    server.SetBody("200 rock 06025602 A / B\r\n");
    c.SetProxyHost("127.0.0.1"), c.SetProxyPort(server.Port()), c.SetProxyUser("alice"), c.SetProxyPassword("s3cret:x");
    std::vector<CCDDBMatch> matches;
    c.Query(CCDDBServerAddress::Query("gnudb.gnudb.org", 8880), 0x06025602, kToc, matches);
    EXPECT_EQ(matches.size(), 1u);
}
