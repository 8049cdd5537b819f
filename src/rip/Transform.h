// The audio transform module: the block operations the sample processing chain needs
// on 16-bit interleaved stereo CD audio. Each operation returns a new block except the
// levelling, which works in place.
#pragma once

#include <cstdint>
#include <vector>

namespace quarrow::transform {

using Block = std::vector<int16_t>;

// Averages left and right into one channel; an odd trailing value is dropped.
Block MixDown(const Block& stereo);
// The left (even) or right (odd) values of an interleaved block.
Block SplitLeft(const Block& stereo);
Block SplitRight(const Block& stereo);
// Interleaves two channel blocks; the shorter one decides the length.
Block Join(const Block& left, const Block& right);
// Peak normalisation applies one gain to a whole output file: a first pass gathers the
// file's peak (and each channel's mean, for the DC-bias removal) in a PeakMeter, the
// second pass levels every block with the same LevelGain, so the gain never jumps.
struct LevelGain {
    double gain = 1.0;
    double mean[2] = {0.0, 0.0};   // per channel, removed before the gain
};

class PeakMeter {
public:
    explicit PeakMeter(int channels = 2) { Reset(channels); }
    void Reset(int channels);
    // Interleaved values of the meter's channels (one channel: plain values).
    void Add(const Block& interleaved);
    // The levelling that brings the peak to percent (clamped to 1..100) of full scale
    // (32767); with dcBias the swing is measured around each channel's mean. A silent
    // file keeps the gain 1.
    LevelGain Gain(float percent, bool dcBias) const;

private:
    int channels_ = 2;
    long long sum_[2] = {0, 0};
    long long count_[2] = {0, 0};
    int min_[2] = {0, 0};
    int max_[2] = {0, 0};
};

// Levels one channel's block in place, results clipped to the 16-bit range.
void ApplyLevel(Block& channel, const LevelGain& level, int channelIndex);

}  // namespace quarrow::transform
