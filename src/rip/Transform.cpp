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

void Level(Block& block, float percent, bool dcBias) {
    if (block.empty()) return;
    if (!(percent >= 1.0f)) percent = 1.0f;   // also catches NaN
    if (percent > 100.0f) percent = 100.0f;

    double mean = 0.0;
    if (dcBias) {
        long long sum = 0;
        for (int16_t v : block) sum += v;
        mean = static_cast<double>(sum) / static_cast<double>(block.size());
    }
    double peak = 0.0;
    for (int16_t v : block) peak = std::max(peak, std::fabs(v - mean));
    if (peak < 1.0) {
        // Nothing to scale; only the bias goes.
        if (dcBias) std::fill(block.begin(), block.end(), int16_t{0});
        return;
    }
    const double gain = percent / 100.0 * 32767.0 / peak;
    for (int16_t& v : block) {
        const double x = std::lround((v - mean) * gain);
        v = static_cast<int16_t>(std::clamp(x, -32768.0, 32767.0));
    }
}

}  // namespace quarrow::transform
