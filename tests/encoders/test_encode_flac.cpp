#include <FLAC/metadata.h>
#include <FLAC/stream_decoder.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <filesystem>

#include "app/Settings.h"
#include "encoders/EncodeFlac.h"
#include "encoders/Encoder.h"
#include "support/DiscImage.h"
#include "support/EncodeHarness.h"
#include "support/RunProcess.h"

using namespace quarrow;
using quarrow::testsupport::FeedContext;
namespace fs = std::filesystem;

namespace {

CSettings FlacSettings() {
    CSettings s = CSettings::Initial("/nonexistent");
    s.OUTPUT.OutputFormat = 6;
    return s;
}

// Sine plus a little deterministic noise, so that every predictor has real work to do.
std::vector<int16_t> TestPcm(std::size_t frames) {
    std::vector<int16_t> v = testsupport::SineShorts(frames, 2, 0.6);
    uint32_t x = 12345;
    for (auto& s : v) {
        x = x * 1103515245u + 12345u;
        s = static_cast<int16_t>(s + static_cast<int>((x >> 16) % 401) - 200);
    }
    v[0] = 32767;
    v[1] = -32768;
    return v;
}

CAlbumRecord Album() {
    CAlbumRecord a;
    a.artist = "AC/DC \"Live\" $(rm -rf ~)";
    a.albumTitle = "Back in Black; `echo hi` | tee";
    a.trackTitles = {"Hells Bells", "Shoot to Thrill = loud\nsecond line"};
    a.year = 1980;
    a.genre = "Rock";
    return a;
}

struct Decoded {
    bool ok = false;
    std::vector<int16_t> samples;
    unsigned minBlock = 0, maxBlock = 0, rate = 0, channels = 0, bits = 0;
    std::vector<std::string> comments;
};

// Decodes native or Ogg FLAC with libFLAC, checking the MD5 signature on the way.
Decoded DecodeFlac(const std::string& path, bool ogg) {
    Decoded d;
    auto onWrite = [](const FLAC__StreamDecoder*, const FLAC__Frame* frame, const FLAC__int32* const buffer[],
                      void* data) {
        auto* d = static_cast<Decoded*>(data);
        for (unsigned i = 0; i < frame->header.blocksize; ++i)
            for (unsigned c = 0; c < frame->header.channels; ++c) d->samples.push_back(static_cast<int16_t>(buffer[c][i]));
        return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
    };
    auto onMetadata = [](const FLAC__StreamDecoder*, const FLAC__StreamMetadata* m, void* data) {
        auto* d = static_cast<Decoded*>(data);
        if (m->type == FLAC__METADATA_TYPE_STREAMINFO) {
            const auto& si = m->data.stream_info;
            d->minBlock = si.min_blocksize, d->maxBlock = si.max_blocksize, d->rate = si.sample_rate;
            d->channels = si.channels, d->bits = si.bits_per_sample;
        } else if (m->type == FLAC__METADATA_TYPE_VORBIS_COMMENT) {
            const auto& vc = m->data.vorbis_comment;
            for (FLAC__uint32 i = 0; i < vc.num_comments; ++i)
                d->comments.emplace_back(reinterpret_cast<const char*>(vc.comments[i].entry), vc.comments[i].length);
        }
    };
    auto onError = [](const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void* data) {
        static_cast<Decoded*>(data)->ok = false;
    };
    FLAC__StreamDecoder* dec = FLAC__stream_decoder_new();
    FLAC__stream_decoder_set_md5_checking(dec, true);
    FLAC__stream_decoder_set_metadata_respond(dec, FLAC__METADATA_TYPE_VORBIS_COMMENT);
    const FLAC__StreamDecoderInitStatus st =
        ogg ? FLAC__stream_decoder_init_ogg_file(dec, path.c_str(), onWrite, onMetadata, onError, &d)
            : FLAC__stream_decoder_init_file(dec, path.c_str(), onWrite, onMetadata, onError, &d);
    if (st == FLAC__STREAM_DECODER_INIT_STATUS_OK) {
        d.ok = true;
        if (!FLAC__stream_decoder_process_until_end_of_stream(dec)) d.ok = false;
        if (!FLAC__stream_decoder_finish(dec)) d.ok = false;   // false on an MD5 mismatch
    }
    FLAC__stream_decoder_delete(dec);
    return d;
}

std::string Entry(const FLAC__StreamMetadata_VorbisComment_Entry& e) {
    return std::string(reinterpret_cast<const char*>(e.entry), e.length);
}

}  // namespace

