// The disc's table of contents, its CDDB ID (checked against the reference library) and
// the album defaults of a disc without lookup.
#include <gtest/gtest.h>

#include <discid/discid.h>

#include <random>

#include "albuminfo/AlbumRecord.h"
#include "albuminfo/CDDBException.h"
#include "app/CdDrive.h"
#include "app/EventLog.h"

using namespace quarrow;

namespace {

// A drive that only has a table of contents.
class TocDrive : public CdDrive {
public:
    explicit TocDrive(CdDiscLayout layout) : layout_(std::move(layout)) { RefreshDisc(); }
    std::string IdentA() const override { return "Test"; }
    std::string IdentB() const override { return "TOC"; }
    std::string IdentC() const override { return "1"; }
    std::string DriveName() const override { return "toc"; }

protected:
    CdDiscLayout ReadLayout() override { return layout_; }
    bool ReadRawSectors(int32_t, int, uint8_t*) override { return false; }

private:
    CdDiscLayout layout_;
};

CdDiscLayout Layout(const std::vector<int32_t>& lengths, const std::vector<int>& types = {}) {
    CdDiscLayout d;
    d.discState = kRecognizedDisc;
    d.sessions.emplace_back();
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        CdTrackInfo t;
        t.number = static_cast<int>(i) + 1;
        t.type = i < types.size() ? types[i] : kTrackAudio;
        t.start = d.leadOut;
        t.sectors = lengths[i];
        d.leadOut += lengths[i];
        d.sessions[0].push_back(t);
    }
    return d;
}

std::string LibDiscIdFreeDb(const CdDiscLayout& d) {
    std::vector<int> offsets{d.leadOut + 150};
    for (const auto& t : d.sessions[0]) offsets.push_back(t.start + 150);
    offsets.resize(100);
    DiscId* disc = discid_new();
    EXPECT_EQ(discid_put(disc, 1, static_cast<int>(d.sessions[0].size()), offsets.data()), 1);
    std::string id = discid_get_freedb_id(disc);
    discid_free(disc);
    return id;
}

}  // namespace

TEST(DiscId, WorkedExamplesOfTheIdRule) {
    // 00:02:00 (2 s) and 05:10:12 (310 s), lead-out 10:00:00.
    CCDDBToc toc{{0, 2, 0}, {5, 10, 12}, {10, 0, 0}};
    EXPECT_EQ(FormatDiscId(ComputeDiscId(toc)), "06025602");
    EXPECT_EQ(DiscLengthSeconds(toc), 598);

    // Digit sums adding up to exactly 255 wrap to 0 in the top byte: 28 starts at 9 s
    // (252) and one at 3 s.
    CCDDBToc wrap(28, CCDDBMsf::FromFrames(9 * 75));
    wrap.push_back(CCDDBMsf::FromFrames(3 * 75));
    wrap.push_back(CCDDBMsf::FromFrames(20 * 75));
    EXPECT_EQ(ComputeDiscId(wrap) >> 24, 0u);
    EXPECT_EQ(ComputeDiscId(wrap) & 0xFF, 29u);
}

TEST(DiscId, ReadTocAddsTheFrameTheDeviceLeavesOut) {
    // The last track ends one frame before a minute boundary plus one: carries run through.
    TocDrive drive(Layout({4500 * 59 + 75 * 59 + 74 - 150, 1}));
    EXPECT_EQ(ReadToc(drive), (CCDDBToc{{0, 2, 0}, {59, 59, 74}, {60, 0, 0}}));
}

TEST(DiscId, MatchesTheFreeDbIdOfLibDiscId) {
    std::mt19937 gen(20261205);
    std::vector<CdDiscLayout> layouts = {
        Layout({10000}),
        Layout({13000, 20, 17000, 16000, 22000}),                                // a track under 1 s
        Layout({30000, 15000, 15000}, {kTrackMode1, kTrackAudio, kTrackAudio}),  // data first
        Layout({15000, 30000, 15000}, {kTrackAudio, kTrackMode1, kTrackAudio}),  // data in the middle
    };
    for (int n : {2, 12, 40, 99}) {
        std::vector<int32_t> lengths;
        std::uniform_int_distribution<int32_t> len(300, 3000);
        for (int i = 0; i < n; ++i) lengths.push_back(len(gen));
        layouts.push_back(Layout(lengths));
    }
    for (const auto& layout : layouts) {
        TocDrive drive(layout);
        EXPECT_EQ(FormatDiscId(ComputeDiscId(ReadToc(drive))), LibDiscIdFreeDb(layout));
    }
}

TEST(DiscId, NoAudioTrackThrowsAndLogs) {
    TocDrive drive(Layout({20000}, {kTrackMode1}));
    CEventLog log;
    try {
        ReadToc(drive, &log);
        FAIL() << "no exception";
    } catch (const CCDDBException& e) {
        EXPECT_EQ(e.code() & 0xFFFF, 513u);
        EXPECT_FALSE(e.deviceError());
    }
    ASSERT_FALSE(log.Entries().empty());
    EXPECT_EQ(log.Entries().back().message.rfind("Warning: throwing CCDDBException for error ", 0), 0u);
}

TEST(AlbumRecord, DefaultsOfADiscWithoutLookup) {
    TocDrive drive(Layout({15000, 30000, 15000}, {kTrackAudio, kTrackMode1, kTrackAudio}));
    drive.SetCurrentSession(0);
    drive.SetCurrentTrack(0);
    const CCDDBToc toc = ReadToc(drive);
    CAlbumRecord r;
    r.playOrder = {3, 1};
    FillAlbumDefaults(r, drive, toc);
    const std::string d = FormatDiscId(ComputeDiscId(toc));
    CAlbumRecord expected;
    expected.trackFrameOffsets = {150, 15150, 45150};
    expected.discLength = (60000 + 150) / 75 - 2;
    expected.submittingProgram = "MfcCDDB";
    expected.submittingVersion = "1.28";
    expected.discId = ComputeDiscId(toc);
    expected.artist = "Unknown Artist " + d;
    expected.albumTitle = "Unknown Album " + d;
    expected.trackTitles = {"Track01", "Track02", "Track03"};
    expected.trackExtendedData = {"", "", ""};
    expected.year = 2000;
    expected.genre = "Unknown Genre " + d;
    EXPECT_EQ(r, expected);

    // A data track as the current track: only the arrays are emptied.
    CAlbumRecord kept;
    kept.artist = "Kept";
    kept.trackTitles = {"x"};
    drive.SetCurrentTrack(1);
    FillAlbumDefaults(kept, drive, toc);
    EXPECT_EQ(kept.artist, "Kept");
    EXPECT_TRUE(kept.trackTitles.empty());
}

TEST(AlbumRecord, ArtistAndTitleShareOneLine) {
    std::string a, t;
    SplitArtistTitle("AC/DC / Back in Black / Remastered", a, t);
    EXPECT_EQ(a + "|" + t, "AC/DC|Back in Black / Remastered");
    SplitArtistTitle("No Separator/Here", a, t);
    EXPECT_EQ(a + "|" + t, "No Separator/Here|No Separator/Here");
    EXPECT_EQ(JoinArtistTitle("A", "B"), "A / B");
    EXPECT_EQ(JoinArtistTitle("", "B"), "B");
}
