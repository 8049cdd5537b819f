// The output format model's tables, the applied format and the summary line.
#include "encoders/OutputFormat.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include <twolame.h>

#include "app/EventLog.h"
#include "app/Settings.h"
#include "encoders/FormatTable.h"

namespace quarrow {

namespace {

std::string Fmt(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Fmt(const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n < 0) return std::string();
    return std::string(buffer, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof buffer - 1));
}


using List = std::vector<std::string>;
const List kEmpty;

const List kWavCodecs = {" Unsigned 8 bit PCM", " Signed 16 bit PCM", " Signed 24 bit PCM",
    " Signed 32 bit PCM", " 32 bit float", " 64 bit double", " u-law", " A-law", " IMA ADPCM",
    " MS ADPCM", " GSM 6.10", " G721 ADPCM 32kbps"};
const List kAiffCodecs = {" Unsigned 8 bit PCM", " Signed 8 bit PCM", " Signed 16 bit PCM",
    " Signed 24 bit PCM", " Signed 32 bit PCM", " 32 bit float", " 64 bit double", " u-law",
    " A-law", " IMA ADPCM", " GSM 6.10", " 12 bit DWVW", " 16 bit DWVW", " 24 bit DWVW"};
const List kAiffExts = {" AIFF", " AIFC", " AIF"};

struct OtherLists {
    List exts;
    List codecs;
};

// Formats 13..30 in identifier order.
const std::array<OtherLists, 18> kOther = {{
    {{" au", " snd"}, {" Signed 8 bit PCM", " Signed 16 bit PCM", " Signed 24 bit PCM",
        " Signed 32 bit PCM", " 32 bit float", " 64 bit double", " u-law", " A-law",
        " G721 ADPCM 32kbps", " G723 ADPCM 24kbps", " G723 ADPCM 40kbps"}},
    {{" raw", " gsm", " vox"}, {" Unsigned 8 bit PCM", " Signed 8 bit PCM", " Signed 16 bit PCM",
        " Signed 24 bit PCM", " Signed 32 bit PCM", " 32 bit float", " 64 bit double", " u-law",
        " A-law", " GSM 6.10", " Dialogic ADPCM", " 12 bit DWVW ", " 16 bit DWVW", " 24 bit DWVW"}},
    {{" fap", " paf"}, {" Signed 8 bit PCM", " Signed 16 bit PCM", " Signed 24 bit PCM"}},
    {{" svx", " 8svx", " iff"}, {" Signed 8 bit PCM", " Signed 16 bit PCM"}},
    {{" nist"}, {" Signed 8 bit PCM", " Signed 16 bit PCM", " Signed 24 bit PCM",
        " Signed 32 bit PCM", " u-law", " A-law"}},
    {{" ircam", " sf"}, {" Signed 16 bit PCM", " Signed 32 bit PCM", " 32 bit float", " u-law",
        " A-law"}},
    {{" voc"}, {" Unsigned 8 bit PCM", " Signed 16 bit PCM", " u-law", " A-law"}},
    {{" w64"}, {" Unsigned 8 bit PCM", " Signed 16 bit PCM", " Signed 24 bit PCM",
        " Signed 32 bit PCM", " 32 bit float", " 64 bit double", " u-law", " A-law", " IMA ADPCM",
        " MS ADPCM", " GSM 6.10"}},
    {{" mat4", " mat"}, {" Signed 16 bit PCM", " Signed 32 bit PCM", " 32 bit float",
        " 64 bit double"}},
    {{" mat5"}, {" Unsigned 8 bit PCM", " Signed 16 bit PCM", " Signed 32 bit PCM", " 32 bit float",
        " 64 bit double"}},
    {{" pvf"}, {" Signed 8 bit PCM", " Signed 16 bit PCM", " Signed 32 bit PCM"}},
    {{" xi"}, {" 8 bit DPCM", " 16 bit DPCM"}},
    {{" htk"}, {" Signed 16 bit PCM"}},
    {{" caf"}, {" Signed 8 bit PCM", " Signed 16 bit PCM", " Signed 24 bit PCM",
        " Signed 32 bit PCM", " 32 bit float", " 64 bit double", " u-law", " A-law"}},
    {{" sds"}, {" Signed 8 bit PCM", " Signed 16 bit PCM", " Signed 24 bit PCM"}},
    {{" avr"}, {" Unsigned 8 bit PCM", " Signed 8 bit PCM", " Signed 16 bit PCM"}},
    {{" wavex"}, {" Unsigned 8 bit PCM", " Signed 16 bit PCM", " Signed 24 bit PCM",
        " Signed 32 bit PCM", " 32 bit float", " 64 bit double", " u-law", " A-law"}},
    {{" sd2"}, {" Signed 8 bit PCM", " Signed 16 bit PCM", " Signed 24 bit PCM"}},
}};

const char* const kMediumText =
    "VBR quality 4, target bitrate 165 kbps, bitrate range 145 - 185 kbps. This preset should "
    "provide near transparency to most people on most music.";
const char* const kStandardText =
    "VBR quality 2, target bitrate 190 kbps, bitrate range 170 - 210 kbps. This preset should "
    "generally be transparent to most people on most music and is already quite high in quality.";
const char* const kExtremeText =
    "VBR quality 0, target bitrate 245 kbps, bitrate range 220 - 260 kbps. If you have extremely "
    "good hearing and similar equipment, this preset will generally provide slightly higher "
    "quality than the \"Standard\" mode.";

const LamePresetInfo kLamePresets[kLamePresetCount] = {
    {" Fast Medium", 14, kMediumText, "Fast Medium;"},
    {" Medium", 13, kMediumText, "Medium;"},
    {" Fast Standard", 7, kStandardText, "Fast Standard;"},
    {" Standard", 6, kStandardText, "Standard;"},
    {" Fast Extreme", 9, kExtremeText, "Fast Extreme;"},
    {" Extreme", 8, kExtremeText, "Extreme;"},
    {" Insane", 10,
     "CBR 320 kbps. This preset will usually be overkill for most people and most situations, "
     "but if you must have the absolute highest quality with no regard to filesize, this is the "
     "way to go.",
     "Insane;"},
    {" R3Mix", 4, "VBR quality 3", "R3Mix;"},
    {" Phone", 1000, "16kbps/Mono/ABR", "Phone;"},
    {" SW", 2000, "24kbps/Mono/ABR", "SW;"},
    {" AM", 3000, "40kbps/Mono/ABR", "AM;"},
    {" FM", 4000, "112kbps/Stereo/ABR", "FM;"},
    {" Voice", 5000, "56kbps/Mono/ABR", "Voice;"},
    {" Radio", 6000, "112kbps/Stereo/ABR", "Radio;"},
    {" Tape", 7000, "112kbps/Stereo/ABR", "Tape;"},
    {" Hifi", 8000, "160kbps/Stereo/ABR", "Hifi;"},
    {" CD", 9000, "192kbps/Stereo/ABR", "CD;"},
    {" Studio", 10000, "256kbps/Stereo/ABR", "Studio;"},
};

const VqfProfileInfo kVqfProfiles[kVqfProfileCount] = {
    {"  8,000 Hz;    Mono;   8 kbps;", 8, 0, 8, 8000},
    {"  8,000 Hz;  Stereo;  16 kbps;", 8, 1, 16, 8000},
    {" 11,025 Hz;    Mono;   8 kbps;", 11, 0, 8, 11025},
    {" 11,025 Hz;    Mono;  10 kbps;", 11, 0, 10, 11025},
    {" 11,025 Hz;  Stereo;  16 kbps;", 11, 1, 16, 11025},
    {" 11,025 Hz;  Stereo;  20 kbps;", 11, 1, 20, 11025},
    {" 16,000 Hz;    Mono;  16 kbps;", 16, 0, 16, 16000},
    {" 16,000 Hz;  Stereo;  32 kbps;", 16, 1, 32, 16000},
    {" 22,050 Hz;    Mono;  20 kbps;", 22, 0, 20, 22050},
    {" 22,050 Hz;    Mono;  24 kbps;", 22, 0, 24, 22050},
    {" 22,050 Hz;    Mono;  32 kbps;", 22, 0, 32, 22050},
    {" 22,050 Hz;  Stereo;  40 kbps;", 22, 1, 40, 22050},
    {" 22,050 Hz;  Stereo;  48 kbps;", 22, 1, 48, 22050},
    {" 22,050 Hz;  Stereo;  64 kbps;", 22, 1, 64, 22050},
    {" 44,100 Hz;    Mono;  40 kbps;", 44, 0, 40, 44100},
    {" 44,100 Hz;    Mono;  48 kbps;", 44, 0, 48, 44100},
    {" 44,100 Hz;  Stereo;  80 kbps;", 44, 1, 80, 44100},
    {" 44,100 Hz;  Stereo;  96 kbps;", 44, 1, 96, 44100},
};

const int32_t kFlacBlockSizes[] = {0, 192, 256, 512, 576, 1024, 1152, 2048, 2304, 4096, 4608};

// Profiles 1..125 in number order.
const char* const kWmaProfiles[kWmaProfileCount] = {
    " ACELP.net    5kbps;  8000 Hz; Mono;",
    " ACELP.net  6.5kbps;  8000 Hz; Mono;",
    " ACELP.net  8.5kbps;  8000 Hz; Mono;",
    " ACELP.net   16kbps; 16000 Hz; Mono;",
    " WMA Voice 9   4kbps;  8000 Hz; Mono;",
    " WMA Voice 9   5kbps;  8000 Hz; Mono;",
    " WMA Voice 9   8kbps;  8000 Hz; Mono;",
    " WMA Voice 9  10kbps; 11025 Hz; Mono;",
    " WMA Voice 9  12kbps; 16000 Hz; Mono;",
    " WMA Voice 9  16kbps; 16000 Hz; Mono;",
    " WMA Voice 9  20kbps; 22050 Hz; Mono;",
    " WMA 9.2    0kbps;  8000 Hz;   Mono; CBR;",
    " WMA 9.2    5kbps;  8000 Hz;   Mono; CBR;",
    " WMA 9.2    6kbps;  8000 Hz;   Mono; CBR;",
    " WMA 9.2    8kbps;  8000 Hz;   Mono; CBR;",
    " WMA 9.2    8kbps; 11025 Hz;   Mono; CBR;",
    " WMA 9.2   10kbps; 11025 Hz;   Mono; CBR;",
    " WMA 9.2   10kbps; 16000 Hz;   Mono; CBR;",
    " WMA 9.2   12kbps; 16000 Hz;   Mono; CBR;",
    " WMA 9.2   12kbps;  8000 Hz; Stereo; CBR;",
    " WMA 9.2   16kbps; 16000 Hz;   Mono; CBR;",
    " WMA 9.2   16kbps; 22050 Hz;   Mono; CBR;",
    " WMA 9.2   16kbps; 16000 Hz; Stereo; CBR;",
    " WMA 9.2   20kbps; 22050 Hz;   Mono; CBR;",
    " WMA 9.2   20kbps; 32000 Hz;   Mono; CBR;",
    " WMA 9.2   20kbps; 44100 Hz;   Mono; CBR;",
    " WMA 9.2   20kbps; 16000 Hz; Stereo; CBR;",
    " WMA 9.2   20kbps; 22050 Hz; Stereo; CBR;",
    " WMA 9.2   22kbps; 22050 Hz; Stereo; CBR;",
    " WMA 9.2   24kbps; 32000 Hz; Stereo; CBR;",
    " WMA 9.2   32kbps; 44100 Hz;   Mono; CBR;",
    " WMA 9.2   32kbps; 22050 Hz; Stereo; CBR;",
    " WMA 9.2   32kbps; 32000 Hz; Stereo; CBR;",
    " WMA 9.2   32kbps; 44100 Hz; Stereo; CBR;",
    " WMA 9.2   40kbps; 32000 Hz; Stereo; CBR;",
    " WMA 9.2   48kbps; 44100 Hz;   Mono; CBR;",
    " WMA 9.2   48kbps; 32000 Hz; Stereo; CBR;",
    " WMA 9.2   48kbps; 44100 Hz; Stereo; CBR;",
    " WMA 9.2   63kbps; 48000 Hz; Stereo; Low Delay CBR;",
    " WMA 9.2   64kbps; 44100 Hz; Stereo; CBR;",
    " WMA 9.2   64kbps; 48000 Hz; Stereo; CBR;",
    " WMA 9.2   80kbps; 44100 Hz; Stereo; CBR;",
    " WMA 9.2   95kbps; 48000 Hz; Stereo; Low Delay CBR;",
    " WMA 9.2   96kbps; 44100 Hz; Stereo; CBR;",
    " WMA 9.2   96kbps; 48000 Hz; Stereo; CBR;",
    " WMA 9.2  127kbps; 48000 Hz; Stereo; Low Delay CBR;",
    " WMA 9.2  128kbps; 44100 Hz; Stereo; CBR;",
    " WMA 9.2  128kbps; 48000 Hz; Stereo; CBR;",
    " WMA 9.2  160kbps; 44100 Hz; Stereo; CBR;",
    " WMA 9.2  160kbps; 48000 Hz; Stereo; CBR;",
    " WMA 9.2  191kbps; 48000 Hz; Stereo; Low Delay CBR;",
    " WMA 9.2  192kbps; 44100 Hz; Stereo; CBR;",
    " WMA 9.2  192kbps; 48000 Hz; Stereo; CBR;",
    " WMA 9.2  256kbps; 44100 Hz; Stereo; CBR;",
    " WMA 9.2  320kbps; 44100 Hz; Stereo; CBR;",
    " WMA 10 Pro   32kbps; 32000 Hz; 2 Channel; 16bit; CBR;",
    " WMA 10 Pro   48kbps; 44100 Hz; 2 Channel; 16bit; CBR;",
    " WMA 10 Pro   48kbps; 48000 Hz; 2 Channel; 16bit; CBR;",
    " WMA 10 Pro   64kbps; 44100 Hz; 2 Channel; 16bit; CBR;",
    " WMA 10 Pro   64kbps; 48000 Hz; 2 Channel; 16bit; CBR;",
    " WMA 10 Pro   80kbps; 44100 Hz; 2 Channel; 16bit; CBR;",
    " WMA 10 Pro   80kbps; 48000 Hz; 2 Channel; 16bit; CBR;",
    " WMA 10 Pro   96kbps; 44100 Hz; 2 Channel; 16bit; CBR;",
    " WMA 10 Pro   96kbps; 48000 Hz; 2 Channel; 16bit; CBR;",
    " WMA 10 Pro  127kbps; 48000 Hz; 2 Channel; 24bit; Low Delay CBR;",
    " WMA 10 Pro  128kbps; 44100 Hz; 2 Channel; 16bit; CBR;",
    " WMA 10 Pro  128kbps; 48000 Hz; 2 Channel; 16bit; CBR;",
    " WMA 10 Pro  128kbps; 44100 Hz; 2 Channel; 24bit; CBR;",
    " WMA 10 Pro  128kbps; 48000 Hz; 2 Channel; 24bit; CBR;",
    " WMA 10 Pro  128kbps; 88200 Hz; 2 Channel; 24bit; CBR;",
    " WMA 10 Pro  128kbps; 96000 Hz; 2 Channel; 24bit; CBR;",
    " WMA 10 Pro  160kbps; 44100 Hz; 2 Channel; 16bit; CBR;",
    " WMA 10 Pro  160kbps; 48000 Hz; 2 Channel; 16bit; CBR;",
    " WMA 10 Pro  191kbps; 48000 Hz; 2 Channel; 24bit; Low Delay CBR;",
    " WMA 10 Pro  192kbps; 44100 Hz; 2 Channel; 16bit; CBR;",
    " WMA 10 Pro  192kbps; 48000 Hz; 2 Channel; 16bit; CBR;",
    " WMA 10 Pro  192kbps; 44100 Hz; 2 Channel; 24bit; CBR;",
    " WMA 10 Pro  192kbps; 48000 Hz; 2 Channel; 24bit; CBR;",
    " WMA 10 Pro  192kbps; 88200 Hz; 2 Channel; 24bit; CBR;",
    " WMA 10 Pro  192kbps; 96000 Hz; 2 Channel; 24bit; CBR;",
    " WMA 10 Pro  256kbps; 44100 Hz; 2 Channel; 16bit; CBR;",
    " WMA 10 Pro  256kbps; 48000 Hz; 2 Channel; 16bit; CBR;",
    " WMA 10 Pro  256kbps; 44100 Hz; 2 Channel; 24bit; CBR;",
    " WMA 10 Pro  256kbps; 48000 Hz; 2 Channel; 24bit; CBR;",
    " WMA 10 Pro  256kbps; 88200 Hz; 2 Channel; 24bit; CBR;",
    " WMA 10 Pro  256kbps; 96000 Hz; 2 Channel; 24bit; CBR;",
    " WMA 10 Pro  384kbps; 44100 Hz; 2 Channel; 24bit; CBR;",
    " WMA 10 Pro  384kbps; 48000 Hz; 2 Channel; 24bit; CBR;",
    " WMA 10 Pro  384kbps; 88200 Hz; 2 Channel; 24bit; CBR;",
    " WMA 10 Pro  384kbps; 96000 Hz; 2 Channel; 24bit; CBR;",
    " WMA 10 Pro  440kbps; 44100 Hz; 2 Channel; 24bit; CBR;",
    " WMA 10 Pro  440kbps; 48000 Hz; 2 Channel; 24bit; CBR;",
    " WMA 10 Pro  440kbps; 88200 Hz; 2 Channel; 24bit; CBR;",
    " WMA 10 Pro  440kbps; 96000 Hz; 2 Channel; 24bit; CBR;",
    " WMA 9.2  VBR Quality 10; 44100 Hz; Stereo; VBR;",
    " WMA 9.2  VBR Quality 25; 44100 Hz; Stereo; VBR;",
    " WMA 9.2  VBR Quality 50; 44100 Hz; Stereo; VBR;",
    " WMA 9.2  VBR Quality 75; 44100 Hz; Stereo; VBR;",
    " WMA 9.2  VBR Quality 90; 44100 Hz; Stereo; VBR;",
    " WMA 9.2  VBR Quality 90; 48000 Hz; Stereo; VBR;",
    " WMA 9.2  VBR Quality 98; 44100 Hz; Stereo; VBR;",
    " WMA 9.2  VBR Quality 98; 48000 Hz; Stereo; VBR;",
    " WMA 10 Pro  VBR Quality 10; 44100 Hz; 2 Channel; 24bit; VBR;",
    " WMA 10 Pro  VBR Quality 10; 48000 Hz; 2 Channel; 24bit; VBR;",
    " WMA 10 Pro  VBR Quality 25; 44100 Hz; 2 Channel; 24bit; VBR;",
    " WMA 10 Pro  VBR Quality 25; 48000 Hz; 2 Channel; 24bit; VBR;",
    " WMA 10 Pro  VBR Quality 50; 44100 Hz; 2 Channel; 24bit; VBR;",
    " WMA 10 Pro  VBR Quality 50; 48000 Hz; 2 Channel; 24bit; VBR;",
    " WMA 10 Pro  VBR Quality 75; 44100 Hz; 2 Channel; 24bit; VBR;",
    " WMA 10 Pro  VBR Quality 75; 48000 Hz; 2 Channel; 24bit; VBR;",
    " WMA 10 Pro  VBR Quality 75; 88200 Hz; 2 Channel; 24bit; VBR;",
    " WMA 10 Pro  VBR Quality 75; 96000 Hz; 2 Channel; 24bit; VBR;",
    " WMA 10 Pro  VBR Quality 90; 44100 Hz; 2 Channel; 24bit; VBR;",
    " WMA 10 Pro  VBR Quality 90; 48000 Hz; 2 Channel; 24bit; VBR;",
    " WMA 10 Pro  VBR Quality 90; 88200 Hz; 2 Channel; 24bit; VBR;",
    " WMA 10 Pro  VBR Quality 90; 96000 Hz; 2 Channel; 24bit; VBR;",
    " WMA 10 Pro  VBR Quality 98; 44100 Hz; 2 Channel; 24bit; VBR;",
    " WMA 10 Pro  VBR Quality 98; 48000 Hz; 2 Channel; 24bit; VBR;",
    " WMA 10 Pro  VBR Quality 98; 88200 Hz; 2 Channel; 24bit; VBR;",
    " WMA 10 Pro  VBR Quality 98; 96000 Hz; 2 Channel; 24bit; VBR;",
    " WMA 9.2  VBR Quality 100; 44100 Hz; 2 Channel; 16bit; VBR;",
    " WMA 9.2  VBR Quality 100; 44100 Hz; 2 Channel; 24bit; VBR;",
    " WMA 9.2  VBR Quality 100; 48000 Hz; 2 Channel; 24bit; VBR;",
    " WMA 9.2  VBR Quality 100; 88200 Hz; 2 Channel; 24bit; VBR;",
    " WMA 9.2  VBR Quality 100; 96000 Hz; 2 Channel; 24bit; VBR;",
};

}  // namespace

