#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>
#include <tuple>
#include <type_traits>

#include "albuminfo/AlbumRecord.h"
#include "app/Settings.h"
#include "encoders/EncodeSndfile.h"
#include "encoders/Encoder.h"
#include "encoders/OutputFormat.h"
#include "support/DiscImage.h"
#include "support/EncodeHarness.h"

using namespace quarrow;
using quarrow::testsupport::FeedContext;
namespace fs = std::filesystem;

namespace {

std::vector<int16_t> Ramp(std::size_t values) {
    std::vector<int16_t> v(values);
    for (std::size_t i = 0; i < values; ++i) v[i] = static_cast<int16_t>((i * 7919) & 0xffff);
    return v;
}

CSettings WithFormat(int id) {
    CSettings s = CSettings::Initial("/nonexistent");
    s.OUTPUT.OutputFormat = static_cast<int16_t>(id);
    return s;
}

// Every value libsndfile reads back from the file, as 16-bit (T = int16_t) or float.
template <class T>
std::vector<T> ReadBack(const std::string& path, SF_INFO& info) {
    info = SF_INFO{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    std::vector<T> v;
    if (!f) return v;
    v.resize(static_cast<std::size_t>(info.frames * info.channels));
    sf_count_t n;
    if constexpr (std::is_same_v<T, float>) n = sf_read_float(f, v.data(), static_cast<sf_count_t>(v.size()));
    else n = sf_read_short(f, v.data(), static_cast<sf_count_t>(v.size()));
    sf_close(f);
    v.resize(static_cast<std::size_t>(n));
    return v;
}

}  // namespace

TEST(EncodeSndfile, FormatWordFollowsTheContainerRules) {
    const std::vector<std::pair<std::array<int, 3>, int>> cases = {
        {{1, 1, 0}, SF_FORMAT_WAV | SF_FORMAT_PCM_16},
        {{9, 2, 0}, SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
        {{9, 11, 0}, SF_FORMAT_AIFF | SF_FORMAT_DWVW_12},
        {{14, 11, 0}, SF_FORMAT_RAW | SF_FORMAT_DWVW_12},   // the RAW label's trailing blank
        {{24, 1, 0}, SF_FORMAT_XI | SF_FORMAT_DPCM_16},
        {{13, 10, 1}, SF_FORMAT_AU | SF_FORMAT_G723_40},
        {{25, 7, 0}, SF_FORMAT_HTK | SF_FORMAT_PCM_16},     // HTK ignores the index, even past its list
        {{15, 1, 0}, SF_FORMAT_PAF | SF_FORMAT_PCM_16 | SF_ENDIAN_BIG},   // PAF's byte order: its extension
        {{15, 1, 1}, SF_FORMAT_PAF | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE},
        {{16, 2, 0}, SF_FORMAT_SVX},                        // an index beyond the list: no sub-type
        {{1, -1, 0}, SF_FORMAT_WAV},
        {{2, 0, 0}, 0},
    };
    for (const auto& [in, word] : cases) EXPECT_EQ(SndfileFormatOf(in[0], in[1], in[2]), word) << in[0] << "/" << in[1];
    // Every label of every container list maps to a sub-type.
    for (int id : {1, 9, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 26, 27, 28, 29, 30}) {
        for (const std::string& label : SubFormatList(id)) EXPECT_NE(SndfileSubType(label), 0) << id << label;
    }
}

TEST(EncodeSndfile, WavSixteenBitStereoIsBitIdentical) {
    discimage::ScratchDir dir;
    FeedContext ctx(WithFormat(1));
    ctx.FeedShorts(Ramp(1176 * 300 + 2));   // not a multiple of the block size
    const std::string out = dir.path() + "/track.wav";
    EXPECT_EQ(ctx.Encode(out), 1);
    EXPECT_TRUE(ctx.finalSent);
    EXPECT_TRUE(ctx.Messages().empty());
    EXPECT_FALSE(fs::exists(CEncoder::TemporaryNameOf(out)));
    EXPECT_FALSE(ctx.Progress().empty());

    SF_INFO info;
    EXPECT_EQ(ReadBack<int16_t>(out, info), ctx.shorts);
    EXPECT_EQ(info.samplerate, 44100);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
}

TEST(EncodeSndfile, EveryContainerAtItsDefaultOpensWithItsShape) {
    discimage::ScratchDir dir;
    for (int id : {1, 9, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30}) {
        CSettings s = WithFormat(id);
        // HTK holds one channel only; its stereo case is refused (see below).
        if (id == 25) s.OTHER.Channel[25 - 13] = 0;
        const COutputFormat shape = COutputFormat::FromSettings(s);
        FeedContext ctx(s);
        ctx.mono = shape.mono;
        const std::size_t frames = 44100 / 4;
        ctx.FeedShorts(Ramp(frames * (ctx.mono ? 1 : 2)));
        const std::string out = dir.path() + "/f" + std::to_string(id) + ".out";
        ASSERT_EQ(ctx.Encode(out), 1) << id << ctx.FirstMessage();
        ASSERT_TRUE(fs::exists(out)) << id;
        EXPECT_FALSE(fs::exists(CEncoder::TemporaryNameOf(out))) << id;
        if (id == 30) {
            EXPECT_TRUE(fs::exists(dir.path() + "/._f30.out"));
        }
        if (id == 14) {   // headerless: the size tells
            EXPECT_EQ(fs::file_size(out), ctx.shorts.size()) << "8-bit raw";
            continue;
        }
        SF_INFO info{};
        SNDFILE* f = sf_open(out.c_str(), SFM_READ, &info);
        ASSERT_NE(f, nullptr) << id << " " << sf_strerror(nullptr);
        sf_close(f);
        EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, SndfileMajorType(id)) << id;
        // VOC, SDS and HTK store the rate as a time constant or a period: approximate.
        EXPECT_NEAR(info.samplerate, 44100, id == 19 || id == 25 || id == 27 ? 200 : 0) << id;
        EXPECT_EQ(info.channels, shape.channels) << id;
        EXPECT_NEAR(static_cast<double>(info.frames), static_cast<double>(frames), 64) << id;
    }
}

TEST(EncodeSndfile, FloatPathWritesMonoAndInterleavedStereo) {
    discimage::ScratchDir dir;
    SF_INFO info;
    CSettings s = WithFormat(13);
    s.OTHER.Codec[0] = 4;    // " 32 bit float"
    FeedContext a(s);
    a.floatPath = a.mono = true;
    std::vector<float> mono;
    for (int i = 0; i < 30000; ++i) mono.push_back(static_cast<float>(i % 200) / 200.0f - 0.5f);
    a.FeedFloats(mono);
    ASSERT_EQ(a.Encode(dir.path() + "/mono.au"), 1);
    EXPECT_EQ(ReadBack<float>(dir.path() + "/mono.au", info), mono);
    EXPECT_EQ(info.channels, 1);

    s = WithFormat(1);
    s.WAV.SubFormat = 4;     // " 32 bit float"
    FeedContext b(s);
    b.floatPath = true;
    std::vector<float> left, right;
    for (int i = 0; i < 10000; ++i) left.push_back(static_cast<float>(i) / 10000.0f), right.push_back(-left.back());
    b.FeedFloats(left, right);
    ASSERT_EQ(b.Encode(dir.path() + "/stereo.wav"), 1);
    const std::vector<float> back = ReadBack<float>(dir.path() + "/stereo.wav", info);
    ASSERT_EQ(back.size(), 20000u);
    EXPECT_EQ(back[2 * 1234], left[1234]);
    EXPECT_EQ(back[2 * 1234 + 1], right[1234]);
}

TEST(EncodeSndfile, RefusedFormatsAndUnwritableFoldersReportAndWriteNothing) {
    discimage::ScratchDir dir;
    // A folder that cannot exist (its parent is a file) cannot be written, even by root.
    const std::string blocker = dir.path() + "/blocker";
    std::ofstream(blocker) << "x";
    CSettings svx = WithFormat(16);
    svx.OTHER.Codec[3] = 9;  // beyond the SVX list
    const std::vector<std::tuple<CSettings, std::string, std::string>> cases = {
        {svx, dir.path() + "/bad.svx", "1:Invalid format!"},
        {WithFormat(25), dir.path() + "/stereo.htk", "1:Invalid format!"},   // HTK in stereo
        {WithFormat(1), blocker + "/t.wav", "1:Error : could not open file : " + blocker + "/t.wav"},
    };
    for (const auto& [s, out, message] : cases) {
        FeedContext ctx(s);
        ctx.FeedShorts(Ramp(5000));
        EXPECT_EQ(ctx.Encode(out), 0) << out;
        EXPECT_EQ(ctx.Messages(), std::vector<std::string>{message});
        EXPECT_EQ(ctx.running, 0);
        EXPECT_FALSE(ctx.finalSent);
        EXPECT_TRUE(testsupport::LeftNothing(out));
    }
}

TEST(EncodeSndfile, FullDiskReportsTheWriteErrorAndNeverPublishesTheFile) {
    discimage::ScratchDir dir;
    const std::string out = dir.path() + "/full.wav";
    // A file-size limit stands in for a full disk; it is process-wide, so a child runs it.
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit lim{200000, 200000};
        setrlimit(RLIMIT_FSIZE, &lim);
        FeedContext ctx(WithFormat(1));
        ctx.FeedShorts(Ramp(400000));
        const int r = ctx.Encode(out);
        const auto m = ctx.Messages();
        const bool reported = m.size() == 1 && m[0].rfind("1:Error : could not write file : " + out, 0) == 0;
        _exit(r == 0 && reported && !ctx.finalSent && ctx.running == 0 ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(fs::exists(out));
}

TEST(EncodeSndfile, CancelDeletesThePartialFileAndPauseHoldsTheDriver) {
    discimage::ScratchDir dir;
    FeedContext ctx(WithFormat(1));
    ctx.FeedShorts(Ramp(1176 * 2000));
    ctx.onDelivered = [&](std::size_t fed) {
        if (fed > 300000) ctx.aborted = 1, ctx.running = 0;
    };
    const std::string out = dir.path() + "/cancel.wav";
    EXPECT_EQ(ctx.Encode(out), 0);
    EXPECT_FALSE(ctx.finalSent);
    EXPECT_TRUE(testsupport::LeftNothing(out));

    // Paused: nothing is taken from the ring.
    FeedContext p(WithFormat(1));
    p.FeedShorts(Ramp(1176 * 50));
    p.paused = 1;
    int result = -1;
    std::thread t([&] { result = p.Encode(dir.path() + "/paused.wav"); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(p.doneTotal.load(), 0.0);
    p.paused = 0;
    t.join();
    EXPECT_EQ(result, 1);
    EXPECT_EQ(p.doneTotal.load(), static_cast<double>(p.shorts.size()));
}

TEST(EncodeSndfile, ImageModeAnnouncesEachTrackBoundaryOnce) {
    discimage::ScratchDir dir;
    FeedContext ctx(WithFormat(1));
    ctx.singleOutput = true;
    ctx.FeedShorts(Ramp(30000), {10000, 5000, 15000});
    ASSERT_EQ(ctx.Encode(dir.path() + "/image.wav"), 1);
    EXPECT_EQ(ctx.Statuses(), (std::vector<std::string>{"2:2/3", "2:3/3"}));
    EXPECT_EQ(ctx.currentEntry, 2);
    EXPECT_EQ(ctx.doneTrack.load(), 15000.0);
    const std::vector<double> progress = ctx.Progress();
    EXPECT_EQ(std::count(progress.begin(), progress.end(), 100.0), 2);
}

TEST(EncoderContract, TagValuesAndTheDriverTable) {
    CAlbumRecord album;
    album.artist = "Art / Ist";
    album.albumTitle = "Album";
    album.trackTitles = {"One", "Two"};
    album.year = 1999;
    album.genre = "Rock";
    TagValues t = MakeTagValues(album, 1, 12, false, "/x/y/02 Two.mp3");
    EXPECT_EQ(t.title, "Two");
    EXPECT_EQ(t.trackNumber, " 2");
    EXPECT_EQ(t.totalTracks, "12");
    EXPECT_EQ(t.year, "1999");
    EXPECT_EQ(t.comment.rfind("Ripped by Quarrow ", 0), 0u);
    t = MakeTagValues(album, 0, 2, true, "/x/y/Multiple Tracks.v1.wav");
    EXPECT_EQ(t.title, "Multiple Tracks.v1");
    EXPECT_EQ(t.trackNumber, "");

    for (int id : {1, 9, 13, 20, 30}) EXPECT_NE(CreateEncoder(WithFormat(id)), nullptr) << id;
    EXPECT_EQ(CreateEncoder(WithFormat(0)), nullptr);
    EXPECT_EQ(CreateEncoder(WithFormat(32)), nullptr);
    EXPECT_EQ(CEncoder::TemporaryNameOf("/a/b/c.wav"), "/a/b/.c.wav.part");
}
