// The FreeDB server list file, its built-in list and line text, damaged files, and the
// client set-up from the current server and the settings.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "albuminfo/CDDB.h"
#include "albuminfo/FreeDBServer.h"
#include "app/EventLog.h"
#include "app/Settings.h"
#include "support/TestFiles.h"

using namespace quarrow;
namespace fs = std::filesystem;

namespace {

using support::ReadFile;
using support::WriteFile;

bool HasEntry(const CEventLog& log, const std::string& part, int level) {
    for (const LogEntry& e : log.Entries())
        if (e.level == level && e.message.find(part) != std::string::npos) return true;
    return false;
}

}  // namespace

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
        if (c.why) {
            EXPECT_NE(why.find(c.why), std::string::npos) << why;
        }
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
    EXPECT_EQ(bytes.substr(0, 4), std::string("\x04\x00\x00\x00", 4));
    EXPECT_EQ(bytes.substr(4, 3), std::string("\x02" "ab", 3));
    EXPECT_EQ(bytes.substr(7, 12), std::string("\x50\x00\x00\x00\x60\xea\x00\x00\x05\x00\x00\x00", 12));
    // 300 characters: 0xFF and a two-byte length 300
    EXPECT_EQ(bytes.substr(19, 3), std::string("\xff\x2c\x01", 3));
    // 254 stays one byte; 255 takes the escape
    const std::size_t third = 19 + 3 + 300 + 12;
    EXPECT_EQ(static_cast<uint8_t>(bytes[third]), 254);
    const std::size_t fourth = third + 1 + 254 + 12;
    EXPECT_EQ(bytes.substr(fourth, 3), std::string("\xff\xff\x00", 3));

    FreeDBServerList back;
    std::string why;
    ASSERT_TRUE(DecodeFreeDBServers(bytes, back, &why)) << why;
    EXPECT_EQ(back, list);

    // A length of 0xFFFE or more goes the four-byte way and still reads back.
    const FreeDBServerList huge{{std::string(0xFFFE, 'z'), 80, 60000, 5}};
    const std::string hugeBytes = EncodeFreeDBServers(huge);
    EXPECT_EQ(hugeBytes.substr(4, 7), std::string("\xff\xff\xff\xfe\xff\x00\x00", 7));
    ASSERT_TRUE(DecodeFreeDBServers(hugeBytes, back, &why)) << why;
    EXPECT_EQ(back, huge);
}

TEST(FreeDBServerList, DamagedBytesAreRejectedWithoutChange) {
    const std::string good = EncodeFreeDBServers({{"gnudb.gnudb.org", 80, 60000, 5}, {"b", 8, 9, 4}});
    const FreeDBServerList before{{"keep", 1, 2, 3}};
    std::string why;
    // Every truncation fails and leaves the list alone.
    for (std::size_t n = 0; n < good.size(); ++n) {
        FreeDBServerList list = before;
        EXPECT_FALSE(DecodeFreeDBServers(good.substr(0, n), list, &why)) << n;
        EXPECT_EQ(list, before);
        EXPECT_FALSE(why.empty());
    }
    FreeDBServerList list = before;
    EXPECT_FALSE(DecodeFreeDBServers(good + "x", list, &why));   // extra bytes
    EXPECT_NE(why.find("1 bytes follow"), std::string::npos) << why;
    // A count of four billion in a tiny file is refused before anything is reserved.
    EXPECT_FALSE(DecodeFreeDBServers(std::string("\xff\xff\xff\xff\x00", 5), list, &why));
    EXPECT_NE(why.find("4294967295"), std::string::npos) << why;
    // A four-byte host length far past the end.
    EXPECT_FALSE(DecodeFreeDBServers(std::string("\x01\x00\x00\x00\xff\xff\xff\xff\xff\xff\x7f", 11) +
                                         std::string(12, '\0'),
                                     list, &why));
    EXPECT_EQ(list, before);
    // Zero servers is a valid (empty) list.
    ASSERT_TRUE(DecodeFreeDBServers(std::string(4, '\0'), list, &why));
    EXPECT_TRUE(list.empty());
}