int32_t SampleRateOf(int index) {
    if (index < 0 || index >= static_cast<int>(SampleRateTable.size())) return 0;
    return SampleRateTable[static_cast<std::size_t>(index)];
}

int32_t BitrateOf(int index) {
    if (index < 0 || index >= static_cast<int>(BitrateTable.size())) return 0;
    return BitrateTable[static_cast<std::size_t>(index)];
}

bool IsValidOutputFormat(int id) { return id >= kFirstOutputFormat && id <= kLastOutputFormat; }

bool IsOtherFormat(int id) { return id >= kFirstOtherFormat && id <= kLastOtherFormat; }

bool IsContainerFormat(int id) {
    return id == static_cast<int>(OutputFormatId::WAV) ||
           id == static_cast<int>(OutputFormatId::AIFF) || IsOtherFormat(id);
}

const std::vector<std::string>& FormatListEntries() {
    static const std::vector<std::string> entries = [] {
        std::vector<std::string> list;
        for (const FormatDescriptor& row : FormatRows()) list.emplace_back(row.listEntry);
        return list;
    }();
    return entries;
}

const std::string& FormatListEntry(int id) {
    static const std::string empty;
    if (!IsValidOutputFormat(id)) return empty;
    return FormatListEntries()[static_cast<std::size_t>(id - kFirstOutputFormat)];
}

