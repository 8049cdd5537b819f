// The "FreeDB" and "FreeDB::Client" page rules, the server editor, and the server test
// against the CDDB server inside this test process.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <sstream>

#include "albuminfo/FreeDBPages.h"
#include "app/EventLog.h"
#include "app/Prompter.h"
#include "app/Settings.h"
#include "support/CddbTestServer.h"

using namespace quarrow;
using quarrow::test::CddbTestServer;

namespace {

struct Pages {
    Pages()
        : settings(CSettings::Initial("/tmp/qhome")),
          list(DefaultFreeDBServers()),
          page(settings, list, client, address, prompter, "/tmp/qhome", &refreshing),
          clientPage(settings, client, &refreshing) {
        page.Open();
        clientPage.Open();
    }
    CSettings settings;
    FreeDBServerList list;
    CCDDB client;
    CCDDBServerAddress address;
    RecordingPrompter prompter;
    bool refreshing = false;
    FreeDBOptionPage page;
    FreeDBClientPage clientPage;
};

// Collects the test's texts; waits for a given step.
struct Collector {
    std::mutex m;
    std::condition_variable cv;
    std::vector<std::pair<int, std::string>> steps;
    FreeDBServerTest::Sink Sink() {
        return [this](int step, const std::string& text) {
            std::lock_guard<std::mutex> lock(m);
            steps.emplace_back(step, text);
            cv.notify_all();
        };
    }
    bool WaitFor(int step, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        std::unique_lock<std::mutex> lock(m);
        return cv.wait_for(lock, limit, [&] {
            for (auto& s : steps)
                if (s.first == step) return true;
            return false;
        });
    }
    std::string Text(int step) {
        std::lock_guard<std::mutex> lock(m);
        for (auto& s : steps)
            if (s.first == step) return s.second;
        return {};
    }
};

std::string Record() {
    std::ifstream in(std::string(QUARROW_TEST_DATA) + "/xmcd/rr_a10b600c_crlf.xmcd",
                     std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Answers stat, motd, query and read like a small real server.
std::string Answer(const std::string& request) {
    if (request.find("cmd=stat") != std::string::npos)
        return CddbTestServer::HttpAnswer(
            "210 OK, status information follows\r\nServer status:\r\n    current proto: 6\r\n"
            "    max proto: 6\r\n    gets: yes\r\nDatabase entries: 5\r\n"
            "Database entries by category:\r\n    rock: 5\r\n.\r\n");
    if (request.find("cmd=motd") != std::string::npos)
        return CddbTestServer::HttpAnswer("210 MOTD follows\r\nHello tester\r\n.\r\n");
    if (request.find("cmd=cddb+query") != std::string::npos)
        return CddbTestServer::HttpAnswer("200 rock a10b600c Motorhead / Inferno\r\n");
    if (request.find("cmd=cddb+read+rock+a10b600c") != std::string::npos)
        return CddbTestServer::HttpAnswer(CddbTestServer::ReadAnswerBody(Record()));
    return CddbTestServer::HttpAnswer("500 Unrecognized command\r\n");
}

}  // namespace

TEST(FreeDBPages, ServerListEditing) {
    Pages p;
    ASSERT_EQ(p.page.lines.size(), 13u);
    EXPECT_EQ(p.page.selection, 0);
    EXPECT_FALSE(p.page.modified);

    FreeDBServerEditor e = FreeDBServerEditor::New();
    EXPECT_EQ(e.ToServer(), (CFreeDBServer{"", 80, 60000, 5}));
    e.host = "127.0.0.1";
    e.port = 8880;
    e.levelIndex = 1;   // item "4"
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
    EXPECT_EQ(p.list[13].timeout, 500);
    EXPECT_EQ(p.page.lines[13], "127.0.0.1  Port: 8880  Timeout: 500  Protocol Level 4  ");

    ASSERT_TRUE(p.page.DeleteSelected());
    EXPECT_EQ(p.list.size(), 13u);
    EXPECT_EQ(p.page.selection, 0);
    while (p.page.DeleteSelected()) {}
    EXPECT_TRUE(p.list.empty());
    EXPECT_EQ(p.page.selection, -1);
    EXPECT_FALSE(p.page.EditorForSelection(edit));

    p.page.ResetServers();
    EXPECT_EQ(p.list, DefaultFreeDBServers());
    EXPECT_EQ(p.page.selection, 0);

    // A hand-edited level outside 3-5 shows as the nearest item.
    EXPECT_EQ(FreeDBServerEditor::From({"h", 80, 1, 9}).levelIndex, 2);
    EXPECT_EQ(FreeDBServerEditor::From({"h", 80, 1, 0}).levelIndex, 0);
}

TEST(FreeDBPages, OptionPageApplyCancelAndReset) {
    Pages p;
    p.page.Add({"cddb.local", 8880, 700, 0});   // level item "3"
    p.page.SetLoadAlbumInfo(false);
    p.page.SetAlbumInfoSource(2);                // disabled without "Load ..."
    EXPECT_EQ(p.page.albumInfoSource, 0);
    p.page.SetLoadAlbumInfo(true);
    p.page.SetAlbumInfoSource(2);
    p.page.SetLocalCddbDir("/music/cddb");

    // Refused while a refresh runs.
    p.refreshing = true;
    EXPECT_FALSE(p.page.Apply());
    EXPECT_EQ(p.settings.FREEDB.CurFreeDBServer, 0);
    p.refreshing = false;

    ASSERT_TRUE(p.page.Apply());
    EXPECT_EQ(p.settings.FREEDB.CurFreeDBServer, 13);
    EXPECT_EQ(p.settings.FREEDB.AlbumInfoSource, 2);
    EXPECT_EQ(p.settings.FREEDB.LocalCDDBDir, "/music/cddb");
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
    EXPECT_EQ(p.settings.FREEDB.CurFreeDBServer, 13);   // not stored by the refusal

    // Cancel with no selection: the box, the defaults, index 0.
    while (p.page.DeleteSelected()) {}
    p.page.Cancel();
    EXPECT_EQ(p.prompter.prompts.size(), 2u);
    EXPECT_EQ(p.list.size(), 13u);
    EXPECT_EQ(p.settings.FREEDB.CurFreeDBServer, 0);

    // The bottom Reset puts every FreeDB and client setting back and reloads the client page.
    p.settings.FREEDB.Proxy = 1;
    p.settings.FREEDB.ProxyURL = "proxy";
    p.settings.FREEDB.Application = "X";
    p.clientPage.Open();
    p.page.ResetAll(&p.clientPage);
    EXPECT_EQ(p.settings.FREEDB.Proxy, 0);
    EXPECT_EQ(p.settings.FREEDB.ProxyURL, "");
    EXPECT_EQ(p.settings.FREEDB.Application, "MfcCDDB");
    EXPECT_EQ(p.settings.FREEDB.LocalCDDBDir, "/tmp/qhome/Local CDDB");
    EXPECT_EQ(p.settings.FREEDB.Username.rfind("Unregistered User ", 0), 0u);
    EXPECT_FALSE(p.clientPage.useProxy);
    EXPECT_EQ(p.clientPage.application, "MfcCDDB");
    EXPECT_EQ(p.page.localCddbDir, "/tmp/qhome/Local CDDB");
}

TEST(FreeDBPages, ClientPageRules) {
    Pages p;
    EXPECT_FALSE(p.clientPage.ProxyFieldsEnabled());
    p.clientPage.SetAuthentication(true);           // disabled without "Use Proxy"
    EXPECT_FALSE(p.clientPage.authentication);
    p.clientPage.SetUseProxy(true);
    p.clientPage.SetAuthentication(true);
    EXPECT_TRUE(p.clientPage.CredentialFieldsEnabled());
    p.clientPage.proxyUrl = "proxy.local";
    p.clientPage.proxyPort = 3128;
    p.clientPage.proxyUsername = "u";
    p.clientPage.proxyPassword = "pw";
    p.clientPage.username = "me too";
    p.clientPage.application = "Quarrow";
    ASSERT_TRUE(p.clientPage.Apply());
    EXPECT_EQ(p.settings.FREEDB.Proxy, 1);
    EXPECT_EQ(p.settings.FREEDB.Authentication, 1);
    EXPECT_EQ(p.settings.FREEDB.ProxyPort, 3128);
    EXPECT_EQ(p.client.ProxyHost(), "proxy.local");
    EXPECT_EQ(p.client.ProxyUser(), "u");
    EXPECT_EQ(p.client.UserName(), "me_too");
    EXPECT_EQ(p.client.ClientName(), "Quarrow");

    // Clearing "Use Proxy" clears "Authentication" too, and the client stops using the proxy.
    p.clientPage.SetUseProxy(false);
    EXPECT_FALSE(p.clientPage.authentication);
    ASSERT_TRUE(p.clientPage.Apply());
    EXPECT_EQ(p.settings.FREEDB.Authentication, 0);
    EXPECT_EQ(p.client.ProxyHost(), "");

    p.refreshing = true;
    p.clientPage.application = "Other";
    EXPECT_FALSE(p.clientPage.Apply());
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
    // a disc whose table gives a10b600c is not needed: the server answers any query
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
    ASSERT_TRUE(c.WaitFor(3));
    test.Join();
    const std::string step0 = c.Text(0);
    EXPECT_EQ(step0.rfind("Site URL: 127.0.0.1/~cddb/cddb.cgi\nPort: " + std::to_string(server.Port()) +
                              "\nProtocol Level: 5\nTimeout: 5000 milliseconds\nUsername: tester\n",
                          0),
              0u) << step0;
    EXPECT_EQ(step0.find("Proxy"), std::string::npos);
    const std::string step1 = c.Text(1);
    EXPECT_EQ(step1.rfind("Message of the Day: Hello tester\nStatus of the site 127.0.0.1 is as follows\n"
                          "Current Protocol: 6\nMax Protocol: 6\nGets Allowed: 1\n",
                          0),
              0u) << step1;
    EXPECT_NE(step1.find("Database Entries: 5\nrock entries: 5 \n"), std::string::npos);
    const std::string step2 = c.Text(2);
    EXPECT_EQ(step2.rfind("Retrieved the following matches for the inserted audio CD\n"
                          "a10b600c, Motorhead / Inferno\n\nOne of the retrieved album details\n"
                          "Album Title: Inferno\nAlbum Artist: Motorhead\nDisc Length (seconds): 2914\n",
                          0),
              0u) << step2;
    EXPECT_NE(step2.find("Database Revision: 16\nDISCID: a10b600c\n"), std::string::npos);
    const std::string step3 = c.Text(3);
    EXPECT_EQ(step3.rfind("Track Names are:\nTrack 1: Terminal Show\n", 0), 0u) << step3;
    EXPECT_NE(step3.find("\nTrack Offsets:\n150\n17040\n"), std::string::npos);
    EXPECT_TRUE(c.Text(4).empty());
    // Four requests: stat, motd, query, read.
    EXPECT_EQ(server.Requests().size(), 4u);
}

TEST(FreeDBPages, ServerTestErrorsNoDiscAndStop) {
    CddbTestServer server;
    server.SetHandler(Answer);
    ServerTestSetup setup;
    setup.server = {"127.0.0.1", server.Port(), 5000, 5};

    // No disc: steps 0 and 1 only.
    {
        FreeDBServerTest test;
        Collector c;
        setup.discToc = [](CCDDBToc&) { return false; };
        ASSERT_TRUE(test.Start(setup, c.Sink()));
        test.Join();
        EXPECT_FALSE(c.Text(1).empty());
        EXPECT_TRUE(c.Text(2).empty());
        EXPECT_TRUE(c.Text(4).empty());
    }
    // A server that answers garbage: step 4 with the error text.
    {
        server.SetHandler([](const std::string&) { return std::string("garbage\r\n"); });
        FreeDBServerTest test;
        Collector c;
        ASSERT_TRUE(test.Start(setup, c.Sink()));
        ASSERT_TRUE(c.WaitFor(4));
        test.Join();
        EXPECT_EQ(c.Text(4), "An error occurred!");
        EXPECT_STREQ(ServerTestCaption(4), "Error");
        EXPECT_STREQ(ServerTestCaption(1), "Testing...");
    }
    // A silent server with a long time-out: Stop() returns promptly and nothing follows.
    {
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
