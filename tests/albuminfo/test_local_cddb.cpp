// The local CDDB store on a real temporary folder: file name and text, write-then-load,
// files that must not count as found, and the folder walk that creates missing parents.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "albuminfo/LocalCddb.h"
#include "albuminfo/Xmcd.h"
#include "app/DemoDisc.h"
#include "app/EventLog.h"
#include "support/TestFiles.h"

using namespace quarrow;
using support::ReadFile;
using support::ScratchDir;
using support::WriteFile;
namespace fs = std::filesystem;

namespace {

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
    r.trackTitles = {"One", "Two/Three", "\xc3\xa4\xc3\xb6"};
    r.trackExtendedData = {"", "", ""};
    r.year = 1980;
    r.genre = "Rock";
    return r;
}

}  // namespace

TEST(LocalCddbStore, WriteThenLoad) {
    ScratchDir dir;
    const CAlbumRecord r = SampleRecord();
    const std::string path = LocalCddbFilePath(dir.path(), r.discId);
    EXPECT_EQ(path, dir.file("1f02bc03.cddb"));
    ASSERT_TRUE(WriteLocalCddbFile(path, r, 5));
    EXPECT_EQ(ReadFile(path).rfind("210 OK, CDDB database follows (until terminating marker)\r\n# xmcd\r\n", 0), 0u);
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
    EXPECT_EQ(back, shorter);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(LocalCddbStore, FilesThatHoldNoRecordAreNotFound) {
    ScratchDir dir;
    const std::string d = dir.path();
    auto file = [&](uint32_t id) { return LocalCddbFilePath(d, id); };
    fs::create_directory(file(0xabcd));
    WriteFile(file(1), std::string(kMaxLocalCddbBytes + 1, 'x'));
    ASSERT_EQ(::mkfifo(file(2).c_str(), 0600), 0);  // would block a plain read
    fs::create_symlink("/dev/zero", file(3));         // would never end
    WriteFile(file(4), "");
    WriteFile(file(5), std::string("\x00\x01\xff\xfe\x89PNG", 8));
    WriteFile(file(6), "401 no such entry\r\n");
    WriteFile(file(7), "210 OK\n# xmcd\n# Track frame offsets:\n# 150\n# Disc length: 60\n"
                       "# Submitted via: a b\nDTITLE=Who / What\nTTITLE0=First\n");
    const struct { std::string folder; uint32_t id; std::string message; } cases[] = {
        {d + "/missing", 0x1234abcd, "Local CDDB directory " + d + "/missing not found"},
        {d, 0x1234abcd, "Local CDDB file " + file(0x1234abcd) + " not found"},
        {d, 0xabcd, file(0xabcd)},
        {d, 1, file(1)},
        {d, 2, file(2)},
        {d, 3, file(3)},
        {d, 4, file(4) + " is not a CDDB record"},
        {d, 5, file(5) + " is not a CDDB record"},
        {d, 6, file(6) + " is not a CDDB record"},
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
    EXPECT_TRUE(CreateLocalCddbFolder(dir.file("a/b/c/d/e")));
    EXPECT_TRUE(fs::is_directory(dir.file("a/b/c/d/e")));
    EXPECT_FALSE(CreateLocalCddbFolder(dir.file("p/q/r/s/t/u")));
    EXPECT_TRUE(fs::is_directory(dir.file("p/q/r/s/t")));
    // A file in the way stops the walk without harm.
    WriteFile(dir.file("file"), "");
    EXPECT_FALSE(CreateLocalCddbFolder(dir.file("file/sub")));
    EXPECT_TRUE(fs::is_regular_file(dir.file("file")));
}

TEST(LocalCddbStore, SaveCreatesTheFolderAndReportsFailures) {
    ScratchDir dir;
    const CAlbumRecord r = SampleRecord();
    CEventLog log;
    EXPECT_TRUE(SaveLocalCddb(dir.file("Local CDDB"), r.discId, r, 4, &log));
    ASSERT_EQ(log.Entries().size(), 1u);
    EXPECT_EQ(log.Entries()[0].message, "Local CDDB file saved.");
    // Level 4: no DYEAR and DGENRE in the file.
    EXPECT_EQ(ReadFile(dir.file("Local CDDB/1f02bc03.cddb")).find("DYEAR"), std::string::npos);

    // A folder that cannot exist (a file is in its path): a warning naming the file.
    WriteFile(dir.file("blocker"), "");
    log.Clear();
    EXPECT_FALSE(SaveLocalCddb(dir.file("blocker/x"), r.discId, r, 5, &log));
    ASSERT_EQ(log.Entries().size(), 1u);
    EXPECT_EQ(log.Entries()[0].level, 1);
    EXPECT_NE(log.Entries()[0].message.find(dir.file("blocker/x/1f02bc03.cddb")), std::string::npos);
}

TEST(LocalCddbStore, DemoDiscRecordFitsTheDemoDisc) {
    // The shipped record must name the demo disc's own ID and layout, or the demo would
    // show default titles.
    CEventLog log;
    CAlbumRecord r;
    ASSERT_TRUE(ParseRecordBody(ReadFile(std::string(QUARROW_SOURCE_DIR) + "/data/demo-disc.cddb"), r, &log));
    EXPECT_TRUE(log.Entries().empty());
    CCDDBToc toc;
    int32_t at = 150;
    std::vector<std::string> titles;
    for (const DemoTrack& t : DemoTracks()) {
        toc.push_back(CCDDBMsf::FromFrames(at));
        titles.push_back(t.title);
        at += t.sectors;
    }
    toc.push_back(CCDDBMsf::FromFrames(at));
    EXPECT_EQ(r.discId, ComputeDiscId(toc));
    EXPECT_EQ(r.discLength, DiscLengthSeconds(toc));
    EXPECT_EQ(r.trackTitles, titles);
    EXPECT_EQ(r.artist + " / " + r.albumTitle, std::string(kDemoArtist) + " / " + kDemoAlbum);
}
