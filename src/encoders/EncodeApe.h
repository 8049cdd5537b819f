// The APE driver (identifier 5). It makes the Monkey's Audio library's calls (create,
// start, add data, finish, destroy, then tag) on a compressor: the user's library loaded
// at run time when it is there and compatible, otherwise Quarrow's own compressor.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "encoders/Encoder.h"

namespace quarrow {

// The input format record handed to the compressor: the library's packed WAVEFORMATEX.
#pragma pack(push, 1)
struct ApeWaveFormat {
    uint16_t formatTag;        // 1: PCM
    uint16_t channels;
    uint32_t samplesPerSec;
    uint32_t avgBytesPerSec;
    uint16_t blockAlign;
    uint16_t bitsPerSample;
    uint16_t extraSize;
};
#pragma pack(pop)
static_assert(sizeof(ApeWaveFormat) == 18);

// 16-bit PCM at 44100 Hz with 1 or 2 channels.
ApeWaveFormat ApePcmFormat(int channels);

// The compression calls in the order the driver makes them; 0 is success everywhere.
class ApeCompressor {
public:
    virtual ~ApeCompressor() = default;
    // False, with error set, when no compressor could be made.
    virtual bool Create(int& error) = 0;
    virtual int Start(const std::string& path, const ApeWaveFormat& format, int64_t maxAudioBytes, int level) = 0;
    virtual int AddData(const uint8_t* data, int bytes) = 0;
    virtual int Finish() = 0;
    virtual void Destroy() = 0;
    // Tags the finished file at path (clearing any tag first).
    virtual int Tag(const std::string& path, const TagValues& tags) = 0;
    // The cause of the last failure in words, naming the file; empty when unknown.
    virtual std::string Detail() const { return {}; }
};

// The names the Monkey's Audio library is looked for under, in order.
const std::vector<std::string>& MacLibraryNames();

// The compressor for one file and what the log says about it.
struct ApeCompressorChoice {
    std::unique_ptr<ApeCompressor> compressor;
    std::string library;   // the library file in use; empty for Quarrow's own compressor
    std::string log;       // which compressor is used, and why not the library
};
// Looks for the library in home/External, then through the loader's search path; the
// library counts only when GetInterfaceCompatibility(3990, 1, 0) answers 0 and it has
// every compression call. shownPath is the output as the user knows it.
ApeCompressorChoice ChooseApeCompressor(const std::string& home, const std::string& shownPath);
// Quarrow's own compressor (ApeContainer.h) behind the library's calls.
std::unique_ptr<ApeCompressor> MakeOwnApeCompressor(const std::string& shownPath);

// The driver of identifier 5.
std::unique_ptr<CEncoder> MakeApeEncoder(const CSettings& settings, int formatId);

}  // namespace quarrow
