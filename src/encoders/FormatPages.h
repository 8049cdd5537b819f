// The encoder option pages as models without widgets: each page loads its values from
// the settings, keeps them while the user edits, answers what its controls show
// (list texts, enabled states, slider captions), checks them, and writes them back on
// Apply. Apply refuses while a disc refresh runs; a refusal with a message carries the
// box text the page shows. The Qt pages only bind widgets to these.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/Settings.h"

namespace quarrow {

class Prompter;

struct PageResult {
    bool applied = false;
    std::string message;     // box text when the page refuses for a reason of its own
    std::string logLine;     // event-log line that goes with the box, if any
};

// The "Please enter an integer between %d and %d." check of numeric edit boxes.
std::string RangeMessage(int low, int high);

// ------------------------------------------------------------------------------------
// "Encoder": the format list, the dependent controls of formats 13..30, normalisation,
// leveling and resampling.
class CEncoderOptionPage {
public:
    void Load(const CSettings& s);
    void Reset();                                    // the compiled-in defaults
    // A change of the "Audio Format:" list (position = identifier - 1). Position 30
    // checks the customised encoder against `s`; on failure the list falls back to MP3.
    void SelectFormat(int position, const CSettings& s, Prompter& prompter);
    void SelectCodec(int index);                     // applies the mono-only rule
    void SetMono(bool mono);                         // refused while Stereo is disabled
    void SetNormalize(bool on) { normalize = on; }
    PageResult Apply(CSettings& s, bool refreshing) const;

    int formatSel = 1;
    int freqSel = -1, extSel = -1, codecSel = -1;
    bool mono = false;
    bool normalize = false, leveling = true, resample = true;
    int norPer = 100;                                // edit box text as a number

    std::vector<std::string> formatItems() const;
    std::vector<std::string> freqItems, extItems, codecItems;
    bool dependentEnabled = false;                   // the four controls of 13..30
    bool stereoEnabled = false;
    bool norPerEnabled() const { return normalize; }

private:
    void FillDependent();
    CSettings::Other stored_;
};

// "Encoder::WAV" and the AIFF page: rate, channel mode, codec (and AIFF's extension).
class CContainerFormatPage {
public:
    explicit CContainerFormatPage(int id) : id_(id) {}
    void Load(const CSettings& s);
    void Reset();
    void SelectCodec(int index);
    void SetMono(bool mono);
    PageResult Apply(CSettings& s, bool refreshing) const;

    int freqSel = 7, codecSel = 0, extSel = 0;
    bool mono = false;
    bool stereoEnabled = true;
    std::vector<std::string> freqItems() const;
    const std::vector<std::string>& codecItems() const;
    const std::vector<std::string>& extItems() const;   // empty for WAV
    int id() const { return id_; }

private:
    int id_;
};

// ------------------------------------------------------------------------------------
// MP3 pages. Showing the CBR, VBR or Preset page sets MP3/LameTab to 1, 3 or 5 at once.
extern const char* const kMp3ParentText;      // "Encoder::MP3"
extern const char* const kMp3CbrNote;
extern const char* const kMp3FilterWarning;

class CMp3CbrPage {
public:
    void Load(const CSettings& s);
    void Reset();
    void OnShown(CSettings& s) const;
    PageResult Apply(CSettings& s, bool refreshing) const;
    std::string qualityText() const;                 // "Encoder Quality: %d"
    static std::vector<std::string> channelItems();

    int freqSel = 7, bitsSel = 11, channelSel = 2, quality = 5;   // quality slider 0..9
};

class CMp3VbrPage {
public:
    void Load(const CSettings& s);
    void Reset();
    void OnShown(CSettings& s) const;
    PageResult Apply(CSettings& s, bool refreshing) const;   // "Invalid VBR Bitrate!"
    std::string qualityText() const;                 // "VBR Quality : %.2f"
    static std::vector<std::string> codingModeItems();
    bool abrTargetEnabled() const { return codingMode == 4; }
    // ABR passes no minimum, maximum or VBR quality: their controls rest meanwhile.
    bool vbrControlsEnabled() const { return codingMode != 4; }

    int codingMode = 2, minSel = 0, maxSel = 16, quality = 500;   // quality slider 0..1000
    int targetBit = 128;                             // ABR target, kbps (8..320)
    bool writeHeader = true, bitReservoir = true;
};

class CMp3PresetPage {
public:
    void Load(const CSettings& s);
    void Reset();
    void OnShown(CSettings& s) const;
    PageResult Apply(CSettings& s, bool refreshing) const;
    static std::vector<std::string> presetItems();
    std::string description() const;                // shown under the list

