// The output format model: look-ups, the applied sample path, the summary lines.
#include <gtest/gtest.h>

#include <functional>

#include "app/EventLog.h"
#include "app/Settings.h"
#include "encoders/OutputFormat.h"

namespace quarrow {
namespace {

// Parsing, and look-ups that must tolerate indices damaged settings hold.
TEST(OutputFormatLists, ParsingAndOutOfRangeLookups) {
    const std::vector<std::pair<std::string, int>> parsed = {
        {"6", 6}, {"flac", 6}, {"WaveX", 29}, {"custom", 31}, {"0", 0}, {"32", 0},
        {"99999999999999999999", 0}, {"wav;rm -rf", 0}};
    for (const auto& [text, id] : parsed) EXPECT_EQ(ParseOutputFormatId(text), id) << text;
    for (int id : {0, 32}) EXPECT_EQ(FormatListEntry(id), "") << id;
    for (int index : {11, -1}) EXPECT_EQ(SampleRateOf(index), 0) << index;
    EXPECT_TRUE(BitrateOf(18) == 0 && SubFormatLabel(13, 11).empty() && !LamePresetAt(18) && !VqfProfileAt(0));
    EXPECT_TRUE(FlacBlockSizeOf(11) == -1 && WmaProfileEntry(126).empty());
}

// Each row: settings, then the shape the rip gives the encoder (channels and ratio
// follow from mono and the rate).
TEST(AppliedFormat, SamplePathPerFormat) {
    struct Case { const char* name; std::function<void(CSettings&)> change; bool mono, floatPath, resample; int rate; };
    const Case cases[] = {
        {"mp3", [](CSettings&) {}, false, false, false, 44100},
        {"mp3 mono", [](CSettings& s) { s.MP3.LameChannel = 0; }, true, false, false, 44100},
        {"mp3 preset decides", [](CSettings& s) { s.MP3.LameChannel = 0, s.MP3.LameTab = 5; }, false, false, false, 44100},
        {"wav g721", [](CSettings& s) { s.OUTPUT.OutputFormat = 1, s.WAV.SubFormat = 11; }, true, false, false, 44100},
        {"au 22050 mono", [](CSettings& s) { s.OUTPUT.OutputFormat = 13, s.OTHER.Freq[0] = 4, s.OTHER.Channel[0] = 0; },
         true, true, true, 22050},
        {"ogg floats at 44100", [](CSettings& s) { s.OUTPUT.OutputFormat = 4; }, false, true, false, 44100},
        {"vqf 11025 mono", [](CSettings& s) { s.OUTPUT.OutputFormat = 8, s.VQF.Profile = 4; }, true, true, true, 11025},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CSettings s;
        c.change(s);
        const COutputFormat f = COutputFormat::FromSettings(s);
        EXPECT_TRUE(f.ok()) << f.error;
        EXPECT_EQ(std::vector<int>({f.mono, f.channels, f.floatPath, f.resample, f.sampleRate}),
                  std::vector<int>({c.mono, c.mono ? 1 : 2, c.floatPath, c.resample, c.rate}));
        EXPECT_DOUBLE_EQ(f.ratio, c.rate / 44100.0);
    }
}

TEST(AppliedFormat, DamagedSettingsAreNamed) {
    CSettings s;
    s.OUTPUT.OutputFormat = 1;
    s.WAV.Freq = 42;
    COutputFormat f = COutputFormat::FromSettings(s);
    EXPECT_TRUE(!f.ok() && f.error.find("WAV/Freq") != std::string::npos) << f.error;
    EXPECT_EQ(f.ratio, 1.0);            // never a zero ratio
    s.OUTPUT.OutputFormat = 0;
    EXPECT_NE(COutputFormat::FromSettings(s).error.find("OUTPUT/OutputFormat"), std::string::npos);
    s.OUTPUT.OutputFormat = 22;         // MAT5 with a codec beyond its list
    s.OTHER.Codec[9] = 12;
    f = COutputFormat::FromSettings(s);
    EXPECT_TRUE(f.ok() && f.subFormatLabel.empty());   // the encoder rejects it when the rip starts
}

// Each row: settings changed from the defaults (format id first), the line and, where given, the log line.
TEST(FormatSummaryLine, DefaultsModesAndVariants) {
    struct Case { int id; std::function<void(CSettings&)> change; const char *line, *log = nullptr; };
    const auto keep = [](CSettings&) {};
    const Case cases[] = {
        {3, keep, "WMA:  WMA 9.2  128kbps; 44100 Hz; Stereo; CBR;", "Set audio format: WMA."},
        {4, keep, "OGG:  Ogg Vorbis Quality : 0.35; Stereo; 44100 Hz;", "Set audio format: OGG."},
        {10, keep, "MP4:   FAAC Codec   Quality 100;", "Set audio format: AAC, container format: MP4."},
        {12, keep, "WV:   WavPack Pure Lossless Mode; Compression Level Normal; ", "Set audio format: WV."},
        {31, keep, "User-Customized Format:  *.mp3", "Set audio format: User-Customized format"},
        {0, [](CSettings& s) { s.MP3.LameTab = 3; }, "MP3:  VBR   8 ~ 320 kbps; Quality 5.00; Joint Stereo;"},
        {0, [](CSettings& s) { s.MP3.LameTab = 3, s.MP3.LameCodingMode = 4, s.MP3.LameChannel = 0; }, "MP3:  ABR 128 kbps; Mono;"},
        {0, [](CSettings& s) { s.MP3.LameTab = 5, s.MP3.LamePreset = 17; }, "MP3:  Preset Studio;"},
        {4, [](CSettings& s) { s.OGG.Quality = 0, s.OGG.Channel = 0, s.OGG.Freq = 4; },
         "OGG:  Ogg Vorbis ABR : Average Bitrate 128 kbps; Mono; 22050 Hz;"},
        {5, [](CSettings& s) { s.APE.CompLev = 1234; }, "kept"},   // no text of its own
        {6, [](CSettings& s) { s.FLAC.Native = 0, s.FLAC.CompLev = 8; }, "FLAC:  Ogg Flac;Compression Level 8;"},
        {10, [](CSettings& s) { s.AAC.Encoder = 1, s.AAC.ContainerFormat = 3; }, "M4A:   Nero Codec   Quality 0.35;",
         "Set audio format: AAC, container format: M4A."},
        {10, [](CSettings& s) { s.AAC.Encoder = 2, s.AAC.ContainerFormat = 2; }, "AAC:   CT AAC+ Codec   CBR 128 kbps;",
         "Set audio format: AAC, container format: raw AAC."},
        {11, [](CSettings& s) { s.MPC.Ext = 1, s.MPC.Quality = 75; }, "MP+:   Musepack Quality  7.50;", "Set audio format: MP+."},
        {8, [](CSettings& s) { s.VQF.Profile = 3, s.VQF.Quality = 5; }, "VQF:   TwinVQ 11025 Hz; Mono; 8 kbps; Quality   5;"},
        // GSM: shown as mono whatever the flag says.
        {1, [](CSettings& s) { s.WAV.SubFormat = 10, s.WAV.Freq = 3; }, "WAV:  GSM 6.10 16000 Hz; Mono;",
         "Set audio format: WAV GSM 6.10"},
    };
    for (const Case& c : cases) {
        CSettings s;
        if (c.id) s.OUTPUT.OutputFormat = static_cast<int16_t>(c.id);
        c.change(s);
        const FormatSummary sum = BuildOutputFormatSummary(s, "kept");
        EXPECT_EQ(sum.line, c.line);
        if (c.log) { EXPECT_EQ(sum.logLine, c.log) << c.line; }
        EXPECT_TRUE(sum.errors.empty()) << c.line;
    }
}

TEST(FormatSummaryLine, Mp2ParametersRejectedByTheLibraryAreReset) {
    CSettings s;
    s.OUTPUT.OutputFormat = 7;
    s.MP2.Channel = 0;                  // mono at 384 kbps is not an MPEG-1 layer 2 rate
    s.MP2.Bits = 17;
    s.MP2.CopyRight = s.MP2.Original = 1;
    EXPECT_FALSE(CheckMp2Parameters(s));
    CEventLog log;
    EXPECT_EQ(UpdateOutputFormatSummary(s, log), "MP2:  128 kbps; 44100 Hz;  Auto;");
    EXPECT_EQ(std::vector<int>({s.MP2.Bits, s.MP2.Channel, s.MP2.CopyRight, s.MP2.Original}),
              std::vector<int>({11, 1, 0, 0}));
    auto entries = log.Entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(std::make_pair(entries[0].message, static_cast<int>(entries[0].level)),
              std::make_pair(std::string("Error: configuring Libtwolame encoder failed!"), 2));
    s.MP2.Channel = 3;                  // joint stereo at 192 kbps is fine and kept
    s.MP2.Bits = 13;
    EXPECT_EQ(UpdateOutputFormatSummary(s, log), "MP2:  192 kbps; 44100 Hz;  Joint Stereo;");
    EXPECT_EQ(s.MP2.Bits, 13);
}

}  // namespace
}  // namespace quarrow
