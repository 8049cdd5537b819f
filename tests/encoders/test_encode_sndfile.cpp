#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

#include "albuminfo/AlbumRecord.h"
#include "app/Settings.h"
#include "encoders/EncodeSndfile.h"
#include "encoders/Encoder.h"
#include "encoders/OutputFormat.h"
#include "support/DiscImage.h"

using namespace quarrow;
namespace fs = std::filesystem;

namespace {

// An encode context whose "disc reader" pours prepared samples into the rings.
class FeedContext : public EncodeContext {
public:
    explicit FeedContext(const CSettings& s) : settings(s) {
        intRing.Allocate(1048576);
        leftRing.Allocate(262144);
        rightRing.Allocate(262144);
        running = 1;
    }
    ~FeedContext() override { JoinReader(); }

    const CSettings& Settings() const override { return settings; }
    std::string HomeFolder() const override { return home; }
    TagValues Tags(const std::string& path) const override {
        return MakeTagValues(CAlbumRecord{}, 0, 1, singleOutput, path);
    }
    void StartReader() override {
        readerRunning = true;
        reader = std::thread([this] {
            std::size_t pos = 0, lpos = 0;
            while (running && (pos < shorts.size() || lpos < lefts.size())) {
                if (paused) { std::this_thread::sleep_for(std::chrono::milliseconds(5)); continue; }
                if (!floatPath) {
                    pos += intRing.Write(shorts.data() + pos, std::min<std::size_t>(4096, shorts.size() - pos));
                } else {
                    std::size_t n = std::min<std::size_t>(4096, lefts.size() - lpos);
                    n = std::min(n, leftRing.FreeCount());
                    if (!mono) n = std::min(n, rightRing.FreeCount());
                    leftRing.Write(lefts.data() + lpos, n);
                    if (!mono) rightRing.Write(rights.data() + lpos, n);
                    lpos += n;
                }
                if (onProgress) onProgress(pos + lpos);
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
            readerRunning = false;
        });
    }
    bool ReaderRunning() const override { return readerRunning; }
    void JoinReader() override {
        if (reader.joinable()) reader.join();
    }
    void PostProgress(double a, double) override {
        std::lock_guard<std::mutex> l(mutex);
        progress.push_back(a);
    }
    void SendFinalProgress() override { finalSent = true; }
    void PostMessage(const std::string& text, int severity) override {
        std::lock_guard<std::mutex> l(mutex);
        messages.push_back(std::to_string(severity) + ":" + text);
    }
    void PostStatus(int kind, const std::string& text) override {
        std::lock_guard<std::mutex> l(mutex);
        statuses.push_back(std::to_string(kind) + ":" + text);
    }
    void PostPhase(int) override {}
    void RestartTrackClock() override {}

    CSettings settings;
    std::string home;
    std::vector<int16_t> shorts;
    std::vector<float> lefts, rights;
    std::function<void(std::size_t)> onProgress;
    std::atomic<bool> readerRunning{false};
    std::thread reader;
    std::mutex mutex;
    std::vector<std::string> messages, statuses;
    std::vector<double> progress;
    bool finalSent = false;
};

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

int RunEncode(FeedContext& ctx, const std::string& path) {
    auto enc = CreateEncoder(ctx.settings);
    if (!enc) return -1;
    return enc->Encode(ctx, path);
}

}  // namespace

TEST(EncodeSndfile, FormatWordFollowsTheContainerRules) {
    EXPECT_EQ(SndfileFormatOf(1, 1, 0), SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_EQ(SndfileFormatOf(9, 2, 0), SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
    EXPECT_EQ(SndfileFormatOf(9, 11, 0), SF_FORMAT_AIFF | SF_FORMAT_DWVW_12);
    EXPECT_EQ(SndfileFormatOf(14, 11, 0), SF_FORMAT_RAW | SF_FORMAT_DWVW_12);   // the RAW label's trailing blank
    EXPECT_EQ(SndfileFormatOf(24, 1, 0), SF_FORMAT_XI | SF_FORMAT_DPCM_16);
    EXPECT_EQ(SndfileFormatOf(13, 10, 1), SF_FORMAT_AU | SF_FORMAT_G723_40);
    // HTK ignores the stored index, even one beyond its list.
    EXPECT_EQ(SndfileFormatOf(25, 7, 0), SF_FORMAT_HTK | SF_FORMAT_PCM_16);
    // PAF's byte order follows its extension.
    EXPECT_EQ(SndfileFormatOf(15, 1, 0), SF_FORMAT_PAF | SF_FORMAT_PCM_16 | SF_ENDIAN_BIG);
    EXPECT_EQ(SndfileFormatOf(15, 1, 1), SF_FORMAT_PAF | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE);
    // An index beyond the list leaves no sub-type.
    EXPECT_EQ(SndfileFormatOf(16, 2, 0), SF_FORMAT_SVX);
    EXPECT_EQ(SndfileFormatOf(1, -1, 0), SF_FORMAT_WAV);
    EXPECT_EQ(SndfileFormatOf(2, 0, 0), 0);
    // Every label of every container list maps to a sub-type.
    for (int id : {1, 9, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 26, 27, 28, 29, 30}) {
        for (const std::string& label : SubFormatList(id)) EXPECT_NE(SndfileSubType(label), 0) << id << label;
    }
}

TEST(EncodeSndfile, WavSixteenBitStereoIsBitIdentical) {
    discimage::ScratchDir dir;
    FeedContext ctx(WithFormat(1));
    ctx.shorts = Ramp(1176 * 300 + 2);   // not a multiple of the block size
    ctx.entryLengths = {static_cast<double>(ctx.shorts.size())};
    const std::string out = dir.path() + "/track.wav";
    EXPECT_EQ(RunEncode(ctx, out), 1);
    EXPECT_TRUE(ctx.finalSent);
    EXPECT_TRUE(ctx.messages.empty());
    EXPECT_FALSE(fs::exists(CEncoder::TemporaryNameOf(out)));
    EXPECT_FALSE(ctx.progress.empty());

    SF_INFO info{};
    SNDFILE* f = sf_open(out.c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(info.samplerate, 44100);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    std::vector<int16_t> back(ctx.shorts.size() + 10);
    const sf_count_t n = sf_read_short(f, back.data(), static_cast<sf_count_t>(back.size()));
    sf_close(f);
    back.resize(static_cast<std::size_t>(n));
    EXPECT_EQ(back, ctx.shorts);
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
        ctx.shorts = Ramp(frames * (ctx.mono ? 1 : 2));
        ctx.entryLengths = {static_cast<double>(ctx.shorts.size())};
        const std::string out = dir.path() + "/f" + std::to_string(id) + ".out";
        ASSERT_EQ(RunEncode(ctx, out), 1) << id << (ctx.messages.empty() ? "" : ctx.messages[0]);
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
        EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, SndfileMajorType(id)) << id;
        // VOC stores the rate as a one-byte time constant, so it comes back approximate.
        // VOC, SDS and HTK store the rate as a time constant or a period, so it comes
        // back approximate.
        EXPECT_NEAR(info.samplerate, 44100, id == 19 || id == 25 || id == 27 ? 200 : 0) << id;
        EXPECT_EQ(info.channels, shape.channels) << id;
        EXPECT_NEAR(static_cast<double>(info.frames), static_cast<double>(frames), 64) << id;
        sf_close(f);
    }
}

TEST(EncodeSndfile, FloatPathWritesMonoAndInterleavedStereo) {
    discimage::ScratchDir dir;
    {
        CSettings s = WithFormat(13);
        s.OTHER.Codec[0] = 4;    // " 32 bit float"
        FeedContext ctx(s);
        ctx.floatPath = ctx.mono = true;
        for (int i = 0; i < 30000; ++i) ctx.lefts.push_back(static_cast<float>(i % 200) / 200.0f - 0.5f);
        ctx.entryLengths = {30000};
        const std::string out = dir.path() + "/mono.au";
        ASSERT_EQ(RunEncode(ctx, out), 1);
        SF_INFO info{};
        SNDFILE* f = sf_open(out.c_str(), SFM_READ, &info);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(info.channels, 1);
        std::vector<float> back(30010);
        back.resize(static_cast<std::size_t>(sf_read_float(f, back.data(), 30010)));
        sf_close(f);
        EXPECT_EQ(back, ctx.lefts);
    }
    {
        CSettings s = WithFormat(1);
        s.WAV.SubFormat = 4;     // " 32 bit float"
        FeedContext ctx(s);
        ctx.floatPath = true;
        for (int i = 0; i < 10000; ++i) {
            ctx.lefts.push_back(static_cast<float>(i) / 10000.0f);
            ctx.rights.push_back(-static_cast<float>(i) / 10000.0f);
        }
        ctx.entryLengths = {20000};
        const std::string out = dir.path() + "/stereo.wav";
        ASSERT_EQ(RunEncode(ctx, out), 1);
        SF_INFO info{};
        SNDFILE* f = sf_open(out.c_str(), SFM_READ, &info);
        ASSERT_NE(f, nullptr);
        std::vector<float> back(20010);
        back.resize(static_cast<std::size_t>(sf_read_float(f, back.data(), 20010)));
        sf_close(f);
        ASSERT_EQ(back.size(), 20000u);
        EXPECT_EQ(back[2 * 1234], ctx.lefts[1234]);
        EXPECT_EQ(back[2 * 1234 + 1], ctx.rights[1234]);
    }
}

TEST(EncodeSndfile, RefusedFormatsAndUnwritableFoldersReportAndWriteNothing) {
    discimage::ScratchDir dir;
    {
        CSettings s = WithFormat(16);
        s.OTHER.Codec[3] = 9;    // beyond the SVX list
        FeedContext ctx(s);
        ctx.shorts = Ramp(5000);
        const std::string out = dir.path() + "/bad.svx";
        EXPECT_EQ(RunEncode(ctx, out), 0);
        EXPECT_EQ(ctx.messages, std::vector<std::string>{"1:Invalid format!"});
        EXPECT_EQ(ctx.running, 0);
        EXPECT_FALSE(ctx.finalSent);
        EXPECT_FALSE(fs::exists(out));
    }
    {
        FeedContext ctx(WithFormat(25));   // HTK in stereo
        ctx.shorts = Ramp(5000);
        EXPECT_EQ(RunEncode(ctx, dir.path() + "/stereo.htk"), 0);
        EXPECT_EQ(ctx.messages, std::vector<std::string>{"1:Invalid format!"});
    }
    {
        // A folder that cannot exist (its parent is a file) cannot be written, even by root.
        const std::string blocker = dir.path() + "/blocker";
        { FILE* f = fopen(blocker.c_str(), "w"); ASSERT_NE(f, nullptr); fclose(f); }
        FeedContext ctx(WithFormat(1));
        ctx.shorts = Ramp(5000);
        const std::string out = blocker + "/t.wav";
        EXPECT_EQ(RunEncode(ctx, out), 0);
        EXPECT_EQ(ctx.messages, std::vector<std::string>{"1:Error : could not open file : " + out});
        EXPECT_EQ(ctx.running, 0);
        EXPECT_FALSE(ctx.finalSent);
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
        ctx.shorts = Ramp(400000);
        ctx.entryLengths = {400000};
        const int r = RunEncode(ctx, out);
        const bool reported = ctx.messages.size() == 1 &&
                              ctx.messages[0].rfind("1:Error : could not write file : " + out, 0) == 0;
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
    ctx.shorts = Ramp(1176 * 2000);
    ctx.entryLengths = {static_cast<double>(ctx.shorts.size())};
    ctx.onProgress = [&](std::size_t fed) {
        if (fed > 300000 && !ctx.aborted) {
            ctx.aborted = 1;
            ctx.running = 0;
        }
    };
    const std::string out = dir.path() + "/cancel.wav";
    EXPECT_EQ(RunEncode(ctx, out), 0);
    EXPECT_FALSE(ctx.finalSent);
    EXPECT_FALSE(fs::exists(out));
    EXPECT_FALSE(fs::exists(CEncoder::TemporaryNameOf(out)));

    // Paused: nothing is taken from the ring.
    FeedContext p(WithFormat(1));
    p.shorts = Ramp(1176 * 50);
    p.entryLengths = {static_cast<double>(p.shorts.size())};
    p.paused = 1;
    int result = -1;
    std::thread t([&] { result = RunEncode(p, dir.path() + "/paused.wav"); });
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
    ctx.shorts = Ramp(30000);
    ctx.entryLengths = {10000, 5000, 15000};
    ASSERT_EQ(RunEncode(ctx, dir.path() + "/image.wav"), 1);
    EXPECT_EQ(ctx.statuses, (std::vector<std::string>{"2:2/3", "2:3/3"}));
    EXPECT_EQ(ctx.currentEntry, 2);
    EXPECT_EQ(ctx.doneTrack.load(), 15000.0);
    EXPECT_EQ(std::count(ctx.progress.begin(), ctx.progress.end(), 100.0), 2);
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
