// The container driver: WAV, AIFF and the further sample containers (identifiers 13..30)
// through libsndfile, and the temporary input file of the customised encoder.
#include <sndfile.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "app/Settings.h"
#include "encoders/Encoder.h"
#include "encoders/EncodeSndfile.h"
#include "encoders/OutputFormat.h"

namespace quarrow {

int SndfileMajorType(int formatId) {
    switch (formatId) {
        case 1: return SF_FORMAT_WAV;
        case 9: return SF_FORMAT_AIFF;
        case 13: return SF_FORMAT_AU;
        case 14: return SF_FORMAT_RAW;
        case 15: return SF_FORMAT_PAF;
        case 16: return SF_FORMAT_SVX;
        case 17: return SF_FORMAT_NIST;
        case 18: return SF_FORMAT_IRCAM;
        case 19: return SF_FORMAT_VOC;
        case 20: return SF_FORMAT_W64;
        case 21: return SF_FORMAT_MAT4;
        case 22: return SF_FORMAT_MAT5;
        case 23: return SF_FORMAT_PVF;
        case 24: return SF_FORMAT_XI;
        case 25: return SF_FORMAT_HTK;
        case 26: return SF_FORMAT_CAF;
        case 27: return SF_FORMAT_SDS;
        case 28: return SF_FORMAT_AVR;
        case 29: return SF_FORMAT_WAVEX;
        case 30: return SF_FORMAT_SD2;
        default: return 0;
    }
}

int SndfileSubType(const std::string& label) {
    // Labels as the "Codec:" lists show them, with their leading blank. The RAW list
    // carries "12 bit DWVW" with a trailing blank, the AIFF list without.
    static const std::map<std::string, int> kSubTypes = {
        {" Unsigned 8 bit PCM", SF_FORMAT_PCM_U8},
        {" Signed 8 bit PCM", SF_FORMAT_PCM_S8},
        {" Signed 16 bit PCM", SF_FORMAT_PCM_16},
        {" Signed 24 bit PCM", SF_FORMAT_PCM_24},
        {" Signed 32 bit PCM", SF_FORMAT_PCM_32},
        {" 32 bit float", SF_FORMAT_FLOAT},
        {" 64 bit double", SF_FORMAT_DOUBLE},
        {" u-law", SF_FORMAT_ULAW},
        {" A-law", SF_FORMAT_ALAW},
        {" IMA ADPCM", SF_FORMAT_IMA_ADPCM},
        {" MS ADPCM", SF_FORMAT_MS_ADPCM},
        {" GSM 6.10", SF_FORMAT_GSM610},
        {" Dialogic ADPCM", SF_FORMAT_VOX_ADPCM},
        {" G721 ADPCM 32kbps", SF_FORMAT_G721_32},
        {" G723 ADPCM 24kbps", SF_FORMAT_G723_24},
        {" G723 ADPCM 40kbps", SF_FORMAT_G723_40},
        {" 12 bit DWVW ", SF_FORMAT_DWVW_12},
        {" 12 bit DWVW", SF_FORMAT_DWVW_12},
        {" 16 bit DWVW", SF_FORMAT_DWVW_16},
        {" 24 bit DWVW", SF_FORMAT_DWVW_24},
        {" 8 bit DPCM", SF_FORMAT_DPCM_8},
        {" 16 bit DPCM", SF_FORMAT_DPCM_16},
    };
    const auto it = kSubTypes.find(label);
    return it == kSubTypes.end() ? 0 : it->second;
}

int SndfileFormatOf(int formatId, int subFormatIndex, int extIndex) {
    const int major = SndfileMajorType(formatId);
    if (major == 0) return 0;
    if (formatId == 25) return SF_FORMAT_HTK | SF_FORMAT_PCM_16;
    const std::vector<std::string>& list = SubFormatList(formatId);
    // An index beyond the list leaves the sub-type 0, which the format check rejects.
    const int sub = subFormatIndex >= 0 && static_cast<std::size_t>(subFormatIndex) < list.size()
                        ? SndfileSubType(list[subFormatIndex])
                        : 0;
    int endian = SF_ENDIAN_FILE;
    if (formatId == 15) endian = extIndex == 0 ? SF_ENDIAN_BIG : SF_ENDIAN_LITTLE;
    return major | sub | endian;
}

bool SndfileWrites(int format, int channels, int32_t sampleRate) {
    SF_INFO info;
    std::memset(&info, 0, sizeof info);
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = format;
    if (channels < 1 || !sf_format_check(&info)) return false;
    // A real file in a private folder: some containers (SD2) write a companion file
    // beside it and cannot be written to memory.
    std::error_code ec;
    std::string folder = (std::filesystem::temp_directory_path(ec) / "quarrow-probe-XXXXXX").string();
    if (ec || !mkdtemp(folder.data())) return false;
    const std::string path = folder + "/probe";
    bool ok = false;
    if (SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info)) {
        const std::vector<short> sector(static_cast<std::size_t>(588 * channels), 0);
        ok = sf_write_short(f, sector.data(), static_cast<sf_count_t>(sector.size())) ==
             static_cast<sf_count_t>(sector.size());
        ok = sf_close(f) == 0 && ok;
    }
    std::filesystem::remove_all(folder, ec);
    return ok;
}

