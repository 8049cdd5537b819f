// The xmcd parser on genuine and damaged records (expected values read from the files by eye),
// the writer's exact text, line cut and escapes, and the local CDDB store in a temporary folder.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "albuminfo/LocalCddb.h"
#include "albuminfo/Xmcd.h"
#include "app/DemoDisc.h"
#include "app/EventLog.h"
#include "support/CddbTestServer.h"
#include "support/TestFiles.h"

// Records are written with designated initializers that name only the fields a case needs.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using namespace quarrow;
namespace fs = std::filesystem;
using support::WriteFile;
using support::ScratchDir;
using support::ReadFile;
using test::XmcdTestFile;
using test::Logged;

namespace {

bool ParseFile(const std::string& name, CAlbumRecord& record, CEventLog& log) {
    return ParseRecordBody(kXmcdStatusLine + XmcdTestFile(name), record, &log);
}

std::vector<std::string> Errors(const CEventLog& log) {
    std::vector<std::string> out;
    for (const LogEntry& e : log.Entries()) if (e.level == 1) out.push_back(e.message);
    return out;
}

const std::string kPrefix = "CCDDB::ParseRecordBodyHelper, CDDB server failed to return a record with ";

// A minimal valid record body with LF line ends; tests damage it line by line.
std::string MinimalBody() {
    return "# xmcd\n#\n# Track frame offsets:\n# 150\n# 20000\n#\n# Disc length: 600 seconds\n"
           "#\n# Revision: 3\n# Submitted via: prog 1.0 note\n#\nDISCID=0a025602\n"
           "DTITLE=Artist / Album\nDYEAR=1999\nDGENRE=Rock\nTTITLE0=One\nTTITLE1=Two\nEXTD=\nEXTT0=\nEXTT1=\nPLAYORDER=\n";
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

// Escapes, a " / " in the album title, a long extended text, UTF-8 and shell characters.
CAlbumRecord SampleRecord() {
    return {.trackFrameOffsets = {150, 17040, 36099}, .discLength = 2914, .revision = 5,
            .submittingProgram = "Quarrow", .submittingVersion = "0.1", .submittingComment = "test",
            .discId = 0x1f02bc03, .artist = "Mot\xc3\xb6rhead", .albumTitle = "Inferno / \"quoted\" $(rm -rf /)",
            .trackTitles = {"Terminal Show", "Killers\twith tab", "Line\nbreak \\ slash"},
            .extendedData = std::string(600, 'e') + "\n", .trackExtendedData = {"x", "", "z"}, .year = 2004,
            .genre = "Metal"};
}

}  // namespace

TEST(XmcdRealRecords, GenuineRecordsReadAsWritten) {
    CEventLog log; CAlbumRecord crlf, lf, jazz, peik;
    ASSERT_TRUE(ParseFile("rr_a10b600c_crlf.xmcd", crlf, log));
    EXPECT_EQ(crlf.artist + "|" + crlf.albumTitle + "|" + std::to_string(crlf.year) + "|" + std::to_string(crlf.discLength) +
                  "|" + crlf.trackTitles.at(4) + "|" + crlf.extendedData + "|" + crlf.submittingVersion,
              "Motorhead|Inferno|2004|2914|Life's A Bitch| YEAR: 2004|1.83.01");
    EXPECT_EQ(std::pair(crlf.trackFrameOffsets.size(), crlf.trackFrameOffsets.back()), std::pair(12ul, 201121u));
    // The same record with LF line ends gives the same fields.
    std::string stripped = XmcdTestFile("rr_a10b600c_crlf.xmcd");
    std::erase(stripped, '\r');
    ASSERT_TRUE(ParseRecordBody("210 OK\n" + stripped, lf, &log));
    EXPECT_EQ(lf, crlf);
    // Continued lines join without losing blanks; an empty DYEAR is 0.
    ASSERT_TRUE(ParseFile("rr_1c11c714_utf8_continued.xmcd", jazz, log));
    EXPECT_EQ(jazz.artist + "|" + jazz.albumTitle + "|" + std::to_string(jazz.year) + "|" + jazz.trackTitles.at(14),
              "Various|Jazz Manouche CD 1|0|Christian Escoud\xc3\xa9, Dorado Schmitt, Babik Reinhardt: O\xc3\xb9 Es Tu Mon Amour");
    // A "# " comment with a trailing blank sits inside the offsets and adds none.
    ASSERT_TRUE(ParseFile("peik_9c0eac0c_empty_year.xmcd", peik, log));
    EXPECT_EQ(std::to_string(peik.year) + "|" + std::to_string(peik.trackFrameOffsets.size()) + "|" + peik.extendedData,
              "0|12|ID3G:  32");
    EXPECT_TRUE(log.Entries().empty());
}

// A record that is not UTF-8 is decoded whole in one code page, and the log says which.
TEST(XmcdRealRecords, EightBitRecordsAreDecodedWholeToUtf8) {
    std::string gbWithPair = XmcdTestFile("rr_a70c310c_gb18030.xmcd");
    // C3 A9 is also a UTF-8 sequence: read alone it would become a Latin letter.
    gbWithPair.replace(gbWithPair.find("TTITLE0=") + 8, 4, "\xc3\xa9");
    const std::string jay = "\xe5\x91\xa8\xe6\x9d\xb0\xe4\xbc\xa6",
                      november = "\xe5\x8d\x81\xe4\xb8\x80\xe6\x9c\x88\xe7\x9a\x84\xe8\x90\xa7\xe9\x82\xa6";
    const struct { std::string text, artist, album, title, logged; int index; } cases[] = {
        {XmcdTestFile("rr_2b055c04_latin1.xmcd"), "Tuhonvarjo", "Syvyyden Syli", "Joutsenen Siivill\xc3\xa4",
         "read as ISO-8859-1", 2},
        {gbWithPair, jay, november, "\xe8\x8c\x85", "read as GB18030", 0},
        {XmcdTestFile("rr_0a0dd914_utf8_various.xmcd"), "Various", "Ann\xc3\xa9" "es 60 CD1",
         "HERMAN HERMITS / No Milk Today", "", 1},  // track titles are never split
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.logged + " " + c.artist);
        CEventLog log; CAlbumRecord r;
        ASSERT_TRUE(ParseRecordBody(kXmcdStatusLine + c.text, r, &log));
        EXPECT_EQ(r.artist + "|" + r.albumTitle + "|" + r.trackTitles.at(c.index), c.artist + "|" + c.album + "|" + c.title);
        ASSERT_EQ(log.Entries().size(), c.logged.empty() ? 0u : 1u);
        if (!c.logged.empty()) { EXPECT_TRUE(Logged(log, c.logged, 0, false)); }
    }
}

