// The output format model: lists, the applied sample path, the summary lines.
#include <gtest/gtest.h>

#include <fstream>

#include "app/EventLog.h"
#include "app/Settings.h"
#include "encoders/OutputFormat.h"
#include "support/DiscImage.h"

namespace quarrow {
namespace {

TEST(OutputFormatLists, IdentifiersNamesAndParsing) {
    ASSERT_EQ(FormatListEntries().size(), 31u);
    const std::vector<std::pair<int, std::string>> entries = {
        {1, " WAV    (Waveform Audio)"}, {24, " XI     (Fasttracker 2 Extended Instrument)"},
        {31, " User-Customized Format"}, {0, ""}, {32, ""}};
    for (const auto& [id, text] : entries) EXPECT_EQ(FormatListEntry(id), text) << id;
    EXPECT_EQ(FormatShortName(29), "WAVEX");
    EXPECT_EQ(FormatShortName(9), "AIFF");
    const std::vector<std::pair<std::string, int>> parsed = {
        {"6", 6}, {"flac", 6}, {"WaveX", 29}, {"custom", 31}, {"0", 0}, {"32", 0},
        {"99999999999999999999", 0}, {"wav;rm -rf", 0}};
    for (const auto& [text, id] : parsed) EXPECT_EQ(ParseOutputFormatId(text), id) << text;
}

TEST(OutputFormatLists, RateAndBitrateTablesEndAtTheirLists) {
    for (auto [index, rate] : std::vector<std::pair<int, int>>{{7, 44100}, {10, 96000}, {11, 0}, {-1, 0}})
        EXPECT_EQ(SampleRateOf(index), rate) << index;
    for (auto [index, kbps] : std::vector<std::pair<int, int>>{{11, 128}, {17, 384}, {18, 0}})
        EXPECT_EQ(BitrateOf(index), kbps) << index;
    const auto rates = SampleRateListEntries();
    ASSERT_EQ(rates.size(), 9u);
    EXPECT_EQ(rates.front(), "  8000 Hertz");
    EXPECT_EQ(rates.back(), " 48000 Hertz");
    const auto bits = BitrateListEntries();
    ASSERT_EQ(bits.size(), 17u);
    EXPECT_EQ(bits.front(), "   8 kbits per second");
    EXPECT_EQ(bits.back(), " 320 kbits per second");
    EXPECT_EQ(BitrateListEntries(true).back(), " 384 kbits per second");
}

TEST(OutputFormatLists, ContainerListsAndMonoOnly) {
    EXPECT_EQ(SubFormatList(1).size(), 12u);
    EXPECT_EQ(SubFormatList(9).size(), 14u);
    EXPECT_EQ(SubFormatList(14)[11], " 12 bit DWVW ");   // RAW's label keeps its trailing blank
    EXPECT_EQ(SubFormatList(25).size(), 1u);
    EXPECT_TRUE(SubFormatList(2).empty());
    EXPECT_TRUE(ExtensionList(1).empty());
    EXPECT_EQ(ExtensionList(9)[1], " AIFC");
    EXPECT_EQ(ExtensionList(16)[1], " 8svx");
    EXPECT_EQ(SubFormatLabel(13, 11), "");
    EXPECT_EQ(SubFormatLabel(13, 10), " G723 ADPCM 40kbps");

    // Every SVX and XI sub-format is mono-only, no SD2 one is; elsewhere exactly the GSM,
    // G72x, DWVW and Dialogic labels are.
    EXPECT_TRUE(IsMonoOnlySubFormat(16, 0));
    EXPECT_TRUE(IsMonoOnlySubFormat(24, 1));
    EXPECT_FALSE(IsMonoOnlySubFormat(26, 0));
    for (int id : {1, 9, 13, 14, 20}) {
        const auto& list = SubFormatList(id);
        for (std::size_t i = 0; i < list.size(); ++i) {
            bool adpcmLike = false;
            for (const char* word : {"GSM", "G72", "DWVW", "Dialogic"}) adpcmLike |= list[i].find(word) != std::string::npos;
            EXPECT_EQ(IsMonoOnlySubFormat(id, static_cast<int>(i)), adpcmLike) << id << list[i];
        }
    }
}

TEST(OutputFormatTables, PresetsProfilesAndBlockSizes) {
    ASSERT_NE(LamePresetAt(17), nullptr);
    EXPECT_EQ(LamePresetAt(17)->code, 10000);
    EXPECT_STREQ(LamePresetAt(1)->description, LamePresetAt(0)->description);
    EXPECT_EQ(LamePresetAt(18), nullptr);
    EXPECT_EQ(VqfProfileAt(18)->kHz, 44);
    EXPECT_EQ(VqfProfileAt(18)->mode, 1);
    EXPECT_EQ(VqfProfileAt(3)->rateHz, 11025);
    EXPECT_EQ(VqfProfileAt(0), nullptr);
    for (auto [choice, size] : std::vector<std::pair<int, int>>{{10, 4608}, {0, 0}, {11, -1}})
        EXPECT_EQ(FlacBlockSizeOf(choice), size) << choice;
    const std::vector<std::pair<int, std::string>> wma = {
        {47, " WMA 9.2  128kbps; 44100 Hz; Stereo; CBR;"},
        {1, " ACELP.net    5kbps;  8000 Hz; Mono;"},
        {121, " WMA 9.2  VBR Quality 100; 44100 Hz; 2 Channel; 16bit; VBR;"},
        {125, " WMA 9.2  VBR Quality 100; 96000 Hz; 2 Channel; 24bit; VBR;"},
        {126, ""}};
    for (const auto& [profile, text] : wma) EXPECT_EQ(WmaProfileEntry(profile), text) << profile;
}

TEST(AppliedFormat, SamplePathPerFormat) {
    CSettings s;
    COutputFormat f = COutputFormat::FromSettings(s);   // MP3 by default
    EXPECT_EQ(f.id, 2);
    EXPECT_FALSE(f.mono);
    EXPECT_FALSE(f.floatPath);
    EXPECT_EQ(f.ratio, 1.0);
    EXPECT_TRUE(f.ok());

    s.MP3.LameChannel = 0;
    EXPECT_TRUE(COutputFormat::FromSettings(s).mono);
    s.MP3.LameTab = 5;                  // presets decide their own channels
    EXPECT_FALSE(COutputFormat::FromSettings(s).mono);

    s.OUTPUT.OutputFormat = 1;
    s.WAV.SubFormat = 11;               // G721: always one channel
    f = COutputFormat::FromSettings(s);
    EXPECT_TRUE(f.mono);
    EXPECT_EQ(f.channels, 1);
    EXPECT_FALSE(f.floatPath);
    EXPECT_EQ(f.subFormatLabel, "G721 ADPCM 32kbps");

    s.OUTPUT.OutputFormat = 13;         // AU at 22050 Hz, mono flag
    s.OTHER.Freq[0] = 4;
    s.OTHER.Channel[0] = 0;
    f = COutputFormat::FromSettings(s);
    EXPECT_TRUE(f.mono);
    EXPECT_TRUE(f.resample);
    EXPECT_TRUE(f.floatPath);
    EXPECT_DOUBLE_EQ(f.ratio, 0.5);
    EXPECT_EQ(f.sampleRate, 22050);

    s.OUTPUT.OutputFormat = 4;          // OGG: floats even at 44100
    f = COutputFormat::FromSettings(s);
    EXPECT_TRUE(f.floatPath);
    EXPECT_FALSE(f.resample);
    EXPECT_FALSE(f.mono);

    s.OUTPUT.OutputFormat = 8;
    s.VQF.Profile = 4;                  // 11025 Hz mono
    f = COutputFormat::FromSettings(s);
    EXPECT_TRUE(f.mono);
    EXPECT_DOUBLE_EQ(f.ratio, 0.25);
    EXPECT_TRUE(f.resample);
    s.VQF.Profile = 18;
    f = COutputFormat::FromSettings(s);
    EXPECT_FALSE(f.mono);
    EXPECT_FALSE(f.resample);
    s.VQF.Profile = 16;
    EXPECT_TRUE(COutputFormat::FromSettings(s).mono);

    s.OUTPUT.OutputFormat = 6;          // FLAC: the disc's own shape
    f = COutputFormat::FromSettings(s);
    EXPECT_FALSE(f.floatPath);
    EXPECT_EQ(f.channels, 2);
}

TEST(AppliedFormat, DamagedSettingsAreNamed) {
    CSettings s;
    s.OUTPUT.OutputFormat = 1;
    s.WAV.Freq = 42;
    COutputFormat f = COutputFormat::FromSettings(s);
    EXPECT_FALSE(f.ok());
    EXPECT_NE(f.error.find("WAV/Freq"), std::string::npos);
    EXPECT_EQ(f.ratio, 1.0);            // never a zero ratio

    s.OUTPUT.OutputFormat = 0;
    f = COutputFormat::FromSettings(s);
    EXPECT_NE(f.error.find("OUTPUT/OutputFormat"), std::string::npos);

    s.OUTPUT.OutputFormat = 22;         // MAT5 with a codec beyond its list
    s.OTHER.Codec[9] = 12;
    f = COutputFormat::FromSettings(s);
    EXPECT_TRUE(f.ok());                // the encoder rejects it when the rip starts
    EXPECT_EQ(f.subFormatLabel, "");
}

// The line and the log line for each format's default settings.
TEST(FormatSummaryLine, DefaultsOfEveryFamily) {
    struct Case {
        int id;
        const char* line;
        const char* log;
    };
    const Case cases[] = {
        {1, "WAV:  Signed 16 bit PCM 44100 Hz; Stereo;", "Set audio format: WAV Signed 16 bit PCM"},
        {2, "MP3:  CBR 128 kbps; 44100 Hz; Quality  5; Joint Stereo;", "Set audio format: MP3."},
        {3, "WMA:  WMA 9.2  128kbps; 44100 Hz; Stereo; CBR;", "Set audio format: WMA."},
        {4, "OGG:  Ogg Vorbis Quality : 0.35; Stereo; 44100 Hz;", "Set audio format: OGG."},
        {5, "APE: Compression Level High", "Set audio format: APE."},
        {6, "FLAC:  Native Flac;Compression Level 5;", "Set audio format: FLAC."},
        {7, "MP2:  128 kbps; 44100 Hz;  Auto;", "Set audio format: MP2."},
        {8, "VQF:   TwinVQ 44100 Hz; Stereo; 96 kbps; Quality  16;", "Set audio format: VQF."},
        {9, "AIFF:  Signed 16 bit PCM 44100 Hz; Stereo;", "Set audio format: AIFF Signed 16 bit PCM"},
        {10, "MP4:   FAAC Codec   Quality 100;", "Set audio format: AAC, container format: MP4."},
        {11, "MPC:   Musepack Quality  5.00;", "Set audio format: MPC."},
        {12, "WV:   WavPack Pure Lossless Mode; Compression Level Normal; ", "Set audio format: WV."},
        {13, "AU:  Signed 8 bit PCM 44100 Hz; Stereo;", "Set audio format: AU Signed 8 bit PCM"},
        {16, "SVX:  Signed 8 bit PCM 44100 Hz; Mono;", "Set audio format: SVX Signed 8 bit PCM"},
        {25, "HTK:  Signed 16 bit PCM 44100 Hz; Mono;", "Set audio format: HTK Signed 16 bit PCM"},
        {31, "User-Customized Format:  *.mp3", "Set audio format: User-Customized format"},
    };
    for (const Case& c : cases) {
        CSettings s;
        s.OUTPUT.OutputFormat = static_cast<int16_t>(c.id);
        FormatSummary sum = BuildOutputFormatSummary(s, "before");
        EXPECT_EQ(sum.line, c.line) << c.id;
        EXPECT_EQ(sum.logLine, c.log) << c.id;
        EXPECT_TRUE(sum.errors.empty()) << c.id;
    }
}

TEST(FormatSummaryLine, ModesAndVariants) {
    CSettings s;
    auto line = [&s](const std::string& before = "") { return BuildOutputFormatSummary(s, before).line; };
    s.MP3.LameTab = 3;
    EXPECT_EQ(line(), "MP3:  VBR   8 ~ 320 kbps; Quality 5.00; Joint Stereo;");
    s.MP3.LameCodingMode = 4;
    s.MP3.LameChannel = 0;
    EXPECT_EQ(line(), "MP3:  ABR 128 kbps; Mono;");
    s.MP3.LameTab = 5;
    s.MP3.LamePreset = 17;
    EXPECT_EQ(line(), "MP3:  Preset Studio;");

    s.OUTPUT.OutputFormat = 4;
    s.OGG.Quality = 0;
    s.OGG.Channel = 0;
    s.OGG.Freq = 4;
    EXPECT_EQ(line(), "OGG:  Ogg Vorbis ABR : Average Bitrate 128 kbps; Mono; 22050 Hz;");
    s.OGG.VBR = 1;
    s.OGG.NomiBit = 9;
    EXPECT_EQ(line(), "OGG:  Ogg Vorbis VBR : Nominate Bitrate  96 kbps; Mono; 22050 Hz;");
    s.OGG.Quality = 1;
    s.OGG.QualityCompression = -10;
    EXPECT_EQ(line(), "OGG:  Ogg Vorbis Quality : -0.10; Mono; 22050 Hz;");

    s.OUTPUT.OutputFormat = 5;
    s.APE.CompLev = 1000;
    EXPECT_EQ(line(), "APE:  Compression Level Fast");
    s.APE.CompLev = 1234;               // no text of its own: the line stays
    EXPECT_EQ(line("kept"), "kept");

    s.OUTPUT.OutputFormat = 6;
    s.FLAC.Native = 0;
    s.FLAC.CompLev = 8;
    EXPECT_EQ(line(), "FLAC:  Ogg Flac;Compression Level 8;");

    s.OUTPUT.OutputFormat = 10;
    s.AAC.Encoder = 1;
    s.AAC.ContainerFormat = 3;
    EXPECT_EQ(line(), "M4A:   Nero Codec   Quality 0.35;");
    s.AAC.NEROEncMode = 2;
    EXPECT_EQ(line(), "M4A:   Nero Codec   CBR  96 kbps;");
    s.AAC.Encoder = 2;
    s.AAC.ContainerFormat = 2;
    EXPECT_EQ(line(), "AAC:   CT AAC+ Codec   CBR 128 kbps;");
    EXPECT_EQ(BuildOutputFormatSummary(s).logLine, "Set audio format: AAC, container format: raw AAC.");

    s.OUTPUT.OutputFormat = 11;
    s.MPC.Ext = 1;
    s.MPC.Quality = 75;
    EXPECT_EQ(line(), "MP+:   Musepack Quality  7.50;");
    EXPECT_EQ(BuildOutputFormatSummary(s).logLine, "Set audio format: MP+.");

    s.OUTPUT.OutputFormat = 12;
    s.WV.EncMod = 1;
    s.WV.ComLev = 3;
    EXPECT_EQ(line(), "WV:   WavPack Hybrid Lossy Mode; Compression Level Very High; ");
    s.WV.CrtWvc = 1;
    EXPECT_EQ(line(), "WV:   WavPack Hybrid Lossless Mode; Compression Level Very High; ");

    s.OUTPUT.OutputFormat = 8;
    s.VQF.Profile = 3;
    s.VQF.Quality = 5;
    EXPECT_EQ(line(), "VQF:   TwinVQ 11025 Hz; Mono; 8 kbps; Quality   5;");

    s.OUTPUT.OutputFormat = 1;          // GSM: shown as mono whatever the flag says
    s.WAV.SubFormat = 10;
    s.WAV.Freq = 3;
    EXPECT_EQ(line(), "WAV:  GSM 6.10 16000 Hz; Mono;");

    s.OUTPUT.OutputFormat = 17;         // NIST codec beyond its list: no label
    s.OTHER.Codec[4] = 9;
    EXPECT_EQ(line(), "NIST:   44100 Hz; Stereo;");
    EXPECT_EQ(BuildOutputFormatSummary(s).logLine, "Set audio format: NIST ");
}

TEST(FormatSummaryLine, Mp2ParametersRejectedByTheLibraryAreReset) {
    CSettings s;
    s.OUTPUT.OutputFormat = 7;
    EXPECT_TRUE(CheckMp2Parameters(s));
    s.MP2.Channel = 0;                  // mono at 384 kbps is not an MPEG-1 layer 2 rate
    s.MP2.Bits = 17;
    s.MP2.CopyRight = 1;
    s.MP2.Original = 1;
    EXPECT_FALSE(CheckMp2Parameters(s));
    CEventLog log;
    std::string line = UpdateOutputFormatSummary(s, log);
    EXPECT_EQ(line, "MP2:  128 kbps; 44100 Hz;  Auto;");
    EXPECT_EQ(s.MP2.Bits, 11);
    EXPECT_EQ(s.MP2.Channel, 1);
    EXPECT_EQ(s.MP2.CopyRight, 0);
    EXPECT_EQ(s.MP2.Original, 0);
    auto entries = log.Entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].message, "Error: configuring Libtwolame encoder failed!");
    EXPECT_EQ(entries[0].level, 2);
    EXPECT_EQ(entries[1].message, "Set audio format: MP2.");