    int presetSel = 1;
};

class CMp3FilterPage {
public:
    void Load(const CSettings& s);
    void Reset();
    PageResult Apply(CSettings& s, bool refreshing) const;   // frequencies and widths 0..48000

    bool highPass = false, lowPass = false;
    int highFreq = 30, highWidth = 5, lowFreq = 15160, lowWidth = 750;
};

class CMp3ExpertPage {
public:
    void Load(const CSettings& s);
    void Reset();
    PageResult Apply(CSettings& s, bool refreshing) const;
    static std::vector<std::string> id3Items();      // the three radio buttons

    bool complyIso = false, copyright = false, crc = false, original = false, privateBit = false;
    int id3 = 0;
};

// ------------------------------------------------------------------------------------
// "Encoder::OGG"
class COggPage {
public:
    void Load(const CSettings& s);
    void Reset();
    // Tries the parameters with libvorbis; on failure returns the box and the log line.
    PageResult Apply(CSettings& s, bool refreshing) const;
    std::string qualityText() const;                 // "Quality : %.2f"
    bool qualityEnabled() const { return qualityMode; }
    bool nominalEnabled() const { return !qualityMode; }
    bool minMaxEnabled() const { return !qualityMode && vbr; }

    bool qualityMode = true, vbr = false, mono = false;
    int quality = 35;                                // slider -10..100
    int freqSel = 7, nomiSel = 11, minSel = 11, maxSel = 11;
};

// "Encoder::FLAC"
class CFlacPage {
public:
    void Load(const CSettings& s);
    void Reset();
    // Checking "Ogg FLAC" asks first and keeps the box checked only on Yes.
    void SetOggFlac(bool checked, Prompter& prompter);
    PageResult Apply(CSettings& s, bool refreshing) const;
    static std::vector<std::string> levelItems();
    static std::vector<std::string> blockSizeItems();

    bool oggFlac = false, verify = false;
    int levelSel = 5, blockSel = 0;
};

// "Encoder::APE"
class CApePage {
public:
    void Load(const CSettings& s);
    void Reset();
    PageResult Apply(CSettings& s, bool refreshing) const;
    static std::vector<std::string> levelItems();
    static int LevelOf(int sel);                     // 1000..5000; 0 outside the list

    int levelSel = 2;                                // -1 when the stored level is not listed
};

// The WavPack page.
class CWavPackPage {
public:
    static constexpr int kMinBlock = 128, kMaxBlock = 131072;
    static constexpr int kMinKbps = 24, kMaxKbps = 1411;
    void Load(const CSettings& s);
    void Reset();
    PageResult Apply(CSettings& s, bool refreshing) const;
    static std::vector<std::string> modeItems();
    static std::vector<std::string> levelItems();
    static std::vector<std::string> stereoItems();
    static std::vector<std::string> extraItems();
    std::string blockSizeText() const;               // "Block Size: Default" / "%5d Samples"
    std::string bitrateText() const;                 // "Bitrate: %3d kbps" / maximum
    std::string shapingText() const;                 // "Noise Shaping Override: ..."
    bool hybridEnabled() const { return modeSel == 1; }
    // The hybrid settings stay editable in lossless mode (they are kept for hybrid).
    bool kbpsEnabled() const { return !maxHybrid; }
    bool shapeEnabled() const { return enableShape; }
    // Dynamic shaping is what the encoder does without the override.
    bool dynamicEnabled() const { return !enableShape; }

    int modeSel = 0, levelSel = 1, stereoSel = 0, extraSel = 0;
    bool enableBlockSize = false;
    int blockSize = 65536;
    int kbps = 320;
    bool maxHybrid = false, correction = false, calcNoise = false;
    bool enableShape = false, merge = false, dynamic = false;
    int shape = 0;                                   // weight x 100, slider -100..100
};

// The MP2 page.
class CMp2Page {
public:
    void Load(const CSettings& s);
    void Reset();
    PageResult Apply(CSettings& s, bool refreshing) const;
    static std::vector<std::string> freqItems();     // " 16000 Hertz" .. " 48000 Hertz"
    static std::vector<std::string> channelItems();

