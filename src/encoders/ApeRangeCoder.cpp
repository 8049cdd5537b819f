#include "encoders/ApeRangeCoder.h"

#include <algorithm>

namespace quarrow {

namespace {

constexpr uint32_t kTop = 1u << 31;
constexpr uint32_t kBottom = kTop >> 8;
constexpr int kShift = 23;   // low's top byte starts here

// Where each overflow symbol's interval starts (out of 2^16); symbol i spans up to
// entry i + 1. Overflows 21..62 take one count each above the table, 63 escapes to 32 bits.
constexpr uint32_t kOverflowStart[22] = {
    0,     19578, 36160, 48417, 56323, 60899, 63265, 64435, 64971, 65232, 65351,
    65416, 65447, 65466, 65476, 65482, 65485, 65488, 65490, 65491, 65492, 65493,
};
constexpr uint32_t kTabled = 21;
constexpr uint32_t kEscape = 63;

}  // namespace

void ApeRangeEncoder::Normalize() {
    while (range_ <= kBottom) {
        if (low_ < (0xFFu << kShift)) {
            // The top byte cannot change any more: release it and the 0xFFs behind it.
            Put(pending_);
            for (; pendingFF_; --pendingFF_) Put(0xFF);
            pending_ = static_cast<uint8_t>(low_ >> kShift);
        } else if (low_ & kTop) {
            // A carry: it reaches the held byte and turns the 0xFFs into zeros.
            Put(static_cast<uint8_t>(pending_ + 1));
            for (; pendingFF_; --pendingFF_) Put(0x00);
            pending_ = static_cast<uint8_t>(low_ >> kShift);
        } else {
            ++pendingFF_;   // 0xFF with a carry still possible
        }
        range_ <<= 8;
        low_ = (low_ << 8) & (kTop - 1);
    }
}

void ApeRangeEncoder::EncodeShift(uint32_t low, uint32_t width, int bits) {
    Normalize();
    const uint32_t r = range_ >> bits;
    low_ += r * low;
    range_ = r * width;
}

void ApeRangeEncoder::EncodeUniform(uint32_t value, uint32_t total) {
    Normalize();
    const uint32_t r = range_ / total;
    low_ += r * value;
    range_ = r;
}

void ApeRangeEncoder::Finish() {
    // The decoder's window holds the next four bytes: write low itself, which lies in
    // every interval coded so far.
    const bool carry = (low_ & kTop) != 0;
    Put(static_cast<uint8_t>(pending_ + (carry ? 1 : 0)));
    for (; pendingFF_; --pendingFF_) Put(carry ? 0x00 : 0xFF);
    const uint32_t v = low_ << 1;
    for (int shift = 24; shift >= 0; shift -= 8) Put(static_cast<uint8_t>(v >> shift));
    low_ = 0;
    range_ = kTop;
    pending_ = 0;
}

void ApeValueCoder::Encode(ApeRangeEncoder& rc, int32_t value) {
    // Positive values take the odd codes, zero and negatives the even ones.
    const uint32_t magnitude = static_cast<uint32_t>(value);
    const uint32_t code = value > 0 ? 2 * magnitude - 1 : 0u - 2 * magnitude;
    const uint32_t pivot = std::max<uint32_t>(kSum_ >> 5, 1);
    const uint32_t overflow = code / pivot;
    const uint32_t base = code % pivot;

    if (overflow < kTabled) {
        rc.EncodeShift(kOverflowStart[overflow], kOverflowStart[overflow + 1] - kOverflowStart[overflow], 16);
    } else if (overflow < kEscape) {
        rc.EncodeShift(65472 + overflow, 1, 16);
    } else {
        rc.EncodeShift(65472 + kEscape, 1, 16);
        rc.EncodeShift(overflow >> 16, 1, 16);
        rc.EncodeShift(overflow & 0xFFFF, 1, 16);
    }

    if (pivot < 0x10000) {
        rc.EncodeUniform(base, pivot);
    } else {
        // A wide pivot goes in two parts: its top 16 bits (plus one), then the rest.
        int lowBits = 0;
        uint32_t high = pivot;
        while (high & ~0xFFFFu) high >>= 1, ++lowBits;
        rc.EncodeUniform(base >> lowBits, high + 1);
        rc.EncodeUniform(base & ((1u << lowBits) - 1), 1u << lowBits);
    }
    Update(code);
}

void ApeValueCoder::Update(uint32_t code) {
    const uint64_t floor = k_ ? uint64_t{1} << (k_ + 4) : 0;
    kSum_ += (code + 1) / 2 - ((kSum_ + 16) >> 5);
    if (kSum_ < floor)
        --k_;
    else if (kSum_ >= (uint64_t{1} << (k_ + 5)))
        ++k_;
}

}  // namespace quarrow