    s.MP2.Channel = 3;                  // joint stereo at 192 kbps is fine and kept
    s.MP2.Bits = 13;
    EXPECT_EQ(UpdateOutputFormatSummary(s, log), "MP2:  192 kbps; 44100 Hz;  Joint Stereo;");
    EXPECT_EQ(s.MP2.Bits, 13);
}

TEST(CustomEncoderCheck, OrderOfTheThreeChecks) {
    discimage::ScratchDir dir;
    CSettings s;
    s.CUSTOM.Encoder = dir.path() + "/missing-encoder";
    s.CUSTOM.Parameter.clear();
    s.CUSTOM.FileExt.clear();
    EXPECT_EQ(CheckCustomEncoder(s), "User-Customized External Encoder Not Found!");
    s.CUSTOM.Encoder = dir.path();        // a folder is no program
    EXPECT_EQ(CheckCustomEncoder(s), "User-Customized External Encoder Not Found!");
    s.CUSTOM.Encoder = dir.path() + "/enc";
    std::ofstream(s.CUSTOM.Encoder) << "#!/bin/sh\n";
    EXPECT_EQ(CheckCustomEncoder(s), "Null User-Customized External Encoder Parameters!");
    s.CUSTOM.Parameter = "- %of%";
    EXPECT_EQ(CheckCustomEncoder(s), "User-Customized Format File Extension Not Specified!");
    s.CUSTOM.FileExt = "opus";
    EXPECT_EQ(CheckCustomEncoder(s), "");
}

}  // namespace
}  // namespace quarrow
