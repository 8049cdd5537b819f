#include <FLAC/metadata.h>
#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "encoders/EncodeFlac.h"
#include "encoders/Encoder.h"
#include "support/DiscImage.h"
#include "support/EncodeHarness.h"
#include "support/Pcm.h"
#include "support/RunProcess.h"

using namespace quarrow;
using namespace quarrow::testsupport;

namespace {

std::string Entry(const FLAC__StreamMetadata_VorbisComment_Entry& e) {
    return std::string(reinterpret_cast<const char*>(e.entry), e.length);
}

// The smallest and largest block size of a native FLAC file's STREAMINFO.
std::pair<int, int> BlockSizes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    unsigned char h[12] = {};
    in.read(reinterpret_cast<char*>(h), sizeof h);
    return {h[8] << 8 | h[9], h[10] << 8 | h[11]};
}

}  // namespace

TEST(EncodeFlac, BlockSizeChoicesAndCommentBlock) {
    for (int outside : {11, -1}) EXPECT_EQ(FlacEncoderBlockSize(outside), 0u) << outside;
    // The files' tests read the comments back; here the vendor, a title that is not UTF-8
    // (read as Latin-1) and an image-mode track number, which is empty.
    TagValues t = MakeTagValues(SampleAlbum(), 1, 12, false, "/out/x.flac");
    t.title = std::string("caf\xe9 \xff", 6);
    t.trackNumber.clear();
    FlacMetadataPtr block = MakeFlacCommentBlock(t);
    ASSERT_TRUE(block && block->data.vorbis_comment.num_comments == 8);
    const auto& vc = block->data.vorbis_comment;
    EXPECT_EQ(Entry(vc.vendor_string), "Flac 1.2.1");
    EXPECT_EQ(Entry(vc.comments[0]) + "|" + Entry(vc.comments[2]), "TITLE=caf\xc3\xa9 \xc3\xbf|TRACKNUMBER=");
}

// Valid UTF-8 is kept; anything else (truncated, overlong) is read as Latin-1.
TEST(EncodeFlac, TagTextBecomesUtf8) {
    const std::string valid = "Bj\xc3\xb6rk \xe2\x82\xac \xf0\x9f\x8e\xb5";
    for (const auto& [in, out] : std::vector<std::pair<std::string, std::string>>{
             {valid, valid}, {"a\xc3", "a\xc3\x83"}, {"\xe0\x80\xaf", "\xc3\xa0\xc2\x80\xc2\xaf"}})
        EXPECT_EQ(TagTextUtf8(in), out);
}

// Each row: settings, samples; then what the file must show. Every file must pass the
// reference decoder's test (MD5 included) and decode to exactly the samples fed.
TEST(EncodeFlac, FilesAreLosslessTaggedAndShapedAsAsked) {
    discimage::ScratchDir dir;
    const std::map<std::string, std::string> expectedTags = {
        {"title", "Shoot to Thrill = loud"}, {"album", "Back in Black; `echo hi` | tee"}, {"track", " 2"},
        {"artist", "AC/DC \"Live\" $(rm -rf ~)"}, {"comment", std::string(RipComment)}, {"genre", "Rock"}, {"date", "1991"},
        {"totaltracks", "12"}};
    // Block sizes -1: not looked at (Ogg FLAC).
    struct Case { const char* name; std::function<void(CSettings&)> change; std::size_t frames; int minBlock, maxBlock; bool tagged; };
    const Case cases[] = {
        {"default", [](CSettings&) {}, 44100 * 2 + 333, 4096, 4096, true},   // level 5 chooses the block size
        {"block 4608, verify, level 8, untagged",
         [](CSettings& s) { s.FLAC.BlockSize = 10, s.FLAC.Verify = 1, s.FLAC.CompLev = 8, s.OUTPUT.FillTag = 0; },
         20000, -1, 4608, false},
        {"shorter than a block", [](CSettings&) {}, 300, -1, 4096, true},
        {"ogg", [](CSettings& s) { s.FLAC.Native = 0; }, 30000, -1, -1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CSettings s = SettingsFor(6);
        c.change(s);
        FeedContext ctx(s);
        ctx.ShapeFromSettings();
        EXPECT_FALSE(ctx.floatPath);
        ctx.album = SampleAlbum(), ctx.trackIndex = 1, ctx.discTracks = 12;
        ctx.FeedShorts(NoisyShorts(c.frames));
        const std::string out = dir.path() + "/02 - " + c.name + (s.FLAC.Native ? ".flac" : ".ogg");
        ASSERT_TRUE(Written(ctx, ctx.Encode(out), out));
        const Decoded d = Decode(out);
        ASSERT_TRUE(d.ok) << d.error;
        EXPECT_TRUE(d.codec + std::to_string(d.sampleRate) == "flac44100" && d.samples == ctx.shorts) << d.codec;
        EXPECT_EQ(d.tags, c.tagged ? expectedTags : decltype(expectedTags){});
        if (!s.FLAC.Native) continue;
        const ProcessResult t = RunProcess({"/usr/bin/flac", "-t", "-s", out});
        EXPECT_EQ(t.status, 0) << t.err;
        const auto [minBlock, maxBlock] = BlockSizes(out);
        if (c.minBlock >= 0) { EXPECT_EQ(minBlock, c.minBlock); }
        EXPECT_EQ(maxBlock, c.maxBlock);
    }
}
