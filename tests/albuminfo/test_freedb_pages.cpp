// The FreeDB server list (built-in list, line text, host checks, the list file and damaged
// ones, the client set-up), the "FreeDB" and "FreeDB::Client" page rules, the server
// editor, and the server test against the CDDB server inside this test process.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
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
namespace fs = std::filesystem;
using test::Logged;
using support::WriteFile;
using support::ReadFile;
using quarrow::test::CddbTestServer;

namespace {

struct Pages {
    Pages() {
        page.Open();
        clientPage.Open();
    }
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
        return [this](int step, const std::string& text) {
            std::lock_guard<std::mutex> lock(m);
            steps.emplace_back(step, text);
        };
    }
    std::string Text(int step) {
        std::lock_guard<std::mutex> lock(m);
        for (auto& s : steps)
            if (s.first == step) return s.second;
        return {};
    }
    bool WaitFor(int step) {
        for (int i = 0; i < 1000 && Text(step).empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return !Text(step).empty();
    }
};

// Answers stat, motd, query and read like a small real server.
std::string Answer(const std::string& request) {
    const auto has = [&](const char* cmd) { return request.find(cmd) != std::string::npos; };
    return CddbTestServer::HttpAnswer(
        has("cmd=stat") ? "210 OK, status information follows\r\nServer status:\r\n    current proto: 6\r\n"
                          "    max proto: 6\r\n    gets: yes\r\nDatabase entries: 5\r\n"
                          "Database entries by category:\r\n    rock: 5\r\n.\r\n"
        : has("cmd=motd") ? "210 MOTD follows\r\nHello tester\r\n.\r\n"
        : has("cmd=cddb+query") ? "200 rock a10b600c Motorhead / Inferno\r\n"
        : has("cmd=cddb+read+rock+a10b600c")
            ? CddbTestServer::ReadAnswerBody(test::XmcdTestFile("rr_a10b600c_crlf.xmcd"))
            : "500 Unrecognized command\r\n");
}

}  // namespace

TEST(FreeDBPages, ServerListEditing) {
    Pages p;
    ASSERT_EQ(p.page.lines.size(), 13u);

    FreeDBServerEditor e = FreeDBServerEditor::New();
    EXPECT_EQ(e.ToServer(), (CFreeDBServer{"", 80, 60000, 5}));
    e.host = "127.0.0.1";
    e.port = 8880;
    e.levelIndex = 1;  // item "4"
    ASSERT_TRUE(p.page.Add(e));
    EXPECT_EQ(p.list.back(), (CFreeDBServer{"127.0.0.1", 8880, 60000, 4}));
    EXPECT_EQ(p.page.lines.back(), "127.0.0.1  Port: 8880  Timeout: 60000  Protocol Level 4  ");
    EXPECT_EQ(p.page.selection, 13);
    EXPECT_TRUE(p.page.modified);

    FreeDBServerEditor edit;
    ASSERT_TRUE(p.page.EditorForSelection(edit));
    EXPECT_EQ(edit.levelIndex, 1);
    // A host with a colon is refused with its reason; nothing changes.
    std::string why;
    edit.host = "h:80:90";
    EXPECT_FALSE(p.page.ReplaceSelected(edit, &why));
    EXPECT_FALSE(p.page.Add(edit));
    EXPECT_NE(why.find("\"h:80:90\""), std::string::npos) << why;
    EXPECT_EQ(p.list.size(), 14u);
    edit.host = "127.0.0.1";
    edit.timeout = 500;
    ASSERT_TRUE(p.page.ReplaceSelected(edit));
    EXPECT_EQ(p.page.lines[13], "127.0.0.1  Port: 8880  Timeout: 500  Protocol Level 4  ");

    ASSERT_TRUE(p.page.DeleteSelected());
    EXPECT_EQ(p.list.size(), 13u);
    EXPECT_EQ(p.page.selection, 0);
    while (p.page.DeleteSelected()) {}
    EXPECT_TRUE(p.list.empty());
    EXPECT_EQ(p.page.selection, -1);
    EXPECT_FALSE(p.page.EditorForSelection(edit));
    p.page.ResetServers();
    EXPECT_EQ(p.list.size() * 10 + p.page.selection, 130u);

    // A hand-edited level outside 3-5 shows as the nearest item.
    EXPECT_EQ(FreeDBServerEditor::From({"h", 80, 1, 9}).levelIndex, 2);
    EXPECT_EQ(FreeDBServerEditor::From({"h", 80, 1, 0}).levelIndex, 0);
}

