// The prediction stages of an APE frame, run in the compressing direction: the adaptive
// NN filters of the compression level and the fixed-order predictor. Each turns the
// values a decoder must produce into the smaller values the decoder is fed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quarrow {

// One sign-sign adaptive FIR filter over 16-bit history, of the given order (16, 32, 64,
// 256 or 1280; anything else throws std::invalid_argument) and fixed-point fraction bits.
class ApeNNFilter {
public:
    ApeNNFilter(int order, int fractionBits);
    // In place: each value becomes itself minus the filter's prediction from the values before it.
    void Compress(int32_t* values, std::size_t count);

private:
    template <int Order>
    void Run(int32_t* values, std::size_t count);

    static constexpr std::size_t kWindow = 4096;   // history kept before it slides back

    int order_;
    int fractionBits_;
    int average_ = 0;                 // running mean magnitude, sets the adapt step
    int pendingSign_ = 0;             // the last residual's sign: its coefficient update is still to do
    std::vector<int16_t> coeffs_;
    std::vector<int16_t> history_;    // past values, clipped to 16 bits
    std::vector<int16_t> adapt_;      // past adapt steps
    std::size_t pos_;                 // index of the next value in history_ and adapt_
};

// The fixed-order predictor: a leaky first-order integrator behind a four-tap adaptive
// stage on the channel's own past and, in stereo, a five-tap stage on the other channel.
class ApePredictor {
public:
    // In place. Stereo: side (right minus left) is coded first each sample, then mid.
    void CompressStereo(int32_t* side, int32_t* mid, std::size_t count);
    void CompressMono(int32_t* values, std::size_t count);

private:
    struct Channel {
        int32_t last = 0;       // the integrator's input at the previous sample
        int32_t output = 0;     // the integrator's output at the previous sample
        int32_t crossLast = 0;  // the other channel's output seen at the previous sample
        int32_t own[4] = {};    // last value, then its three latest steps
        int32_t cross[5] = {};  // scaled other-channel value, then its four latest steps
        int32_t ownSign[4] = {};
        int32_t crossSign[5] = {};
        int32_t ownCoeffs[4] = {360, 317, -109, 98};
        int32_t crossCoeffs[5] = {};
    };
    static int32_t Step(Channel& c, int32_t target, const int32_t* otherOutput);

    Channel channels_[2];
};

}  // namespace quarrow