std::string FormatShortName(int id) {
    if (!IsValidOutputFormat(id)) return std::string();
    if (id == static_cast<int>(OutputFormatId::Custom)) return "User-Customized";
    const std::string& entry = FormatListEntry(id);
    std::size_t begin = entry.find_first_not_of(' ');
    std::size_t end = entry.find(' ', begin);
    return entry.substr(begin, end - begin);
}

int ParseOutputFormatId(const std::string& text) {
    if (text.empty()) return 0;
    if (std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); })) {
        if (text.size() > 2) return 0;
        int id = std::stoi(text);
        return IsValidOutputFormat(id) ? id : 0;
    }
    std::string lower;
    for (unsigned char c : text) lower += static_cast<char>(std::tolower(c));
    if (lower == "custom" || lower == "user-customized") return static_cast<int>(OutputFormatId::Custom);
    for (int id = kFirstOutputFormat; id < kLastOutputFormat; ++id) {
        std::string name;
        for (unsigned char c : FormatShortName(id)) name += static_cast<char>(std::tolower(c));
        if (name == lower) return id;
    }
    return 0;
}

const std::vector<std::string>& SubFormatList(int id) {
    if (id == static_cast<int>(OutputFormatId::WAV)) return kWavCodecs;
    if (id == static_cast<int>(OutputFormatId::AIFF)) return kAiffCodecs;
    if (IsOtherFormat(id)) return kOther[static_cast<std::size_t>(id - kFirstOtherFormat)].codecs;
    return kEmpty;
}

