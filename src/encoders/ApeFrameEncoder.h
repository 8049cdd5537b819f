// Compresses one frame of 16-bit PCM into the bytes of a Monkey's Audio (file version 3990)
// frame: stereo decorrelation, the level's NN filters, the fixed predictors and the range
// coder, then the frame CRC. The container around the frames is written elsewhere.
#pragma once

#include <cstdint>
#include <vector>

namespace quarrow {

constexpr uint16_t kApeFileVersion = 3990;
constexpr uint32_t kApeBlocksPerFrame = 73728 * 4;

// Encodes one frame of 16-bit PCM (interleaved when channels is 2; blocks = sample frames,
// 1 .. kApeBlocksPerFrame) at a compression level 1000..5000 into the bytes the frame occupies in
// the file: a whole number of 32-bit words, exactly as a decoder reads them at the frame's
// seek-table offset (CRC and frame flags included). Frames are independent of each other.
// Throws std::invalid_argument naming the value when blocks, channels or level are out of range.
std::vector<uint8_t> EncodeApeFrame(const int16_t* samples, uint32_t blocks, int channels, int level);

}  // namespace quarrow
