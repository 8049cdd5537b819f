#include "rip/SampleProcessing.h"

#include <libresample.h>

#include <algorithm>
#include <cmath>

#include "app/ComponentError.h"
#include "rip/Transform.h"

namespace quarrow {

namespace {
// libresample keeps up to a filter's width of output in hand between calls; a little
// room beyond the nominal block keeps a full block from leaving input unconsumed.
constexpr int kResamplerSlack = 512;
}  // namespace

CSampleProcessor::CSampleProcessor(const SampleProcessingConfig& config, CSampleRing<int16_t>& intRing,
                                   CSampleRing<float>& leftRing, CSampleRing<float>& rightRing)
    : config_(config), intRing_(intRing), leftRing_(leftRing), rightRing_(rightRing) {
    if (config_.maxSectors < 1) config_.maxSectors = 1;
    if (!(config_.ratio > 0)) config_.ratio = 1.0;
    if (!config_.floatPath) return;
    // Sized once per job so that no block allocates on the float path.
    const std::size_t perChannel = static_cast<std::size_t>(config_.maxSectors) * (config_.mono ? 1176 : 588);
    convLeft_.resize(perChannel);
    if (!config_.mono) convRight_.resize(perChannel);
    if (config_.resample) {
        outCapacity_ = static_cast<int>(config_.maxSectors * (config_.mono ? 1176 : 588) * config_.ratio);
        outLeft_.resize(outCapacity_ + kResamplerSlack);
        if (!config_.mono) outRight_.resize(outCapacity_ + kResamplerSlack);
    }
}

CSampleProcessor::~CSampleProcessor() { CloseResamplers(); }

void CSampleProcessor::OpenResamplers() {
    if (!config_.resample || resampleLeft_) return;
    resampleLeft_ = resample_open(config_.highQuality ? 1 : 0, config_.ratio, config_.ratio);
    if (!config_.mono) resampleRight_ = resample_open(config_.highQuality ? 1 : 0, config_.ratio, config_.ratio);
    if (!resampleLeft_ || (!config_.mono && !resampleRight_)) {
        CloseResamplers();
        throw ComponentError("the resampler could not be opened for the ratio " + std::to_string(config_.ratio));
    }
}

void CSampleProcessor::CloseResamplers() {
    if (resampleLeft_) resample_close(resampleLeft_);
    if (resampleRight_) resample_close(resampleRight_);
    resampleLeft_ = resampleRight_ = nullptr;
}

void CSampleProcessor::WriteFloats(std::vector<int16_t>& channel, std::vector<float>& conv,
                                   std::vector<float>& out, void* resampler, CSampleRing<float>& ring,
                                   bool lastBlock) {
    const std::size_t n = std::min(channel.size(), conv.size());
    ShortToFloat(channel.data(), conv.data(), n);
    channel.clear();
    if (!config_.resample) {
        ring.Write(conv.data(), n);
        return;
    }
    if (!resampler) throw ComponentError("the resampler is not open");
    int used = 0;
    const int produced = resample_process(resampler, config_.ratio, conv.data(), static_cast<int>(n),
                                          lastBlock ? 1 : 0, &used, out.data(), static_cast<int>(out.size()));
    if (produced < 0) throw ComponentError("the resampler failed");
    for (int i = 0; i < produced; ++i) {
        if (out[i] <= -1.0f) out[i] = -1.0f;
        else if (out[i] >= 1.0f) out[i] = 1.0f;
    }
    ring.Write(out.data(), static_cast<std::size_t>(produced));
}

void CSampleProcessor::StartPeakScan() {
    meter_.Reset(config_.mono ? 1 : 2);
    level_ = {};
}

void CSampleProcessor::ScanPeak(const std::vector<int16_t>& block) {
    // The peak is measured on what is levelled: the mixed-down channel in mono.
    if (config_.mono) meter_.Add(transform::MixDown(block));
    else meter_.Add(block);
}

void CSampleProcessor::FixLevel() { level_ = meter_.Gain(config_.normalizePercent, config_.dcBias); }

void CSampleProcessor::ProcessSampleBlock(std::vector<int16_t>& block, bool lastBlock) {
    using namespace transform;

    if (config_.mono) {
        Block mono = MixDown(block);
        block.clear();
        if (config_.normalize) ApplyLevel(mono, level_, 0);
        if (!config_.floatPath) {
            intRing_.Write(mono.data(), mono.size());
            return;
        }
        WriteFloats(mono, convLeft_, outLeft_, resampleLeft_, leftRing_, lastBlock);
        return;
    }

    if (!config_.normalize && !config_.floatPath) {
        // The CD samples go through unchanged.
        intRing_.Write(block.data(), block.size());
        block.clear();
        return;
    }

    Block left = SplitLeft(block);
    Block right = SplitRight(block);
    block.clear();
    if (config_.normalize) {
        ApplyLevel(left, level_, 0);
        ApplyLevel(right, level_, 1);
    }
    if (!config_.floatPath) {
        const Block joined = Join(left, right);
        intRing_.Write(joined.data(), joined.size());
        return;
    }
    WriteFloats(left, convLeft_, outLeft_, resampleLeft_, leftRing_, lastBlock);
    WriteFloats(right, convRight_, outRight_, resampleRight_, rightRing_, lastBlock);
}

}  // namespace quarrow
