// The local CDDB store on a real temporary folder: file name and text, write-then-load,
// every failure message, and the folder walk that creates missing parents.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "albuminfo/LocalCddb.h"
#include "albuminfo/Xmcd.h"
#include "app/DemoDisc.h"
#include "app/EventLog.h"
#include "support/DiscImage.h"

using namespace quarrow;
namespace fs = std::filesystem;

namespace {

using TempDir = discimage::ScratchDir;

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

CAlbumRecord SampleRecord() {
    CAlbumRecord r;
    r.trackFrameOffsets = {150, 12000, 30000};
    r.discLength = 700;
    r.revision = 1;
    r.submittingProgram = "MfcCDDB";
    r.submittingVersion = "1.28";
    r.discId = 0x1f02bc03;
    r.artist = "AC/DC";
    r.albumTitle = "Title \"quoted\" $(rm -rf /)";
    r.trackTitles = {"One", "Two/Three", "\xe4\xf6\xfc"};
    r.trackExtendedData = {"", "", ""};
    r.year = 1980;
    r.genre = "Rock";
    return r;
}

}  // namespace

TEST(LocalCddbStore, WriteThenLoad) {
    TempDir dir;
    const CAlbumRecord r = SampleRecord();
    const std::string path = LocalCddbFilePath(dir.path(), r.discId);
    EXPECT_EQ(path, dir.path() + "/1f02bc03.cddb");
    std::string error;
    ASSERT_TRUE(WriteLocalCddbFile(path, r, 5, &error)) << error;
    const std::string text = Slurp(path);
    EXPECT_EQ(text.rfind("210 OK, CDDB database follows (until terminating marker)\r\n# xmcd\r\n", 0), 0u);
    EXPECT_EQ(text.substr(text.size() - 12), "\r\nPLAYORDER=");

    CEventLog log;
    CAlbumRecord back;
    ASSERT_TRUE(LoadLocalCddb(dir.path(), r.discId, back, &log));
    EXPECT_EQ(back, r);
    EXPECT_TRUE(log.Entries().empty());

    // Writing again replaces the file whole and leaves no temporary file behind.
    CAlbumRecord shorter = r;
    shorter.trackTitles = {"a", "b", "c"};
    ASSERT_TRUE(WriteLocalCddbFile(path, shorter));
    ASSERT_TRUE(LoadLocalCddb(dir.path(), r.discId, back, &log));
    EXPECT_EQ(back.trackTitles, shorter.trackTitles);
    int files = 0;
    for (const auto& e : fs::directory_iterator(dir.path())) files += e.is_regular_file();
    EXPECT_EQ(files, 1);
}