TEST(XmcdRealRecords, IncompleteRecordsAreRejectedWithTheirMessage) {
    CEventLog log; CAlbumRecord r;
    r.artist = "before";
    EXPECT_FALSE(ParseFile("rr_8d093509_escapes_no_header.xmcd", r, log));
    EXPECT_EQ(Errors(log), std::vector<std::string>{kPrefix + "a XMCD comment line."});
    // What was read before the checks stays, escapes resolved; the DTITLE is not split on failure.
    EXPECT_TRUE(r.artist.empty() && r.discId == 0x8d093509u);
    EXPECT_NE(r.extendedData.find("Gull Records\nC 1995 Repertoire Records\n\nRobert"), std::string::npos);
}

TEST(XmcdParser, StatusLineRules) {
    CEventLog log; CAlbumRecord r;
    r.albumTitle = "kept";
    // Outside 210-219 nothing is parsed and the answer still counts as success.
    for (const std::string& text : {"401 permission denied\r\n" + MinimalBody(), std::string("21")})
        EXPECT_TRUE(ParseRecordBody(text, r, &log)) << text;
    EXPECT_TRUE(r.albumTitle == "kept" && Errors(log).empty());
    EXPECT_FALSE(ParseRecordBody("210 OK, but nothing follows", r, &log));
    EXPECT_EQ(Errors(log),
              std::vector<std::string>{"CCDDB::ParseRecordBody, CDDB server failed to return a valid xmcd record."});
    CAlbumRecord ok;
    EXPECT_TRUE(ParseRecordBody("219 ok\n" + Replace(MinimalBody(), "prog 1.0 note", "   a    b c d"), ok, &log));
    EXPECT_EQ(ok.artist + "|" + ok.albumTitle + "|" + ok.submittingProgram + "|" + ok.submittingVersion + "|" + ok.submittingComment,
              "Artist|Album|a|b|c");
    EXPECT_TRUE(ok.discId == 0x0a025602u && ok.trackFrameOffsets == (std::vector<uint32_t>{150, 20000}));
}

