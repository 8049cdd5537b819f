// The libsndfile format word of a container choice, shared by the container driver and
// whoever needs to know what a container setting will write.
#pragma once

#include <string>

namespace quarrow {

// The major type of identifier 1, 9 or 13..30; 0 for any other.
int SndfileMajorType(int formatId);
// The sub-type of a "Codec:" label (with its leading blank); 0 for an unknown label.
int SndfileSubType(const std::string& label);
// major | sub-type | endianness for a container's stored sub-format and extension
// indices: HTK is always 16-bit PCM, PAF's byte order follows its extension (" fap"
// big, " paf" little), every other container uses the file's default order.
int SndfileFormatOf(int formatId, int subFormatIndex, int extIndex);

}  // namespace quarrow
