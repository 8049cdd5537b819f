// The encoder option page models: what they show, what they refuse, what they store.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "app/Prompter.h"
#include "app/Settings.h"
#include "encoders/FormatPages.h"
#include "encoders/OutputFormat.h"
#include "support/DiscImage.h"
#include "support/EncodeHarness.h"

namespace quarrow {
namespace {

using testsupport::WriteExecutable;

TEST(EncoderOptionPage, DependentControlsFollowTheFormat) {
    CSettings s;
    s.OTHER.Codec[1] = 12, s.OTHER.Ext[1] = 2, s.OTHER.Freq[1] = 3, s.OTHER.Channel[1] = 1;   // RAW: 16 bit DWVW
    RecordingPrompter prompter;
    CEncoderOptionPage page;
    page.Load(s);
    EXPECT_FALSE(page.dependentEnabled);
    page.SelectFormat(13, s, prompter); // RAW
    EXPECT_TRUE(page.dependentEnabled);
    EXPECT_EQ(page.extItems, (std::vector<std::string>{" raw", " gsm", " vox"}));
    EXPECT_EQ(std::vector<int>({page.extSel, page.freqSel, page.codecSel}), std::vector<int>({2, 3, 12}));
    EXPECT_TRUE(page.mono && !page.stereoEnabled);   // DWVW is mono-only even with the stereo flag stored
    page.SetMono(false);
    EXPECT_TRUE(page.mono);
    page.SelectCodec(2), page.SetMono(false);   // Signed 16 bit PCM: Stereo can be chosen again
    EXPECT_TRUE(page.stereoEnabled && !page.mono);
    page.SelectCodec(9);                // GSM 6.10
    ASSERT_TRUE(page.Apply(s, false).applied);
    // Other formats' entries are untouched.
    EXPECT_EQ(std::vector<int>({s.OUTPUT.OutputFormat, s.OTHER.Codec[1], s.OTHER.Channel[1], s.OTHER.Codec[0]}),
              std::vector<int>({14, 9, 0, 0}));
    page.SelectFormat(3, s, prompter);  // OGG: lists cleared and disabled
    EXPECT_TRUE(!page.dependentEnabled && page.extItems.empty() && prompter.prompts.empty());
}

TEST(EncoderOptionPage, CustomisedFormatRefreshAndPercent) {
    discimage::ScratchDir dir;
    CSettings s;
    s.CUSTOM.Encoder = dir.path() + "/missing";
    RecordingPrompter prompter;
    CEncoderOptionPage page;
    page.Load(s);
    page.SelectFormat(30, s, prompter);
    EXPECT_EQ(page.formatSel, 1);       // back to MP3
    EXPECT_EQ(prompter.prompts.at(0).text, "User-Customized External Encoder Not Found!");
    s.CUSTOM.Encoder = WriteExecutable(dir.path(), "enc");
    page.SelectFormat(30, s, prompter);
    EXPECT_EQ(page.formatSel, 30);
    page.SetNormalize(true), page.norPer = 0;
    EXPECT_TRUE(page.norPerEnabled());
    EXPECT_EQ(page.Apply(s, false).message, "Please enter an integer between 1 and 100.");
    EXPECT_EQ(s.OUTPUT.OutputFormat, 2);
    page.norPer = 80;
    PageResult r = page.Apply(s, true); // a refresh runs: nothing is written
    EXPECT_FALSE(r.applied || !r.message.empty() || s.OUTPUT.Normalize);
    ASSERT_TRUE(page.Apply(s, false).applied);
    EXPECT_EQ(std::vector<int>({s.OUTPUT.OutputFormat, s.OUTPUT.Normalize, s.OUTPUT.NorPer}), std::vector<int>({31, 1, 80}));
    page.Reset();
    EXPECT_EQ(std::make_pair(page.formatSel, page.normalize), std::make_pair(1, false));
}

TEST(ContainerPages, WavAndAiff) {
    CSettings s;
    CContainerFormatPage wav(1);
    wav.Load(s);
    wav.SelectCodec(10);                // GSM 6.10: mono-only
    wav.freqSel = 3;
    ASSERT_TRUE(wav.Apply(s, false).applied);
    EXPECT_EQ(std::vector<int>({s.WAV.SubFormat, s.WAV.Channel, s.WAV.Freq}), std::vector<int>({10, 0, 3}));
    CContainerFormatPage aiff(9);
    aiff.Load(s);
    aiff.extSel = 1;
    aiff.SelectCodec(11);               // 12 bit DWVW
    EXPECT_TRUE(aiff.mono);
    aiff.SelectCodec(4);
    EXPECT_TRUE(aiff.stereoEnabled);
    EXPECT_TRUE(aiff.mono);             // the choice stays until the user changes it
    aiff.SetMono(false);
    ASSERT_TRUE(aiff.Apply(s, false).applied);
    EXPECT_EQ(std::vector<int>({s.AIFF.Ext, s.AIFF.SubFormat, s.AIFF.Channel}), std::vector<int>({1, 4, 1}));
}

TEST(Mp3Pages, ModesChecksAndTexts) {
    CSettings s;
    CMp3VbrPage vbr;
    vbr.Load(s), vbr.OnShown(s);
    EXPECT_EQ(s.MP3.LameTab, 3);
    vbr.minSel = 12, vbr.maxSel = 11;
    EXPECT_EQ(vbr.Apply(s, false).message, "Invalid VBR Bitrate!");
    EXPECT_EQ(s.MP3.LameMinVBRBit, 0);
    vbr.maxSel = 12, vbr.codingMode = 4;
    EXPECT_TRUE(vbr.abrTargetEnabled());
    ASSERT_TRUE(vbr.Apply(s, false).applied);
    EXPECT_EQ(std::vector<int>({s.MP3.LameMinVBRBit, s.MP3.LameCodingMode}), std::vector<int>({12, 4}));
    CMp3PresetPage preset;
    preset.Load(s), preset.OnShown(s);
    EXPECT_EQ(s.MP3.LameTab, 5);
    CMp3CbrPage cbr;
    cbr.Load(s), cbr.OnShown(s), cbr.quality = 10;
    EXPECT_EQ(s.MP3.LameTab, 1);
    EXPECT_EQ(cbr.Apply(s, false).message, "Please enter an integer between 0 and 9.");
    CMp3ExpertPage expert;
    expert.Load(s), expert.crc = true, expert.id3 = 2;
    ASSERT_TRUE(expert.Apply(s, false).applied);
    EXPECT_EQ(std::vector<int>({s.MP3.LameCRC, s.MP3.LameID3}), std::vector<int>({1, 2}));
}

TEST(OggPage, ParametersAreTriedWithTheEncoder) {
    const std::string box = "     OGG Audio Format NOT Supported!\nPlease Change the Parameters and Try Again!";
    CSettings s;
    COggPage page;
    page.Load(s);
    EXPECT_TRUE(page.qualityEnabled() && !page.minMaxEnabled());
    page.quality = -10;
    EXPECT_EQ(page.qualityText(), "Quality : -0.10");
    ASSERT_TRUE(page.Apply(s, false).applied);
    EXPECT_EQ(s.OGG.QualityCompression, -10);
    page.qualityMode = false, page.vbr = true;
    EXPECT_TRUE(page.minMaxEnabled());
    page.nomiSel = 11, page.minSel = 12;   // minimum above nominal
    PageResult r = page.Apply(s, false);
    EXPECT_EQ(std::make_pair(r.message, r.logLine), std::make_pair(box, std::string("OGG audio format not supported!")));
    EXPECT_EQ(s.OGG.Quality, 1);
    page.vbr = false, page.freqSel = 7, page.nomiSel = 11;
    ASSERT_TRUE(page.Apply(s, false).applied);
    EXPECT_EQ(std::vector<int>({s.OGG.Quality, s.OGG.VBR, s.OGG.NomiBit}), std::vector<int>({0, 0, 11}));
}

TEST(SimplePages, FlacApeMp2VqfWavPack) {
    CSettings s;
    RecordingPrompter prompter;
    CFlacPage flac;
    flac.Load(s);
    prompter.yesNoReplies = {false, true};
    flac.SetOggFlac(true, prompter);
    EXPECT_FALSE(flac.oggFlac);
    flac.SetOggFlac(true, prompter);
    EXPECT_TRUE(flac.oggFlac);
    flac.SetOggFlac(false, prompter);   // unchecking asks nothing
    EXPECT_EQ(prompter.prompts.size(), 2u);
    flac.SetOggFlac(true, prompter);
    flac.blockSel = 10;
    ASSERT_TRUE(flac.Apply(s, false).applied);
    EXPECT_EQ(std::make_pair(int{s.FLAC.Native}, FlacBlockSizeOf(s.FLAC.BlockSize)), std::make_pair(0, 4608));
    CApePage ape;
    s.APE.CompLev = 2500;               // not listed: nothing selected, the value is kept
    ape.Load(s);
    EXPECT_EQ(ape.levelSel, -1);
    ASSERT_TRUE(ape.Apply(s, false).applied);
    EXPECT_EQ(s.APE.CompLev, 2500);
    CMp2Page mp2;
    mp2.Load(s), mp2.freqPos = 0, mp2.bitsSel = 17;
    ASSERT_TRUE(mp2.Apply(s, false).applied);
    EXPECT_EQ(std::vector<int>({s.MP2.Freq, s.MP2.Bits}), std::vector<int>({3, 17}));
    CVqfPage vqf;
    vqf.Load(s), vqf.profileSel = 0;
    ASSERT_TRUE(vqf.Apply(s, false).applied);
    EXPECT_EQ(s.VQF.Profile, 1);
    CWavPackPage wv;
    wv.Load(s);
    EXPECT_EQ(wv.blockSizeText() + "|" + wv.bitrateText() + "|" + wv.shapingText(),
              "Block Size: Default|Bitrate: 320 kbps|Noise Shaping Override: Off");
    EXPECT_FALSE(wv.hybridEnabled());
    wv.enableBlockSize = wv.maxHybrid = wv.enableShape = true;
    wv.blockSize = 4096, wv.shape = -50;
    EXPECT_EQ(wv.blockSizeText() + "|" + wv.bitrateText() + "|" + wv.shapingText(),
              "Block Size:  4096 Samples|Bitrate: Maximum Hybrid Compression|Noise Shaping Override: -0.50");
    wv.blockSize = 64;
    EXPECT_FALSE(wv.Apply(s, false).applied);
    wv.blockSize = 4096;
    ASSERT_TRUE(wv.Apply(s, false).applied);
    EXPECT_EQ(std::vector<int>({s.WV.BlkSize, s.WV.Shape, s.WV.OptWvc}), std::vector<int>({4096, -50, 1}));
}

TEST(WmaPage, ProfileNumbersFromTheThreeLists) {
    CSettings s;
    CWmaPage page;
    page.Load(s);
    EXPECT_EQ(page.Profile(), 47);
    page.SelectMode(2);
    page.SelectPreset(static_cast<int>(page.presetItems().size()) - 1);
    EXPECT_EQ(page.Profile(), 125);
    page.SelectMode(1);
    page.SelectCodec(3);                // no such codec in this mode
    EXPECT_EQ(page.Profile(), 0);
    ASSERT_TRUE(page.Apply(s, false).applied);
    EXPECT_EQ(s.WMA.Profile, 47);       // nothing chosen: the stored profile stays
}

TEST(AacPage, ProgramChecksAndContainers) {
    CSettings s;
    RecordingPrompter prompter;
    std::set<std::string> present;
    ProgramFinder find = [&](const std::string& name) { return present.count(name) > 0; };
    CAacPage page;
    page.Load(s);
    const std::string faq = "  Please Refer to FAQ Section of Help to Get ";
    // CT AAC+ needs its encoder and the Nero tagger; Nero needs both of its programs.
    for (const auto& [encoder, program, text] :
         {std::tuple{2, "enc_aacplus", "Warning: CT AAC+ Encoder NOT Found!" + faq + "CT AAC Plus Encoder."},
          {2, "neroAacTag", "Warning: Nero AAC Tagger NOT Found!" + faq + "Nero AAC Encoder."},
          {1, "", "Warning: Nero AAC Encoder/Tagger NOT Found!" + faq + "Nero AAC Encoder."}}) {
        page.SelectEncoder(encoder, find, prompter);
        EXPECT_EQ(std::make_pair(int{page.v.Encoder}, prompter.prompts.back().text), std::make_pair(0, text));
        present.insert(program);
    }
    page.SelectEncoder(2, find, prompter);
    EXPECT_EQ(page.v.Encoder, 2);
    prompter.yesNoReplies = {false};
    page.SelectContainer(2, prompter);  // raw asked, No: MP4
    EXPECT_EQ(page.v.ContainerFormat, 6);
    page.SelectContainer(2, prompter);  // Yes
    EXPECT_EQ(page.v.ContainerFormat, 2);
    present.insert("neroAacEnc");
    const std::size_t before = prompter.prompts.size();
    page.SelectEncoder(1, find, prompter);   // Nero cannot keep the raw container
    EXPECT_EQ(std::vector<int>({page.v.Encoder, page.v.ContainerFormat}), std::vector<int>({1, 6}));
    ASSERT_EQ(prompter.prompts.size(), before + 1);
    EXPECT_EQ(prompter.prompts.back().text,
              "Nero AAC Encoder does NOT Support Raw AAC Format!\nPlease Choose FAAC or CT AAC+ as the AAC Encoder.");
    page.v.FAACQuality = 5;
    EXPECT_EQ(page.Apply(s, false).message, "Please enter an integer between 10 and 500.");
    page.v.FAACQuality = 200;
    ASSERT_TRUE(page.Apply(s, false).applied);
    EXPECT_EQ(std::vector<int>({s.AAC.Encoder, s.AAC.FAACQuality}), std::vector<int>({1, 200}));
}

TEST(AacPage, DefaultFinderLooksInExternalThenPath) {
    discimage::ScratchDir home;
    std::filesystem::create_directory(home.path() + "/External");
    ProgramFinder find = DefaultProgramFinder(home.path());
    EXPECT_FALSE(find("quarrow-no-such-program"));
    WriteExecutable(home.path(), "External/neroaacenc");
    EXPECT_TRUE(find("neroAacEnc"));
    EXPECT_TRUE(find("sh"));            // found on PATH
}

TEST(MpcPage, PresetsMoveTheSlider) {
    CSettings s;
    CMpcPage page;
    page.Load(s);
    page.SelectPreset(6);
    EXPECT_EQ(page.quality, 80);
    page.quality = 65, page.extSel = 2;
    page.SelectPreset(7);               // Customized keeps the slider
    ASSERT_TRUE(page.Apply(s, false).applied);
    EXPECT_EQ(std::vector<int>({s.MPC.Quality, s.MPC.Preset, s.MPC.Ext}), std::vector<int>({65, 7, 2}));
}

TEST(CustomPage, SettingFilesAndChecks) {
    discimage::ScratchDir dir;
    CSettings s;
    CCustomPage page;
    page.Load(s);
    page.encoder = WriteExecutable(dir.path(), "oggenc");
    page.SetParameter("-q 5 - -o %of%");
    page.SetExtension("ogg-vorbis-long");
    EXPECT_EQ(page.extension, "ogg-vorb");   // the edit box holds eight characters
    page.extension = "ogg", page.input = 2, page.detail = false;
    const std::string file = dir.path() + "/enc.ces";
    ASSERT_EQ(page.SaveSettingFile(file), "");
    // The exact bytes: length-prefixed texts, then 16-bit input and 32-bit detail.
    std::ifstream in(file, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes, static_cast<char>(page.encoder.size()) + page.encoder + '\x0e' + page.parameter + '\x03' + "ogg" +
                         std::string("\x02\x00\x00\x00\x00\x00", 6));
    CCustomPage other;
    other.Load(s);
    ASSERT_EQ(other.LoadSettingFile(file), "");
    EXPECT_EQ(std::make_tuple(other.parameter, other.input, other.detail), std::make_tuple(page.parameter, 2, false));
    // Long parameter texts take the escaped length.
    CSettings::Custom back;
    std::string encoded = EncodeCustomSetting({page.encoder, std::string(300, 'p'), "x", 1, 1});
    EXPECT_EQ(static_cast<unsigned char>(encoded[1 + page.encoder.size()]), 0xFF);
    EXPECT_TRUE(DecodeCustomSetting(encoded, back) && back.Parameter.size() == 300u);
    // Damaged files, and one naming a program that is not there, never change the page.
    const std::string gone = EncodeCustomSetting({dir.path() + "/gone", "-", "mp3", 0, 1});
    for (const std::string& damaged :
         {bytes.substr(0, bytes.size() - 1), bytes + "x", std::string("\xFF\x10", 2), std::string(), gone}) {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << damaged;
        EXPECT_EQ(other.LoadSettingFile(file), damaged == gone ? "User-Customized External Encoder Not Found!"
                                                                : "An Error Occurred While Loading.");
        EXPECT_EQ(other.parameter, "-q 5 - -o %of%");
    }
    page.parameter.clear();             // checked before the file is tried
    EXPECT_EQ(page.SaveSettingFile(dir.path() + "/no/such/folder.ces"),
              "Null User-Customized External Encoder Parameters!");
    page.parameter = "-";
    EXPECT_EQ(page.SaveSettingFile(dir.path() + "/no/such/folder.ces"), "An Error Occurred While Saving.");
    page.extension = "../x";
    const PageResult r = page.Apply(s, false);
    EXPECT_TRUE(!r.applied && !r.message.empty() && s.CUSTOM.FileExt == "mp3");
    page.extension = "ogg";
    ASSERT_TRUE(page.Apply(s, false).applied);
    EXPECT_EQ(s.CUSTOM.FileExt + std::to_string(s.CUSTOM.Input), "ogg2");
}

}  // namespace
}  // namespace quarrow