const std::vector<std::string>& ExtensionList(int id) {
    if (id == static_cast<int>(OutputFormatId::AIFF)) return kAiffExts;
    if (IsOtherFormat(id)) return kOther[static_cast<std::size_t>(id - kFirstOtherFormat)].exts;
    return kEmpty;
}

std::string SubFormatLabel(int id, int index) {
    const List& list = SubFormatList(id);
    if (index < 0 || index >= static_cast<int>(list.size())) return std::string();
    return list[static_cast<std::size_t>(index)];
}

bool IsMonoOnlySubFormat(int id, int index) {
    switch (static_cast<OutputFormatId>(id)) {
    case OutputFormatId::WAV: return index == 10 || index == 11;
    case OutputFormatId::AIFF: return index >= 10 && index <= 13;
    case OutputFormatId::AU: return index >= 8 && index <= 10;
    case OutputFormatId::RAW: return index >= 9 && index <= 13;
    case OutputFormatId::W64: return index == 10;
    case OutputFormatId::SVX:
    case OutputFormatId::XI:
    case OutputFormatId::SDS:
    // libsndfile writes HTK files with one channel only.
    case OutputFormatId::HTK: return true;
    default: return false;
    }
}

std::vector<std::string> SampleRateListEntries() {
    std::vector<std::string> entries;
    for (int i = 0; i <= 8; ++i) entries.push_back(Fmt(" %5d Hertz", SampleRateOf(i)));
    return entries;
}