TEST(XmcdParser, EachMissingPartHasItsMessage) {
    const struct { std::string from, to, message; } cases[] = {
        {"DISCID=0a025602\n", "DISCID=1234567\n", "a DISCID line."},
        // Several faults: only the first check's message.
        {"# xmcd\n#\n# Track frame offsets:\n# 150\n# 20000\n", "", "a XMCD comment line."},
        // One word fails at once, before the later lines are read.
        {"prog 1.0 note", "xmcd", "a valid Submitted via: line."},
    };
    for (const auto& c : cases) {
        CEventLog log; CAlbumRecord r;
        EXPECT_FALSE(ParseRecordBodyHelper(Replace(MinimalBody(), c.from, c.to), r, &log)) << c.message;
        EXPECT_EQ(Errors(log), std::vector<std::string>{kPrefix + c.message});
        EXPECT_EQ(r.trackTitles.empty(), c.to == "xmcd") << c.message;
    }
}

TEST(XmcdParser, KeyedLinesAndTheirQuirks) {
    CEventLog log; CAlbumRecord r;
    // TTITLE lines out of order cut the list back; the EXTT lines are made to match.
    std::string body = Replace(MinimalBody(), "TTITLE0=One\nTTITLE1=Two\n", "TTITLE5=Five\nTTITLE2=Two\nTTITLE2= more\n");
    ASSERT_TRUE(ParseRecordBodyHelper(Replace(body, "EXTT0=\nEXTT1=\n", "EXTT2=x\n"), r, &log));
    EXPECT_EQ(std::pair(r.trackTitles, r.trackExtendedData),
              std::pair(std::vector<std::string>{"", "", "Two more"}, std::vector<std::string>{"", "", "x"}));
    // Escapes, later DYEAR replaces, DGENRE and EXTD append, lines without "=" and unknown
    // or wrongly cased keys are ignored, the DISCID takes the first of a list.
    body = Replace(MinimalBody(), "DYEAR=1999\n",
                   "DYEAR=1999\nDYEAR= 2001x\nDGENRE=Hard\nno equals sign\ndtitle=lower\nFOO=bar\n");
    body = Replace(body, "EXTD=\n", "EXTD=a\\nb\\tc\\\\d\nEXTD=\\\n");
    body = Replace(body, "DISCID=0a025602\n", "DISCID=0a025602,1b025602\n");
    body = Replace(body, "PLAYORDER=\n", "PLAYORDER=3,1,\nPLAYORDER=,2\n");
    ASSERT_TRUE(ParseRecordBodyHelper(body, r, &log));
    EXPECT_EQ(std::tuple(r.year, r.discId, r.playOrder), std::tuple(2001, 0x0a025602u, std::vector<int32_t>{3, 1, 0, 2}));
    EXPECT_EQ(r.genre + "|" + r.extendedData + "|" + r.albumTitle, "HardRock|a\nb\tc\\d\\|Album");
    EXPECT_TRUE(Errors(log).empty());
}

TEST(XmcdParser, HostileInputNeitherCrashesNorGrowsWithoutBound) {
    CEventLog log; CAlbumRecord r;
    std::string body = Replace(MinimalBody(), "TTITLE0=One\n", "TTITLE-1=neg\nTTITLE99999999999=huge\nTTITLE0=One\n");
    body = Replace(body, "EXTT0=\n", "EXTT2147483647=x\nEXTT0=\n");
    body = Replace(body, "# Revision: 3\n", "# Revision: 99999999999999999999\n#\n# Disc length:\n");
    EXPECT_TRUE(ParseRecordBodyHelper(body, r, &log));
    EXPECT_EQ(r.trackTitles, (std::vector<std::string>{"One", "Two"}));
    // The later "Disc length:" without a number gives 0.
    EXPECT_EQ(std::tuple(r.revision, r.discLength, Errors(log).size()), std::tuple(2147483647, 0, 3ul));
    // Text after a NUL byte is not part of the record.
    std::string cut = "210 OK\n" + MinimalBody();
    cut.insert(cut.find("DTITLE"), std::string(1, '\0'));
    EXPECT_FALSE(ParseRecordBody(cut, r, &log));
    EXPECT_EQ(Errors(log).back(), kPrefix + "a DTITLE line.");
}

