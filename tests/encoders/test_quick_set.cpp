// The quick-set commands: what they store, what they ask, what they refuse.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "app/EventLog.h"
#include "app/Prompter.h"
#include "app/Settings.h"
#include "encoders/OutputFormat.h"
#include "encoders/QuickSet.h"
#include "support/DiscImage.h"
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
    std::string LastLog() const {
        auto entries = log.Entries();
        return entries.empty() ? std::string() : entries.back().message;
    }
};

TEST(QuickSetCommandTable, NamesAndTargets) {
    EXPECT_EQ(QuickSetCommands().size(), 30u + 1u + 7u);   // 31 formats, AAC split in 7, FLAC twice
    struct Case {
        const char* name;
        int id, aacContainer;
        bool oggFlac;
    };
    for (const Case& c : {Case{"oggflac", 6, -1, true}, Case{"AAC-M4B", 10, 4, false}, Case{"10", 10, -1, false},
                          Case{"sd2", 30, -1, false}}) {
        QuickSetTarget t;
        ASSERT_TRUE(ParseQuickSetTarget(c.name, t)) << c.name;
        EXPECT_EQ(t.id, c.id) << c.name;
        EXPECT_EQ(t.aacContainer, c.aacContainer) << c.name;
        EXPECT_EQ(t.oggFlac, c.oggFlac) << c.name;
    }
    QuickSetTarget t;
    for (const char* bad : {"aac-ogg", "", "../../etc/passwd"}) EXPECT_FALSE(ParseQuickSetTarget(bad, t)) << bad;
}

TEST_F(QuickSetFixture, PlainFormatsStoreAndSummarise) {
    QuickSetResult r = Run("wav");
    EXPECT_EQ(r.outcome, QuickSetOutcome::Set);
    EXPECT_EQ(s.OUTPUT.OutputFormat, 1);
    EXPECT_EQ(r.summary, "WAV:  Signed 16 bit PCM 44100 Hz; Stereo;");
    EXPECT_EQ(LastLog(), "Set audio format: WAV Signed 16 bit PCM");
    EXPECT_TRUE(prompter.prompts.empty());

    r = Run("12");
    EXPECT_EQ(s.OUTPUT.OutputFormat, 12);
    EXPECT_EQ(LastLog(), "Set audio format: WV.");
}

TEST_F(QuickSetFixture, FlacAndOggFlac) {
    s.FLAC.Native = 0;
    Run("flac");
    EXPECT_EQ(s.FLAC.Native, 1);
    EXPECT_EQ(s.OUTPUT.OutputFormat, 6);
    EXPECT_TRUE(prompter.prompts.empty());

    s.OUTPUT.OutputFormat = 2;
    prompter.yesNoReplies = {false};
    QuickSetResult r = Run("oggflac");
    EXPECT_EQ(r.outcome, QuickSetOutcome::Declined);
    EXPECT_EQ(s.OUTPUT.OutputFormat, 2);
    EXPECT_EQ(s.FLAC.Native, 1);
    ASSERT_EQ(prompter.prompts.size(), 1u);
    EXPECT_EQ(prompter.prompts[0].kind, "yesno");
    EXPECT_EQ(prompter.prompts[0].text,
              "     Ogg FLAC is the Compressed FLAC Data Stored in an Ogg Container.\n It is Narrowly "
              "Supported and has Larger File Size. Do You Wish to Continue?");

    r = Run("oggflac");                 // yes
    EXPECT_EQ(r.outcome, QuickSetOutcome::Set);
    EXPECT_EQ(s.OUTPUT.OutputFormat, 6);
    EXPECT_EQ(s.FLAC.Native, 0);
    EXPECT_EQ(r.summary, "FLAC:  Ogg Flac;Compression Level 5;");
}