TEST(FreeDBPages, OptionPageApplyCancelAndReset) {
    Pages p;
    const auto& f = p.settings.FREEDB;
    p.page.Add({"cddb.local", 8880, 700, 0});  // level item "3"
    p.page.SetLoadAlbumInfo(false);
    p.page.SetAlbumInfoSource(2);  // disabled without "Load ..."
    EXPECT_EQ(p.page.albumInfoSource, 0);
    p.page.SetLoadAlbumInfo(true);
    p.page.SetAlbumInfoSource(2);
    p.page.SetLocalCddbDir("/music/cddb");

    p.refreshing = true;  // refused while a refresh runs
    EXPECT_FALSE(p.page.Apply());
    EXPECT_EQ(f.CurFreeDBServer, 0);
    p.refreshing = false;
    ASSERT_TRUE(p.page.Apply());
    EXPECT_EQ(f.CurFreeDBServer, 13);
    EXPECT_EQ(f.AlbumInfoSource, 2);
    EXPECT_EQ(f.LocalCDDBDir, "/music/cddb");
    EXPECT_EQ(p.address, CCDDBServerAddress::Query("cddb.local", 8880));
    EXPECT_EQ(p.client.ProtocolLevel(), 3);
    EXPECT_EQ(p.client.Timeout(), 700u);
    EXPECT_EQ(p.client.HostName(), "cddb_local");

    // Empty list: the box, the defaults come back, the page stays.
    while (p.page.DeleteSelected()) {}
    EXPECT_FALSE(p.page.Apply());
    ASSERT_EQ(p.prompter.prompts.size(), 1u);
    EXPECT_EQ(p.prompter.prompts[0].text, "Empty FreeDB Sever!\nReset FreeDB Servers Now!");
    EXPECT_EQ(p.prompter.prompts[0].icon, MessageIcon::Error);
    EXPECT_EQ(p.list.size(), 13u);
    EXPECT_EQ(p.page.selection, 0);
    EXPECT_EQ(f.CurFreeDBServer, 13);  // not stored by the refusal

    // Cancel with no selection: the box, the defaults, index 0.
    while (p.page.DeleteSelected()) {}
    p.page.Cancel();
    EXPECT_EQ(p.prompter.prompts.size(), 2u);
    EXPECT_EQ(p.list.size(), 13u);
    EXPECT_EQ(f.CurFreeDBServer, 0);

    // The bottom Reset puts every FreeDB and client setting back and reloads the client page.
    p.settings.FREEDB.Proxy = 1;
    p.settings.FREEDB.ProxyURL = "proxy";
    p.settings.FREEDB.Application = "X";
    p.clientPage.Open();
    p.page.ResetAll(&p.clientPage);
    EXPECT_EQ(f.Proxy, 0);
    EXPECT_EQ(f.ProxyURL + "|" + f.Application + "|" + p.page.localCddbDir, "|MfcCDDB|/tmp/qhome/Local CDDB");
    EXPECT_FALSE(p.clientPage.useProxy);
}

