#include "rip/Transform.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace quarrow::transform {

Block MixDown(const Block& stereo) {
    Block mono(stereo.size() / 2);
    for (std::size_t i = 0; i < mono.size(); ++i) {
        // Arithmetic shift keeps the average exact for equal channels and never overflows.
        mono[i] = static_cast<int16_t>((static_cast<int32_t>(stereo[2 * i]) + stereo[2 * i + 1]) >> 1);
    }
    return mono;
}

Block SplitLeft(const Block& stereo) {
    Block out(stereo.size() / 2);
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = stereo[2 * i];
    return out;
}

Block SplitRight(const Block& stereo) {
    Block out(stereo.size() / 2);
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = stereo[2 * i + 1];
    return out;
}

Block Join(const Block& left, const Block& right) {
    const std::size_t n = std::min(left.size(), right.size());
    Block out(2 * n);
    for (std::size_t i = 0; i < n; ++i) {
        out[2 * i] = left[i];
        out[2 * i + 1] = right[i];
    }
    return out;
}

void PeakMeter::Reset(int channels) {
    channels_ = channels == 1 ? 1 : 2;
    for (int c = 0; c < 2; ++c) {
        sum_[c] = count_[c] = 0;
        min_[c] = max_[c] = 0;
    }
}

void PeakMeter::Add(const Block& interleaved) {
    for (std::size_t i = 0; i < interleaved.size(); ++i) {
        const int c = static_cast<int>(i % static_cast<std::size_t>(channels_));
        const int v = interleaved[i];
        if (count_[c] == 0 || v < min_[c]) min_[c] = v;
        if (count_[c] == 0 || v > max_[c]) max_[c] = v;
        sum_[c] += v;
        ++count_[c];
    }
}

LevelGain PeakMeter::Gain(float percent, bool dcBias) const {
    if (!(percent >= 1.0f)) percent = 1.0f;   // also catches NaN
    if (percent > 100.0f) percent = 100.0f;
    LevelGain level;
    double peak = 0.0;
    for (int c = 0; c < channels_; ++c) {
        if (count_[c] == 0) continue;
        const double mean = dcBias ? static_cast<double>(sum_[c]) / static_cast<double>(count_[c]) : 0.0;
        level.mean[c] = mean;
        peak = std::max({peak, max_[c] - mean, mean - min_[c]});
    }
    // Below one step there is nothing to scale; only the bias goes.
    if (peak >= 1.0) level.gain = percent / 100.0 * 32767.0 / peak;
    return level;
}

void ApplyLevel(Block& channel, const LevelGain& level, int index) {
    const double mean = level.mean[index == 1 ? 1 : 0];
    for (int16_t& v : channel) {
        const double x = std::round((v - mean) * level.gain);
        v = static_cast<int16_t>(std::clamp(x, -32768.0, 32767.0));
    }
}

}  // namespace quarrow::transform
