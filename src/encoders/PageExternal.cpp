// The option pages of the external encoder programs: AAC, MPC and the customised
// encoder with its ".ces" setting files.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>
#include <unistd.h>

#include "app/Prompter.h"
#include "encoders/FormatPages.h"
#include "encoders/OutputFormat.h"
#include "encoders/QuickSet.h"

namespace quarrow {

namespace {

bool InRange(int v, int low, int high) { return v >= low && v <= high; }

bool IsProgramFile(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec) && ::access(path.c_str(), X_OK) == 0;
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

ProgramFinder DefaultProgramFinder(const std::string& homeFolder) {
    return [homeFolder](const std::string& name) {
        for (const std::string& n : {name, Lower(name)}) {
            if (IsProgramFile(homeFolder + "/External/" + n)) return true;
            const char* path = std::getenv("PATH");
            std::stringstream dirs(path ? path : "");
            std::string dir;
            while (std::getline(dirs, dir, ':'))
                if (!dir.empty() && IsProgramFile(dir + "/" + n)) return true;
        }
        return false;
    };
}

// ------------------------------------------------------------------------------------
// AAC

void CAacPage::Load(const CSettings& s) { v = s.AAC; }
void CAacPage::Reset() { v = CSettings{}.AAC; }

std::vector<std::string> CAacPage::encoderItems() { return {" FAAC", " Nero AAC", " CT AAC+"}; }
std::vector<std::string> CAacPage::containerItems() {
    return {" 3G2", " 3GP", " AAC (Raw AAC)", " M4A", " M4B", " M4P", " MP4"};
}
std::vector<std::string> CAacPage::faacObjectItems() {
    return {" LC (Low Complexity)", " Main (Main Profile)", " LTP (Long Term Prediction)"};
}
std::vector<std::string> CAacPage::faacBlockItems() { return {" Both (Default)", " No Short", " No Long"}; }
std::vector<std::string> CAacPage::neroProfileItems() {
    return {" Auto", " LC (Low Complexity)", " HE (High Efficiency)", " HEV2 (High Efficiency V2)"};
}
std::vector<std::string> CAacPage::ctProfileItems() {
    return {" Auto", " LC (Low Complexity)", " HE (aacPlus)", " HEV2 (aacPlusHigh)"};
}
std::string CAacPage::faacQualityText() const {
    char buf[32];
    std::snprintf(buf, sizeof buf, "Quality: %3d", v.FAACQuality);
    return buf;
}
std::string CAacPage::faacAbrText() const {
    char buf[32];
    std::snprintf(buf, sizeof buf, "ABR: %3d kbps", v.FAACAbr);
    return buf;
}

void CAacPage::SelectEncoder(int encoder, const ProgramFinder& find, Prompter& prompter) {
    if (encoder == 2) {
        if (!find("enc_aacplus")) {
            prompter.Message("Warning: CT AAC+ Encoder NOT Found!  Please Refer to FAQ Section of Help to "
                             "Get CT AAC Plus Encoder.", MessageIcon::Warning);
            v.Encoder = 0;
            return;
        }
        if (!find("neroAacTag")) {
            prompter.Message("Warning: Nero AAC Tagger NOT Found!  Please Refer to FAQ Section of Help to "
                             "Get Nero AAC Encoder.", MessageIcon::Warning);
            v.Encoder = 0;
            return;
        }
        v.Encoder = 2;
    } else if (encoder == 1) {
        if (!find("neroAacEnc") || !find("neroAacTag")) {
            prompter.Message("Warning: Nero AAC Encoder/Tagger NOT Found!  Please Refer to FAQ Section of "
                             "Help to Get Nero AAC Encoder.", MessageIcon::Warning);
            v.Encoder = 0;
            return;
        }
        v.Encoder = 1;
        if (v.ContainerFormat == 2) {
            prompter.Message(kNeroRawAacRefusal, MessageIcon::Warning);
            v.ContainerFormat = 6;
        }
    } else {
        v.Encoder = 0;
    }
}

void CAacPage::SelectContainer(int container, Prompter& prompter) {
    if (!InRange(container, 0, 6)) return;
    if (container == 2) {
        if (v.Encoder == 1) {
            prompter.Message(kNeroRawAacRefusal, MessageIcon::Warning);
            v.ContainerFormat = 6;
            return;
        }
        v.ContainerFormat = prompter.AskYesNo(kRawAacQuestion) ? 2 : 6;
        return;
    }
    v.ContainerFormat = static_cast<int16_t>(container);
}

PageResult CAacPage::Apply(CSettings& s, bool refreshing) const {
    PageResult r;
    if (refreshing) return r;
    if (!InRange(v.FAACQuality, 10, 500)) return {false, RangeMessage(10, 500), {}};
    if (!InRange(v.FAACAbr, 60, 152)) return {false, RangeMessage(60, 152), {}};
    if (!InRange(v.NEROQuality, 0, 100)) return {false, RangeMessage(0, 100), {}};
    for (int32_t bps : {v.NEROAbr, v.NEROEncCbr, v.CTCbr})
        if (!InRange(bps, 8000, 320000)) return {false, RangeMessage(8000, 320000), {}};
    if (!InRange(v.Encoder, 0, 2) || !InRange(v.ContainerFormat, 0, 6)) return r;
    s.AAC = v;
    r.applied = true;
    return r;
}

// ------------------------------------------------------------------------------------
// MPC

std::vector<std::string> CMpcPage::extItems() { return {" MPC", " MP+", " MPP"}; }
std::vector<std::string> CMpcPage::presetItems() {
    return {" Telephone   60 kbps", " Thumb       90 kbps", " Radio      130 kbps", " Standard   180 kbps",
            " Extreme    210 kbps", " Insane     240 kbps", " Braindead  270 kbps", " Customized"};
}
void CMpcPage::Load(const CSettings& s) {
    extSel = InRange(s.MPC.Ext, 0, 2) ? s.MPC.Ext : -1;
    presetSel = InRange(s.MPC.Preset, 0, 7) ? s.MPC.Preset : -1;
    quality = InRange(s.MPC.Quality, 0, 100) ? s.MPC.Quality : 50;
}
void CMpcPage::Reset() { Load(CSettings{}); }
void CMpcPage::SelectPreset(int preset) {
    if (!InRange(preset, 0, 7)) return;
    presetSel = preset;
    if (preset <= 6) quality = 20 + 10 * preset;
}
void CMpcPage::SetQuality(int q) {
    quality = q;
    if (InRange(presetSel, 0, 6) && quality != 20 + 10 * presetSel) presetSel = 7;
}
std::string CMpcPage::qualityText() const {
    char buf[32];
    std::snprintf(buf, sizeof buf, "Quality: %3.2f ", quality / 10.0);
    return buf;
}
PageResult CMpcPage::Apply(CSettings& s, bool refreshing) const {
    if (refreshing) return {};
    if (!InRange(quality, 0, 100)) return {false, RangeMessage(0, 100), {}};
    if (extSel >= 0) s.MPC.Ext = static_cast<int16_t>(extSel);
    if (presetSel >= 0) s.MPC.Preset = static_cast<int16_t>(presetSel);
    s.MPC.Quality = static_cast<int16_t>(quality);
    return {true, {}, {}};
}

// ------------------------------------------------------------------------------------
// Customised encoder

namespace {

void PutText(std::string& out, const std::string& text) {
    if (text.size() < 255) {
        out += static_cast<char>(text.size());
    } else {
        out += static_cast<char>(0xFF);
        out += static_cast<char>(text.size() & 0xFF);
        out += static_cast<char>((text.size() >> 8) & 0xFF);
    }
    out += text;
}

bool GetText(const std::string& in, std::size_t& pos, std::string& text) {
    if (pos >= in.size()) return false;
    std::size_t n = static_cast<unsigned char>(in[pos++]);
    if (n == 0xFF) {
        if (pos + 2 > in.size()) return false;
        n = static_cast<unsigned char>(in[pos]) | (static_cast<std::size_t>(static_cast<unsigned char>(in[pos + 1])) << 8);
        pos += 2;
        if (n == 0xFFFF) return false;   // longer texts never occur in these files
    }
    if (pos + n > in.size()) return false;
    text = in.substr(pos, n);
    pos += n;
    return true;
}

}  // namespace

std::string EncodeCustomSetting(const CSettings::Custom& c) {
    std::string out;
    PutText(out, c.Encoder);
    PutText(out, c.Parameter);
    PutText(out, c.FileExt);
    const uint16_t input = static_cast<uint16_t>(c.Input);
    out += static_cast<char>(input & 0xFF);
    out += static_cast<char>(input >> 8);
    const uint32_t detail = static_cast<uint32_t>(c.Detail);
    for (int i = 0; i < 4; ++i) out += static_cast<char>((detail >> (8 * i)) & 0xFF);
    return out;
}

bool DecodeCustomSetting(const std::string& bytes, CSettings::Custom& c) {
    CSettings::Custom r;
    std::size_t pos = 0;
    if (!GetText(bytes, pos, r.Encoder) || !GetText(bytes, pos, r.Parameter) || !GetText(bytes, pos, r.FileExt))
        return false;
    if (pos + 6 != bytes.size()) return false;
    auto byte = [&](std::size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(bytes[pos + i])); };
    r.Input = static_cast<int16_t>(byte(0) | (byte(1) << 8));
    r.Detail = static_cast<int32_t>(byte(2) | (byte(3) << 8) | (byte(4) << 16) | (byte(5) << 24));
    if (r.Parameter.size() > CCustomPage::kMaxParameter || r.FileExt.size() > CCustomPage::kMaxExtension ||
        !InRange(r.Input, 0, 3) || r.Encoder.find('\0') != std::string::npos ||
        r.Parameter.find('\0') != std::string::npos || r.FileExt.find('\0') != std::string::npos)
        return false;
    c = r;
    return true;
}

std::vector<std::string> CCustomPage::inputItems() {
    return {" Stdin With Wav Header", " Stdin Without Wav Header", " Physical Wav File", " Physical Raw File"};
}

void CCustomPage::Load(const CSettings& s) {
    encoder = s.CUSTOM.Encoder;
    parameter = s.CUSTOM.Parameter;
    extension = s.CUSTOM.FileExt;
    input = InRange(s.CUSTOM.Input, 0, 3) ? s.CUSTOM.Input : 0;
    detail = s.CUSTOM.Detail != 0;
}
void CCustomPage::Reset() { Load(CSettings{}); }

std::string CCustomPage::Check() const {
    CSettings probe;
    probe.CUSTOM.Encoder = encoder;
    probe.CUSTOM.Parameter = parameter;
    probe.CUSTOM.FileExt = extension;
    return CheckCustomEncoder(probe);
}

PageResult CCustomPage::Apply(CSettings& s, bool refreshing) const {
    if (refreshing) return {};
    // The extension ends every output name: a separator would move the file elsewhere.
    if (extension.find_first_of("/\\") != std::string::npos)
        return {false, "User-Customized Format File Extension Must Not Contain \"/\" or \"\\\"!", {}};
    s.CUSTOM.Encoder = encoder;
    s.CUSTOM.Parameter = parameter.substr(0, kMaxParameter);
    s.CUSTOM.FileExt = extension.substr(0, kMaxExtension);
    s.CUSTOM.Input = static_cast<int16_t>(InRange(input, 0, 3) ? input : 0);
    s.CUSTOM.Detail = detail;
    return {true, {}, {}};
}

std::string CCustomPage::SaveSettingFile(const std::string& path) const {
    if (std::string failure = Check(); !failure.empty()) return failure;
    CSettings::Custom c;
    c.Encoder = encoder;
    c.Parameter = parameter;
    c.FileExt = extension;
    c.Input = static_cast<int16_t>(input);
    c.Detail = detail;
    const std::string bytes = EncodeCustomSetting(c);
    const std::string temp = path + ".part";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::error_code ec;
            std::filesystem::remove(temp, ec);
            return "An Error Occurred While Saving.";
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        std::filesystem::remove(temp, ec);
        return "An Error Occurred While Saving.";
    }
    return std::string();
}

std::string CCustomPage::LoadSettingFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "An Error Occurred While Loading.";
    // A setting file is a few hundred bytes; anything far larger is not one.
    std::string bytes;
    char buffer[4096];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        bytes.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (bytes.size() > 8192) return "An Error Occurred While Loading.";
    }
    CSettings::Custom c;
    if (!DecodeCustomSetting(bytes, c)) return "An Error Occurred While Loading.";
    CCustomPage candidate = *this;
    candidate.encoder = c.Encoder;
    candidate.parameter = c.Parameter;
    candidate.extension = c.FileExt;
    candidate.input = c.Input;
    candidate.detail = c.Detail != 0;
    if (std::string failure = candidate.Check(); !failure.empty()) return failure;
    *this = candidate;
    return std::string();
}

}  // namespace quarrow
