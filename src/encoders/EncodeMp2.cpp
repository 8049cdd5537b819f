#include "encoders/EncodeMp2.h"

#include <twolame.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <cmath>

#include <cstdio>
#include <vector>

#include "app/Settings.h"
#include "encoders/OutputFormat.h"

namespace quarrow {

int TwolameModeOfChannel(int channel) {
    switch (channel) {
    case 0: return TWOLAME_MONO;
    case 1: return TWOLAME_AUTO_MODE;
    case 2: return TWOLAME_STEREO;
    case 3: return TWOLAME_JOINT_STEREO;
    case 4: return TWOLAME_DUAL_CHANNEL;
    default: return -2;
    }
}

namespace {

// x * 2^31 is exact in double; rounding to nearest (ties to even, as llrint in the
// default mode) and keeping the upper 16 bits, with the clipping of FloatToShort.
inline int16_t ToShort(float sample) {
    const double x = static_cast<double>(sample) * 2147483648.0;
    if (x >= 2147483647.0) return 32767;
    if (!(x > -2147483648.0)) return -32768;   // -1 and below, and NaN
#if defined(__SSE2__)
    const int32_t n = _mm_cvtsd_si32(_mm_set_sd(x));
#else
    const int32_t n = static_cast<int32_t>(std::llrint(x));
#endif
    return static_cast<int16_t>(n >> 16);
}

}  // namespace

void FloatToShortPlanes(const float* samples, std::size_t frames, int16_t* left, int16_t* right) {
    if (!right) {
        for (std::size_t i = 0; i < frames; ++i) left[i] = ToShort(samples[i]);
        return;
    }
    for (std::size_t i = 0; i < frames; ++i) {
        left[i] = ToShort(samples[2 * i]);
        right[i] = ToShort(samples[2 * i + 1]);
    }
}

namespace {

constexpr std::size_t kOutputBufferSize = 16384;
// Blocks are split so that one call's frames always fit the output buffer: 2048
// samples per channel are under two frames, at most 2 x 1728 bytes at 384 kbps.
constexpr std::size_t kMaxFramesPerCall = 2048;

class Mp2Encoder : public CEncoder {
public:
    explicit Mp2Encoder(const CSettings& settings) : settings_(settings) {}
    ~Mp2Encoder() override {
        CloseEncoder();
        if (file_) std::fclose(file_);
    }

protected:
    bool Open(EncodeContext& ctx, const std::string& path, const std::string& finalPath) override {
        const CSettings::Mp2& m = settings_.MP2;
        const int mode = TwolameModeOfChannel(m.Channel);
        const int32_t rate = SampleRateOf(m.Freq);
        const int32_t bitrate = BitrateOf(m.Bits);
        channels_ = m.Channel == 0 ? 1 : 2;
        options_ = twolame_init();
        bool ok = options_ != nullptr && mode != -2 && rate != 0 && bitrate != 0;
        if (ok) {
            twolame_set_verbosity(options_, 0);
            twolame_set_mode(options_, static_cast<TWOLAME_MPEG_mode>(mode));
            twolame_set_out_samplerate(options_, rate);
            twolame_set_bitrate(options_, bitrate);
            twolame_set_VBR(options_, FALSE);
            twolame_set_copyright(options_, m.CopyRight != 0);
            twolame_set_original(options_, m.Original != 0);
            twolame_set_num_channels(options_, channels_);
            twolame_set_in_samplerate(options_, rate);
            ok = twolame_init_params(options_) == 0;
        }
        if (!ok) {
            ctx.PostMessage("Error: configuring libtwolame encoder failed.", Severity::Error);
            return false;
        }
        file_ = std::fopen(path.c_str(), "w+b");
        if (!file_) {
            ctx.PostMessage("Error creating file " + finalPath, Severity::Error);
            return false;
        }
        output_.assign(kOutputBufferSize, 0);
        return true;
    }

    bool WriteFloat(EncodeContext& ctx, const float* samples, std::size_t count) override {
        if (!file_ || !options_) return false;
        // The rings deliver what the rip's shape says; a stereo encoder fed mono (or the
        // reverse) would misread every block.
        if (ctx.mono != (channels_ == 1)) {
            ctx.PostMessage("Error: the MP2 encoder expects " + std::string(channels_ == 1 ? "mono" : "stereo") +
                                " samples", Severity::Error);
            return false;
        }
        const std::size_t frames = count / static_cast<std::size_t>(channels_);
        for (std::size_t done = 0; done < frames;) {
            const std::size_t n = std::min(kMaxFramesPerCall, frames - done);
            left_.resize(n);
            int produced;
            if (channels_ == 1) {
                FloatToShortPlanes(samples + done, n, left_.data(), nullptr);
                produced = twolame_encode_buffer_interleaved(options_, left_.data(), static_cast<int>(n),
                                                             output_.data(), static_cast<int>(output_.size()));
            } else {
                right_.resize(n);
                FloatToShortPlanes(samples + 2 * done, n, left_.data(), right_.data());
                produced = twolame_encode_buffer(options_, left_.data(), right_.data(), static_cast<int>(n),
                                                 output_.data(), static_cast<int>(output_.size()));
            }
            if (!Put(ctx, produced)) return false;
            done += n;
        }
        return true;
    }

    bool Finish(EncodeContext& ctx, bool complete) override {
        bool ok = file_ != nullptr && options_ != nullptr;
        if (ok && !ctx.IsAborted()) {
            const int produced = twolame_encode_flush(options_, output_.data(), static_cast<int>(output_.size()));
            ok = Put(ctx, produced);
        }
        CloseEncoder();
        if (file_) {
            const bool closed = std::fclose(file_) == 0;
            file_ = nullptr;
            if (!closed && ok && complete) {
                ctx.PostMessage("Output file write error", Severity::Error);
                ok = false;
            }
        }
        return ok;
    }

private:
    // twolame_close frees the options but leaves the caller's pointer as it was.
    void CloseEncoder() {
        if (!options_) return;
        twolame_close(&options_);
        options_ = nullptr;
    }

    bool Put(EncodeContext& ctx, int produced) {
        if (produced < 0) {
            char text[64];
            std::snprintf(text, sizeof text, "Error: libtwolame encoding failed (%d)", produced);
            ctx.PostMessage(text, Severity::Error);
            return false;
        }
        const std::size_t n = static_cast<std::size_t>(produced);
        if (n && std::fwrite(output_.data(), 1, n, file_) != n) {
            ctx.PostMessage("Output file write error", Severity::Error);
            return false;
        }
        return true;
    }

    CSettings settings_;
    twolame_options* options_ = nullptr;
    std::FILE* file_ = nullptr;
    int channels_ = 2;
    std::vector<unsigned char> output_;
    std::vector<int16_t> left_, right_;
};

}  // namespace

std::unique_ptr<CEncoder> MakeMp2Encoder(const CSettings& settings, int) {
    return std::make_unique<Mp2Encoder>(settings);
}

}  // namespace quarrow
