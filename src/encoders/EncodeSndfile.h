// The libsndfile format word of a container choice, shared by the container driver and
// whoever needs to know what a container setting will write, and whether the library
// can really write it.
#pragma once

#include <cstdint>
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

// Whether libsndfile writes a description in full: the format check passes and one
// sector's worth of samples goes through a scratch file and closes cleanly. Some
// descriptions pass the format check and still write nothing (12-bit DWVW in AIFF).
bool SndfileWrites(int format, int channels, int32_t sampleRate);

struct ContainerChoice;
// The box text a page shows when a container choice cannot be written ("" when it
// can): the channel count is 1 for mono or a mono-only sub-format, else 2.
std::string ContainerChoiceProblem(int formatId, const ContainerChoice& choice);

}  // namespace quarrow