TEST(FreeDBPages, ClientPageRules) {
    Pages p;
    auto& c = p.clientPage;
    EXPECT_FALSE(c.ProxyFieldsEnabled());
    c.SetAuthentication(true);  // disabled without "Use Proxy"
    EXPECT_FALSE(c.authentication);
    c.SetUseProxy(true);
    c.SetAuthentication(true);
    EXPECT_TRUE(c.CredentialFieldsEnabled());
    c.proxyUrl = "proxy.local";
    c.proxyPort = 3128;
    c.proxyUsername = "u";
    c.proxyPassword = "pw";
    c.username = "me too";
    c.application = "Quarrow";
    ASSERT_TRUE(c.Apply());
    EXPECT_EQ(p.settings.FREEDB.Proxy + p.settings.FREEDB.Authentication, 2);
    EXPECT_EQ(p.settings.FREEDB.ProxyPort, 3128);
    EXPECT_EQ(p.client.ProxyHost() + ":" + std::to_string(p.client.ProxyPort()) + " " + p.client.ProxyUser() + "/" +
                  p.client.ProxyPassword(),
              "proxy.local:3128 u/pw");
    EXPECT_EQ(p.client.UserName() + " " + p.client.ClientName(), "me_too Quarrow");

    // Clearing "Use Proxy" clears "Authentication" too, and the client stops using the proxy.
    c.SetUseProxy(false);
    EXPECT_FALSE(c.authentication);
    ASSERT_TRUE(c.Apply());
    EXPECT_EQ(p.settings.FREEDB.Authentication, 0);
    EXPECT_EQ(p.client.ProxyHost() + p.client.ProxyUser(), "");

    p.refreshing = true;
    c.application = "Other";
    EXPECT_FALSE(c.Apply());
    EXPECT_EQ(p.settings.FREEDB.Application, "Quarrow");
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
    setup.discToc = [](CCDDBToc& toc) {
        toc = {{0, 2, 0}, {5, 10, 12}, {10, 0, 0}};
        return true;
    };

    // Playing: "No" ends the test before it starts.
    FreeDBServerTest test;
    Collector c;
    bool stopped = false;
    RecordingPrompter asker;
    asker.yesNoReplies = {false};
    EXPECT_FALSE(test.Start(setup, c.Sink(), &asker, [] { return true; }, [&] { stopped = true; }));
    EXPECT_FALSE(stopped);
    ASSERT_EQ(asker.prompts.size(), 1u);
    EXPECT_EQ(asker.prompts[0].text, FreeDBServerTest::kStopPlayingQuestion);

    CEventLog log;
    ASSERT_TRUE(test.Start(setup, c.Sink(), &asker, [] { return true; }, [&] { stopped = true; }, &log));
    EXPECT_TRUE(stopped);
    test.Join();
    const struct { int step; std::string begins, holds; } steps[] = {
        {0, "Site URL: 127.0.0.1/~cddb/cddb.cgi\nPort: " + std::to_string(server.Port()) +
                "\nProtocol Level: 5\nTimeout: 5000 milliseconds\nUsername: tester\n", ""},
        {1, "Message of the Day: Hello tester\nStatus of the site 127.0.0.1 is as follows\n"
            "Current Protocol: 6\nMax Protocol: 6\nGets Allowed: 1\n", "Database Entries: 5\nrock entries: 5 \n"},
        {2, "Retrieved the following matches for the inserted audio CD\na10b600c, Motorhead / Inferno\n\n"
            "One of the retrieved album details\nAlbum Title: Inferno\nAlbum Artist: Motorhead\n"
            "Disc Length (seconds): 2914\n", "Database Revision: 16\nDISCID: a10b600c\n"},
        {3, "Track Names are:\nTrack 1: Terminal Show\n", "\nTrack Offsets:\n150\n17040\n"},
    };
    for (const auto& s : steps) {
        const std::string text = c.Text(s.step);
        EXPECT_EQ(text.rfind(s.begins, 0), 0u) << text;
        EXPECT_NE(text.find(s.holds), std::string::npos) << text;
    }
    EXPECT_EQ(c.Text(0).find("Proxy"), std::string::npos);
    EXPECT_TRUE(c.Text(4).empty());
    EXPECT_EQ(server.Requests().size(), 4u);  // stat, motd, query, read
}

TEST(FreeDBPages, ServerTestErrorsNoDiscAndStop) {
    CddbTestServer server;
    server.SetHandler(Answer);
    ServerTestSetup setup;
    setup.server = {"127.0.0.1", server.Port(), 5000, 5};
    setup.discToc = [](CCDDBToc&) { return false; };
    {  // No disc: steps 0 and 1 only.
        FreeDBServerTest test;
        Collector c;
        ASSERT_TRUE(test.Start(setup, c.Sink()));
        test.Join();
        EXPECT_FALSE(c.Text(1).empty());
        EXPECT_EQ(c.Text(2) + c.Text(4), "");
    }
    {  // A server that answers garbage: step 4 with the error text.
        server.SetHandler([](const std::string&) { return std::string("garbage\r\n"); });
        FreeDBServerTest test;
        Collector c;
        ASSERT_TRUE(test.Start(setup, c.Sink()));
        test.Join();
        EXPECT_EQ(c.Text(4), "An error occurred!");
        EXPECT_STREQ(ServerTestCaption(4), "Error");
        EXPECT_STREQ(ServerTestCaption(1), "Testing...");
    }
    {  // A silent server with a long time-out: Stop() returns promptly and nothing follows.
        server.SetSilent(true);
        setup.server.timeout = 60000;
        FreeDBServerTest test;
        Collector c;
        ASSERT_TRUE(test.Start(setup, c.Sink()));
        ASSERT_TRUE(c.WaitFor(0));
        const auto start = std::chrono::steady_clock::now();
        test.Stop();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        EXPECT_FALSE(test.Running());
        std::lock_guard<std::mutex> lock(c.m);
        EXPECT_EQ(c.steps.size(), 1u);
    }
}

