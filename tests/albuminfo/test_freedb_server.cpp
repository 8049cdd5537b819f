// The FreeDB server list file, its built-in list and line text, damaged files, and the
// client set-up from the current server and the settings.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "albuminfo/CDDB.h"
#include "albuminfo/FreeDBServer.h"
#include "app/EventLog.h"
#include "app/Settings.h"
#include "support/CddbTestServer.h"
#include "support/TestFiles.h"

using namespace quarrow;
using support::ReadFile;
using support::WriteFile;
using test::Logged;
namespace fs = std::filesystem;

TEST(FreeDBServerList, DefaultsAndLineText) {
    const FreeDBServerList d = DefaultFreeDBServers();
    ASSERT_EQ(d.size(), 13u);
    EXPECT_EQ(d.front().host, "gnudb.gnudb.org");
    for (const CFreeDBServer& s : d) EXPECT_EQ(FreeDBServerLine(s), s.host + "  Port: 80  Timeout: 60000  Protocol Level 5  ");
    FreeDBServerList list{{"x", 1, 2, 3}};
    ResetFreeDBServers(list);
    EXPECT_EQ(list, d);
}

TEST(FreeDBServerList, HostsAndPortsAreValidated) {
    const struct { CFreeDBServer server; const char* why; } cases[] = {
        {{"gnudb.gnudb.org", 80, 60000, 5}, nullptr},
        {{"127.0.0.1", 65535, 1, 3}, nullptr},
        {{"h:80:90", 80, 60000, 5}, "may not contain a colon"},
        {{"h:80", 80, 60000, 5}, "may not contain a colon"},
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
    const std::size_t third = 19 + 3 + 300 + 12, fourth = third + 1 + 254 + 12;
    EXPECT_EQ(static_cast<uint8_t>(bytes[third]), 254);
    EXPECT_EQ(bytes.substr(fourth, 3), std::string("\xff\xff\x00", 3));
    // A length of 0xFFFE or more goes the four-byte way.
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

TEST(FreeDBServerList, ApplyToClient) {
    CSettings s = CSettings::Initial("/tmp/home");
    const FreeDBServerList list{{"a.example.org", 80, 60000, 5}, {"cddb.local", 8880, 1500, 4}};
    auto& f = s.FREEDB;
    f.CurFreeDBServer = 1;
    f.Application = "App";
    f.Version = "2.0";
    f.Username = "Unregistered User 7";
    f.Proxy = f.Authentication = 1;
    f.ProxyURL = "proxy.local";
    f.ProxyPort = 3128;
    f.ProxyUsername = "u";
    f.ProxyPassword = "p";
    CCDDB client;
    CCDDBServerAddress addr;
    ASSERT_TRUE(ApplyFreeDBServer(client, addr, list, s));
    EXPECT_EQ(addr, CCDDBServerAddress::Query("cddb.local", 8880));
    EXPECT_EQ(addr.path, "/~cddb/cddb.cgi");
    EXPECT_EQ(client.Timeout(), 1500u);
    EXPECT_EQ(client.HelloParameters(), "hello=Unregistered_User_7+cddb_local+App+2.0&proto=4");
    EXPECT_EQ(client.ProxyHost() + ":" + std::to_string(client.ProxyPort()) + " " + client.ProxyUser() + "/" +
                  client.ProxyPassword(),
              "proxy.local:3128 u/p");

    // Proxy switched off: the old proxy is not used any more.
    f.Proxy = 0;
    ASSERT_TRUE(ApplyFreeDBServer(client, addr, list, s));
    EXPECT_EQ(client.ProxyHost() + client.ProxyUser(), "");

    // An index past the list changes nothing.
    f.CurFreeDBServer = 2;
    EXPECT_FALSE(ApplyFreeDBServer(client, addr, list, s));
    EXPECT_EQ(addr.host, "cddb.local");
    EXPECT_FALSE(ApplyFreeDBServer(client, addr, FreeDBServerList{}, s));
}
