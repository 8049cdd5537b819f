#include "encoders/ApePredictor.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace quarrow {

namespace {

// Sums and products wrap at 32 bits, as in every decoder's accumulators.
inline int32_t Add(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b)); }
inline int32_t Sub(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b)); }
inline int32_t Mul(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b)); }
// 31/32 of the value, rounded down.
inline int32_t Decay(int32_t v) { return Mul(v, 31) >> 5; }
// The adaptation works with the negated sign.
inline int32_t NegSign(int32_t v) { return (v < 0) - (v > 0); }

inline int16_t Clip16(int32_t v) { return static_cast<int16_t>(std::clamp<int32_t>(v, -32768, 32767)); }

// The filter's inner loops, with the order known at compile time so that they vectorise
// even at -O2. The dot product is taken with the coefficients after the previous
// sample's update (Direction +1 adds the steps, -1 subtracts them, 0 leaves them).
template <int Order, int Direction>
inline int32_t UpdateAndDot(int16_t* __restrict coeffs, const int16_t* __restrict steps,
                            const int16_t* __restrict past) {
    uint32_t sum = 0;
    for (int j = 0; j < Order; ++j) {
        if constexpr (Direction > 0) coeffs[j] = static_cast<int16_t>(coeffs[j] + steps[j]);
        if constexpr (Direction < 0) coeffs[j] = static_cast<int16_t>(coeffs[j] - steps[j]);
        sum += static_cast<uint32_t>(int32_t{coeffs[j]} * int32_t{past[j]});
    }
    return static_cast<int32_t>(sum);
}

}  // namespace

// On x86 the filter loops are also built for AVX2, picked at load time when the CPU has
// it; not under the sanitizers, whose instrumentation of the load-time picker crashes.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QUARROW_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define QUARROW_SANITIZED 1
#endif
#endif
#if defined(__x86_64__) && defined(__GNUC__) && !defined(QUARROW_SANITIZED)
#define QUARROW_WIDE_VECTORS __attribute__((target_clones("avx2", "default")))
#else
#define QUARROW_WIDE_VECTORS
#endif

ApeNNFilter::ApeNNFilter(int order, int fractionBits)
    : order_(order), fractionBits_(fractionBits), coeffs_(static_cast<std::size_t>(order)),
      history_(static_cast<std::size_t>(order) + 1 + kWindow), adapt_(history_.size()),
      pos_(static_cast<std::size_t>(order) + 1) {
    if (order != 16 && order != 32 && order != 64 && order != 256 && order != 1280)
        throw std::invalid_argument("APE filter order " + std::to_string(order));
}

QUARROW_WIDE_VECTORS void ApeNNFilter::Compress(int32_t* values, std::size_t count) {
    switch (order_) {
    case 16: return Run<16>(values, count);
    case 32: return Run<32>(values, count);
    case 64: return Run<64>(values, count);
    case 256: return Run<256>(values, count);
    default: return Run<1280>(values, count);
    }
}

