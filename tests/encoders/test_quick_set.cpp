// The quick-set commands: what they store, what they ask, what they refuse.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/EventLog.h"
#include "app/Prompter.h"
#include "app/Settings.h"
#include "encoders/OutputFormat.h"
#include "encoders/QuickSet.h"
#include "support/DiscImage.h"
#include "support/EncodeHarness.h"
#include "support/RunProcess.h"

namespace quarrow {
namespace {

struct QuickSetFixture : ::testing::Test {
    CSettings s;
    CEventLog log;
    RecordingPrompter prompter;
    QuickSetResult Run(const std::string& name) {
        QuickSetTarget target;
        EXPECT_TRUE(ParseQuickSetTarget(name, target)) << name;
        return QuickSetOutputFormat(s, log, prompter, target, "previous");
    }
    std::string LastLog() const { auto e = log.Entries(); return e.empty() ? std::string() : e.back().message; }
};

// Names are matched without regard to case; the command line shows the Ogg FLAC name.
TEST(QuickSetCommandTable, NamesAndTargets) {
    QuickSetTarget t;
    ASSERT_TRUE(ParseQuickSetTarget("AAC-M4B", t));
    EXPECT_EQ(std::make_tuple(t.id, t.aacContainer, t.oggFlac), std::make_tuple(10, 4, false));
    for (const char* bad : {"aac-ogg", "", "../../etc/passwd"}) EXPECT_FALSE(ParseQuickSetTarget(bad, t)) << bad;
}

TEST_F(QuickSetFixture, PlainFormatsAndFlacAskNothing) {
    const QuickSetResult r = Run("wav");
    EXPECT_TRUE(r.outcome == QuickSetOutcome::Set && r.summary == "WAV:  Signed 16 bit PCM 44100 Hz; Stereo;") << r.summary;
    EXPECT_EQ(LastLog(), "Set audio format: WAV Signed 16 bit PCM");
    s.FLAC.Native = 0;
    Run("flac");                        // plain FLAC turns Ogg FLAC off again
    EXPECT_EQ(std::vector<int>({s.OUTPUT.OutputFormat, s.FLAC.Native}), std::vector<int>({6, 1}));
    EXPECT_TRUE(prompter.prompts.empty());
}

TEST_F(QuickSetFixture, AacContainersAndRawRefusal) {
    Run("aac-m4a");
    EXPECT_EQ(std::vector<int>({s.OUTPUT.OutputFormat, s.AAC.ContainerFormat}), std::vector<int>({10, 3}));
    s.AAC.Encoder = 1, s.OUTPUT.OutputFormat = 2;   // Nero cannot write raw AAC
    QuickSetResult r = Run("aac-raw");
    EXPECT_EQ(r.outcome, QuickSetOutcome::Refused);
    EXPECT_EQ(std::vector<int>({s.OUTPUT.OutputFormat, s.AAC.ContainerFormat}), std::vector<int>({2, 3}));
    ASSERT_EQ(prompter.prompts.size(), 1u);
    EXPECT_EQ(prompter.prompts[0].text.rfind("Nero AAC Encoder does NOT Support Raw AAC Format!", 0), 0u);
    s.AAC.Encoder = 0;                  // FAAC: asks first
    prompter.yesNoReplies = {false};
    r = Run("aac-raw");
    EXPECT_EQ(r.outcome, QuickSetOutcome::Declined);
    EXPECT_EQ(s.AAC.ContainerFormat, 3);
    EXPECT_EQ(prompter.prompts.back().kind, "yesno");
    r = Run("aac-raw");
    EXPECT_EQ(r.outcome, QuickSetOutcome::Set);
    EXPECT_EQ(s.AAC.ContainerFormat, 2);
    EXPECT_EQ(r.summary, "AAC:   FAAC Codec   Quality 100;");
}

TEST_F(QuickSetFixture, CustomisedFormatNeedsAWorkingEncoder) {
    discimage::ScratchDir scratch;
    s.CUSTOM.Encoder = scratch.path() + "/nowhere";
    QuickSetResult r = Run("custom");
    EXPECT_EQ(r.outcome, QuickSetOutcome::Refused);
    EXPECT_EQ(s.OUTPUT.OutputFormat, 2);
    EXPECT_EQ(prompter.prompts.at(0).icon, MessageIcon::Error);
    s.CUSTOM.Encoder = testsupport::WriteExecutable(scratch.path(), "enc");
    EXPECT_EQ(Run("31").outcome, QuickSetOutcome::Set);
    EXPECT_EQ(s.OUTPUT.OutputFormat, 31);
}

// A format whose encoder library is missing is still set, with a warning naming it.
TEST_F(QuickSetFixture, FormatThatCannotRunHereIsSetWithAWarning) {
    const QuickSetResult r = Run("vqf");
    EXPECT_EQ(std::make_pair(r.outcome, s.OUTPUT.OutputFormat), std::make_pair(QuickSetOutcome::Set, int16_t{8}));
    ASSERT_EQ(prompter.prompts.size(), 1u);
    EXPECT_EQ(prompter.prompts[0].icon, MessageIcon::Warning);
    EXPECT_NE(prompter.prompts[0].text.find("libtvqenc.so was not found (looked in "), std::string::npos);
    EXPECT_EQ(LastLog(), r.warning);
}

// The same commands through quarrow-cli: the Ogg FLAC question (answered no without
// --yes), refusals, and the choice kept in the settings file for the next run.
TEST(FormatCommandLine, SetShowAndList) {
    using testsupport::RunCli;
    discimage::ScratchDir dir("quarrow-format-cli");
    auto image = discimage::WriteDiscImage(dir.path(), "disc", discimage::AudioLayout({600}));
    const std::string home = dir.path() + "/home";
    auto cli = [&](std::vector<std::string> a) { a.insert(a.begin(), {"--home", home, "--drive", image.cuePath}); return RunCli(a); };
    const std::string mp3 = "MP3:  CBR 128 kbps; 44100 Hz; Quality  5; Joint Stereo;\n";
    const std::string oggFlac = "FLAC:  Ogg Flac;Compression Level 5;\n";
    struct Step { std::vector<std::string> args; int status; std::string out, err; };   // err: a part of it
    const Step steps[] = {
        {{"format", "set", "oggflac"}, 1, "", "Ogg FLAC is the Compressed FLAC Data"},
        {{"format", "show"}, 0, mp3, ""},
        {{"--yes", "format", "set", "oggflac"}, 0, oggFlac, ""},
        {{"format", "set", "wav;touch x"}, 64, "", "unknown output format"},
        {{"format", "show"}, 0, oggFlac, ""},
    };
    for (const Step& step : steps) {
        const auto r = cli(step.args);
        EXPECT_EQ(r.status, step.status) << step.args.back() << ": " << r.err;
        EXPECT_EQ(r.out, step.out) << step.args.back();
        EXPECT_NE(r.err.find(step.err), std::string::npos) << r.err;
    }
    const auto r = cli({"formats"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out.find("29  WAVEX  (MS WAVE with WAVEFORMATEX)") != std::string::npos &&
                std::count(r.out.begin(), r.out.end(), '\n') == 31) << r.out;
}

}  // namespace
}  // namespace quarrow
