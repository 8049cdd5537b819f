#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <filesystem>
#include <thread>

#include "encoders/EncodeSndfile.h"
#include "encoders/Encoder.h"
#include "encoders/FormatPages.h"
#include "encoders/OutputFormat.h"
#include "support/DiscImage.h"
#include "support/EncodeHarness.h"
#include "support/Pcm.h"
#include "support/TestFiles.h"

using namespace quarrow;
using namespace quarrow::testsupport;
namespace fs = std::filesystem;

namespace {

const std::vector<int> kContainers = {1, 9, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30};

std::vector<int16_t> Ramp(std::size_t values) {
    std::vector<int16_t> v(values);
    for (std::size_t i = 0; i < values; ++i) v[i] = static_cast<int16_t>((i * 7919) & 0xffff);
    return v;
}

}  // namespace

TEST(EncodeSndfile, FormatWordFollowsTheContainerRules) {
    const std::vector<std::pair<std::array<int, 3>, int>> cases = {
        {{25, 7, 0}, SF_FORMAT_HTK | SF_FORMAT_PCM_16},     // HTK ignores the index, even past its list
        {{15, 1, 0}, SF_FORMAT_PAF | SF_FORMAT_PCM_16 | SF_ENDIAN_BIG},   // PAF's byte order: its extension
        {{1, -1, 0}, SF_FORMAT_WAV},                        // no sub-format chosen: no sub-type
        {{2, 0, 0}, 0},
    };
    for (const auto& [in, word] : cases) EXPECT_EQ(SndfileFormatOf(in[0], in[1], in[2]), word) << in[0] << "/" << in[1];
}

// Every choice a page lets through is one the library really writes: one sector goes
// into a file of that description and reads back with its container, shape and length.
// A choice it cannot write is refused by the page with a message, and by the driver
// before any file.
TEST(EncodeSndfile, EveryChoiceAPageAcceptsCanBeWritten) {
    discimage::ScratchDir dir;
    std::vector<std::string> refused;
    for (int id : kContainers) {
        const std::size_t exts = std::max<std::size_t>(1, ExtensionList(id).size());
        for (int sub = 0; sub < static_cast<int>(SubFormatList(id).size()); ++sub) {
            for (int channel : {0, 1}) {
                CSettings s = SettingsFor(id);
                SetContainerChoice(s, id, {sub, static_cast<int>(exts) - 1, 7, channel});
                CEncoderOptionPage other; CContainerFormatPage own(id);
                IsOtherFormat(id) ? other.Load(s) : own.Load(s);
                const PageResult r = IsOtherFormat(id) ? other.Apply(s, false) : own.Apply(s, false);
                ASSERT_NE(SndfileSubType(SubFormatList(id)[sub]), 0) << id << SubFormatList(id)[sub];
                const std::string name = FormatShortName(id) + SubFormatList(id)[sub] + (channel ? " stereo" : " mono");
                FeedContext ctx(s);
                ctx.ShapeFromSettings();
                ctx.FeedShorts(Ramp(588 * (ctx.mono ? 1 : 2)));
                const std::string out = dir.path() + "/c" + std::to_string(id) + "_" + std::to_string(sub) + "_" +
                                        std::to_string(channel);
                const int result = ctx.Encode(out);
                if (!r.applied) {
                    refused.push_back(name);
                    EXPECT_NE(r.message.find("Please Choose Another Codec."), std::string::npos) << r.message;
                    EXPECT_EQ(result, 0) << name;
                    EXPECT_EQ(ctx.Messages(), std::vector<std::string>{"1:Invalid format!"}) << name;
                    EXPECT_TRUE(LeftNothing(out)) << name;
                    continue;
                }
                ASSERT_TRUE(Written(ctx, result, out)) << name;
                EXPECT_EQ(fs::exists(dir.path() + "/._" + fs::path(out).filename().string()), id == 30) << name;
                if (id == 14) {   // headerless: nothing to read back
                    EXPECT_GT(fs::file_size(out), 0u);
                    continue;
                }
                SF_INFO info{};
                const std::vector<int16_t> back = support::ReadShorts(out, &info);
                if (id == 1 && sub == 1) { EXPECT_EQ(back, ctx.shorts); }   // 16-bit WAV is bit-identical
                EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, SndfileMajorType(id)) << name;
                EXPECT_EQ(info.channels, ctx.mono ? 1 : 2) << name;
                // VOC, SDS and HTK store the rate as a time constant or a period: roughly.
                EXPECT_NEAR(info.samplerate, 44100, id == 19 || id == 25 || id == 27 ? 2000 : 0) << name;
                // Block codecs round up to whole blocks.
                EXPECT_TRUE(info.frames >= 588 && info.frames < 588 + 4096) << name << ": " << info.frames;
            }
        }
    }
    // Mono-only sub-formats are written mono whatever the flag; 12-bit DWVW in AIFF is
    // the one the library accepts and then cannot write.
    EXPECT_EQ(refused, (std::vector<std::string>{"AIFF 12 bit DWVW mono", "AIFF 12 bit DWVW stereo"}));
}