    int freqPos = 4;                                 // list position = MP2/Freq - 3
    int bitsSel = 11, channelSel = 1;
    bool copyright = false, original = false;
};

// "Encoder::VQF"
class CVqfPage {
public:
    static constexpr int kMinQuality = 0, kMaxQuality = 30;
    void Load(const CSettings& s);
    void Reset();
    PageResult Apply(CSettings& s, bool refreshing) const;
    static std::vector<std::string> profileItems();
    std::string qualityText() const;                 // "Quality: %2d"

    int profileSel = 17;                             // list position = Profile - 1
    int quality = 16;
};

// "Encoder::WMA": the profile number from mode, codec and preset.
class CWmaPage {
public:
    void Load(const CSettings& s);
    void Reset();
    void SelectMode(int mode);                       // first codec, first preset
    void SelectCodec(int codec);                     // first preset
    void SelectPreset(int preset) { presetSel = preset; }
    int Profile() const;                             // 0 when nothing is selected
    PageResult Apply(CSettings& s, bool refreshing) const;
    static std::vector<std::string> modeItems();
    std::vector<std::string> codecItems() const;
    std::vector<std::string> presetItems() const;

    int modeSel = 0, codecSel = 2, presetSel = 35;
};

// ------------------------------------------------------------------------------------
// External encoder pages.

// Whether a program of the external encoders is available (home/External/NAME, then
// PATH). Replaceable for tests.
using ProgramFinder = std::function<bool(const std::string& name)>;
ProgramFinder DefaultProgramFinder(const std::string& homeFolder);

// The AAC page.
class CAacPage {
public:
    void Load(const CSettings& s);
    void Reset();
    // Nero and CT AAC+ need their programs; a warning returns the choice to FAAC.
    void SelectEncoder(int encoder, const ProgramFinder& find, Prompter& prompter);
    void SelectContainer(int container, Prompter& prompter);
    PageResult Apply(CSettings& s, bool refreshing) const;
    static std::vector<std::string> encoderItems();
    static std::vector<std::string> containerItems();
    static std::vector<std::string> faacObjectItems();
    static std::vector<std::string> faacBlockItems();
    static std::vector<std::string> neroProfileItems();
    static std::vector<std::string> ctProfileItems();
    std::string faacQualityText() const;             // "Quality: %3d" (slider 10..500)
    std::string faacAbrText() const;                 // "ABR: %3d kbps" (slider 60..152)

    CSettings::Aac v;                                // the working values
};

// The MPC page.
class CMpcPage {
public:
    void Load(const CSettings& s);
    void Reset();
    void SelectPreset(int preset);                   // 0..6 move the slider; 7 keeps it
    // Moving the slider off a preset's own quality makes the choice " Customized".
    void SetQuality(int q);
    PageResult Apply(CSettings& s, bool refreshing) const;
    static std::vector<std::string> extItems();
    static std::vector<std::string> presetItems();
    std::string qualityText() const;                 // "Quality: %3.2f "

    int extSel = 0, presetSel = 3;
    int quality = 50;                                // slider 0..100 (quality x 10)
};

// "Encoder::Customized" with its Load and Save of ".ces" setting files.
class CCustomPage {
public:
    static constexpr std::size_t kMaxParameter = 1024, kMaxExtension = 8;
    void Load(const CSettings& s);
    void Reset();
    // The edit boxes take at most their limit.
    void SetParameter(const std::string& text) { parameter = text.substr(0, kMaxParameter); }
    void SetExtension(const std::string& text) { extension = text.substr(0, kMaxExtension); }
    std::string Check() const;                       // the three checks; empty when fine
    PageResult Apply(CSettings& s, bool refreshing) const;
    // "Save": checks, then writes the file; returns the box text on failure.
    std::string SaveSettingFile(const std::string& path) const;
    // "Load": reads and checks; the page keeps its values on failure.
    std::string LoadSettingFile(const std::string& path);
    static std::vector<std::string> inputItems();

    std::string encoder, parameter, extension;
    int input = 0;
    bool detail = true;
};

// CCusSetting serialisation: encoder, parameters, extension, input (16-bit), detail
// (32-bit). Decode returns false on a damaged or truncated file.
std::string EncodeCustomSetting(const CSettings::Custom& c);
bool DecodeCustomSetting(const std::string& bytes, CSettings::Custom& c);

}  // namespace quarrow