TEST(EncodeFlac, BlockSizeChoicesAndCommentBlock) {
    for (auto [choice, size] : std::vector<std::pair<int, unsigned>>{{0, 0}, {4, 576}, {10, 4608}, {11, 0}, {-1, 0}})
        EXPECT_EQ(FlacEncoderBlockSize(choice), size) << choice;

    TagValues t = MakeTagValues(Album(), 1, 12, false, "/out/x.flac");
    FlacMetadataPtr block = MakeFlacCommentBlock(t);
    ASSERT_TRUE(block);
    EXPECT_EQ(block->type, FLAC__METADATA_TYPE_VORBIS_COMMENT);
    const auto& vc = block->data.vorbis_comment;
    EXPECT_EQ(Entry(vc.vendor_string), "Flac 1.2.1");
    const std::vector<std::string> expected = {
        "TITLE=Shoot to Thrill = loud\nsecond line", "ALBUM=Back in Black; `echo hi` | tee",
        "TRACKNUMBER= 2", "ARTIST=AC/DC \"Live\" $(rm -rf ~)", "COMMENT=" + std::string(RipComment),
        "GENRE=Rock", "DATE=1980", "TOTALTRACKS=12",
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

TEST(EncodeFlac, TagTextBecomesUtf8) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"Bj\xc3\xb6rk \xe2\x82\xac \xf0\x9f\x8e\xb5", "Bj\xc3\xb6rk \xe2\x82\xac \xf0\x9f\x8e\xb5"},
        {"Bj\xf6rk", "Bj\xc3\xb6rk"},
        // Truncated sequences, overlong forms and surrogates are not UTF-8 either.
        {"a\xc3", "a\xc3\x83"},
        {"\xc0\xaf", "\xc3\x80\xc2\xaf"},
        {"\xe0\x80\xaf", "\xc3\xa0\xc2\x80\xc2\xaf"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(TagTextUtf8(in), out);
}

TEST(EncodeFlac, NativeDefaultIsLosslessTaggedAndPassesTheReferenceTest) {
    discimage::ScratchDir dir;
    FeedContext ctx(FlacSettings());
    ctx.ShapeFromSettings();
    EXPECT_FALSE(ctx.floatPath);
    ctx.album = Album();
    ctx.trackIndex = 1;
    ctx.discTracks = 12;
    const std::vector<int16_t> pcm = TestPcm(44100 * 2 + 333);   // not a multiple of any block
    ctx.FeedShorts(pcm);
    const std::string out = dir.path() + "/02 - track.flac";
    ASSERT_EQ(ctx.Encode(out), 1) << ctx.FirstMessage();
    EXPECT_TRUE(ctx.Messages().empty());
    EXPECT_TRUE(ctx.finalSent);
    EXPECT_FALSE(fs::exists(CEncoder::TemporaryNameOf(out)));

    const Decoded d = DecodeFlac(out, false);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.rate, 44100u);
    EXPECT_EQ(d.channels, 2u);
    EXPECT_EQ(d.bits, 16u);
    EXPECT_EQ(d.minBlock, 4096u);   // level 5 chooses the block size
    EXPECT_TRUE(d.samples == pcm);
    ASSERT_EQ(d.comments.size(), 8u);
    EXPECT_EQ(d.comments[3], "ARTIST=AC/DC \"Live\" $(rm -rf ~)");

    const testsupport::ProbeResult p = testsupport::Probe(out);
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.codec, "flac");
    EXPECT_NEAR(p.duration, (44100 * 2 + 333) / 44100.0, 0.001);
    EXPECT_EQ(p.tags.at("album"), "Back in Black; `echo hi` | tee");
    EXPECT_EQ(p.tags.at("comment"), std::string(RipComment));
    const testsupport::ProcessResult t = testsupport::RunProcess({"/usr/bin/flac", "-t", "-s", out});
    EXPECT_EQ(t.status, 0) << t.err;
}