TEST(EncodeSndfile, FloatPathWritesMonoAndInterleavedStereo) {
    discimage::ScratchDir dir;
    for (int channels : {1, 2}) {
        CSettings s = SettingsFor(13);
        s.OTHER.Codec[0] = 4;    // " 32 bit float"
        FeedContext ctx(s);
        ctx.floatPath = true;
        ctx.mono = channels == 1;
        std::vector<float> left = SineFloats(30001, 440), right = SineFloats(30001, 1000, 0.9);
        ctx.FeedFloats(left, ctx.mono ? std::vector<float>{} : right);
        const std::string out = dir.path() + "/f" + std::to_string(channels) + ".au";
        ASSERT_TRUE(Written(ctx, ctx.Encode(out), out));
        const Decoded d = Decode(out);
        ASSERT_TRUE(d.channels == channels && d.samples.size() == left.size() * static_cast<std::size_t>(channels));
        for (std::size_t i = 0; i < left.size(); i += 97) {
            EXPECT_NEAR(d.samples[i * channels] / 32768.0, left[i], 1e-4) << i;
            EXPECT_NEAR(d.samples[i * channels + channels - 1] / 32768.0, channels == 2 ? right[i] : left[i], 1e-4) << i;
        }
    }
}

TEST(EncodeSndfile, FullDiskWritesNothing) {
    discimage::ScratchDir dir;
    // A file-size limit stands in for a full disk; it is process-wide, so a child runs it.
    const std::string out = dir.path() + "/full.wav";
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit lim{200000, 200000};
        setrlimit(RLIMIT_FSIZE, &lim);
        FeedContext ctx(SettingsFor(1));
        ctx.FeedShorts(Ramp(400000));
        const int r = ctx.Encode(out);
        const auto m = ctx.Messages();
        const bool reported = m.size() == 1 && m[0].rfind("1:Error : could not write file : " + out, 0) == 0;
        _exit(r == 0 && reported && !ctx.finalSent && !ctx.IsRunning() ? 0 : 1);
    }
    int status = 0;
    EXPECT_TRUE(waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(fs::exists(out));
}

TEST(EncodeSndfile, PauseHoldsTheDriver) {
    discimage::ScratchDir dir;
    FeedContext p(SettingsFor(1));
    p.FeedShorts(Ramp(1176 * 50));
    p.SetPaused(true);
    int result = -1;
    std::thread t([&] { result = p.Encode(dir.path() + "/paused.wav"); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(p.doneTotal.load(), 0.0);
    p.SetPaused(false);
    t.join();
    EXPECT_EQ(std::make_pair(result, p.doneTotal.load()), std::make_pair(1, static_cast<double>(p.shorts.size())));
}