TEST(FreeDBServerList, HostsAndPortsAreValidated) {
    const struct { CFreeDBServer server; const char* why; } cases[] = {
        {{"gnudb.gnudb.org", 80, 60000, 5}, nullptr},
        {{"127.0.0.1", 65535, 1, 3}, nullptr},
        {{"h:80:90", 80, 60000, 5}, "may not contain a colon"},
        {{"two words", 80, 60000, 5}, "blanks"},
        {{"evil\r\nHost: x", 80, 60000, 5}, "control characters"},
        {{"", 80, 60000, 5}, "may not be empty"},
        {{"h", 0, 60000, 5}, "invalid port 0"},
        {{"h", 65536, 60000, 5}, "invalid port 65536"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.server.host + ":" + std::to_string(c.server.port));
        std::string why;
        EXPECT_EQ(ValidFreeDBServer(c.server, &why), c.why == nullptr);
        if (c.why) { EXPECT_NE(why.find(c.why), std::string::npos) << why; }
        // The server file never brings such a host back either.
        FreeDBServerList list;
        EXPECT_EQ(DecodeFreeDBServers(EncodeFreeDBServers({c.server}), list, &why), c.why == nullptr);
    }
}

TEST(FreeDBServerList, FileEncodingAndLengthPrefixes) {
    const FreeDBServerList list{{"ab", 80, 60000, 5}, {std::string(300, 'h'), 8880, 1000, 4},
                                {std::string(254, 'a'), 1, -1, 3}, {std::string(255, 'b'), 2, 3, 4}};
    const std::string bytes = EncodeFreeDBServers(list);
    // count 4, then "ab" with a one-byte length and the three integers little-endian
    EXPECT_EQ(bytes.substr(0, 19), std::string("\x04\x00\x00\x00\x02" "ab\x50\x00\x00\x00\x60\xea\x00\x00\x05\x00\x00\x00", 19));
    // 300 characters: 0xFF and a two-byte length 300; 254 stays one byte; 255 takes the escape
    EXPECT_EQ(bytes.substr(19, 3), std::string("\xff\x2c\x01", 3));
    // 254 stays one byte, 255 takes the escape, 0xFFFE or more the four-byte way.
    EXPECT_EQ(bytes.size(), 4 + (1 + 2 + 12) + (3 + 300 + 12) + (1 + 254 + 12) + (3 + 255 + 12));
    const FreeDBServerList huge{{std::string(0xFFFE, 'z'), 80, 60000, 5}};
    EXPECT_EQ(EncodeFreeDBServers(huge).substr(4, 7), std::string("\xff\xff\xff\xfe\xff\x00\x00", 7));
    for (const FreeDBServerList& l : {list, huge}) {
        FreeDBServerList back;
        std::string why;
        ASSERT_TRUE(DecodeFreeDBServers(EncodeFreeDBServers(l), back, &why)) << why;
        EXPECT_EQ(back, l);
    }
}

TEST(FreeDBServerList, DamagedBytesAreRejectedWithoutChange) {
    const std::string good = EncodeFreeDBServers({{"gnudb.gnudb.org", 80, 60000, 5}, {"b", 8, 9, 4}});
    const FreeDBServerList before{{"keep", 1, 2, 3}};
    const struct { std::string bytes, why; } cases[] = {
        {good + "x", "1 bytes follow"},  // extra bytes
        // A count of four billion in a tiny file is refused before anything is reserved.
        {std::string("\xff\xff\xff\xff\x00", 5), "4294967295"},
        // A four-byte host length far past the end.
        {std::string("\x01\x00\x00\x00\xff\xff\xff\xff\xff\xff\x7f", 11) + std::string(12, '\0'), ""},
    };
    std::vector<std::pair<std::string, std::string>> all;
    for (std::size_t n = 0; n < good.size(); ++n) all.emplace_back(good.substr(0, n), "");  // every truncation
    for (const auto& c : cases) all.emplace_back(c.bytes, c.why);
    for (const auto& [bytes, expected] : all) {
        FreeDBServerList list = before;
        std::string why;
        EXPECT_FALSE(DecodeFreeDBServers(bytes, list, &why)) << bytes.size();
        EXPECT_EQ(list, before);
        EXPECT_NE(why.find(expected), std::string::npos) << why;
        EXPECT_FALSE(why.empty());
    }
    // Zero servers is a valid (empty) list.
    FreeDBServerList list = before;
    ASSERT_TRUE(DecodeFreeDBServers(std::string(4, '\0'), list, nullptr));
    EXPECT_TRUE(list.empty());
}

