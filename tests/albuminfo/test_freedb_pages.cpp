// The FreeDB server list (built-in list, line text, host checks, the list file and damaged
// ones, the client set-up), the "FreeDB" and "FreeDB::Client" page rules, the server
// editor, and the server test against the CDDB server inside this test process.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "albuminfo/CDDB.h"
#include "albuminfo/FreeDBPages.h"
#include "albuminfo/FreeDBServer.h"
#include "app/EventLog.h"
#include "app/Prompter.h"
#include "app/Settings.h"
#include "support/CddbTestServer.h"
#include "support/TestFiles.h"

using namespace quarrow;
using test::Logged;
using support::WriteFile;
using support::ReadFile;
using quarrow::test::CddbTestServer;

namespace {

struct Pages {
    Pages() { page.Open(), clientPage.Open(); }
    CSettings settings = CSettings::Initial("/tmp/qhome");
    FreeDBServerList list = DefaultFreeDBServers();
    CCDDB client;
    CCDDBServerAddress address;
    RecordingPrompter prompter;
    bool refreshing = false;
    FreeDBOptionPage page{settings, list, client, address, prompter, "/tmp/qhome", &refreshing};
    FreeDBClientPage clientPage{settings, client, &refreshing};
};

// Collects the server test's texts by step.
struct Collector {
    std::mutex m;
    std::vector<std::pair<int, std::string>> steps;
    FreeDBServerTest::Sink Sink() {
        return [this](int step, const std::string& text) { std::lock_guard<std::mutex> lock(m); steps.emplace_back(step, text); };
    }
    std::string Text(int step) {
        std::lock_guard<std::mutex> lock(m);
        for (auto& s : steps) if (s.first == step) return s.second;
        return {};
    }
};

// Runs the server test to its end (or, with stopEarly, stops it once the first step shows).
void RunServerTest(const ServerTestSetup& setup, Collector& c, bool stopEarly = false) {
    FreeDBServerTest test;
    ASSERT_TRUE(test.Start(setup, c.Sink()));
    if (!stopEarly) return test.Join();
    for (int i = 0; i < 1000 && c.Text(0).empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_FALSE(c.Text(0).empty());
    const auto start = std::chrono::steady_clock::now();
    test.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_FALSE(test.Running());
}

// Answers stat, motd, query and read like a small real server.
std::string Answer(const std::string& request) {
    const auto has = [&](const char* cmd) { return request.find(cmd) != std::string::npos; };
    return CddbTestServer::HttpAnswer(
        has("cmd=stat") ? "210 OK, status information follows\r\nServer status:\r\n    current proto: 6\r\n"
                          "    max proto: 6\r\n    gets: yes\r\nDatabase entries: 5\r\n"
                          "Database entries by category:\r\n    rock: 5\r\n.\r\n"
        : has("cmd=motd") ? "210 MOTD follows\r\nHello tester\r\n.\r\n"
        : has("cmd=cddb+query") ? "200 rock a10b600c Motorhead / Inferno\r\n" : has("cmd=cddb+read+rock+a10b600c")
            ? CddbTestServer::ReadAnswerBody(test::XmcdTestFile("rr_a10b600c_crlf.xmcd")) : "500 Unrecognized command\r\n");
}

}  // namespace

TEST(FreeDBPages, ServerListEditing) {
    Pages p;
    ASSERT_EQ(p.page.lines.size(), 13u);
    FreeDBServerEditor e = FreeDBServerEditor::New();
    EXPECT_EQ(e.ToServer(), (CFreeDBServer{"", 80, 60000, 5}));
    e.host = "127.0.0.1", e.port = 8880, e.levelIndex = 1;  // item "4"
    ASSERT_TRUE(p.page.Add(e));
    EXPECT_TRUE(p.list.back() == (CFreeDBServer{"127.0.0.1", 8880, 60000, 4}) && p.page.selection == 13 && p.page.modified);
    FreeDBServerEditor edit;
    EXPECT_TRUE(p.page.EditorForSelection(edit) && edit.levelIndex == 1);
    // A host with a colon is refused with its reason; nothing changes.
    std::string why;
    edit.host = "h:80:90";
    EXPECT_FALSE(p.page.ReplaceSelected(edit, &why) || p.page.Add(edit));
    EXPECT_NE(why.find("\"h:80:90\""), std::string::npos) << why;
    EXPECT_EQ(p.list.size(), 14u);
    edit.host = "127.0.0.1", edit.timeout = 500;
    ASSERT_TRUE(p.page.ReplaceSelected(edit));
    EXPECT_EQ(p.page.lines[13], "127.0.0.1  Port: 8880  Timeout: 500  Protocol Level 4  ");
    ASSERT_TRUE(p.page.DeleteSelected());
    EXPECT_EQ(std::pair(p.list.size(), p.page.selection), std::pair(13ul, 0));
    while (p.page.DeleteSelected()) {}
    EXPECT_EQ(std::pair(p.list.size(), p.page.selection), std::pair(0ul, -1));
    EXPECT_FALSE(p.page.EditorForSelection(edit));
    p.page.ResetServers();
    EXPECT_EQ(std::pair(p.list.size(), p.page.selection), std::pair(13ul, 0));
    // A hand-edited level outside 3-5 shows as the nearest item.
    EXPECT_EQ(std::pair(FreeDBServerEditor::From({"h", 80, 1, 9}).levelIndex, FreeDBServerEditor::From({"h", 80, 1, 0}).levelIndex),
              std::pair(2, 0));
}

TEST(FreeDBPages, OptionPageApplyCancelAndReset) {
    Pages p;
    const auto& f = p.settings.FREEDB;
    p.page.Add({"cddb.local", 8880, 700, 0});  // level item "3"
    p.page.SetLoadAlbumInfo(false);
    p.page.SetAlbumInfoSource(2);  // disabled without "Load ..."
    EXPECT_EQ(p.page.albumInfoSource, 0);
    p.page.SetLoadAlbumInfo(true), p.page.SetAlbumInfoSource(2), p.page.SetLocalCddbDir("/music/cddb");
    p.refreshing = true;  // refused while a refresh runs
    EXPECT_FALSE(p.page.Apply() || f.CurFreeDBServer != 0);
    p.refreshing = false;
    ASSERT_TRUE(p.page.Apply());
    EXPECT_EQ((std::tuple<int, int, std::string>(f.CurFreeDBServer, f.AlbumInfoSource, f.LocalCDDBDir)), std::tuple(13, 2, "/music/cddb"));
    EXPECT_EQ(p.address, CCDDBServerAddress::Query("cddb.local", 8880));
    EXPECT_EQ(std::tuple(p.client.ProtocolLevel(), p.client.Timeout(), p.client.HostName()),
              std::tuple(3, 700u, std::string("cddb_local")));
    // Empty list: the box, the defaults come back, the page stays.
    while (p.page.DeleteSelected()) {}
    EXPECT_FALSE(p.page.Apply());
    EXPECT_EQ(p.prompter.prompts.at(0).text, "Empty FreeDB Sever!\nReset FreeDB Servers Now!");
    EXPECT_EQ(std::tuple(p.list.size(), p.page.selection, f.CurFreeDBServer), std::tuple(13ul, 0, 13));  // not stored
    // Cancel with no selection: the box, the defaults, index 0.
    while (p.page.DeleteSelected()) {}
    p.page.Cancel();
    EXPECT_EQ(std::tuple(p.prompter.prompts.size(), p.list.size(), f.CurFreeDBServer), std::tuple(2ul, 13ul, 0));
    // The bottom Reset puts every FreeDB and client setting back and reloads the client page.
    p.settings.FREEDB.Proxy = 1, p.settings.FREEDB.ProxyURL = "proxy", p.settings.FREEDB.Application = "X";
    p.clientPage.Open();
    p.page.ResetAll(&p.clientPage);
    EXPECT_EQ(f.ProxyURL + "|" + f.Application + "|" + p.page.localCddbDir, "|MfcCDDB|/tmp/qhome/Local CDDB");
    EXPECT_TRUE(f.Proxy == 0 && !p.clientPage.useProxy);
}

TEST(FreeDBPages, ClientPageRules) {
    Pages p;
    auto& c = p.clientPage;
    EXPECT_FALSE(c.ProxyFieldsEnabled());
    c.SetAuthentication(true);  // disabled without "Use Proxy"
    EXPECT_FALSE(c.authentication);
    c.SetUseProxy(true), c.SetAuthentication(true);
    EXPECT_TRUE(c.CredentialFieldsEnabled());
    c.proxyUrl = "proxy.local", c.proxyPort = 3128, c.proxyUsername = "u", c.proxyPassword = "pw";
    c.username = "me too", c.application = "Quarrow";
    ASSERT_TRUE(c.Apply());
    EXPECT_EQ(std::tuple(p.settings.FREEDB.Proxy, p.settings.FREEDB.Authentication, p.settings.FREEDB.ProxyPort),
              std::tuple(1, 1, 3128));
    EXPECT_EQ(p.client.ProxyHost() + ":" + std::to_string(p.client.ProxyPort()) + " " + p.client.ProxyUser() + "/" +
                  p.client.ProxyPassword(), "proxy.local:3128 u/pw");
    EXPECT_EQ(p.client.UserName() + " " + p.client.ClientName(), "me_too Quarrow");
    // Clearing "Use Proxy" clears "Authentication" too, and the client stops using the proxy.
    c.SetUseProxy(false);
    EXPECT_FALSE(c.authentication);
    ASSERT_TRUE(c.Apply());
    EXPECT_TRUE(p.settings.FREEDB.Authentication == 0 && p.client.ProxyHost() + p.client.ProxyUser() == "");
    p.refreshing = true, c.application = "Other";
    EXPECT_FALSE(c.Apply() || p.settings.FREEDB.Application != "Quarrow");
}

TEST(FreeDBPages, ServerTestStepsAgainstLocalServer) {
    CddbTestServer server;
    server.SetHandler(Answer);
    Pages p;
    p.page.Add({"127.0.0.1", server.Port(), 5000, 2});
    p.clientPage.username = "tester";
    ServerTestSetup setup;
    ASSERT_TRUE(MakeServerTestSetup(p.page, p.clientPage, setup));
    // The server answers any query: the disc's own ID does not matter.
    setup.discToc = [](CCDDBToc& toc) { return toc = {{0, 2, 0}, {5, 10, 12}, {10, 0, 0}}, true; };
    // Playing: "No" ends the test before it starts.
    FreeDBServerTest test;
    Collector c;
    bool stopped = false;
    RecordingPrompter asker;
    asker.yesNoReplies = {false};
    EXPECT_FALSE(test.Start(setup, c.Sink(), &asker, [] { return true; }, [&] { stopped = true; }) || stopped);
    EXPECT_EQ(asker.prompts.at(0).text, FreeDBServerTest::kStopPlayingQuestion);
    ASSERT_TRUE(test.Start(setup, c.Sink(), &asker, [] { return true; }, [&] { stopped = true; }));
    EXPECT_TRUE(stopped);
    test.Join();
    // Each step's text, cut to its first lines and one line from the answer it reports.
    const struct { int step; std::string begins, holds; } steps[] = {
        {0, "Site URL: 127.0.0.1/~cddb/cddb.cgi\nPort: " + std::to_string(server.Port()) + "\n", "Username: tester\n"},
        {1, "Message of the Day: Hello tester\nStatus of the site 127.0.0.1", "rock entries: 5 \n"},
        {2, "Retrieved the following matches for the inserted audio CD\na10b600c, Motorhead / Inferno\n",
         "Disc Length (seconds): 2914\n"},
        {3, "Track Names are:\nTrack 1: Terminal Show\n", "\nTrack Offsets:\n150\n17040\n"},
    };
    for (const auto& s : steps)
        EXPECT_TRUE(c.Text(s.step).starts_with(s.begins) && c.Text(s.step).find(s.holds) != std::string::npos) << c.Text(s.step);
    EXPECT_EQ(server.Requests().size(), 4u);  // stat, motd, query, read
}

TEST(FreeDBPages, ServerTestErrorsNoDiscAndStop) {
    CddbTestServer server;
    server.SetHandler(Answer);
    ServerTestSetup setup;
    setup.server = {"127.0.0.1", server.Port(), 5000, 5};
    setup.discToc = [](CCDDBToc&) { return false; };
    Collector noDisc, garbage, silent;
    RunServerTest(setup, noDisc);  // no disc: steps 0 and 1 only
    EXPECT_TRUE(!noDisc.Text(1).empty() && noDisc.Text(2) + noDisc.Text(4) == "");
    // A server that answers garbage: step 4 with the error text.
    server.SetHandler([](const std::string&) { return std::string("garbage\r\n"); });
    RunServerTest(setup, garbage);
    EXPECT_EQ(garbage.Text(4), "An error occurred!");
    // A silent server with a long time-out: Stop() returns promptly and nothing follows.
    server.SetSilent(true);
    setup.server.timeout = 60000;
    RunServerTest(setup, silent, true);
    EXPECT_EQ(silent.steps.size(), 1u);
}

TEST(FreeDBServerList, HostsAndPortsAreValidated) {
    const struct { CFreeDBServer server; const char* why; } cases[] = {
        {{"127.0.0.1", 65535, 1, 3}, nullptr}, {{"evil\r\nHost: x", 80, 60000, 5}, "control characters"},
        {{"", 80, 60000, 5}, "may not be empty"}, {{"h", 0, 60000, 5}, "invalid port 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.server.host + ":" + std::to_string(c.server.port));
        std::string why;
        FreeDBServerList list;  // the server file never brings such a host back either
        EXPECT_EQ(ValidFreeDBServer(c.server, &why), c.why == nullptr);
        EXPECT_TRUE(!c.why || why.find(c.why) != std::string::npos) << why;
        EXPECT_EQ(DecodeFreeDBServers(EncodeFreeDBServers({c.server}), list, &why), c.why == nullptr);
    }
}

TEST(FreeDBServerList, FileEncodingLengthPrefixesAndDamagedBytes) {
    const FreeDBServerList list{{"ab", 80, 60000, 5}, {std::string(300, 'h'), 8880, 1000, 4},
                                {std::string(254, 'a'), 1, -1, 3}, {std::string(255, 'b'), 2, 3, 4}};
    const std::string bytes = EncodeFreeDBServers(list);
    // count 4, then "ab" with a one-byte length and the three integers little-endian
    EXPECT_EQ(bytes.substr(0, 19), std::string("\x04\x00\x00\x00\x02" "ab\x50\x00\x00\x00\x60\xea\x00\x00\x05\x00\x00\x00", 19));
    // 300 characters: 0xFF and a two-byte length 300; 254 stays one byte, 255 takes the
    // escape, 0xFFFE or more the four-byte way.
    EXPECT_EQ(bytes.substr(19, 3), std::string("\xff\x2c\x01", 3));
    EXPECT_EQ(bytes.size(), 4 + (1 + 2 + 12) + (3 + 300 + 12) + (1 + 254 + 12) + (3 + 255 + 12));
    const FreeDBServerList huge{{std::string(0xFFFE, 'z'), 80, 60000, 5}};
    EXPECT_EQ(EncodeFreeDBServers(huge).substr(4, 7), std::string("\xff\xff\xff\xfe\xff\x00\x00", 7));
    for (const FreeDBServerList& l : {list, huge}) {
        FreeDBServerList back;
        EXPECT_TRUE(DecodeFreeDBServers(EncodeFreeDBServers(l), back, nullptr) && back == l);
    }
    // Damaged bytes are rejected with a reason, the list left unchanged.
    const std::string good = EncodeFreeDBServers({{"gnudb.gnudb.org", 80, 60000, 5}, {"b", 8, 9, 4}});
    const FreeDBServerList before{{"keep", 1, 2, 3}};
    const struct { std::string bytes, why; } cases[] = {
        {good + "x", "1 bytes follow"},  // extra bytes
        // A count of four billion in a tiny file is refused before anything is reserved.
        {std::string("\xff\xff\xff\xff\x00", 5), "4294967295"},
        {std::string("\x01\x00\x00\x00\xff\xff\xff\xff\xff\xff\x7f", 11) + std::string(12, '\0'), ""},  // host length past the end
    };
    std::vector<std::pair<std::string, std::string>> all;
    for (std::size_t n = 0; n < good.size(); ++n) all.emplace_back(good.substr(0, n), "");  // every truncation
    for (const auto& c : cases) all.emplace_back(c.bytes, c.why);
    for (const auto& [bytes, expected] : all) {
        FreeDBServerList list = before;
        std::string why;
        EXPECT_FALSE(DecodeFreeDBServers(bytes, list, &why)) << bytes.size();
        EXPECT_EQ(list, before);
        EXPECT_TRUE(!why.empty() && why.find(expected) != std::string::npos) << why;
    }
    FreeDBServerList none = before;  // zero servers is a valid (empty) list
    EXPECT_TRUE(DecodeFreeDBServers(std::string(4, '\0'), none, nullptr) && none.empty());
}

TEST(FreeDBServerList, LoadAndSaveFiles) {
    support::ScratchDir dir;
    const std::string path = FreeDBServerFilePath(dir.path());
    EXPECT_EQ(path, dir.file("FreeDB Server.ini"));
    CEventLog log;
    FreeDBServerList list;
    // First start: an empty file is made and the list holds the defaults; shutdown writes 13.
    EXPECT_FALSE(LoadFreeDBServers(path, list, &log));
    EXPECT_EQ(ReadFile(path) + std::to_string(list.size()), "13");
    std::string err;
    ASSERT_TRUE(SaveFreeDBServers(path, list, &err)) << err;
    // An intact file is read and logged.
    const FreeDBServerList mine{{"127.0.0.1", 8880, 500, 4}};
    ASSERT_TRUE(SaveFreeDBServers(path, mine));
    EXPECT_TRUE(LoadFreeDBServers(path, list, &log) && list == mine);
    EXPECT_TRUE(Logged(log, "FreeDB settings loaded.", 0, false));
    // The empty file of a first start that never reached shutdown, a truncated file or a
    // FIFO (a plain read would block): a warning naming the file, and the built-in list.
    const std::string bytes = ReadFile(path);
    WriteFile(dir.file("empty.ini"), "");
    WriteFile(dir.file("cut.ini"), bytes.substr(0, bytes.size() - 3));
    ASSERT_EQ(::mkfifo(dir.file("fifo.ini").c_str(), 0600), 0);
    for (const char* name : {"empty.ini", "cut.ini", "fifo.ini"}) {
        list.clear();
        EXPECT_FALSE(LoadFreeDBServers(dir.file(name), list, &log) || list != DefaultFreeDBServers()) << name;
        if (std::string(name) != "empty.ini") { EXPECT_TRUE(Logged(log, dir.file(name), 1, false)) << name; }
    }
    EXPECT_TRUE(Logged(log, "\"" + dir.file("cut.ini") + "\" is damaged", 1, false));
    // Saving into a folder that does not exist fails with a reason.
    EXPECT_FALSE(SaveFreeDBServers(dir.file("missing/x.ini"), mine, &err) || err.find("missing/x.ini") == err.npos);
}

// The pages' Apply covers address and time-out; the proxy credentials reach the client only here.
TEST(FreeDBServerList, ApplyToClientPassesProxyCredentials) {
    CSettings s = CSettings::Initial("/tmp/home");
    auto& f = s.FREEDB;
    f.Proxy = f.Authentication = 1, f.ProxyURL = "proxy.local", f.ProxyPort = 3128, f.ProxyUsername = "u", f.ProxyPassword = "p";
    CCDDB client;
    CCDDBServerAddress addr;
    ASSERT_TRUE(ApplyFreeDBServer(client, addr, FreeDBServerList{{"cddb.local", 8880, 1500, 4}}, s));
    EXPECT_EQ(client.ProxyHost() + " " + client.ProxyUser() + "/" + client.ProxyPassword(), "proxy.local u/p");
}
