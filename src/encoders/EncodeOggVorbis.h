// Ogg Vorbis through libvorbis and libogg (identifier 4).
#pragma once

#include <memory>
#include <string>

#include "encoders/Encoder.h"

struct vorbis_info;

namespace quarrow {

// The serial number of a new Ogg stream (Ogg Vorbis and Ogg FLAC): the C random
// generator seeded with the current time, then rand().
int NewOggSerialNumber();

// Sets up vi (already vorbis_info_init'ed) for the OGG settings with the given channel
// count: quality mode, managed bit rate (VBR with minimum and maximum) or average bit
// rate. Returns libvorbis's result, 0 when the parameters are accepted.
int InitVorbisEncoder(vorbis_info* vi, const CSettings& settings, int channels);

std::unique_ptr<CEncoder> MakeOggVorbisEncoder(const CSettings& settings, int formatId);

}  // namespace quarrow