std::vector<std::string> BitrateListEntries(bool withTop) {
    std::vector<std::string> entries;
    int last = withTop ? 17 : 16;
    for (int i = 0; i <= last; ++i) entries.push_back(Fmt(" %3d kbits per second", BitrateOf(i)));
    return entries;
}

ContainerChoice GetContainerChoice(const CSettings& s, int id) {
    ContainerChoice c;
    if (id == static_cast<int>(OutputFormatId::WAV)) {
        c.subFormat = s.WAV.SubFormat;
        c.ext = 0;
        c.freq = s.WAV.Freq;
        c.channel = s.WAV.Channel;
    } else if (id == static_cast<int>(OutputFormatId::AIFF)) {
        c.subFormat = s.AIFF.SubFormat;
        c.ext = s.AIFF.Ext;
        c.freq = s.AIFF.Freq;
        c.channel = s.AIFF.Channel;
    } else if (IsOtherFormat(id)) {
        std::size_t i = static_cast<std::size_t>(id - kFirstOtherFormat);
        c.subFormat = s.OTHER.Codec[i];
        c.ext = s.OTHER.Ext[i];
        c.freq = s.OTHER.Freq[i];
        c.channel = s.OTHER.Channel[i];
    }
    return c;
}

void SetContainerChoice(CSettings& s, int id, const ContainerChoice& c) {
    if (id == static_cast<int>(OutputFormatId::WAV)) {
        s.WAV.SubFormat = static_cast<int16_t>(c.subFormat);
        s.WAV.Freq = static_cast<int16_t>(c.freq);
        s.WAV.Channel = c.channel;
    } else if (id == static_cast<int>(OutputFormatId::AIFF)) {
        s.AIFF.SubFormat = static_cast<int16_t>(c.subFormat);
        s.AIFF.Ext = static_cast<int16_t>(c.ext);
        s.AIFF.Freq = static_cast<int16_t>(c.freq);
        s.AIFF.Channel = c.channel;
    } else if (IsOtherFormat(id)) {
        std::size_t i = static_cast<std::size_t>(id - kFirstOtherFormat);
        s.OTHER.Codec[i] = static_cast<int16_t>(c.subFormat);
        s.OTHER.Ext[i] = static_cast<int16_t>(c.ext);
        s.OTHER.Freq[i] = static_cast<int16_t>(c.freq);
        s.OTHER.Channel[i] = static_cast<int16_t>(c.channel);
    }
}

