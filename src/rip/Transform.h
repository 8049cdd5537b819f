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
// Peak normalisation of one block to percent of full scale (32767). With dcBias the
// block's mean is removed first. A silent block stays silent; results are clipped to
// the 16-bit range. Percent outside 1..100 is clamped into it.
void Level(Block& block, float percent, bool dcBias);

}  // namespace quarrow::transform
