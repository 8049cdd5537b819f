// The MP2 driver: MPEG-1 Audio Layer 2 through libtwolame, fed with float samples
// converted to 16 bits.
#pragma once

#include <memory>

#include "encoders/Encoder.h"

namespace quarrow {

// The TwoLAME mode of MP2/Channel 0..4 (mono, auto, stereo, joint stereo, dual
// channel); -2 for a value outside the list.
int TwolameModeOfChannel(int channel);

// The driver of identifier 7.
std::unique_ptr<CEncoder> MakeMp2Encoder(const CSettings& settings, int formatId);

}  // namespace quarrow
