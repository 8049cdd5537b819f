// The encoder option page models.
#include "encoders/FormatPages.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>
#include <unistd.h>

#include <vorbis/vorbisenc.h>

#include "app/Prompter.h"
#include "encoders/EncodeSndfile.h"
#include "encoders/FormatTable.h"
#include "encoders/OutputFormat.h"
#include "encoders/QuickSet.h"

namespace quarrow {

namespace {

std::string Fmt(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Fmt(const char* format, ...) {
    char buffer[256];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return n < 0 ? std::string() : std::string(buffer);
}

bool InRange(int v, int low, int high) { return v >= low && v <= high; }
// A stored value shown in a list of n entries: its position, or -1 (no selection).
int ListPos(int v, std::size_t n) { return InRange(v, 0, static_cast<int>(n) - 1) ? v : -1; }
// Writes a list selection back; nothing selected keeps the stored value.
template <typename T>
void Store(T& field, int sel) {
    if (sel >= 0) field = static_cast<T>(sel);
}

PageResult Refused() { return PageResult{}; }
PageResult Applied() { return PageResult{true, {}, {}}; }
PageResult Refused(const std::string& message) { return PageResult{false, message, {}}; }

const std::size_t kRateItems = 9;      // the "Sampling Frequency:" lists: indices 0..8
const std::size_t kBitrateItems = 17;  // the bit-rate lists: indices 0..16

}  // namespace

std::string RangeMessage(int low, int high) {
    return Fmt("Please enter an integer between %d and %d.", low, high);
}

// ------------------------------------------------------------------------------------
// "Encoder"

void CEncoderOptionPage::Load(const CSettings& s) {
    stored_ = s.OTHER;
    normalize = s.OUTPUT.Normalize != 0;
    leveling = s.OUTPUT.DCBiasAdjust != 0;
    resample = s.OUTPUT.Resample != 0;
    norPer = s.OUTPUT.NorPer;
    formatSel = IsValidOutputFormat(s.OUTPUT.OutputFormat) ? s.OUTPUT.OutputFormat - 1 : -1;
    FillDependent();
}

void CEncoderOptionPage::Reset() { Load(CSettings{}); }

std::vector<std::string> CEncoderOptionPage::formatItems() const { return FormatListEntries(); }

void CEncoderOptionPage::FillDependent() {
    const int id = formatSel + 1;
    if (IsOtherFormat(id)) {
        const std::size_t i = static_cast<std::size_t>(id - kFirstOtherFormat);
        dependentEnabled = true;
        freqItems = SampleRateListEntries();
        extItems = ExtensionList(id);
        codecItems = SubFormatList(id);
        freqSel = ListPos(stored_.Freq[i], freqItems.size());
        extSel = ListPos(stored_.Ext[i], extItems.size());
        codecSel = ListPos(stored_.Codec[i], codecItems.size());
        mono = stored_.Channel[i] == 0;
        SelectCodec(codecSel);
    } else {
        dependentEnabled = false;
        stereoEnabled = false;
        freqItems.clear();
        extItems.clear();
        codecItems.clear();
        freqSel = extSel = codecSel = -1;
        mono = false;
    }
}

void CEncoderOptionPage::SelectFormat(int position, const CSettings& s, Prompter& prompter) {
    if (position == static_cast<int>(OutputFormatId::Custom) - 1) {
        std::string failure = CheckCustomEncoder(s);
        if (!failure.empty()) {
            prompter.Message(failure, MessageIcon::Error);
            position = static_cast<int>(OutputFormatId::MP3) - 1;
        }
    }
    formatSel = InRange(position, 0, kLastOutputFormat - 1) ? position : -1;
    // A format whose encoder cannot run here stays chosen, with a warning naming what is missing.
    if (formatSel >= 0) {
        if (const std::string warning = ChoiceWarning(s, std::string(), formatSel + 1); !warning.empty())
            prompter.Message(warning, MessageIcon::Warning);
    }
    FillDependent();
}

void CEncoderOptionPage::SelectCodec(int index) {
    codecSel = index;
    const int id = formatSel + 1;
    if (index >= 0 && IsMonoOnlySubFormat(id, index)) {
        mono = true;
        stereoEnabled = false;
    } else {
        stereoEnabled = dependentEnabled;
    }
}

void CEncoderOptionPage::SetMono(bool m) {
    if (!m && !stereoEnabled) return;
    mono = m;
}

PageResult CEncoderOptionPage::Apply(CSettings& s, bool refreshing) const {
    if (refreshing) return Refused();
    if (!InRange(norPer, 1, 100)) return Refused(RangeMessage(1, 100));
    if (formatSel >= 0) {
        const int id = formatSel + 1;
        if (IsOtherFormat(id) && codecSel >= 0) {
            ContainerChoice c = GetContainerChoice(s, id);
            c.subFormat = codecSel;
            if (extSel >= 0) c.ext = extSel;
            if (freqSel >= 0) c.freq = freqSel;
            c.channel = mono ? 0 : 1;
            const std::string problem = ContainerChoiceProblem(id, c);
            if (!problem.empty()) return Refused(problem);
        }
        s.OUTPUT.OutputFormat = static_cast<int16_t>(id);
        if (IsOtherFormat(id)) {
            const std::size_t i = static_cast<std::size_t>(id - kFirstOtherFormat);
            Store(s.OTHER.Ext[i], extSel);
            Store(s.OTHER.Codec[i], codecSel);
            Store(s.OTHER.Freq[i], freqSel);
            s.OTHER.Channel[i] = mono ? 0 : 1;
        }
    }
    s.OUTPUT.Normalize = normalize;
    s.OUTPUT.NorPer = static_cast<int16_t>(norPer);
    s.OUTPUT.DCBiasAdjust = leveling;
    s.OUTPUT.Resample = resample;
    return Applied();
}

// ------------------------------------------------------------------------------------
// "Encoder::WAV" and AIFF

void CContainerFormatPage::Load(const CSettings& s) {
    ContainerChoice c = GetContainerChoice(s, id_);
    freqSel = ListPos(c.freq, kRateItems);
    extSel = ListPos(c.ext, extItems().size());
    mono = c.channel == 0;
    SelectCodec(ListPos(c.subFormat, codecItems().size()));
}

void CContainerFormatPage::Reset() { Load(CSettings{}); }

std::vector<std::string> CContainerFormatPage::freqItems() const { return SampleRateListEntries(); }
const std::vector<std::string>& CContainerFormatPage::codecItems() const { return SubFormatList(id_); }
const std::vector<std::string>& CContainerFormatPage::extItems() const { return ExtensionList(id_); }

void CContainerFormatPage::SelectCodec(int index) {
    codecSel = index;
    stereoEnabled = !(index >= 0 && IsMonoOnlySubFormat(id_, index));
    if (!stereoEnabled) mono = true;
}

void CContainerFormatPage::SetMono(bool m) {
    if (!m && !stereoEnabled) return;
    mono = m;
}

PageResult CContainerFormatPage::Apply(CSettings& s, bool refreshing) const {
    if (refreshing) return Refused();
    ContainerChoice c = GetContainerChoice(s, id_);
    if (codecSel >= 0) c.subFormat = codecSel;
    if (freqSel >= 0) c.freq = freqSel;
    if (extSel >= 0) c.ext = extSel;
    c.channel = mono ? 0 : 1;
    if (codecSel >= 0) {
        const std::string problem = ContainerChoiceProblem(id_, c);
        if (!problem.empty()) return Refused(problem);
    }
    SetContainerChoice(s, id_, c);
    return Applied();
}

// ------------------------------------------------------------------------------------
// MP3

const char* const kMp3ParentText = "Please Select a Subpage to Set the Lame MP3 Encoder Options";
const char* const kMp3CbrNote = "The bitrate valid only for stereo 44100 Hz.";
const char* const kMp3FilterWarning =
    "Warning: the filtering options are for EXPERT users only. Enabling them may cause ringing "
    "and twinkling!";

void CMp3CbrPage::Load(const CSettings& s) {
    freqSel = ListPos(s.MP3.LameFreq, kRateItems);
    bitsSel = ListPos(s.MP3.LameBits, kBitrateItems);
    channelSel = ListPos(s.MP3.LameChannel, 4);
    quality = InRange(s.MP3.LameQuality, 0, 9) ? s.MP3.LameQuality : 5;
}
void CMp3CbrPage::Reset() { Load(CSettings{}); }
void CMp3CbrPage::OnShown(CSettings& s) const { s.MP3.LameTab = 1; }
std::string CMp3CbrPage::qualityText() const { return Fmt("Encoder Quality: %d", quality); }
std::vector<std::string> CMp3CbrPage::channelItems() {
    return {" Mono", " Stereo", " Joint Stereo", " Dual Channel"};
}
PageResult CMp3CbrPage::Apply(CSettings& s, bool refreshing) const {
    if (refreshing) return Refused();
    if (!InRange(quality, 0, 9)) return Refused(RangeMessage(0, 9));
    Store(s.MP3.LameFreq, freqSel);
    Store(s.MP3.LameBits, bitsSel);
    Store(s.MP3.LameChannel, channelSel);
    s.MP3.LameQuality = static_cast<int16_t>(quality);
    return Applied();
}

void CMp3VbrPage::Load(const CSettings& s) {
    codingMode = ListPos(s.MP3.LameCodingMode, 5);
    minSel = ListPos(s.MP3.LameMinVBRBit, kBitrateItems);
    maxSel = ListPos(s.MP3.LameMaxVBRBit, kBitrateItems);
    quality = InRange(s.MP3.LameQualityVBR, 0, 1000) ? s.MP3.LameQualityVBR : 500;
    targetBit = s.MP3.LameTargetBit;
    writeHeader = s.MP3.LameWriteHead != 0;
    bitReservoir = s.MP3.LameBitsRes != 0;
}
void CMp3VbrPage::Reset() { Load(CSettings{}); }
void CMp3VbrPage::OnShown(CSettings& s) const { s.MP3.LameTab = 3; }
std::string CMp3VbrPage::qualityText() const { return Fmt("VBR Quality : %.2f", quality / 100.0); }
std::vector<std::string> CMp3VbrPage::codingModeItems() {
    return {" Default", " Old", " New", " MTRH", " ABR"};
}
PageResult CMp3VbrPage::Apply(CSettings& s, bool refreshing) const {
    if (refreshing) return Refused();
    if (minSel >= 0 && maxSel >= 0 && minSel > maxSel) return Refused("Invalid VBR Bitrate!");
    if (!InRange(targetBit, 8, 320)) return Refused(RangeMessage(8, 320));
    if (!InRange(quality, 0, 1000)) return Refused(RangeMessage(0, 1000));
    Store(s.MP3.LameCodingMode, codingMode);
    Store(s.MP3.LameMinVBRBit, minSel);
    Store(s.MP3.LameMaxVBRBit, maxSel);
    s.MP3.LameQualityVBR = static_cast<int16_t>(quality);
    s.MP3.LameTargetBit = static_cast<int16_t>(targetBit);
    s.MP3.LameWriteHead = writeHeader;
    s.MP3.LameBitsRes = bitReservoir;
    return Applied();
}

void CMp3PresetPage::Load(const CSettings& s) { presetSel = ListPos(s.MP3.LamePreset, kLamePresetCount); }
void CMp3PresetPage::Reset() { Load(CSettings{}); }
void CMp3PresetPage::OnShown(CSettings& s) const { s.MP3.LameTab = 5; }
std::vector<std::string> CMp3PresetPage::presetItems() {
    std::vector<std::string> items;
    for (int i = 0; i < kLamePresetCount; ++i) items.push_back(LamePresetAt(i)->entry);
    return items;
}
std::string CMp3PresetPage::description() const {
    const LamePresetInfo* p = LamePresetAt(presetSel);
    return p ? p->description : "";
}
PageResult CMp3PresetPage::Apply(CSettings& s, bool refreshing) const {
    if (refreshing) return Refused();
    Store(s.MP3.LamePreset, presetSel);
    return Applied();
}

void CMp3FilterPage::Load(const CSettings& s) {
    highPass = s.MP3.LameHFil != 0;
    lowPass = s.MP3.LameLFil != 0;
    highFreq = s.MP3.LameHFilFreq;
    highWidth = s.MP3.LameHFilWid;
    lowFreq = s.MP3.LameLFilFreq;
    lowWidth = s.MP3.LameLFilWid;
}
void CMp3FilterPage::Reset() { Load(CSettings{}); }
PageResult CMp3FilterPage::Apply(CSettings& s, bool refreshing) const {
    if (refreshing) return Refused();
    for (int v : {highFreq, highWidth, lowFreq, lowWidth})
        if (!InRange(v, 0, 48000)) return Refused(RangeMessage(0, 48000));
    s.MP3.LameHFil = highPass;
    s.MP3.LameLFil = lowPass;
    s.MP3.LameHFilFreq = highFreq;
    s.MP3.LameHFilWid = highWidth;
    s.MP3.LameLFilFreq = lowFreq;
    s.MP3.LameLFilWid = lowWidth;
    return Applied();
}

void CMp3ExpertPage::Load(const CSettings& s) {
    complyIso = s.MP3.LameComplyISO != 0;
    copyright = s.MP3.LameCopyRight != 0;
    crc = s.MP3.LameCRC != 0;
    original = s.MP3.LameOriginal != 0;
    privateBit = s.MP3.LamePrivate != 0;
    id3 = InRange(s.MP3.LameID3, 0, 2) ? s.MP3.LameID3 : 0;
}
void CMp3ExpertPage::Reset() { Load(CSettings{}); }
std::vector<std::string> CMp3ExpertPage::id3Items() {
    return {"Add ID3 Tag V1 and V2", "Add ID3 Tag V1 Only", "Add ID3 Tag V2 Only"};
}
PageResult CMp3ExpertPage::Apply(CSettings& s, bool refreshing) const {
    if (refreshing) return Refused();
    s.MP3.LameComplyISO = complyIso;
    s.MP3.LameCopyRight = copyright;
    s.MP3.LameCRC = crc;
    s.MP3.LameOriginal = original;
    s.MP3.LamePrivate = privateBit;
    s.MP3.LameID3 = static_cast<int16_t>(InRange(id3, 0, 2) ? id3 : 0);
    return Applied();
}

// ------------------------------------------------------------------------------------
// OGG

void COggPage::Load(const CSettings& s) {
    qualityMode = s.OGG.Quality != 0;
    vbr = s.OGG.VBR != 0;
    mono = s.OGG.Channel == 0;
    quality = InRange(s.OGG.QualityCompression, -10, 100) ? s.OGG.QualityCompression : 35;
    freqSel = ListPos(s.OGG.Freq, kRateItems);
    nomiSel = ListPos(s.OGG.NomiBit, kBitrateItems);
    minSel = ListPos(s.OGG.MinBit, kBitrateItems);
    maxSel = ListPos(s.OGG.MaxBit, kBitrateItems);
}
void COggPage::Reset() { Load(CSettings{}); }
std::string COggPage::qualityText() const { return Fmt("Quality : %.2f", quality / 100.0); }

PageResult COggPage::Apply(CSettings& s, bool refreshing) const {
    if (refreshing) return Refused();
    const PageResult unsupported{false,
        "     OGG Audio Format NOT Supported!\nPlease Change the Parameters and Try Again!",
        "OGG audio format not supported!"};
    // The selections as they would be stored (nothing selected keeps the stored value).
    const int freq = freqSel >= 0 ? freqSel : s.OGG.Freq;
    const int nomi = nomiSel >= 0 ? nomiSel : s.OGG.NomiBit;
    const int minb = minSel >= 0 ? minSel : s.OGG.MinBit;
    const int maxb = maxSel >= 0 ? maxSel : s.OGG.MaxBit;
    if (!qualityMode && vbr && (maxb < nomi || nomi < minb)) return unsupported;
    const int32_t rate = SampleRateOf(freq);
    if (rate == 0 || BitrateOf(nomi) == 0 || !InRange(quality, -10, 100)) return unsupported;
    vorbis_info vi;
    vorbis_info_init(&vi);
    const int channels = mono ? 1 : 2;
    int r;
    if (qualityMode)
        r = vorbis_encode_init_vbr(&vi, channels, rate, quality * 0.01f);
    else if (vbr)
        r = vorbis_encode_init(&vi, channels, rate, BitrateOf(maxb) * 1000L, BitrateOf(nomi) * 1000L,
                               BitrateOf(minb) * 1000L);
    else
        r = vorbis_encode_init(&vi, channels, rate, -1, BitrateOf(nomi) * 1000L, -1);
    vorbis_info_clear(&vi);
    if (r != 0) return unsupported;

    s.OGG.Quality = qualityMode;
    s.OGG.VBR = vbr;
    s.OGG.Channel = mono ? 0 : 1;
    s.OGG.QualityCompression = static_cast<int16_t>(quality);
    s.OGG.Freq = static_cast<int16_t>(freq);
    s.OGG.NomiBit = static_cast<int16_t>(nomi);
    s.OGG.MinBit = static_cast<int16_t>(minb);
    s.OGG.MaxBit = static_cast<int16_t>(maxb);
    return Applied();
}

// ------------------------------------------------------------------------------------
// FLAC

void CFlacPage::Load(const CSettings& s) {
    oggFlac = s.FLAC.Native == 0;
    verify = s.FLAC.Verify != 0;
    levelSel = ListPos(s.FLAC.CompLev, 9);
    blockSel = ListPos(s.FLAC.BlockSize, 11);
}
void CFlacPage::Reset() { Load(CSettings{}); }
void CFlacPage::SetOggFlac(bool checked, Prompter& prompter) {
    oggFlac = checked && prompter.AskYesNo(kOggFlacQuestion);
}
std::vector<std::string> CFlacPage::levelItems() {
    return {" 0 (Fastest)", " 1", " 2", " 3", " 4", " 5 (Default)", " 6", " 7", " 8 (Best)"};
}
std::vector<std::string> CFlacPage::blockSizeItems() {
    return {" Use Default", " 192 Samples", " 256 Samples", " 512 Samples", " 576 Samples",
            "1024 Samples", "1152 Samples", "2048 Samples", "2304 Samples", "4096 Samples",
            "4608 Samples"};
}
PageResult CFlacPage::Apply(CSettings& s, bool refreshing) const {
    if (refreshing) return Refused();
    s.FLAC.Native = oggFlac ? 0 : 1;
    s.FLAC.Verify = verify;
    Store(s.FLAC.CompLev, levelSel);
    Store(s.FLAC.BlockSize, blockSel);
    return Applied();
}

// ------------------------------------------------------------------------------------
// APE

std::vector<std::string> CApePage::levelItems() { return {" Fast", " Normal", " High", " Extra High", " Insane"}; }
int CApePage::LevelOf(int sel) { return InRange(sel, 0, 4) ? (sel + 1) * 1000 : 0; }
void CApePage::Load(const CSettings& s) {
    const int v = s.APE.CompLev;
    levelSel = (v % 1000 == 0 && InRange(v / 1000, 1, 5)) ? v / 1000 - 1 : -1;
}
void CApePage::Reset() { Load(CSettings{}); }
PageResult CApePage::Apply(CSettings& s, bool refreshing) const {
    if (refreshing) return Refused();
    if (levelSel >= 0) s.APE.CompLev = static_cast<int16_t>(LevelOf(levelSel));
    return Applied();
}

// ------------------------------------------------------------------------------------
// WavPack

std::vector<std::string> CWavPackPage::modeItems() { return {" Pure Lossless Mode", " Hybrid Mode"}; }
std::vector<std::string> CWavPackPage::levelItems() { return {" Fast", " Normal", " High", " Very High"}; }
std::vector<std::string> CWavPackPage::stereoItems() { return {" Default", " Left/Right", " Mid/Side"}; }
std::vector<std::string> CWavPackPage::extraItems() {
    return {" Default", " 1 ", " 2", " 3", " 4 (Slow)", " 5 (Slower)", " 6 (Slowest)"};
}
void CWavPackPage::Load(const CSettings& s) {
    const auto& w = s.WV;
    modeSel = ListPos(w.EncMod, 2);
    levelSel = ListPos(w.ComLev, 4);
    stereoSel = ListPos(w.SteMod, 3);
    extraSel = ListPos(w.ExtMod, 7);
    enableBlockSize = w.EnableBlkSize != 0;
    blockSize = w.BlkSize;
    kbps = w.Kbps;
    maxHybrid = w.OptWvc != 0;
    correction = w.CrtWvc != 0;
    calcNoise = w.CalNos != 0;
    enableShape = w.EnableShape != 0;
    shape = w.Shape;
    merge = w.Merge != 0;
    dynamic = w.Dynamic != 0;
}
void CWavPackPage::Reset() { Load(CSettings{}); }
std::string CWavPackPage::blockSizeText() const {
    return enableBlockSize ? Fmt("Block Size: %5d Samples", blockSize) : "Block Size: Default";
}
std::string CWavPackPage::bitrateText() const {
    return maxHybrid ? "Bitrate: Maximum Hybrid Compression" : Fmt("Bitrate: %3d kbps", kbps);
}
std::string CWavPackPage::shapingText() const {
    return enableShape ? Fmt("Noise Shaping Override: %3.2f", shape / 100.0) : "Noise Shaping Override: Off";
}
PageResult CWavPackPage::Apply(CSettings& s, bool refreshing) const {
    if (refreshing) return Refused();
    if (enableBlockSize && !InRange(blockSize, kMinBlock, kMaxBlock)) return Refused(RangeMessage(kMinBlock, kMaxBlock));
    if (!InRange(kbps, kMinKbps, kMaxKbps)) return Refused(RangeMessage(kMinKbps, kMaxKbps));
    if (!InRange(shape, -100, 100)) return Refused(RangeMessage(-100, 100));
    auto& w = s.WV;
    Store(w.EncMod, modeSel);
    Store(w.ComLev, levelSel);
    Store(w.SteMod, stereoSel);
    Store(w.ExtMod, extraSel);
    w.EnableBlkSize = enableBlockSize;
    if (enableBlockSize) w.BlkSize = blockSize;
    w.Kbps = static_cast<int16_t>(kbps);
    w.OptWvc = maxHybrid;
    w.CrtWvc = correction;
    w.CalNos = calcNoise;
    w.EnableShape = enableShape;
    w.Shape = static_cast<int16_t>(shape);
    w.Merge = merge;
    w.Dynamic = dynamic;
    return Applied();
}

// ------------------------------------------------------------------------------------
// MP2

std::vector<std::string> CMp2Page::freqItems() {
    std::vector<std::string> all = SampleRateListEntries();
    return std::vector<std::string>(all.begin() + 3, all.end());
}
std::vector<std::string> CMp2Page::channelItems() {
    return {" Mono", " Auto", " Stereo", " Joint Stereo", " Dual Channel"};
}
void CMp2Page::Load(const CSettings& s) {
    freqPos = ListPos(s.MP2.Freq - 3, 6);
    bitsSel = ListPos(s.MP2.Bits, 18);
    channelSel = ListPos(s.MP2.Channel, 5);
    copyright = s.MP2.CopyRight != 0;
    original = s.MP2.Original != 0;
}
void CMp2Page::Reset() { Load(CSettings{}); }
PageResult CMp2Page::Apply(CSettings& s, bool refreshing) const {
    if (refreshing) return Refused();
    if (freqPos >= 0) s.MP2.Freq = static_cast<int16_t>(freqPos + 3);
    Store(s.MP2.Bits, bitsSel);
    Store(s.MP2.Channel, channelSel);
    s.MP2.CopyRight = copyright;
    s.MP2.Original = original;
    return Applied();
}

// ------------------------------------------------------------------------------------
// VQF

std::vector<std::string> CVqfPage::profileItems() {
    std::vector<std::string> items;
    for (int p = 1; p <= kVqfProfileCount; ++p) items.push_back(VqfProfileAt(p)->entry);
    return items;
}
void CVqfPage::Load(const CSettings& s) {
    profileSel = ListPos(s.VQF.Profile - 1, kVqfProfileCount);
    quality = InRange(s.VQF.Quality, kMinQuality, kMaxQuality) ? s.VQF.Quality : 16;
}
void CVqfPage::Reset() { Load(CSettings{}); }
std::string CVqfPage::qualityText() const { return Fmt("Quality: %2d", quality); }
PageResult CVqfPage::Apply(CSettings& s, bool refreshing) const {
    if (refreshing) return Refused();
    if (!InRange(quality, kMinQuality, kMaxQuality)) return Refused(RangeMessage(kMinQuality, kMaxQuality));
    if (profileSel >= 0) s.VQF.Profile = static_cast<int16_t>(profileSel + 1);
    s.VQF.Quality = static_cast<int16_t>(quality);
    return Applied();
}

// ------------------------------------------------------------------------------------
// WMA

namespace {

struct WmaGroup {
    int mode, codec, offset, count;
};
const WmaGroup kWmaGroups[] = {
    {0, 0, 1, 4}, {0, 1, 5, 7}, {0, 2, 12, 44}, {0, 3, 56, 39},
    {1, 0, 95, 8}, {1, 1, 103, 18}, {2, 0, 121, 5},
};

const WmaGroup* FindWmaGroup(int mode, int codec) {
    for (const WmaGroup& g : kWmaGroups)
        if (g.mode == mode && g.codec == codec) return &g;
    return nullptr;
}

}  // namespace

std::vector<std::string> CWmaPage::modeItems() {
    return {" CBR", " Quality VBR (Lossy)", " Quality VBR (Lossless)"};
}
std::vector<std::string> CWmaPage::codecItems() const {
    switch (modeSel) {
    case 0:
        return {" ACELP.net", " Windows Media Audio Voice 9", " Windows Media Audio 9.2",
                " Windows Media Audio 10 Professional"};
    case 1: return {" Windows Media Audio 9.2", " Windows Media Audio 10 Professional"};
    case 2: return {" Windows Media Audio 9.2 Lossless"};
    default: return {};
    }
}
std::vector<std::string> CWmaPage::presetItems() const {
    std::vector<std::string> items;
    if (const WmaGroup* g = FindWmaGroup(modeSel, codecSel))
        for (int i = 0; i < g->count; ++i) items.push_back(WmaProfileEntry(g->offset + i));
    return items;
}
void CWmaPage::Load(const CSettings& s) {
    modeSel = codecSel = presetSel = -1;
    for (const WmaGroup& g : kWmaGroups) {
        if (s.WMA.Profile >= g.offset && s.WMA.Profile < g.offset + g.count) {
            modeSel = g.mode;
            codecSel = g.codec;
            presetSel = s.WMA.Profile - g.offset;
        }
    }
}
void CWmaPage::Reset() { Load(CSettings{}); }
void CWmaPage::SelectMode(int mode) {
    modeSel = InRange(mode, 0, 2) ? mode : -1;
    codecSel = modeSel >= 0 ? 0 : -1;
    presetSel = modeSel >= 0 ? 0 : -1;
}
void CWmaPage::SelectCodec(int codec) {
    codecSel = FindWmaGroup(modeSel, codec) ? codec : -1;
    presetSel = codecSel >= 0 ? 0 : -1;
}
int CWmaPage::Profile() const {
    const WmaGroup* g = FindWmaGroup(modeSel, codecSel);
    if (!g || !InRange(presetSel, 0, g->count - 1)) return 0;
    return g->offset + presetSel;
}
PageResult CWmaPage::Apply(CSettings& s, bool refreshing) const {
    if (refreshing) return Refused();
    if (int p = Profile()) s.WMA.Profile = static_cast<int16_t>(p);
    return Applied();
}

}  // namespace quarrow
