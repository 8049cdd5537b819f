// WavPack, pure lossless or hybrid with an optional correction file (identifier 12).
#pragma once

#include <wavpack/wavpack.h>

#include <memory>
#include <string>

#include "encoders/Encoder.h"

namespace quarrow {

// The library configuration of the WV settings: 16-bit stereo at 44100 Hz with the
// level, joint-stereo, extra-processing, block-size, hybrid and noise-shaping choices.
WavpackConfig WavPackConfigOf(const CSettings& settings);

// Whether the settings ask for a correction file (hybrid mode with CrtWvc).
bool WavPackWritesCorrection(const CSettings& settings);

// The correction file beside a ".wv" file: ".wv" becomes ".wvc" (any other name gets
// ".wvc" appended). A temporary name ".NAME.wv.part" maps to ".NAME.wvc.part".
std::string WavPackCorrectionPathOf(const std::string& path);

std::unique_ptr<CEncoder> MakeWavPackEncoder(const CSettings& settings, int formatId);

}  // namespace quarrow