TEST(XmcdWriter, ExactTextOfARecord) {
    CAlbumRecord r{.trackFrameOffsets = {150, 20000}, .discLength = 600, .revision = 2,
                   .submittingProgram = "MfcCDDB", .submittingVersion = "1.28", .discId = 0x0a025602,
                   .artist = "A\\B", .albumTitle = "Tab\there", .trackTitles = {"One", "Line\nfeed"},
                   .trackExtendedData = {"", "x"}, .playOrder = {2, 1}, .year = 7, .genre = "Rock"};
    const std::string expected = "# xmcd\r\n#\r\n# Track frame offsets:\r\n# 150\r\n# 20000\r\n"
        "#\r\n# Disc length: 600 seconds\r\n#\r\n#\r\n# Revision: 2\r\n"
        "# Submitted via: MfcCDDB 1.28 \r\n#\r\nDISCID=0a025602\r\n"
        "DTITLE=A\\\\B / Tab\\there\r\nDYEAR=0007\r\nDGENRE=Rock\r\n"
        "TTITLE0=One\r\nTTITLE1=Line\\nfeed\r\nEXTD=\r\nEXTT0=\r\nEXTT1=x\r\nPLAYORDER=";
    EXPECT_EQ(XmcdBody(r), expected);
    EXPECT_EQ(XmcdFileText(r), std::string(kXmcdStatusLine) + expected);
    // Below level 5 no DYEAR and DGENRE; a year of 0 is an empty DYEAR; an empty artist
    // leaves the title alone in DTITLE.
    const std::string level4 = XmcdBody(r, 4);
    EXPECT_TRUE(level4.find("DYEAR") == level4.npos && level4.find("DGENRE") == level4.npos);
    r.year = 0, r.artist.clear();
    EXPECT_NE(XmcdBody(r).find("\r\nDTITLE=Tab\\there\r\nDYEAR=\r\nDGENRE=Rock\r\n"), std::string::npos);
}

TEST(XmcdWriter, LongValuesAreCutAt254Characters) {
    const std::string title(300, 'x');
    EXPECT_EQ(XmcdKeyedLines("TTITLE3", title),
              "TTITLE3=" + title.substr(0, 246) + "\r\nTTITLE3=" + std::string(300 - 246, 'x') + "\r\n");
    // A value that just fits stays on one line, one more character takes two; an empty one still gives a line.
    EXPECT_EQ(std::pair(XmcdKeyedLines("EXTD", std::string(249, 'y')).size(), XmcdKeyedLines("EXTD", std::string(250, 'y')).size()),
              std::pair(256ul, 264ul));
    // An escape pair cut between its backslash and its letter reads back as two
    // characters: 245 characters then a line feed put the backslash last on line 1.
    CAlbumRecord r = SampleRecord(), back;
    CEventLog log;
    r.trackTitles[2] = std::string(245, 'z') + "\nend";
    const std::string text = XmcdFileText(r);
    EXPECT_NE(text.find(std::string(245, 'z') + "\\\r\nTTITLE2=nend\r\n"), std::string::npos);
    EXPECT_TRUE(ParseRecordBody(text, back, &log));
    EXPECT_EQ(back.trackTitles.at(2), std::string(245, 'z') + "\\nend");
}

