// The entropy stage of an APE frame: a byte-wise range coder and the adaptive value model
// of file version 3990, which codes each residual as an overflow symbol from a fixed table
// plus a remainder below a pivot that follows the recent magnitudes.
#pragma once

#include <cstdint>
#include <vector>

namespace quarrow {

class ApeRangeEncoder {
public:
    // Appends the coded bytes to out, in the order a decoder reads them, starting with
    // the one byte the decoder skips.
    explicit ApeRangeEncoder(std::vector<uint8_t>& out) : out_(out) {}

    // The symbol whose interval is [low, low + width) out of 2^bits.
    void EncodeShift(uint32_t low, uint32_t width, int bits);
    // The value below total (1 .. 65535 or so), every value equally likely.
    void EncodeUniform(uint32_t value, uint32_t total);
    // Flushes the interval: afterwards the bytes hold everything a decoder reads.
    void Finish();

private:
    void Normalize();
    void Put(uint8_t byte) { out_.push_back(byte); }

    std::vector<uint8_t>& out_;
    uint32_t low_ = 0;
    uint32_t range_ = 1u << 31;
    uint8_t pending_ = 0;         // the last byte out, held back while a carry may reach it
    uint32_t pendingFF_ = 0;      // 0xFF bytes after it, also held back
};

// The per-channel model: the running sum of magnitudes sets the pivot of each value.
class ApeValueCoder {
public:
    void Encode(ApeRangeEncoder& rc, int32_t value);

private:
    void Update(uint32_t code);

    uint32_t k_ = 10;
    uint32_t kSum_ = (1u << 10) * 16;
};

}  // namespace quarrow
