// FLAC and Ogg FLAC through the libFLAC stream encoder (identifier 6).
#pragma once

#include <FLAC/format.h>

#include <memory>
#include <string>

#include "encoders/Encoder.h"

namespace quarrow {

// The block size a FLAC/BlockSize choice passes to the encoder: 0 " Use Default" lets
// the compression level decide, 1..10 give 192 .. 4608; any other choice is 0.
unsigned FlacEncoderBlockSize(int choice);

// Tag text as UTF-8, which Vorbis comments and APE tags require: valid UTF-8 is kept
// as it is; anything else is taken as Latin-1, the usual code page of old album records.
std::string TagTextUtf8(const std::string& text);

struct FlacMetadataDeleter {
    void operator()(FLAC__StreamMetadata* m) const;
};
using FlacMetadataPtr = std::unique_ptr<FLAC__StreamMetadata, FlacMetadataDeleter>;

// The VORBIS_COMMENT block of a tagged file: vendor "Flac 1.2.1" and TITLE, ALBUM,
// TRACKNUMBER, ARTIST, COMMENT, GENRE, DATE, TOTALTRACKS in that order. Null only when
// libFLAC cannot allocate it.
FlacMetadataPtr MakeFlacCommentBlock(const TagValues& tags);

std::unique_ptr<CEncoder> MakeFlacEncoder(const CSettings& settings, int formatId);

}  // namespace quarrow
