// The VQF driver: a chunked TwinVQ header written by our own bit-stream writer, then the
// frames of the TwinVQ encoder library, which is loaded at run time (libtvqenc.so).
// Also the records and entry points that library takes, and the chunk writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "encoders/Encoder.h"
#include "encoders/FormatTable.h"

namespace quarrow {

// The records passed to the encoder library (C layout, zero-filled before use).
extern "C" {
inline constexpr int kTvqTextSize = 512;
struct TvqHeaderInfo {
    char ID[kTvqTextSize];   // the library's version identification
    int channelMode;         // 0 mono, 1 stereo
    int bitRate;             // kbps
    int samplingRate;        // kHz as the profile gives it (8, 11, 16, 22, 44)
    int securityLevel;
    char Name[kTvqTextSize];
    char Comt[kTvqTextSize];
    char Auth[kTvqTextSize];
    char Cpyr[kTvqTextSize];
    char File[kTvqTextSize];
    int Dsiz;
};
struct TvqEncSpecificInfo {
    int quality;
    int reserved[15];
};
// One encoded frame: frameBits bits, most significant bit of bits[0] first.
inline constexpr int kTvqMaxFrameBytes = 16384;
struct TvqIndex {
    int frameBits;
    unsigned char bits[kTvqMaxFrameBytes];
};
struct TvqConfInfo {
    int frameSize;   // samples per channel
    int channels;
    int samplingRate;
    int bitRate;
};
}

// The names the library is looked for under, in order.
const std::vector<std::string>& TvqLibraryNames();

// The library once loaded: every entry point the driver calls.
struct TvqLibrary;
// Loads it from home/External, then through the loader's search path. Null when it
// is missing or lacks an entry point; *why then says which and where it was looked for.
std::shared_ptr<const TvqLibrary> LoadTvqLibrary(const std::string& home, FormatProbe* why);
// The format table's probe of the VQF row.
FormatProbe ProbeVqf(const CSettings& settings, const std::string& home);

// The chunk writer: big-endian integers and texts in one buffer. Putting an integer
// wider than four bytes throws CChunk::Error with err_FailPut.
class CChunk {
public:
    enum ErrorCode { err_FailPut = 1 };
    struct Error : std::runtime_error {
        ErrorCode code;
        explicit Error(ErrorCode c) : std::runtime_error("chunk: integer wider than 4 bytes"), code(c) {}
    };

    void PutInt(uint32_t value, int bytes);
    void PutText(const std::string& text);
    // A sub-chunk: four-character identifier, 32-bit size, the data.
    void PutSubChunk(const char (&id)[5], const CChunk& data);
    const std::vector<unsigned char>& Data() const { return data_; }

private:
    std::vector<unsigned char> data_;
};

// The header from "TWIN97012000" to the last sub-chunk, "DATA" not included. track
// goes into TRAC, year into YEAR, album into ALBM.
std::vector<unsigned char> BuildVqfHeader(const TvqHeaderInfo& info, const std::string& album, int year,
                                          int track);

// The driver of identifier 8.
std::unique_ptr<CEncoder> MakeVqfEncoder(const CSettings& settings, int formatId);

}  // namespace quarrow