const LamePresetInfo* LamePresetAt(int index) {
    if (index < 0 || index >= kLamePresetCount) return nullptr;
    return &kLamePresets[index];
}

const VqfProfileInfo* VqfProfileAt(int profile) {
    if (profile < 1 || profile > kVqfProfileCount) return nullptr;
    return &kVqfProfiles[profile - 1];
}

int32_t FlacBlockSizeOf(int choice) {
    if (choice < 0 || choice >= static_cast<int>(std::size(kFlacBlockSizes))) return -1;
    return kFlacBlockSizes[choice];
}

std::string WmaProfileEntry(int profile) {
    if (profile < 1 || profile > kWmaProfileCount) return std::string();
    return kWmaProfiles[profile - 1];
}

// ---------------------------------------------------------------------------------
// The applied format

namespace {

// 1/44100: the ratio of an output rate to the disc's rate.
constexpr double kPerDiscRate = 2.2675736961451248e-05;

void ApplyRate(COutputFormat& f, int index, const char* key) {
    int32_t rate = SampleRateOf(index);
    if (rate == 0) {
        f.error = Fmt("Invalid sample rate index %d in %s", index, key);
        return;
    }
    f.sampleRate = rate;
    if (index != kDefaultRateIndex) {
        f.resample = true;
        f.floatPath = true;
        f.ratio = rate * kPerDiscRate;
    }
}

}  // namespace

COutputFormat COutputFormat::FromSettings(const CSettings& s) {
    COutputFormat f;
    f.id = s.OUTPUT.OutputFormat;
    switch (f.id) {
    case static_cast<int>(OutputFormatId::WAV):
    case static_cast<int>(OutputFormatId::AIFF): {
        ContainerChoice c = GetContainerChoice(s, f.id);
        f.mono = c.channel == 0 || IsMonoOnlySubFormat(f.id, c.subFormat);
        ApplyRate(f, c.freq, (std::string(FindFormat(f.id)->section) + "/Freq").c_str());
        break;
    }
    case static_cast<int>(OutputFormatId::MP3):
        // The library resamples itself; only the channel mode shapes the samples.
        f.mono = s.MP3.LameChannel == 0 && s.MP3.LameTab != 5;
        break;
    case static_cast<int>(OutputFormatId::OGG):
        f.floatPath = true;
        f.mono = s.OGG.Channel == 0;
        ApplyRate(f, s.OGG.Freq, "OGG/Freq");
        break;
    case static_cast<int>(OutputFormatId::MP2):
        f.floatPath = true;
        f.mono = s.MP2.Channel == 0;
        ApplyRate(f, s.MP2.Freq, "MP2/Freq");
        break;
    case static_cast<int>(OutputFormatId::VQF): {
        f.floatPath = true;
        // The profile number picks the rate and the channel count; 17, 18 and anything
        // unknown keep the disc's own shape.
        int p = s.VQF.Profile;
        if (p == 1 || p == 2) f.ratio = 8000.0 / 44100.0;
        else if (p >= 3 && p <= 6) f.ratio = 0.25;
        else if (p == 7 || p == 8) f.ratio = 16000.0 / 44100.0;
        else if (p >= 9 && p <= 14) f.ratio = 0.5;
        f.mono = p == 1 || p == 3 || p == 4 || p == 7 || (p >= 9 && p <= 11) || p == 15 || p == 16;
        f.resample = f.ratio != 1.0;
        if (const VqfProfileInfo* info = VqfProfileAt(p)) f.sampleRate = info->rateHz;
        break;
    }
    default:
        if (IsOtherFormat(f.id)) {
            ContainerChoice c = GetContainerChoice(s, f.id);
            f.mono = c.channel == 0 || IsMonoOnlySubFormat(f.id, c.subFormat);
            ApplyRate(f, c.freq, Fmt("OTHER/Freq%d", f.id - kFirstOtherFormat).c_str());
        } else if (!IsValidOutputFormat(f.id)) {
            f.error = Fmt("Invalid output format %d in OUTPUT/OutputFormat", f.id);
        }
        break;
    }
    if (IsContainerFormat(f.id)) {
        f.subFormat = GetContainerChoice(s, f.id).subFormat;
        std::string label = SubFormatLabel(f.id, f.subFormat);
        f.subFormatLabel = label.empty() ? label : label.substr(1);
    }
    f.channels = f.mono ? 1 : 2;
    return f;
}

// ---------------------------------------------------------------------------------
// The customised encoder check

std::string CheckCustomEncoder(const CSettings& s) {
    std::error_code ec;
    const std::string& program = s.CUSTOM.Encoder;
    if (program.empty() || !std::filesystem::is_regular_file(program, ec))
        return "User-Customized External Encoder Not Found!";
    if (s.CUSTOM.Parameter.empty()) return "Null User-Customized External Encoder Parameters!";
    if (s.CUSTOM.FileExt.empty()) return "User-Customized Format File Extension Not Specified!";
    return std::string();
}

