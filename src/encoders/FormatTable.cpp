#include "encoders/FormatTable.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <system_error>

#include "app/Settings.h"
#include "encoders/EncodeApe.h"
#include "encoders/EncodeExternal.h"
#include "encoders/EncodeFlac.h"
#include "encoders/EncodeMp2.h"
#include "encoders/EncodeMp3.h"
#include "encoders/EncodeOggVorbis.h"
#include "encoders/EncodeVqf.h"
#include "encoders/EncodeWavPack.h"
#include "encoders/EncodeWma.h"
#include "encoders/Encoder.h"
#include "encoders/LameEncoderLibrary.h"

namespace quarrow {

namespace {

using Id = OutputFormatId;

std::string Pick(int choice, std::initializer_list<const char*> list) {
    if (choice < 0 || choice >= static_cast<int>(list.size())) return {};
    return *(list.begin() + choice);
}

int OtherExt(const CSettings& s, Id id) {
    return s.OTHER.Ext[static_cast<std::size_t>(static_cast<int>(id) - kFirstOtherFormat)];
}

// Extension rules of the formats whose extension follows a stored choice.
std::string FlacExt(const CSettings& s) { return s.FLAC.Native ? ".flac" : ".ogg"; }
std::string AiffExt(const CSettings& s) { return s.AIFF.Ext == 1 ? ".aifc" : s.AIFF.Ext == 2 ? ".aif" : ".aiff"; }
std::string AacExt(const CSettings& s) {
    return Pick(s.AAC.ContainerFormat, {".3g2", ".3gp", ".aac", ".m4a", ".m4b", ".m4p", ".mp4"});
}
std::string MpcExt(const CSettings& s) { return Pick(s.MPC.Ext, {".mpc", ".mp+", ".mpp"}); }
std::string AuExt(const CSettings& s) { return OtherExt(s, Id::AU) != 0 ? ".snd" : ".au"; }
std::string RawExt(const CSettings& s) {
    const int e = OtherExt(s, Id::RAW);
    return e == 1 ? ".gsm" : e == 2 ? ".vox" : ".raw";
}
std::string PafExt(const CSettings& s) { return OtherExt(s, Id::PAF) == 1 ? ".paf" : ".fap"; }
std::string SvxExt(const CSettings& s) {
    const int e = OtherExt(s, Id::SVX);
    return e == 1 ? ".8svx" : e == 2 ? ".iff" : ".svx";
}
std::string IrcamExt(const CSettings& s) { return OtherExt(s, Id::IRCAM) == 1 ? ".sf" : ".ircam"; }
std::string Mat4Ext(const CSettings& s) { return OtherExt(s, Id::MAT4) == 1 ? ".mat" : ".mat4"; }
std::string CustomExt(const CSettings& s) { return "." + s.CUSTOM.FileExt; }

// The user-customised encoder runs the program its settings name.
FormatProbe ProbeCustom(const CSettings& s, const std::string&) {
    std::error_code ec;
    const std::string& program = s.CUSTOM.Encoder;
    if (program.empty() || !std::filesystem::is_regular_file(program, ec) || access(program.c_str(), X_OK) != 0)
        return FormatProbe::Missing("the encoder program \"" + program + "\"", "CUSTOM/Encoder");
    return FormatProbe::Ok();
}

// WMA profiles the library has no encoder for are refused by name.
FormatProbe ProbeWma(const CSettings& s, const std::string&) {
    const std::string problem = WmaProfileProblem(s.WMA.Profile);
    if (!problem.empty()) return FormatProbe::Missing(problem, "");
    return FormatProbe::Ok();
}

// Musepack's encoder program has gone by two names.
FormatProbe ProbeMpc(const CSettings&, const std::string& home) {
    std::string where;
    if (FindProgram(home, {"mppenc", "mpcenc"}, &where).empty())
        return FormatProbe::Missing("the program mppenc (or mpcenc)", where);
    return FormatProbe::Ok();
}

constexpr NeedKind kNone = NeedKind::Nothing;
constexpr const char* kNoNeed = "";

// Function-local so that no other unit's start-up can see it half-built.
const std::vector<FormatDescriptor>& Rows() {
    static const std::vector<FormatDescriptor> rows = {
            {Id::WAV, " WAV    (Waveform Audio)", ".wav", nullptr, "WAV", "Encoder::WAV", &MakeSndfileEncoder, kNone, kNoNeed, nullptr},
            {Id::MP3, " MP3    (MPEG-1 Audio Layer 3)", ".mp3", nullptr, "MP3", "Encoder::MP3", &MakeMp3Encoder,
         NeedKind::Library, LameEncoderLibrary::kDefaultPath, nullptr},
            {Id::WMA, " WMA    (Windows Media Audio)", ".wma", nullptr, "WMA", "Encoder::WMA", &MakeWmaEncoder,
         NeedKind::Profile, "a WMA profile libavcodec can write", &ProbeWma},
            {Id::OGG, " OGG    (Ogg Vorbis)", ".ogg", nullptr, "OGG", "Encoder::OGG", &MakeOggVorbisEncoder, kNone, kNoNeed, nullptr},
            {Id::APE, " APE    (Monkey's Audio)", ".ape", nullptr, "APE", "Encoder::APE", &MakeApeEncoder,
         kNone, "libMAC.so when present, else the built-in APE compressor", nullptr},
            {Id::FLAC, " FLAC   (Free Lossless Audio Codec)", nullptr, &FlacExt, "FLAC", "Encoder::FLAC", &MakeFlacEncoder, kNone, kNoNeed, nullptr},
            {Id::MP2, " MP2    (MPEG-1 Audio Layer 2)", ".mp2", nullptr, "MP2", "Encoder::MP2", &MakeMp2Encoder, kNone, kNoNeed, nullptr},
            {Id::VQF, " VQF    (TwinVQ)", ".vqf", nullptr, "VQF", "Encoder::VQF", &MakeVqfEncoder,
         NeedKind::Library, "libtvqenc.so", &ProbeVqf},
            {Id::AIFF, " AIFF   (Audio Interchange File Format)", nullptr, &AiffExt, "AIFF", "Encoder::AIFF", &MakeSndfileEncoder, kNone, kNoNeed, nullptr},
            {Id::AAC, " AAC    (Advanced Audio Coding)", nullptr, &AacExt, "AAC", "Encoder::AAC", &MakeAacEncoder,
         kNone, "faac, neroAacEnc or enc_aacplus, else the built-in AAC encoder", nullptr},
            {Id::MPC, " MPC    (Musepack)", nullptr, &MpcExt, "MPC", "Encoder::MPC", &MakeMpcEncoder,
         NeedKind::Program, "mppenc", &ProbeMpc},
            {Id::WV, " WV     (WavPack)", ".wv", nullptr, "WV", "Encoder::WV", &MakeWavPackEncoder, kNone, kNoNeed, nullptr},
            {Id::AU, " AU     (Sun/NeXT AU Format)", nullptr, &AuExt, "OTHER", "Encoder", &MakeSndfileEncoder, kNone, kNoNeed, nullptr},
            {Id::RAW, " RAW    (Headless Raw)", nullptr, &RawExt, "OTHER", "Encoder", &MakeSndfileEncoder, kNone, kNoNeed, nullptr},
            {Id::PAF, " PAF    (Ensoniq PARIS File Format)", nullptr, &PafExt, "OTHER", "Encoder", &MakeSndfileEncoder, kNone, kNoNeed, nullptr},
            {Id::SVX, " SVX    (Commodore Amiga File Format)", nullptr, &SvxExt, "OTHER", "Encoder", &MakeSndfileEncoder, kNone, kNoNeed, nullptr},
            {Id::NIST, " NIST   (Sphere Nist WAV)", ".nist", nullptr, "OTHER", "Encoder", &MakeSndfileEncoder, kNone, kNoNeed, nullptr},
            {Id::IRCAM, " IRCAM  (Berkeley IRCAM)", nullptr, &IrcamExt, "OTHER", "Encoder", &MakeSndfileEncoder, kNone, kNoNeed, nullptr},
            {Id::VOC, " VOC    (Creative VOC)", ".voc", nullptr, "OTHER", "Encoder", &MakeSndfileEncoder, kNone, kNoNeed, nullptr},
            {Id::W64, " W64    (Sound Forge W64)", ".w64", nullptr, "OTHER", "Encoder", &MakeSndfileEncoder, kNone, kNoNeed, nullptr},
            {Id::MAT4, " MAT4   (GNU Octave 2.0)", nullptr, &Mat4Ext, "OTHER", "Encoder", &MakeSndfileEncoder, kNone, kNoNeed, nullptr},
            {Id::MAT5, " MAT5   (GNU Octave 2.1)", ".mat5", nullptr, "OTHER", "Encoder", &MakeSndfileEncoder, kNone, kNoNeed, nullptr},
            {Id::PVF, " PVF    (Portable Voice Format)", ".pvf", nullptr, "OTHER", "Encoder", &MakeSndfileEncoder, kNone, kNoNeed, nullptr},
            {Id::XI, " XI     (Fasttracker 2 Extended Instrument)", ".xi", nullptr, "OTHER", "Encoder", &MakeSndfileEncoder, kNone, kNoNeed, nullptr},
            {Id::HTK, " HTK    (HMM Tool Kit Format)", ".htk", nullptr, "OTHER", "Encoder", &MakeSndfileEncoder, kNone, kNoNeed, nullptr},
            {Id::CAF, " CAF    (Core Audio File Format)", ".caf", nullptr, "OTHER", "Encoder", &MakeSndfileEncoder, kNone, kNoNeed, nullptr},
            {Id::SDS, " SDS    (Midi Sample Dump Standard)", ".sds", nullptr, "OTHER", "Encoder", &MakeSndfileEncoder, kNone, kNoNeed, nullptr},
            {Id::AVR, " AVR    (Audio Visual Research)", ".avr", nullptr, "OTHER", "Encoder", &MakeSndfileEncoder, kNone, kNoNeed, nullptr},
            {Id::WAVEX, " WAVEX  (MS WAVE with WAVEFORMATEX)", ".wavex", nullptr, "OTHER", "Encoder", &MakeSndfileEncoder, kNone, kNoNeed, nullptr},
            {Id::SD2, " SD2    (Sound Designer 2)", ".sd2", nullptr, "OTHER", "Encoder", &MakeSndfileEncoder, kNone, kNoNeed, nullptr},
            {Id::Custom, " User-Customized Format", nullptr, &CustomExt, "CUSTOM", "Encoder::Customized", &MakeCustomEncoder,
         NeedKind::Program, "the program CUSTOM/Encoder names", &ProbeCustom},
    };
    return rows;
}

// The folders the loader searches, as far as the user can tell them.
std::string LibrarySearchText() {
    std::string where;
    if (const char* env = std::getenv("LD_LIBRARY_PATH"); env && *env) where = std::string("LD_LIBRARY_PATH (") + env + "), ";
    return where + "the system library folders";
}

}  // namespace

const std::vector<FormatDescriptor>& FormatRows() { return Rows(); }

const FormatDescriptor* FindFormat(int id) {
    if (!IsValidOutputFormat(id)) return nullptr;
    const FormatDescriptor& row = Rows()[static_cast<std::size_t>(id - kFirstOutputFormat)];
    return row.Id() == id ? &row : nullptr;
}

std::string ExtensionOf(const CSettings& settings, int id) {
    const FormatDescriptor* row = FindFormat(id);
    if (!row) return {};
    return row->extensionOf ? row->extensionOf(settings) : std::string(row->extension);
}

std::string FindProgram(const std::string& home, const std::vector<std::string>& names, std::string* lookedIn) {
    std::vector<std::string> folders;
    if (!home.empty()) folders.push_back(home + "/External");
    const char* path = std::getenv("PATH");
    std::string rest = path ? path : "";
    for (std::size_t start = 0; start <= rest.size();) {
        std::size_t end = rest.find(':', start);
        if (end == std::string::npos) end = rest.size();
        if (end > start) folders.push_back(rest.substr(start, end - start));
        start = end + 1;
    }
    if (lookedIn) {
        lookedIn->clear();
        for (const std::string& f : folders) *lookedIn += (lookedIn->empty() ? "" : ", ") + f;
        if (lookedIn->empty()) *lookedIn = "an empty PATH";
    }
    std::error_code ec;
    for (const std::string& folder : folders) {
        for (const std::string& name : names) {
            const std::string candidate = folder + "/" + name;
            if (std::filesystem::is_regular_file(candidate, ec) && access(candidate.c_str(), X_OK) == 0) return candidate;
        }
    }
    return {};
}

bool LibraryLoads(const std::string& name) {
    void* handle = dlopen(name.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (!handle) return false;
    dlclose(handle);
    return true;
}

FormatProbe ProbeFormat(const CSettings& settings, const std::string& home, int id) {
    const FormatDescriptor* row = FindFormat(id);
    if (!row) return FormatProbe::Missing("output format " + std::to_string(id), "the formats 1..31");
    if (row->probe) {
        FormatProbe p = row->probe(settings, home);
        if (!p.runnable) return p;
    } else if (row->needs == NeedKind::Library) {
        if (!LibraryLoads(row->need))
            return FormatProbe::Missing("the library " + std::string(row->need), LibrarySearchText());
    } else if (row->needs == NeedKind::Program) {
        std::string where;
        if (FindProgram(home, {row->need}, &where).empty())
            return FormatProbe::Missing("the program " + std::string(row->need), where);
    }
    if (!row->make) return FormatProbe::Missing("the " + FormatShortName(id) + " encoder", "the encoders built into Quarrow");
    return FormatProbe::Ok();
}

std::string ProbeMessage(int id, const FormatProbe& probe) {
    if (probe.runnable) return {};
    const std::string name = IsValidOutputFormat(id) ? FormatShortName(id) : "output format " + std::to_string(id);
    // A probe without a place names a refusal of its own ("WMA profile 3 ...").
    if (probe.lookedIn.empty()) return "Cannot rip to " + name + ": " + probe.missing;
    return "Cannot rip to " + name + ": " + probe.missing + " was not found (looked in " + probe.lookedIn + ")";
}

std::string ChoiceWarning(const CSettings& settings, const std::string& home, int id) {
    const std::string message = ProbeMessage(id, ProbeFormat(settings, home, id));
    return message.empty() ? message : "Warning: " + message;
}

std::unique_ptr<CEncoder> CreateEncoder(const CSettings& settings) {
    const FormatDescriptor* row = FindFormat(settings.OUTPUT.OutputFormat);
    if (!row || !row->make) return nullptr;
    return row->make(settings, row->Id());
}

}  // namespace quarrow