TEST_F(QuickSetFixture, AacContainersAndRawRefusal) {
    QuickSetResult r = Run("aac-m4a");
    EXPECT_EQ(s.OUTPUT.OutputFormat, 10);
    EXPECT_EQ(s.AAC.ContainerFormat, 3);
    EXPECT_EQ(LastLog(), "Set audio format: AAC, container format: M4A.");

    s.AAC.Encoder = 1;                  // Nero cannot write raw AAC
    s.OUTPUT.OutputFormat = 2;
    r = Run("aac-raw");
    EXPECT_EQ(r.outcome, QuickSetOutcome::Refused);
    EXPECT_EQ(s.AAC.ContainerFormat, 3);
    EXPECT_EQ(s.OUTPUT.OutputFormat, 2);
    ASSERT_EQ(prompter.prompts.size(), 1u);
    EXPECT_EQ(prompter.prompts[0].kind, "message");
    EXPECT_EQ(prompter.prompts[0].text,
              "Nero AAC Encoder does NOT Support Raw AAC Format!\nPlease Choose FAAC or CT AAC+ as "
              "the AAC Encoder.");

    s.AAC.Encoder = 0;                  // FAAC: asks first
    prompter.yesNoReplies = {false};
    r = Run("aac-raw");
    EXPECT_EQ(r.outcome, QuickSetOutcome::Declined);
    EXPECT_EQ(s.AAC.ContainerFormat, 3);
    EXPECT_EQ(prompter.prompts.back().text,
              "Raw AAC Format is NOT Recommended since it is NOT Seekable and Taggable.\n"
              "                        Do You Wish to Continue?");
    r = Run("aac-raw");
    EXPECT_EQ(r.outcome, QuickSetOutcome::Set);
    EXPECT_EQ(s.AAC.ContainerFormat, 2);
    EXPECT_EQ(r.summary, "AAC:   FAAC Codec   Quality 100;");
    EXPECT_EQ(LastLog(), "Set audio format: AAC, container format: raw AAC.");
}

TEST_F(QuickSetFixture, CustomisedFormatNeedsAWorkingEncoder) {
    discimage::ScratchDir scratch;
    const std::string dir = scratch.path();
    s.CUSTOM.Encoder = dir + "/nowhere";
    QuickSetResult r = Run("custom");
    EXPECT_EQ(r.outcome, QuickSetOutcome::Refused);
    EXPECT_EQ(s.OUTPUT.OutputFormat, 2);
    ASSERT_EQ(prompter.prompts.size(), 1u);
    EXPECT_EQ(prompter.prompts[0].text, "User-Customized External Encoder Not Found!");
    EXPECT_EQ(prompter.prompts[0].icon, MessageIcon::Error);

    s.CUSTOM.Encoder = dir + "/enc";
    std::ofstream(s.CUSTOM.Encoder) << "x";
    s.CUSTOM.FileExt.clear();
    r = Run("31");
    EXPECT_EQ(r.outcome, QuickSetOutcome::Refused);
    EXPECT_EQ(prompter.prompts.back().text, "User-Customized Format File Extension Not Specified!");

    s.CUSTOM.FileExt = "opus";
    r = Run("custom");
    EXPECT_EQ(r.outcome, QuickSetOutcome::Set);
    EXPECT_EQ(s.OUTPUT.OutputFormat, 31);
    EXPECT_EQ(LastLog(), "Set audio format: User-Customized format");
}

// The same commands through quarrow-cli: answers, refusals, and the choice kept in the
// settings file for the next run.
TEST(FormatCommandLine, SetShowAndList) {
    using testsupport::RunCli;
    discimage::ScratchDir dir("quarrow-format-cli");
    auto image = discimage::WriteDiscImage(dir.path(), "disc", discimage::AudioLayout({600}));
    const std::string home = dir.path() + "/home";
    auto cli = [&](std::vector<std::string> args) {
        std::vector<std::string> all = {"--home", home, "--drive", image.cuePath};
        all.insert(all.end(), args.begin(), args.end());
        return RunCli(all);
    };

    auto r = cli({"format", "show"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "MP3:  CBR 128 kbps; 44100 Hz; Quality  5; Joint Stereo;\n");

    r = cli({"formats"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("29  WAVEX  (MS WAVE with WAVEFORMATEX)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(".wavex\n"), std::string::npos);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 31);

    r = cli({"format", "set", "oggflac"});            // no --yes: the question is answered no
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Ogg FLAC is the Compressed FLAC Data"), std::string::npos);
    r = cli({"format", "show"});
    EXPECT_EQ(r.out, "MP3:  CBR 128 kbps; 44100 Hz; Quality  5; Joint Stereo;\n");

    r = cli({"--yes", "format", "set", "oggflac"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "FLAC:  Ogg Flac;Compression Level 5;\n");
    r = cli({"format", "show"});                      // kept for the next run
    EXPECT_EQ(r.out, "FLAC:  Ogg Flac;Compression Level 5;\n");

    r = cli({"format", "set", "13"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "AU:  Signed 8 bit PCM 44100 Hz; Stereo;\n");

    r = cli({"format", "set", "wav;touch x"});
    EXPECT_EQ(r.status, 64);
    EXPECT_NE(r.err.find("unknown output format"), std::string::npos);
    r = cli({"format", "show"});
    EXPECT_EQ(r.out, "AU:  Signed 8 bit PCM 44100 Hz; Stereo;\n");
}

}  // namespace
}  // namespace quarrow