std::string ContainerChoiceProblem(int formatId, const ContainerChoice& choice) {
    const int format = SndfileFormatOf(formatId, choice.subFormat, choice.ext);
    const int channels = choice.channel == 0 || IsMonoOnlySubFormat(formatId, choice.subFormat) ? 1 : 2;
    if (format != 0 && SndfileWrites(format, channels, SampleRateOf(choice.freq))) return "";
    std::string label = SubFormatLabel(formatId, choice.subFormat);
    if (!label.empty() && label.front() == ' ') label.erase(0, 1);
    while (!label.empty() && label.back() == ' ') label.pop_back();
    return FormatShortName(formatId) + " files cannot be written with the codec \"" + label + "\" (" +
           (channels == 1 ? "Mono" : "Stereo") + ", " + std::to_string(SampleRateOf(choice.freq)) +
           " Hz).\nPlease Choose Another Codec.";
}

namespace {

class SndfileEncoder : public CEncoder {
public:
    // formatId 1, 9, 13..30; or 0 with a temporary-file input mode (2 WAV, 3 RAW).
    SndfileEncoder(const CSettings& settings, int formatId, int inputMode = 0,
                   TemporaryFileRunner runner = nullptr)
        : formatId_(formatId), inputMode_(inputMode), runner_(runner) {
        if (inputMode_ == 0) {
            const ContainerChoice c = GetContainerChoice(settings, formatId);
            format_ = SndfileFormatOf(formatId, c.subFormat, c.ext);
            rate_ = SampleRateOf(c.freq);
        } else {
            format_ = (inputMode_ == 2 ? SF_FORMAT_WAV : SF_FORMAT_RAW) | SF_FORMAT_PCM_16;
            rate_ = 44100;
        }
    }
    ~SndfileEncoder() override {
        if (file_) sf_close(file_);
    }

protected:
    bool UsesTemporaryName() const override { return inputMode_ == 0; }

    // Sound Designer 2 keeps its resource fork in an AppleDouble file "._NAME".
    std::vector<std::string> CompanionFiles(const std::string& path) const override {
        if (formatId_ != 30) return {};
        const auto slash = path.find_last_of('/');
        if (slash == std::string::npos) return {"._" + path};
        return {path.substr(0, slash + 1) + "._" + path.substr(slash + 1)};
    }

    bool Open(EncodeContext& ctx, const std::string& path, const std::string& finalPath) override {
        SF_INFO info;
        std::memset(&info, 0, sizeof info);
        info.samplerate = rate_;
        // The channel count follows the samples the rip delivers: a mono-only sub-format
        // is always mixed down, whatever a hand-edited channel flag says.
        info.channels = inputMode_ != 0 ? 2 : (ctx.mono ? 1 : 2);
        info.format = format_;
        if (!SndfileWrites(info.format, info.channels, info.samplerate)) {
            ctx.PostMessage("Invalid format!", Severity::Error);
            return false;
        }
        openedPath_ = inputMode_ == 0 ? path : TemporaryPath(ctx);
        file_ = sf_open(openedPath_.c_str(), SFM_WRITE, &info);
        if (!file_) {
            ctx.PostMessage("Error : could not open file : " + (inputMode_ == 0 ? finalPath : openedPath_), Severity::Error);
            return false;
        }
        shownPath_ = inputMode_ == 0 ? finalPath : openedPath_;
        return true;
    }

    bool WriteShort(EncodeContext& ctx, const int16_t* samples, std::size_t count) override {
        const sf_count_t done = sf_write_short(file_, samples, static_cast<sf_count_t>(count));
        return CheckWrite(ctx, done, count);
    }

    bool WriteFloat(EncodeContext& ctx, const float* samples, std::size_t count) override {
        const sf_count_t done = sf_write_float(file_, samples, static_cast<sf_count_t>(count));
        return CheckWrite(ctx, done, count);
    }

    bool Finish(EncodeContext& ctx, bool complete) override {
        if (!file_) return false;
        const int rc = sf_close(file_);
        file_ = nullptr;
        if (rc != 0 && complete) {
            ctx.PostMessage("Error : could not write file : " + shownPath_ + " (" + sf_error_number(rc) + ")", Severity::Error);
            return false;
        }
        return true;
    }

    bool AfterFinish(EncodeContext& ctx, const std::string& path) override {
        if (inputMode_ == 0 || !runner_) return true;
        return runner_(ctx, openedPath_, path);
    }

private:
    std::string TemporaryPath(const EncodeContext& ctx) const {
        return ctx.HomeFolder() + (inputMode_ == 2 ? "/temp.wav" : "/temp.raw");
    }

    bool CheckWrite(EncodeContext& ctx, sf_count_t done, std::size_t count) {
        if (done == static_cast<sf_count_t>(count)) return true;
        // A short write is a full disk or a vanished file; the block cannot be taken back.
        ctx.PostMessage("Error : could not write file : " + shownPath_ + " (" + sf_strerror(file_) + ")", Severity::Error);
        return false;
    }

    int formatId_;
    int inputMode_;
    TemporaryFileRunner runner_;
    int format_ = 0;
    int32_t rate_ = 0;
    SNDFILE* file_ = nullptr;
    std::string openedPath_;
    std::string shownPath_;
};

}  // namespace

std::unique_ptr<CEncoder> MakeSndfileEncoder(const CSettings& settings, int formatId) {
    if (!IsContainerFormat(formatId)) return nullptr;
    return std::make_unique<SndfileEncoder>(settings, formatId);
}

std::unique_ptr<CEncoder> MakeSndfileTemporaryEncoder(const CSettings& settings, int inputMode,
                                                      TemporaryFileRunner runner) {
    if (inputMode != 2 && inputMode != 3) return nullptr;
    return std::make_unique<SndfileEncoder>(settings, 0, inputMode, runner);
}

}  // namespace quarrow