TEST(EncodeFlac, OggFlacCarriesASerialFromTheTimeSeededGenerator) {
    discimage::ScratchDir dir;
    CSettings s = FlacSettings();
    s.FLAC.Native = 0;
    FeedContext ctx(s);
    const std::vector<int16_t> pcm = TestPcm(30000);
    ctx.FeedShorts(pcm);
    const std::string out = dir.path() + "/t.ogg";
    const std::time_t before = std::time(nullptr);
    ASSERT_EQ(ctx.Encode(out), 1);
    const long serial = testsupport::OggSerialOf(out);
    EXPECT_TRUE(testsupport::TimeSeededSerials(before, std::time(nullptr)).count(serial)) << serial;

    const Decoded d = DecodeFlac(out, true);
    ASSERT_TRUE(d.ok);
    EXPECT_TRUE(d.samples == pcm);
    EXPECT_EQ(d.comments.size(), 8u);
    EXPECT_EQ(testsupport::Probe(out).codec, "flac");
}

TEST(EncodeFlac, OptionsReachTheEncoder) {
    discimage::ScratchDir dir;
    const std::vector<int16_t> pcm = TestPcm(20000);

    // Block size choice 10 with verification, tagging off: no comments of ours.
    CSettings s = FlacSettings();
    s.FLAC.BlockSize = 10;
    s.FLAC.Verify = 1;
    s.FLAC.CompLev = 8;
    s.OUTPUT.FillTag = 0;
    FeedContext a(s);
    a.FeedShorts(pcm);
    ASSERT_EQ(a.Encode(dir.path() + "/a.flac"), 1);
    Decoded d = DecodeFlac(dir.path() + "/a.flac", false);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.maxBlock, 4608u);
    EXPECT_TRUE(d.samples == pcm);
    EXPECT_TRUE(d.comments.empty());
    EXPECT_TRUE(testsupport::Probe(dir.path() + "/a.flac").tags.count("comment") == 0);

    // A track shorter than one block still comes out whole.
    FeedContext c(FlacSettings());
    const std::vector<int16_t> tiny = TestPcm(300);
    c.FeedShorts(tiny);
    ASSERT_EQ(c.Encode(dir.path() + "/c.flac"), 1);
    EXPECT_TRUE(DecodeFlac(dir.path() + "/c.flac", false).samples == tiny);
}

TEST(EncodeFlac, FailuresAndCancel) {
    discimage::ScratchDir dir;

    // A folder that does not exist: the initialisation error with its codes.
    FeedContext a(FlacSettings());
    a.FeedShorts(TestPcm(5000));
    const std::string missing = dir.path() + "/no/such/folder/x.flac";
    EXPECT_EQ(a.Encode(missing), 0);
    const std::vector<std::string> m = a.Messages();
    ASSERT_GE(m.size(), 3u);
    EXPECT_EQ(m[0], "1:Error Code: 1");
    EXPECT_EQ(m[1], "1:Fail to initialize flac file!");
    EXPECT_EQ(m[2].rfind("1:FLAC Encoder State Code: ", 0), 0u);
    EXPECT_NE(std::find(m.begin(), m.end(), "1:Can't create file " + missing + "!"), m.end());
    EXPECT_EQ(a.running, 0);
    EXPECT_FALSE(fs::exists(missing));

    // Cancel half-way: nothing stays, neither the file nor its temporary name.
    FeedContext b(FlacSettings());
    b.FeedShorts(TestPcm(44100 * 4));
    b.piece = 2048;
    b.onDelivered = [&b](std::size_t done) {
        if (done > 44100) b.aborted = 1, b.running = 0;
    };
    const std::string out = dir.path() + "/cancel.flac";
    EXPECT_EQ(b.Encode(out), 0);
    EXPECT_TRUE(testsupport::LeftNothing(out));
    EXPECT_FALSE(b.finalSent);
}
