// The MP2 driver: MPEG-1 Audio Layer 2 through libtwolame, fed with float samples
// converted to 16 bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "encoders/Encoder.h"

namespace quarrow {

// The TwoLAME mode of MP2/Channel 0..4 (mono, auto, stereo, joint stereo, dual
// channel); -2 for a value outside the list.
int TwolameModeOfChannel(int channel);

// FloatToShort split into channel planes in one pass: interleaved stereo frames to
// left and right, or mono samples (right null) to left. Same values as FloatToShort.
void FloatToShortPlanes(const float* samples, std::size_t frames, int16_t* left, int16_t* right);

// The driver of identifier 7.
std::unique_ptr<CEncoder> MakeMp2Encoder(const CSettings& settings, int formatId);

}  // namespace quarrow
