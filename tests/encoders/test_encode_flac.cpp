#include <FLAC/metadata.h>
#include <gtest/gtest.h>

#include <fstream>

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

    TagValues t = MakeTagValues(SampleAlbum(), 1, 12, false, "/out/x.flac");
    FlacMetadataPtr block = MakeFlacCommentBlock(t);
    ASSERT_TRUE(block);
    const auto& vc = block->data.vorbis_comment;
    EXPECT_EQ(Entry(vc.vendor_string), "Flac 1.2.1");
    const std::vector<std::string> expected = {
        "TITLE=Shoot to Thrill = loud", "ALBUM=Back in Black; `echo hi` | tee", "TRACKNUMBER= 2",
        "ARTIST=AC/DC \"Live\" $(rm -rf ~)", "COMMENT=" + std::string(RipComment), "GENRE=Rock", "DATE=1991",
        "TOTALTRACKS=12",
    };
    std::vector<std::string> comments;
    unsigned length = 4 + 10 + 4;
    for (FLAC__uint32 i = 0; i < vc.num_comments; ++i) {
        comments.push_back(Entry(vc.comments[i]));
        length += 4 + vc.comments[i].length;
    }
    EXPECT_EQ(comments, expected);
    EXPECT_EQ(block->length, length);

    // A title that is not UTF-8 is read as Latin-1; an image-mode track number is empty.
    t.title = std::string("caf\xe9 \xff", 6);
    t.trackNumber.clear();
    block = MakeFlacCommentBlock(t);
    ASSERT_TRUE(block);
    EXPECT_EQ(Entry(block->data.vorbis_comment.comments[0]), "TITLE=caf\xc3\xa9 \xc3\xbf");
    EXPECT_EQ(Entry(block->data.vorbis_comment.comments[2]), "TRACKNUMBER=");
}

// Valid UTF-8 is kept; anything else (truncated, overlong) is read as Latin-1.
TEST(EncodeFlac, TagTextBecomesUtf8) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"Bj\xc3\xb6rk \xe2\x82\xac \xf0\x9f\x8e\xb5", "Bj\xc3\xb6rk \xe2\x82\xac \xf0\x9f\x8e\xb5"},
        {"a\xc3", "a\xc3\x83"}, {"\xe0\x80\xaf", "\xc3\xa0\xc2\x80\xc2\xaf"}};
    for (const auto& [in, out] : cases) EXPECT_EQ(TagTextUtf8(in), out);
}

// Each row: settings, samples; then what the file must show. Every file must pass the
// reference decoder's test (MD5 included) and decode to exactly the samples fed.
TEST(EncodeFlac, FilesAreLosslessTaggedAndShapedAsAsked) {
    discimage::ScratchDir dir;
    struct Case {
        const char* name;
        std::function<void(CSettings&)> change;
        std::size_t frames;
        int minBlock, maxBlock;    // -1: not looked at (Ogg FLAC)
        bool tagged;
    };
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
        ctx.album = SampleAlbum();
        ctx.trackIndex = 1;
        ctx.discTracks = 12;
        ctx.FeedShorts(NoisyShorts(c.frames));
        const std::string out = dir.path() + "/02 - " + c.name + (s.FLAC.Native ? ".flac" : ".ogg");
        ASSERT_TRUE(Written(ctx, ctx.Encode(out), out));
        const Decoded d = Decode(out);
        ASSERT_TRUE(d.ok) << d.error;
        EXPECT_EQ(d.codec, "flac");
        EXPECT_EQ(d.sampleRate, 44100);
        EXPECT_TRUE(d.samples == ctx.shorts);
        EXPECT_EQ(d.Tag("album"), c.tagged ? "Back in Black; `echo hi` | tee" : "");
        EXPECT_EQ(d.Tag("comment"), c.tagged ? RipComment : "");
        EXPECT_EQ(d.Tag("totaltracks"), c.tagged ? "12" : "");
        if (!s.FLAC.Native) continue;
        const ProcessResult t = RunProcess({"/usr/bin/flac", "-t", "-s", out});
        EXPECT_EQ(t.status, 0) << t.err;
        const auto [minBlock, maxBlock] = BlockSizes(out);
        if (c.minBlock >= 0) {
            EXPECT_EQ(minBlock, c.minBlock);
        }
        EXPECT_EQ(maxBlock, c.maxBlock);
    }
}
