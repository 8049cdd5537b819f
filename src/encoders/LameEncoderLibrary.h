// LameEncoderLibrary: the MP3 encoder library the MP3 driver talks to through six plain
// entry points (beInitStream, beEncodeChunk, beDeinitStream, beCloseStream,
// beWriteVBRHeader, beWriteInfoTag). The entry points are ours, implemented over
// libmp3lame, which is loaded at run time; an entry point is offered only when every
// libmp3lame function it needs was found, so a missing or foreign library shows up as
// "library missing" or "entry point missing" exactly as a damaged installation would.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace quarrow {

// Result codes of the entry points: 0 success, anything else an error.
using LameResult = unsigned long;
inline constexpr LameResult kLameOk = 0;
inline constexpr LameResult kLameInvalidFormat = 1;            // record kind, version or size
inline constexpr LameResult kLameInvalidFormatParameters = 2;  // the encoder refused the values
inline constexpr LameResult kLameNoMoreHandles = 3;
inline constexpr LameResult kLameInvalidHandle = 4;
inline constexpr LameResult kLameBufferTooSmall = 5;
inline constexpr LameResult kLameWriteFailed = 6;              // the Info frame could not be written

// The configuration record: little-endian, 331 bytes.
inline constexpr std::size_t kLameConfigSize = 331;
inline constexpr uint32_t kLameConfigKind = 256;
inline constexpr uint32_t kLameConfigVersion = 1;

// Streams are numbered, never reused, so a stale handle is refused rather than followed.
using LameStream = uint32_t;

extern "C" {
using BeInitStreamFn = LameResult (*)(const uint8_t* config, uint32_t* samplesPerChunk,
                                      uint32_t* outputBufferSize, LameStream* stream,
                                      int fillTag, int tagKind, const char* title,
                                      const char* artist, const char* album, const char* year,
                                      const char* comment, const char* trackNumber,
                                      const char* genre, int highPassOn, int lowPassOn,
                                      int highPassFreq, int highPassWidth, int lowPassFreq,
                                      int lowPassWidth);
using BeEncodeChunkFn = LameResult (*)(LameStream stream, uint32_t sampleCount,
                                       const int16_t* samples, uint8_t* output,
                                       uint32_t* bytesProduced);
using BeDeinitStreamFn = LameResult (*)(LameStream stream, uint8_t* output, uint32_t* bytesProduced);
using BeCloseStreamFn = LameResult (*)(LameStream stream);
using BeWriteVBRHeaderFn = LameResult (*)(const char* path);
using BeWriteInfoTagFn = LameResult (*)(LameStream stream, const char* path);
}

// The six entry points as found in a loaded library; null where missing.
struct LameEntryPoints {
    BeInitStreamFn beInitStream = nullptr;
    BeEncodeChunkFn beEncodeChunk = nullptr;
    BeDeinitStreamFn beDeinitStream = nullptr;
    BeCloseStreamFn beCloseStream = nullptr;
    BeWriteVBRHeaderFn beWriteVBRHeader = nullptr;
    BeWriteInfoTagFn beWriteInfoTag = nullptr;   // optional

    // The five required ones are all present.
    bool Complete() const {
        return beInitStream && beEncodeChunk && beDeinitStream && beCloseStream && beWriteVBRHeader;
    }
};

struct LameApi;

class LameEncoderLibrary {
public:
    static constexpr const char* kDefaultPath = "libmp3lame.so.0";

    enum class LoadResult { Loaded, LibraryMissing, EntryPointMissing };

    LameEncoderLibrary() = default;
    ~LameEncoderLibrary();
    LameEncoderLibrary(const LameEncoderLibrary&) = delete;
    LameEncoderLibrary& operator=(const LameEncoderLibrary&) = delete;

    // Loads the library at path (a bare name goes through the loader's search path),
    // finds the entry points and, when the required ones are all there, makes this the
    // library that new streams use. Detail() then names the loader's error or the first
    // missing function.
    LoadResult Load(const std::string& path = kDefaultPath);
    bool Loaded() const { return api_ != nullptr; }
    const std::string& Detail() const { return detail_; }

    // An entry point by name ("beInitStream" ...); null when missing or not loaded.
    void* Lookup(const std::string& name) const;
    LameEntryPoints EntryPoints() const;

private:
    std::shared_ptr<const LameApi> api_;
    std::string detail_;
};

}  // namespace quarrow
