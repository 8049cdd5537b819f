// The output format model: which format a rip writes (identifiers 1..31), the shared
// sample-rate and bit-rate index tables, the containers' sub-format and extension
// lists, the sample path the rip start-up derives from the settings, and the one-line
// summary shown as "Output Audio Format:" with its "Set audio format: " log line.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace quarrow {

struct CSettings;
class CEventLog;

// Stored as OUTPUT/OutputFormat; list position on the "Encoder" page = identifier - 1.
enum class OutputFormatId : int16_t {
    WAV = 1, MP3 = 2, WMA = 3, OGG = 4, APE = 5, FLAC = 6, MP2 = 7, VQF = 8, AIFF = 9,
    AAC = 10, MPC = 11, WV = 12, AU = 13, RAW = 14, PAF = 15, SVX = 16, NIST = 17,
    IRCAM = 18, VOC = 19, W64 = 20, MAT4 = 21, MAT5 = 22, PVF = 23, XI = 24, HTK = 25,
    CAF = 26, SDS = 27, AVR = 28, WAVEX = 29, SD2 = 30, Custom = 31,
};

constexpr int kFirstOutputFormat = 1;
constexpr int kLastOutputFormat = 31;
constexpr int kFirstOtherFormat = 13;   // AU: first format kept in the OTHER arrays
constexpr int kLastOtherFormat = 30;    // SD2

// index -> Hz; every Freq-style setting stores an index into it (default 7, 44100 Hz).
inline constexpr std::array<int32_t, 11> SampleRateTable = {
    8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000, 88200, 96000};
// index -> kbps; every bit-rate-style setting stores an index into it (default 11, 128).
inline constexpr std::array<int16_t, 18> BitrateTable = {
    8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384};
constexpr int kDefaultRateIndex = 7;
constexpr int kDefaultBitrateIndex = 11;

// Table look-ups that tolerate damaged settings: 0 for an index outside the table.
int32_t SampleRateOf(int index);
int32_t BitrateOf(int index);

bool IsValidOutputFormat(int id);
// Formats written through the sample-container library: 1 WAV, 9 AIFF, 13..30.
bool IsContainerFormat(int id);
// Formats whose settings live in the OTHER arrays (13..30), at index id - 13.
bool IsOtherFormat(int id);

// The "Audio Format:" list entry (" WAV    (Waveform Audio)"); empty outside 1..31.
const std::string& FormatListEntry(int id);
const std::vector<std::string>& FormatListEntries();   // the 31 entries in list order
// The word before the parenthesis ("WAV", "WAVEX"); "User-Customized" for 31.
std::string FormatShortName(int id);
// Identifier from a number ("6") or a short name ("flac", case-insensitive); 0 if none.
int ParseOutputFormatId(const std::string& text);

// The "Codec:" list of a container (each label with its leading blank); empty for
// every other format.
const std::vector<std::string>& SubFormatList(int id);
// The "File Extension:" list: formats 13..30 from their table, AIFF " AIFF", " AIFC",
// " AIF"; empty for every other format (WAV's extension is fixed).
const std::vector<std::string>& ExtensionList(int id);
// The label at a sub-format index, or empty when the index lies beyond the list.
std::string SubFormatLabel(int id, int index);
// Sub-formats that are always written with one channel (GSM 6.10 in WAV, every SVX...).
bool IsMonoOnlySubFormat(int id, int index);

// The "Sampling Frequency:" entries for indices 0..8: "  8000 Hertz" .. " 48000 Hertz".
std::vector<std::string> SampleRateListEntries();
// The bit-rate entries "   8 kbits per second" .. " 320 kbits per second" (indices
// 0..16), with " 384 kbits per second" as index 17 when withTop is set (MP2 page).
std::vector<std::string> BitrateListEntries(bool withTop = false);

// A container's stored choices, read from WAV/..., AIFF/... or OTHER/...%d.
struct ContainerChoice {
    int subFormat = 0;
    int ext = 0;          // AIFF/Ext or OTHER/Ext%d; 0 for WAV
    int freq = kDefaultRateIndex;
    int channel = 1;      // channel flag: 0 mono, 1 stereo
};
ContainerChoice GetContainerChoice(const CSettings& s, int id);
void SetContainerChoice(CSettings& s, int id, const ContainerChoice& c);

// The applied format: what the rip start-up derives from the settings. floatPath:
// samples travel as floats in [-1, 1] (resampling, or an encoder that wants floats);
// ratio = output rate / 44100 (1.0 without resampling).
struct COutputFormat {
    int id = static_cast<int>(OutputFormatId::MP3);
    int32_t sampleRate = 44100;   // rate of the samples the encoder receives
    int channels = 2;             // 1 exactly when mono
    bool mono = false;
    bool floatPath = false;
    bool resample = false;
    double ratio = 1.0;
    int subFormat = -1;           // containers: stored sub-format index; -1 otherwise
    std::string subFormatLabel;   // containers: label without leading blank ("" if beyond list)
    std::string error;            // set when the settings cannot be ripped (named value)

    bool ok() const { return error.empty(); }
    // Derives the shape from settings.OUTPUT.OutputFormat and that format's settings.
    static COutputFormat FromSettings(const CSettings& s);
};

// The customised-encoder check: the program must exist, the parameters and the file
// extension must not be empty. Returns the first failure's message, empty when fine.
std::string CheckCustomEncoder(const CSettings& s);

// The summary line of the current format (no side effects except the MP2 check, which
// resets rejected MP2 settings). previousLine is kept where a setting has no text of
// its own (an APE level outside 1000..5000, a WMA profile outside 1..125).
struct FormatSummary {
    std::string line;       // the "Output Audio Format:" text
    std::string logLine;    // "Set audio format: ..."
    std::vector<std::string> errors;   // log lines of checks that failed (level 2)
};
FormatSummary BuildOutputFormatSummary(CSettings& s, const std::string& previousLine = "");

// Builds the summary, logs the check errors and the "Set audio format: " line, and
// returns the line to show.
std::string UpdateOutputFormatSummary(CSettings& s, CEventLog& log,
                                      const std::string& previousLine = "");

// MP2 parameters as the TwoLAME library sees them; true when it accepts them.
bool CheckMp2Parameters(const CSettings& s);

// Per-format tables that the pages and the encoder drivers share.

// "Lame Preset" list: LamePreset index -> entry, code passed to the library, the
// description shown under the list and the name in the summary line.
struct LamePresetInfo {
    const char* entry;         // " Fast Medium"
    int32_t code;              // 14
    const char* description;
    const char* summaryName;   // "Fast Medium;"
};
inline constexpr int kLamePresetCount = 18;
const LamePresetInfo* LamePresetAt(int index);   // nullptr outside 0..17

// VQF profiles 1..18: page entry, rate in kHz as the encoder takes it, mode 0 mono /
// 1 stereo, bit rate in kbps, and the rate in Hz.
struct VqfProfileInfo {
    const char* entry;
    int kHz;
    int mode;
    int kbps;
    int32_t rateHz;
};
inline constexpr int kVqfProfileCount = 18;
const VqfProfileInfo* VqfProfileAt(int profile);  // 1-based; nullptr outside 1..18

// FLAC block size choice 0..10 -> block size (0 lets the level decide); -1 outside.
int32_t FlacBlockSizeOf(int choice);

// WMA profiles 1..125: the preset entry of the profile (with its leading blank), empty
// outside the range. The description shown in the summary is the entry without it.
inline constexpr int kWmaProfileCount = 125;
std::string WmaProfileEntry(int profile);

}  // namespace quarrow
