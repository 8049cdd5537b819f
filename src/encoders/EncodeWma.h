// The WMA driver: Windows Media Audio in an ASF file through libavcodec's WMA encoder,
// tagged with the container's own metadata. The WMA 9.2 CBR profiles map to the
// encoder's bit rate, rate and channels; every other profile is refused by name.
#pragma once

#include <memory>
#include <string>

#include "encoders/AvWriter.h"
#include "encoders/Encoder.h"

namespace quarrow {

// The encoder settings of WMA profile 1..125; false with error naming the profile when
// the library cannot write it.
bool WmaProfileTarget(int profile, AvTarget& target, std::string& error);
// The refusal of a profile before anything is written; empty when it can be written.
std::string WmaProfileProblem(int profile);

// The driver of identifier 3.
std::unique_ptr<CEncoder> MakeWmaEncoder(const CSettings& settings, int formatId);

}  // namespace quarrow