// ---------------------------------------------------------------------------------
// The summary line

bool CheckMp2Parameters(const CSettings& s) {
    static const TWOLAME_MPEG_mode kModes[] = {TWOLAME_MONO, TWOLAME_AUTO_MODE, TWOLAME_STEREO,
                                               TWOLAME_JOINT_STEREO, TWOLAME_DUAL_CHANNEL};
    int32_t rate = SampleRateOf(s.MP2.Freq);
    int32_t bitrate = BitrateOf(s.MP2.Bits);
    if (rate == 0 || bitrate == 0 || s.MP2.Channel < 0 || s.MP2.Channel > 4) return false;
    twolame_options* options = twolame_init();
    if (options == nullptr) return false;
    twolame_set_verbosity(options, 0);
    twolame_set_mode(options, kModes[s.MP2.Channel]);
    twolame_set_out_samplerate(options, rate);
    twolame_set_bitrate(options, bitrate);
    twolame_set_VBR(options, FALSE);
    twolame_set_copyright(options, s.MP2.CopyRight != 0);
    twolame_set_original(options, s.MP2.Original != 0);
    twolame_set_num_channels(options, s.MP2.Channel == 0 ? 1 : 2);
    twolame_set_in_samplerate(options, rate);
    int result = twolame_init_params(options);
    twolame_close(&options);
    return result == 0;
}

namespace {

std::string Mp3ChannelText(int mode) {
    static const char* const kTexts[] = {" Mono;", " Stereo;", " Joint Stereo;", " Dual Channel;"};
    return mode >= 0 && mode <= 3 ? kTexts[mode] : "";
}

}  // namespace