TEST(LocalCddbStore, WriteThenLoad) {
    ScratchDir dir;
    const CAlbumRecord r = SampleRecord();
    const std::string path = LocalCddbFilePath(dir.path(), r.discId);
    EXPECT_EQ(path, dir.file("1f02bc03.cddb"));
    ASSERT_TRUE(WriteLocalCddbFile(path, r, 5));
    EXPECT_EQ(ReadFile(path).rfind("210 OK, CDDB database follows (until terminating marker)\r\n# xmcd\r\n", 0), 0u);
    CEventLog log; CAlbumRecord back;
    EXPECT_TRUE(LoadLocalCddb(dir.path(), r.discId, back, &log) && back == r);
    EXPECT_TRUE(log.Entries().empty());
    // Writing again replaces the file whole and leaves no temporary file behind.
    CAlbumRecord shorter = r;
    shorter.trackTitles = {"a", "b", "c"};
    ASSERT_TRUE(WriteLocalCddbFile(path, shorter));
    EXPECT_TRUE(LoadLocalCddb(dir.path(), r.discId, back, &log) && back == shorter);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(LocalCddbStore, FilesThatHoldNoRecordAreNotFound) {
    ScratchDir dir;
    const std::string d = dir.path();
    auto file = [&](uint32_t id) { return LocalCddbFilePath(d, id); };
    WriteFile(file(1), std::string(kMaxLocalCddbBytes + 1, 'x'));
    ASSERT_EQ(::mkfifo(file(2).c_str(), 0600), 0);  // would block a plain read
    WriteFile(file(4), "");
    WriteFile(file(7), "210 OK\n# xmcd\n# Track frame offsets:\n# 150\n# Disc length: 60\n"
                       "# Submitted via: a b\nDTITLE=Who / What\nTTITLE0=First\n");
    const struct { std::string folder; uint32_t id; std::string message; } cases[] = {
        {d + "/missing", 0x1234abcd, "Local CDDB directory " + d + "/missing not found"},
        {d, 0x1234abcd, "Local CDDB file " + file(0x1234abcd) + " not found"},
        {d, 1, file(1)},
        {d, 2, file(2)},
        {d, 4, file(4) + " is not a CDDB record"},
        {d, 7, file(7) + " is not a valid CDDB record"},  // the parser's own line comes first
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        CAlbumRecord r = SampleRecord();
        CEventLog log;
        EXPECT_FALSE(LoadLocalCddb(c.folder, c.id, r, &log));
        ASSERT_FALSE(log.Entries().empty());
        for (const LogEntry& e : log.Entries()) EXPECT_EQ(e.level, 1);
        EXPECT_NE(log.Entries().back().message.find(c.message), std::string::npos) << log.Entries().back().message;
        EXPECT_EQ(r, SampleRecord());
    }
}

TEST(LocalCddbStore, FolderWalkCreatesMissingParents) {
    ScratchDir dir;
    // Five missing levels take nine attempts; the walk makes them all. Six would need
    // eleven: the walk gives up after ten, having made all but the last level.
    EXPECT_TRUE(CreateLocalCddbFolder(dir.file("a/b/c/d/e")) && fs::is_directory(dir.file("a/b/c/d/e")));
    EXPECT_FALSE(CreateLocalCddbFolder(dir.file("p/q/r/s/t/u")) || !fs::is_directory(dir.file("p/q/r/s/t")));
    // A file in the way stops the walk without harm.
    WriteFile(dir.file("file"), "");
    EXPECT_FALSE(CreateLocalCddbFolder(dir.file("file/sub")) || !fs::is_regular_file(dir.file("file")));
}

TEST(LocalCddbStore, DemoDiscRecordFitsTheDemoDisc) {
    // The shipped record must carry the demo disc's own ID (the demo disc test pins it) and
    // its titles, or the demo would show default titles.
    CEventLog log; CAlbumRecord r;
    ASSERT_TRUE(ParseRecordBody(ReadFile(std::string(QUARROW_SOURCE_DIR) + "/data/demo-disc.cddb"), r, &log) &&
                log.Entries().empty());
    std::vector<std::string> titles;
    for (const DemoTrack& t : DemoTracks()) titles.push_back(t.title);
    EXPECT_TRUE(r.discId == 0x27008c05u && r.trackTitles == titles) << std::hex << r.discId;
    EXPECT_EQ(r.artist + " / " + r.albumTitle, std::string(kDemoArtist) + " / " + kDemoAlbum);
}