template <int Order>
__attribute__((always_inline)) inline void ApeNNFilter::Run(int32_t* values, std::size_t count) {
    // A sample's coefficient update waits for the next sample, to share its pass over
    // the coefficients; so does the fading of its older steps, which the update must not see.
    constexpr std::size_t kKeep = Order + 1;
    const uint32_t round = 1u << (fractionBits_ - 1);
    int16_t* coeffs = coeffs_.data();
    for (std::size_t i = 0; i < count; ++i) {
        if (pos_ == history_.size()) {
            // Slide: keep the last values and steps at the front.
            std::copy(history_.end() - kKeep, history_.end(), history_.begin());
            std::copy(adapt_.end() - kKeep, adapt_.end(), adapt_.begin());
            pos_ = kKeep;
        }
        int16_t* steps = adapt_.data() + pos_;
        const int16_t* past = history_.data() + pos_ - Order;
        const int16_t* previousSteps = steps - 1 - Order;   // the window the last sample adapts with
        int32_t dot;
        if (pendingSign_ > 0)
            dot = UpdateAndDot<Order, -1>(coeffs, previousSteps, past);
        else if (pendingSign_ < 0)
            dot = UpdateAndDot<Order, 1>(coeffs, previousSteps, past);
        else
            dot = UpdateAndDot<Order, 0>(coeffs, previousSteps, past);
        // Older steps fade: those one, two and eight before the last sample.
        for (const int back : {2, 3, 9}) steps[-back] = static_cast<int16_t>(steps[-back] >> 1);

        const int32_t prediction = static_cast<int32_t>(static_cast<uint32_t>(dot) + round) >> fractionBits_;
        const int32_t value = values[i];
        const int32_t residual = Sub(value, prediction);
        values[i] = residual;
        // The coefficients will move against the residual's sign.
        pendingSign_ = (residual > 0) - (residual < 0);

        history_[pos_] = Clip16(value);
        const int64_t magnitude = value < 0 ? -int64_t{value} : int64_t{value};
        int16_t step = 0;
        if (magnitude != 0) {
            // Smaller steps for values well below the running mean.
            const int shift = (magnitude <= int64_t{average_} * 3) + (magnitude <= int64_t{average_} * 4 / 3);
            step = static_cast<int16_t>((value < 0 ? 32 : -32) >> shift);
        }
        steps[0] = step;
        average_ += static_cast<int32_t>((magnitude - average_) / 16);
        ++pos_;
    }
}

int32_t ApePredictor::Step(Channel& c, int32_t target, const int32_t* otherOutput) {
    // The channel's own line: the integrator's last input and its three latest steps.
    c.own[3] = c.own[2];
    c.own[2] = c.own[1];
    c.own[1] = Sub(c.last, c.own[0]);
    c.own[0] = c.last;
    c.ownSign[3] = c.ownSign[2];
    c.ownSign[2] = c.ownSign[1];
    c.ownSign[1] = NegSign(c.own[1]);
    c.ownSign[0] = NegSign(c.own[0]);
    int32_t prediction = 0;
    for (int i = 0; i < 4; ++i) prediction = Add(prediction, Mul(c.own[i], c.ownCoeffs[i]));

    if (otherOutput) {
        // The other channel's latest output, less most of what it was a sample before.
        const int32_t cross = Sub(*otherOutput, Decay(c.crossLast));
        c.crossLast = *otherOutput;
        c.cross[4] = c.cross[3];
        c.cross[3] = c.cross[2];
        c.cross[2] = c.cross[1];
        c.cross[1] = Sub(cross, c.cross[0]);
        c.cross[0] = cross;
        c.crossSign[4] = c.crossSign[3];
        c.crossSign[3] = c.crossSign[2];
        c.crossSign[2] = c.crossSign[1];
        c.crossSign[1] = NegSign(c.cross[1]);
        c.crossSign[0] = NegSign(c.cross[0]);
        int32_t crossPrediction = 0;
        for (int i = 0; i < 5; ++i) crossPrediction = Add(crossPrediction, Mul(c.cross[i], c.crossCoeffs[i]));
        prediction = Add(prediction, crossPrediction >> 1);
    }

    // The integrator leaks 1/32 a sample; its input is predicted from the lines.
    const int32_t last = Sub(target, Decay(c.output));
    const int32_t residual = Sub(last, prediction >> 10);
    c.last = last;
    c.output = target;

    const int32_t sign = NegSign(residual);
    if (sign != 0) {
        for (int i = 0; i < 4; ++i) c.ownCoeffs[i] = Add(c.ownCoeffs[i], c.ownSign[i] * sign);
        if (otherOutput)
            for (int i = 0; i < 5; ++i) c.crossCoeffs[i] = Add(c.crossCoeffs[i], c.crossSign[i] * sign);
    }
    return residual;
}

void ApePredictor::CompressStereo(int32_t* side, int32_t* mid, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        side[i] = Step(channels_[0], side[i], &channels_[1].output);
        mid[i] = Step(channels_[1], mid[i], &channels_[0].output);
    }
}

void ApePredictor::CompressMono(int32_t* values, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) values[i] = Step(channels_[0], values[i], nullptr);
}

}  // namespace quarrow