TEST(FreeDBServerList, LoadAndSaveFiles) {
    support::ScratchDir dir;
    const std::string path = FreeDBServerFilePath(dir.path());
    EXPECT_EQ(path, dir.file("FreeDB Server.ini"));
    CEventLog log;
    FreeDBServerList list;

    // First start: an empty file is made and the list holds the defaults; shutdown writes 13.
    EXPECT_FALSE(LoadFreeDBServers(path, list, &log));
    EXPECT_EQ(ReadFile(path), "");
    EXPECT_EQ(list.size(), 13u);
    std::string err;
    ASSERT_TRUE(SaveFreeDBServers(path, list, &err)) << err;
    EXPECT_EQ(ReadFile(path).substr(0, 4), std::string("\x0d\x00\x00\x00", 4));

    // An intact file is read and logged.
    const FreeDBServerList mine{{"127.0.0.1", 8880, 500, 4}};
    ASSERT_TRUE(SaveFreeDBServers(path, mine));
    EXPECT_TRUE(LoadFreeDBServers(path, list, &log));
    EXPECT_EQ(list, mine);
    EXPECT_TRUE(Logged(log, "FreeDB settings loaded.", 0, false));

    // The empty file of a first start that never reached shutdown, a truncated file, a
    // folder, a FIFO (a plain read would block) or /dev/zero (a read would never end):
    // a warning naming the file, and the built-in list.
    const std::string bytes = ReadFile(path);
    WriteFile(dir.file("empty.ini"), "");
    WriteFile(dir.file("cut.ini"), bytes.substr(0, bytes.size() - 3));
    fs::create_directory(dir.file("folder.ini"));
    ASSERT_EQ(::mkfifo(dir.file("fifo.ini").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", dir.file("zero.ini"));
    for (const char* name : {"empty.ini", "cut.ini", "folder.ini", "fifo.ini", "zero.ini"}) {
        list.clear();
        EXPECT_FALSE(LoadFreeDBServers(dir.file(name), list, &log));
        EXPECT_EQ(list, DefaultFreeDBServers());
        if (std::string(name) != "empty.ini") { EXPECT_TRUE(Logged(log, dir.file(name), 1, false)) << name; }
    }
    EXPECT_TRUE(Logged(log, "\"" + dir.file("cut.ini") + "\" is damaged", 1, false));

    // Saving into a folder that does not exist fails with a reason.
    EXPECT_FALSE(SaveFreeDBServers(dir.file("missing/x.ini"), mine, &err));
    EXPECT_NE(err.find("missing/x.ini"), std::string::npos);
}

// The pages' Apply shows address, time-out and a proxy switched on and off; here what only
// the settings reach: the hello text, the proxy credentials, an index past the list.
TEST(FreeDBServerList, ApplyToClient) {
    CSettings s = CSettings::Initial("/tmp/home");
    const FreeDBServerList list{{"a.example.org", 80, 60000, 5}, {"cddb.local", 8880, 1500, 4}};
    s.FREEDB.CurFreeDBServer = 1;
    s.FREEDB.Application = "App";
    s.FREEDB.Version = "2.0";
    s.FREEDB.Username = "Unregistered User 7";
    s.FREEDB.Proxy = s.FREEDB.Authentication = 1;
    s.FREEDB.ProxyURL = "proxy.local";
    s.FREEDB.ProxyPort = 3128;
    s.FREEDB.ProxyUsername = "u";
    s.FREEDB.ProxyPassword = "p";
    CCDDB client;
    CCDDBServerAddress addr;
    ASSERT_TRUE(ApplyFreeDBServer(client, addr, list, s));
    EXPECT_EQ(client.HelloParameters(), "hello=Unregistered_User_7+cddb_local+App+2.0&proto=4");
    const auto proxy = [&] { return client.ProxyHost() + ":" + std::to_string(client.ProxyPort()) + " " +
                                    client.ProxyUser() + "/" + client.ProxyPassword(); };
    EXPECT_EQ(proxy(), "proxy.local:3128 u/p");
    s.FREEDB.Authentication = 0;
    ASSERT_TRUE(ApplyFreeDBServer(client, addr, list, s));
    EXPECT_EQ(proxy(), "proxy.local:3128 /");
    s.FREEDB.CurFreeDBServer = 2;
    EXPECT_FALSE(ApplyFreeDBServer(client, addr, list, s));
    EXPECT_EQ(addr.host, "cddb.local");
    EXPECT_FALSE(ApplyFreeDBServer(client, addr, FreeDBServerList{}, s));
}