TEST(LocalCddbStore, LoadFailuresLeaveTheRecordAlone) {
    TempDir dir;
    const std::string d = dir.path();
    // A folder where the file should be, and a file far too large to be a record.
    fs::create_directory(d + "/0000abcd.cddb");
    std::ofstream(d + "/00000001.cddb", std::ios::binary) << std::string(kMaxLocalCddbBytes + 1, 'x');
    const struct { std::string folder; uint32_t id; std::string message; bool whole; } cases[] = {
        {d + "/missing", 0x1234abcd, "Local CDDB directory " + d + "/missing not found", true},
        {d, 0x1234abcd, "Local CDDB file " + d + "/1234abcd.cddb not found", true},
        {d, 0xabcd, "0000abcd.cddb is not a regular file", false},
        {d, 1, "too large", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        CAlbumRecord r = SampleRecord();
        CEventLog log;
        EXPECT_FALSE(LoadLocalCddb(c.folder, c.id, r, &log));
        ASSERT_EQ(log.Entries().size(), 1u);
        EXPECT_EQ(log.Entries()[0].level, 2);
        const std::string m = log.Entries()[0].message;
        EXPECT_TRUE(c.whole ? m == c.message : m.find(c.message) != std::string::npos) << m;
        EXPECT_EQ(r, SampleRecord());
    }
}

TEST(LocalCddbStore, DamagedFileLoadsWhatItCan) {
    TempDir dir;
    std::ofstream(dir.path() + "/0000abcd.cddb", std::ios::binary)
        << "210 OK\n# xmcd\n# Track frame offsets:\n# 150\n# Disc length: 60\n# Submitted via: a b\nDTITLE=Who / What\nTTITLE0=First\n";
    CEventLog log;
    CAlbumRecord r = SampleRecord();
    // The parse fails on the missing DISCID, yet the load counts as done.
    EXPECT_TRUE(LoadLocalCddb(dir.path(), 0xabcd, r, &log));
    ASSERT_EQ(log.Entries().size(), 1u);
    EXPECT_EQ(log.Entries()[0].message,
              "CCDDB::ParseRecordBodyHelper, CDDB server failed to return a record with a DISCID line.");
    EXPECT_EQ(r.trackTitles, std::vector<std::string>{"First"});
    EXPECT_EQ(r.discLength, 60);
    EXPECT_EQ(r.albumTitle, "");  // the DTITLE is split only after the checks

    // A status outside 210-219 changes nothing and is not an error.
    std::ofstream(dir.path() + "/0000abce.cddb", std::ios::binary) << "401 no such entry\r\n";
    CAlbumRecord s = SampleRecord();
    EXPECT_TRUE(LoadLocalCddb(dir.path(), 0xabce, s, &log));
    EXPECT_EQ(s, SampleRecord());
}

TEST(LocalCddbStore, FolderWalkCreatesMissingParents) {
    TempDir dir;
    // Five missing levels take nine attempts; the walk makes them all.
    const std::string five = dir.path() + "/a/b/c/d/e";
    EXPECT_TRUE(CreateLocalCddbFolder(five));
    EXPECT_TRUE(fs::is_directory(five));
    EXPECT_TRUE(CreateLocalCddbFolder(five));  // already there

    // Six missing levels would need eleven attempts: the walk gives up after ten, having
    // made all but the last level.
    const std::string six = dir.path() + "/p/q/r/s/t/u";
    EXPECT_FALSE(CreateLocalCddbFolder(six));
    EXPECT_TRUE(fs::is_directory(dir.path() + "/p/q/r/s/t"));
    EXPECT_FALSE(fs::exists(six));

    // A file in the way stops the walk without harm.
    { std::ofstream f(dir.path() + "/file"); }
    EXPECT_FALSE(CreateLocalCddbFolder(dir.path() + "/file/sub"));
    EXPECT_TRUE(fs::is_regular_file(dir.path() + "/file"));
}

TEST(LocalCddbStore, SaveCreatesTheFolderAndReportsFailures) {
    TempDir dir;
    const CAlbumRecord r = SampleRecord();
    const std::string folder = dir.path() + "/Local CDDB";
    CEventLog log;
    EXPECT_TRUE(SaveLocalCddb(folder, r.discId, r, 5, &log));
    ASSERT_EQ(log.Entries().size(), 1u);
    EXPECT_EQ(log.Entries()[0].message, "Local CDDB file saved.");
    EXPECT_EQ(log.Entries()[0].level, 0);
    EXPECT_TRUE(fs::is_regular_file(folder + "/1f02bc03.cddb"));

    // Level 4: no DYEAR and DGENRE in the file.
    EXPECT_TRUE(SaveLocalCddb(folder, r.discId, r, 4, &log));
    EXPECT_EQ(Slurp(folder + "/1f02bc03.cddb").find("DYEAR"), std::string::npos);

    // A folder that cannot exist (a file is in its path): an error naming the file.
    { std::ofstream f(dir.path() + "/blocker"); }
    CEventLog log2;
    EXPECT_FALSE(SaveLocalCddb(dir.path() + "/blocker/x", r.discId, r, 5, &log2));
    ASSERT_EQ(log2.Entries().size(), 1u);
    EXPECT_EQ(log2.Entries()[0].level, 2);
    EXPECT_NE(log2.Entries()[0].message.find(dir.path() + "/blocker/x/1f02bc03.cddb"), std::string::npos);
}

TEST(LocalCddbStore, DemoDiscRecordFitsTheDemoDisc) {
    // The shipped record must name the demo disc's own ID and layout, or the demo would
    // show default titles.
    const std::string text = Slurp(std::string(QUARROW_SOURCE_DIR) + "/data/demo-disc.cddb");
    CEventLog log;
    CAlbumRecord r;
    ASSERT_TRUE(ParseRecordBody(text, r, &log));
    EXPECT_TRUE(log.Entries().empty());
    CCDDBToc toc;
    int32_t at = 150;
    std::vector<std::string> titles;
    for (const DemoTrack& t : DemoTracks()) {
        toc.push_back(CCDDBMsf::FromFrames(at));
        EXPECT_EQ(r.trackFrameOffsets.at(toc.size() - 1), static_cast<uint32_t>(at));
        titles.push_back(t.title);
        at += t.sectors;
    }
    toc.push_back(CCDDBMsf::FromFrames(at));
    EXPECT_EQ(r.discId, ComputeDiscId(toc));
    EXPECT_EQ(r.discId, 0x27008c05u);
    EXPECT_EQ(r.discLength, DiscLengthSeconds(toc));
    EXPECT_EQ(r.trackTitles, titles);
    EXPECT_EQ(r.artist, kDemoArtist);
    EXPECT_EQ(r.albumTitle, kDemoAlbum);
    EXPECT_EQ(r.year, 2026);
    EXPECT_EQ(r.genre, "Ambient");
}