TEST(FreeDBServerList, LoadAndSaveFiles) {
    support::ScratchDir dir;
    const std::string path = FreeDBServerFilePath(dir.path());
    EXPECT_EQ(path, dir.path() + "/FreeDB Server.ini");
    CEventLog log;
    FreeDBServerList list;

    // First start: an empty file is made and the list holds the defaults.
    EXPECT_FALSE(LoadFreeDBServers(path, list, &log));
    EXPECT_TRUE(fs::exists(path));
    EXPECT_EQ(fs::file_size(path), 0u);
    EXPECT_EQ(list.size(), 13u);
    // Shutdown writes the count 13.
    std::string err;
    ASSERT_TRUE(SaveFreeDBServers(path, list, &err)) << err;
    EXPECT_EQ(ReadFile(path).substr(0, 4), std::string("\x0d\x00\x00\x00", 4));

    // The empty file of a first start that never reached shutdown gives the defaults too.
    WriteFile(path, "");
    list.clear();
    EXPECT_FALSE(LoadFreeDBServers(path, list, &log));
    EXPECT_EQ(list.size(), 13u);

    // An intact file is read and logged.
    const FreeDBServerList mine{{"127.0.0.1", 8880, 500, 4}};
    ASSERT_TRUE(SaveFreeDBServers(path, mine));
    EXPECT_TRUE(LoadFreeDBServers(path, list, &log));
    EXPECT_EQ(list, mine);
    EXPECT_TRUE(HasEntry(log, "FreeDB settings loaded.", 0));

    // A truncated file: a warning naming the file, and the built-in list.
    const std::string bytes = ReadFile(path);
    WriteFile(path, bytes.substr(0, bytes.size() - 3));
    EXPECT_FALSE(LoadFreeDBServers(path, list, &log));
    EXPECT_EQ(list, DefaultFreeDBServers());
    EXPECT_TRUE(HasEntry(log, "\"" + path + "\" is damaged", 1));

    // A folder, a FIFO (a plain read would block) or /dev/zero (a read would never end) in
    // the file's place is not read as a list.
    fs::create_directory(dir.path() + "/folder.ini");
    ASSERT_EQ(::mkfifo((dir.path() + "/fifo.ini").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", dir.path() + "/zero.ini");
    for (const char* name : {"/folder.ini", "/fifo.ini", "/zero.ini"}) {
        list.clear();
        EXPECT_FALSE(LoadFreeDBServers(dir.path() + name, list, &log));
        EXPECT_EQ(list.size(), 13u);
        EXPECT_TRUE(HasEntry(log, dir.path() + name, 1));
    }

    // Saving into a folder that does not exist fails with a reason, leaving nothing behind.
    EXPECT_FALSE(SaveFreeDBServers(dir.path() + "/missing/x.ini", mine, &err));
    EXPECT_NE(err.find("missing/x.ini"), std::string::npos);
}

TEST(FreeDBServerList, ApplyToClient) {
    CSettings s = CSettings::Initial("/tmp/home");
    FreeDBServerList list{{"a.example.org", 80, 60000, 5}, {"cddb.local", 8880, 1500, 4}};
    s.FREEDB.CurFreeDBServer = 1;
    s.FREEDB.Application = "App";
    s.FREEDB.Version = "2.0";
    s.FREEDB.Username = "Unregistered User 7";
    s.FREEDB.Proxy = 1;
    s.FREEDB.ProxyURL = "proxy.local";
    s.FREEDB.ProxyPort = 3128;
    s.FREEDB.Authentication = 1;
    s.FREEDB.ProxyUsername = "u";
    s.FREEDB.ProxyPassword = "p";
    CCDDB client;
    CCDDBServerAddress addr;
    ASSERT_TRUE(ApplyFreeDBServer(client, addr, list, s));
    EXPECT_EQ(addr, CCDDBServerAddress::Query("cddb.local", 8880));
    EXPECT_EQ(addr.path, "/~cddb/cddb.cgi");
    EXPECT_EQ(client.ProtocolLevel(), 4);
    EXPECT_EQ(client.Timeout(), 1500u);
    EXPECT_EQ(client.HostName(), "cddb_local");
    EXPECT_EQ(client.UserName(), "Unregistered_User_7");
    EXPECT_EQ(client.HelloParameters(), "hello=Unregistered_User_7+cddb_local+App+2.0&proto=4");
    EXPECT_EQ(client.ProxyHost(), "proxy.local");
    EXPECT_EQ(client.ProxyPort(), 3128);
    EXPECT_EQ(client.ProxyUser(), "u");
    EXPECT_EQ(client.ProxyPassword(), "p");

    // Proxy switched off: the old proxy is not used any more.
    s.FREEDB.Proxy = 0;
    ASSERT_TRUE(ApplyFreeDBServer(client, addr, list, s));
    EXPECT_EQ(client.ProxyHost(), "");
    EXPECT_EQ(client.ProxyUser(), "");

    // An index past the list changes nothing.
    s.FREEDB.CurFreeDBServer = 2;
    EXPECT_FALSE(ApplyFreeDBServer(client, addr, list, s));
    EXPECT_EQ(addr.host, "cddb.local");
    EXPECT_FALSE(ApplyFreeDBServer(client, addr, FreeDBServerList{}, s));
}