FormatSummary BuildOutputFormatSummary(CSettings& s, const std::string& previousLine) {
    FormatSummary out;
    out.line = previousLine;
    const int id = s.OUTPUT.OutputFormat;
    switch (id) {
    case static_cast<int>(OutputFormatId::MP3): {
        const auto& m = s.MP3;
        std::string text = "MP3:  ";
        if (m.LameTab == 1) {
            text += Fmt("CBR %3d kbps; %5d Hz; Quality %2d;", BitrateOf(m.LameBits),
                        SampleRateOf(m.LameFreq), m.LameQuality) + Mp3ChannelText(m.LameChannel);
        } else if (m.LameTab == 3 && m.LameCodingMode == 4) {
            text += Fmt("ABR %3d kbps;", m.LameTargetBit) + Mp3ChannelText(m.LameChannel);
        } else if (m.LameTab == 3) {
            text += Fmt("VBR %3d ~ %3d kbps; Quality %.2f;", BitrateOf(m.LameMinVBRBit),
                        BitrateOf(m.LameMaxVBRBit), m.LameQualityVBR / 100.0) +
                    Mp3ChannelText(m.LameChannel);
        } else if (m.LameTab == 5) {
            const LamePresetInfo* preset = LamePresetAt(m.LamePreset);
            text += std::string("Preset ") + (preset ? preset->summaryName : "");
        }
        out.line = text;
        out.logLine = "Set audio format: MP3.";
        break;
    }
    case static_cast<int>(OutputFormatId::WMA): {
        std::string entry = WmaProfileEntry(s.WMA.Profile);
        if (!entry.empty()) out.line = "WMA:  " + entry.substr(1);
        out.logLine = "Set audio format: WMA.";
        break;
    }
    case static_cast<int>(OutputFormatId::OGG): {
        const auto& o = s.OGG;
        const char* channel = o.Channel == 0 ? "Mono" : "Stereo";
        int32_t rate = SampleRateOf(o.Freq);
        std::string text = "OGG:  Ogg Vorbis ";
        if (o.Quality != 0)
            text += Fmt("Quality : %.2f; %s; %5d Hz;", o.QualityCompression / 100.0, channel, rate);
        else if (o.VBR != 0)
            text += Fmt("VBR : Nominate Bitrate %3d kbps; %s; %5d Hz;", BitrateOf(o.NomiBit), channel, rate);
        else
            text += Fmt("ABR : Average Bitrate %3d kbps; %s; %5d Hz;", BitrateOf(o.NomiBit), channel, rate);
        out.line = text;
        out.logLine = "Set audio format: OGG.";
        break;
    }
    case static_cast<int>(OutputFormatId::APE): {
        switch (s.APE.CompLev) {
        case 1000: out.line = "APE:  Compression Level Fast"; break;
        case 2000: out.line = "APE: Compression Level Normal"; break;
        case 3000: out.line = "APE: Compression Level High"; break;
        case 4000: out.line = "APE: Compression Level Extra High"; break;
        case 5000: out.line = "APE: Compression Level Insane"; break;
        default: break;
        }
        out.logLine = "Set audio format: APE.";
        break;
    }
    case static_cast<int>(OutputFormatId::FLAC):
        out.line = std::string("FLAC: ") + (s.FLAC.Native != 0 ? " Native Flac;" : " Ogg Flac;") +
                   Fmt("Compression Level %d;", s.FLAC.CompLev);
        out.logLine = "Set audio format: FLAC.";
        break;
    case static_cast<int>(OutputFormatId::MP2): {
        if (!CheckMp2Parameters(s)) {
            out.errors.push_back("Error: configuring Libtwolame encoder failed!");
            s.MP2.Bits = kDefaultBitrateIndex;
            s.MP2.Channel = 1;
            s.MP2.CopyRight = 0;
            s.MP2.Original = 0;
        }
        static const char* const kModes[] = {" Mono;", " Auto;", " Stereo;", " Joint Stereo;",
                                             " Dual Channel;"};
        out.line = "MP2:  " + Fmt("%3d kbps; %5d Hz; ", BitrateOf(s.MP2.Bits), SampleRateOf(s.MP2.Freq)) +
                   (s.MP2.Channel >= 0 && s.MP2.Channel <= 4 ? kModes[s.MP2.Channel] : "");
        out.logLine = "Set audio format: MP2.";
        break;
    }
    case static_cast<int>(OutputFormatId::VQF): {
        if (const VqfProfileInfo* p = VqfProfileAt(s.VQF.Profile))
            out.line = Fmt("VQF:   TwinVQ %d Hz; %s; %d kbps;", p->rateHz, p->mode ? "Stereo" : "Mono",
                           p->kbps) + Fmt(" Quality  %2d;", s.VQF.Quality);
        out.logLine = "Set audio format: VQF.";
        break;
    }
    case static_cast<int>(OutputFormatId::AAC): {
        static const char* const kPrefixes[] = {"3G2:   ", "3GP:   ", "AAC:   ", "M4A:   ",
                                                "M4B:   ", "M4P:   ", "MP4:   "};
        static const char* const kNames[] = {"3G2", "3GP", "raw AAC", "M4A", "M4B", "M4P", "MP4"};
        const auto& a = s.AAC;
        std::string codec;
        if (a.Encoder == 0) {
            codec = "FAAC Codec   " + (a.FAACEncMode == 0 ? Fmt("Quality %3d;", a.FAACQuality)
                                                          : Fmt("ABR %3d kbps;", a.FAACAbr));
        } else if (a.Encoder == 1) {
            codec = "Nero Codec   ";
            if (a.NEROEncMode == 0) codec += Fmt("Quality %3.2f;", a.NEROQuality * 0.01);
            else if (a.NEROEncMode == 1) codec += Fmt("ABR %3d kbps;", a.NEROAbr / 1000);
            else codec += Fmt("CBR %3d kbps;", a.NEROEncCbr / 1000);
        } else if (a.Encoder == 2) {
            codec = "CT AAC+ Codec   " + Fmt("CBR %3d kbps;", a.CTCbr / 1000);
        }
        if (a.ContainerFormat >= 0 && a.ContainerFormat <= 6) {
            out.line = kPrefixes[a.ContainerFormat] + codec;
            out.logLine = std::string("Set audio format: AAC, container format: ") +
                          kNames[a.ContainerFormat] + ".";
        } else {
            out.logLine = "Set audio format: AAC.";
        }
        break;
    }
    case static_cast<int>(OutputFormatId::MPC): {
        static const char* const kPrefixes[] = {"MPC:   ", "MP+:   ", "MPP:   "};
        static const char* const kNames[] = {"MPC", "MP+", "MPP"};
        if (s.MPC.Ext >= 0 && s.MPC.Ext <= 2) {
            out.line = kPrefixes[s.MPC.Ext] + Fmt("Musepack Quality  %3.2f;", s.MPC.Quality / 10.0);
            out.logLine = std::string("Set audio format: ") + kNames[s.MPC.Ext] + ".";
        } else {
            out.logLine = "Set audio format: MPC.";
        }
        break;
    }
    case static_cast<int>(OutputFormatId::WV): {
        static const char* const kLevels[] = {"Compression Level Fast; ", "Compression Level Normal; ",
                                              "Compression Level High; ", "Compression Level Very High; "};
        std::string text = "WV:   ";
        if (s.WV.EncMod == 0) text += "WavPack Pure Lossless Mode; ";
        else if (s.WV.CrtWvc != 0) text += "WavPack Hybrid Lossless Mode; ";
        else text += "WavPack Hybrid Lossy Mode; ";
        if (s.WV.ComLev >= 0 && s.WV.ComLev <= 3) text += kLevels[s.WV.ComLev];
        out.line = text;
        out.logLine = "Set audio format: WV.";
        break;
    }
    case static_cast<int>(OutputFormatId::Custom):
        out.line = "User-Customized Format:  *." + s.CUSTOM.FileExt;
        out.logLine = "Set audio format: User-Customized format";
        break;
    default:
        if (IsContainerFormat(id)) {
            ContainerChoice c = GetContainerChoice(s, id);
            std::string label = SubFormatLabel(id, c.subFormat);
            if (!label.empty()) label.erase(0, 1);
            bool mono = c.channel == 0 || IsMonoOnlySubFormat(id, c.subFormat);
            out.line = FormatShortName(id) + ":  " + label + Fmt(" %5d Hz;", SampleRateOf(c.freq)) +
                       (mono ? " Mono;" : " Stereo;");
            out.logLine = "Set audio format: " + FormatShortName(id) + " " + label;
        } else {
            out.errors.push_back(Fmt("Error: invalid output format %d!", id));
        }
        break;
    }
    return out;
}

std::string UpdateOutputFormatSummary(CSettings& s, CEventLog& log, const std::string& previousLine) {
    FormatSummary summary = BuildOutputFormatSummary(s, previousLine);
    for (const std::string& e : summary.errors) log.Add(e, 2);
    if (!summary.logLine.empty()) log.Add(summary.logLine, 0);
    return summary.line;
}

}  // namespace quarrow
