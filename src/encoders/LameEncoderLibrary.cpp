#include "encoders/LameEncoderLibrary.h"

#include <dlfcn.h>
#include <lame/lame.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

namespace quarrow {

// The libmp3lame functions the entry points are built on. Only the declarations of
// lame.h are used; the library itself is bound by dlsym.
struct LameApi {
    void* handle = nullptr;
#define QUARROW_LAME_FUNCTIONS(X)                                                              \
    X(lame_init) X(lame_init_params) X(lame_close) X(lame_set_in_samplerate)                   \
    X(lame_set_num_channels) X(lame_set_out_samplerate) X(lame_set_mode) X(lame_set_brate)    \
    X(lame_set_quality) X(lame_set_VBR) X(lame_set_VBR_quality)                                \
    X(lame_set_VBR_min_bitrate_kbps) X(lame_set_VBR_max_bitrate_kbps)                          \
    X(lame_set_VBR_mean_bitrate_kbps) X(lame_set_preset) X(lame_set_bWriteVbrTag)              \
    X(lame_set_copyright) X(lame_set_original) X(lame_set_error_protection)                    \
    X(lame_set_extension) X(lame_set_strict_ISO) X(lame_set_disable_reservoir)                 \
    X(lame_set_emphasis) X(lame_set_highpassfreq) X(lame_set_highpasswidth)                    \
    X(lame_set_lowpassfreq) X(lame_set_lowpasswidth) X(id3tag_init) X(id3tag_add_v2)           \
    X(id3tag_v1_only) X(id3tag_v2_only) X(id3tag_set_title) X(id3tag_set_artist)               \
    X(id3tag_set_album) X(id3tag_set_year) X(id3tag_set_comment) X(id3tag_set_track)           \
    X(id3tag_set_genre) X(lame_encode_buffer) X(lame_encode_buffer_interleaved)                \
    X(lame_encode_flush) X(lame_get_lametag_frame) X(lame_set_VBR_hard_min) X(id3tag_set_textinfo_utf16)
#define QUARROW_LAME_MEMBER(name) decltype(&::name) name = nullptr;
    QUARROW_LAME_FUNCTIONS(QUARROW_LAME_MEMBER)
#undef QUARROW_LAME_MEMBER

    bool initStream = false, encodeChunk = false, deinitStream = false, closeStream = false,
         writeVBRHeader = false, writeInfoTag = false;

    LameApi() = default;
    LameApi(const LameApi&) = delete;
    LameApi& operator=(const LameApi&) = delete;
    ~LameApi() {
        if (handle) dlclose(handle);
    }
};

namespace {

// One open encoding stream.
struct StreamState {
    std::shared_ptr<const LameApi> api;
    lame_global_flags* gfp = nullptr;
    int channels = 2;
    uint32_t bufferSize = 0;
    bool writeTag = false;
    std::vector<uint8_t> tagFrame;   // the Info/Xing frame, captured after the flush
};

// The adapter's own module state, as a loaded library would keep it: the library new
// streams use, the open streams, and the Info frames of closed streams still waiting
// for beWriteInfoTag / beWriteVBRHeader.
struct Module {
    std::mutex mutex;
    std::shared_ptr<const LameApi> current;
    std::map<LameStream, std::unique_ptr<StreamState>> open;
    std::map<LameStream, std::vector<uint8_t>> closedFrames;
    std::vector<uint8_t> lastFrame;
    LameStream next = 1;
};

Module& TheModule() {
    static Module m;
    return m;
}

constexpr std::size_t kKeptClosedFrames = 16;
constexpr uint32_t kFrameSamples = 1152;
// The largest MPEG audio frame is 2880 bytes; lame reports the size it needs.
constexpr std::size_t kMaxTagFrame = 2880;

uint32_t U32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
int32_t S32(const uint8_t* p) { return static_cast<int32_t>(U32(p)); }
float F32(const uint8_t* p) {
    const uint32_t bits = U32(p);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// The named quality presets, by the code the configuration record carries.
int LamePresetOfCode(int32_t code) {
    switch (code) {
    case 4: return R3MIX;
    case 6: return STANDARD;
    case 7: return STANDARD_FAST;
    case 8: return EXTREME;
    case 9: return EXTREME_FAST;
    case 10: return INSANE;
    case 13: return MEDIUM;
    case 14: return MEDIUM_FAST;
    default: return 0;
    }
}

// The average-bit-rate presets: code / 1000 - 1 indexes this table.
struct AbrPreset {
    int kbps;
    bool mono;
};
constexpr AbrPreset kAbrPresets[] = {
    {16, true}, {24, true}, {40, true}, {112, false}, {56, true},
    {112, false}, {112, false}, {160, false}, {192, false}, {256, false},
};

bool ApplyPreset(const LameApi& api, lame_global_flags* gfp, int32_t code) {
    // lame_set_preset answers with the preset it settled on (INSANE becomes 320), so
    // only the codes are checked here; lame_init_params judges the result.
    if (int named = LamePresetOfCode(code)) {
        api.lame_set_preset(gfp, named);
        return true;
    }
    if (code >= 1000 && code <= 10000 && code % 1000 == 0) {
        const AbrPreset& p = kAbrPresets[code / 1000 - 1];
        api.lame_set_preset(gfp, p.kbps);
        if (p.mono) api.lame_set_mode(gfp, MONO);
        return true;
    }
    return false;
}

vbr_mode VbrModeOf(int32_t method) {
    switch (method) {
    case 1: return vbr_rh;     // the old VBR routine
    case 2: return vbr_mtrh;   // the new one
    case 3: return vbr_mtrh;
    case 4: return vbr_abr;
    default: return vbr_default;
    }
}

bool Given(const char* text) { return text && *text; }

// Album texts arrive as UTF-8. ID3v1 holds Latin-1 only; ID3v2 frames take UTF-16,
// so non-ASCII titles keep every character there.
bool IsAscii(const char* text) {
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p)
        if (*p >= 0x80) return false;
    return true;
}

// UTF-16 with a byte-order mark and a terminating zero; false for invalid UTF-8.
bool Utf8ToUtf16(const char* text, std::vector<unsigned short>& out) {
    out.assign(1, 0xfeff);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    while (*p) {
        uint32_t c = *p;
        int extra = c < 0x80 ? 0 : (c & 0xe0) == 0xc0 ? 1 : (c & 0xf0) == 0xe0 ? 2 : (c & 0xf8) == 0xf0 ? 3 : -1;
        if (extra < 0) return false;
        if (extra) c &= 0x3fu >> extra;
        ++p;
        for (int i = 0; i < extra; ++i, ++p) {
            if ((*p & 0xc0) != 0x80) return false;
            c = c << 6 | (*p & 0x3fu);
        }
        if (c > 0x10ffff || (c >= 0xd800 && c <= 0xdfff)) return false;
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<unsigned short>(0xd800 | (c >> 10)));
            out.push_back(static_cast<unsigned short>(0xdc00 | (c & 0x3ff)));
        } else {
            out.push_back(static_cast<unsigned short>(c));
        }
    }
    out.push_back(0);
    return true;
}

// The Latin-1 form of valid UTF-8 text ('?' for what Latin-1 lacks); other text as is.
std::string ToLatin1(const char* text) {
    std::vector<unsigned short> wide;
    if (IsAscii(text) || !Utf8ToUtf16(text, wide)) return text;
    std::string out;
    for (std::size_t i = 1; i + 1 < wide.size(); ++i) {
        const unsigned short c = wide[i];
        if (c >= 0xdc00 && c <= 0xdfff) continue;   // second half of a pair: one '?' is enough
        out.push_back(c <= 0xff ? static_cast<char>(c) : '?');
    }
    return out;
}

// Sets one text field: Latin-1 through the plain setter (ID3v1 and a first ID3v2
// frame), then, for non-ASCII UTF-8, the ID3v2 frame again in UTF-16.
void SetText(const LameApi& api, lame_global_flags* gfp, bool v2, void (*setter)(lame_t, const char*),
             const char* frameId, const char* text) {
    if (!Given(text)) return;
    setter(gfp, ToLatin1(text).c_str());
    std::vector<unsigned short> wide;
    if (v2 && api.id3tag_set_textinfo_utf16 && !IsAscii(text) && Utf8ToUtf16(text, wide))
        api.id3tag_set_textinfo_utf16(gfp, frameId, wide.data());
}

std::size_t TagTextSize(const char* text) { return text ? std::strlen(text) : 0; }

// Writes the Info frame over the placeholder frame lame left at the start of the
// audio, just after an ID3v2 tag if there is one.
LameResult WriteFrameAt(const char* path, const std::vector<uint8_t>& frame) {
    if (frame.empty()) return kLameOk;
    if (!path) return kLameWriteFailed;
    std::FILE* f = std::fopen(path, "r+b");
    if (!f) return kLameWriteFailed;
    LameResult result = kLameWriteFailed;
    uint8_t head[10] = {};
    long offset = 0;
    if (std::fread(head, 1, sizeof head, f) == sizeof head && std::memcmp(head, "ID3", 3) == 0) {
        offset = 10 + (static_cast<long>(head[6] & 0x7f) << 21 | static_cast<long>(head[7] & 0x7f) << 14 |
                       static_cast<long>(head[8] & 0x7f) << 7 | static_cast<long>(head[9] & 0x7f));
        if (head[5] & 0x10) offset += 10;   // footer present
    }
    uint8_t sync[2] = {};
    if (std::fseek(f, offset, SEEK_SET) == 0 && std::fread(sync, 1, 2, f) == 2 && sync[0] == 0xff &&
        (sync[1] & 0xe0) == 0xe0 && std::fseek(f, offset, SEEK_SET) == 0 &&
        std::fwrite(frame.data(), 1, frame.size(), f) == frame.size()) {
        result = kLameOk;
    }
    if (std::fclose(f) != 0) result = kLameWriteFailed;
    return result;
}

// ---------------------------------------------------------------------------------
// The entry points

LameResult BeInitStream(const uint8_t* config, uint32_t* samplesPerChunk,
                                   uint32_t* outputBufferSize, LameStream* stream, int fillTag,
                                   int tagKind, const char* title, const char* artist,
                                   const char* album, const char* year, const char* comment,
                                   const char* trackNumber, const char* genre, int highPassOn,
                                   int lowPassOn, int highPassFreq, int highPassWidth,
                                   int lowPassFreq, int lowPassWidth) {
    if (!config || !samplesPerChunk || !outputBufferSize || !stream) return kLameInvalidFormat;
    if (U32(config) != kLameConfigKind || U32(config + 4) != kLameConfigVersion ||
        U32(config + 8) < 94 || U32(config + 8) > kLameConfigSize)
        return kLameInvalidFormat;

    Module& m = TheModule();
    std::shared_ptr<const LameApi> api;
    {
        std::lock_guard<std::mutex> lock(m.mutex);
        api = m.current;
    }
    if (!api) return kLameInvalidFormat;

    const uint32_t inRate = U32(config + 12);
    const uint32_t outRate = U32(config + 16);
    const int32_t mode = S32(config + 20);
    const uint32_t bitrate = U32(config + 24);
    const uint32_t maxBitrate = U32(config + 28);
    const int32_t preset = S32(config + 32);
    const bool vbr = U32(config + 68) != 0;
    const float vbrQuality = F32(config + 72);
    const uint32_t abrBps = U32(config + 76);
    const int32_t vbrMethod = S32(config + 80);
    const uint16_t qualityWord = static_cast<uint16_t>(config[92] | config[93] << 8);
    if (mode < 0 || mode > 3 || inRate == 0) return kLameInvalidFormatParameters;

    auto state = std::make_unique<StreamState>();
    state->api = api;
    state->channels = mode == MONO ? 1 : 2;
    state->writeTag = U32(config + 64) != 0;
    lame_global_flags* gfp = api->lame_init();
    if (!gfp) return kLameNoMoreHandles;
    state->gfp = gfp;

    bool ok = api->lame_set_in_samplerate(gfp, static_cast<int>(inRate)) == 0;
    ok = ok && api->lame_set_num_channels(gfp, state->channels) == 0;
    if (preset > 0) {
        // A preset chooses rate, mode and bit rates itself.
        ok = ok && ApplyPreset(*api, gfp, preset);
    } else {
        if (outRate) api->lame_set_out_samplerate(gfp, static_cast<int>(outRate));
        api->lame_set_mode(gfp, static_cast<MPEG_mode>(mode));
        if (!vbr) {
            api->lame_set_VBR(gfp, vbr_off);
            if (bitrate) api->lame_set_brate(gfp, static_cast<int>(bitrate));
            const int q = qualityWord & 0xff;
            if (qualityWord != 0 && (qualityWord >> 8) == 255 - q) api->lame_set_quality(gfp, q);
        } else if (vbrMethod == 4) {
            api->lame_set_VBR(gfp, vbr_abr);
            api->lame_set_VBR_mean_bitrate_kbps(gfp, static_cast<int>(abrBps / 1000));
        } else {
            api->lame_set_VBR(gfp, VbrModeOf(vbrMethod));
            api->lame_set_VBR_quality(gfp, vbrQuality);
            if (bitrate) {
                api->lame_set_VBR_min_bitrate_kbps(gfp, static_cast<int>(bitrate));
                // The minimum asked for holds for quiet passages too.
                if (api->lame_set_VBR_hard_min) api->lame_set_VBR_hard_min(gfp, 1);
            }
            if (maxBitrate) api->lame_set_VBR_max_bitrate_kbps(gfp, static_cast<int>(maxBitrate));
        }
    }
    api->lame_set_emphasis(gfp, static_cast<int>(U32(config + 44)));
    api->lame_set_extension(gfp, U32(config + 48) != 0);
    api->lame_set_error_protection(gfp, U32(config + 52) != 0);
    api->lame_set_copyright(gfp, U32(config + 56) != 0);
    api->lame_set_original(gfp, U32(config + 60) != 0);
    api->lame_set_bWriteVbrTag(gfp, state->writeTag);
    api->lame_set_disable_reservoir(gfp, U32(config + 84) == 0);
    api->lame_set_strict_ISO(gfp, U32(config + 88) != 0);
    if (highPassOn) {
        api->lame_set_highpassfreq(gfp, highPassFreq);
        api->lame_set_highpasswidth(gfp, highPassWidth);
    }
    if (lowPassOn) {
        api->lame_set_lowpassfreq(gfp, lowPassFreq);
        api->lame_set_lowpasswidth(gfp, lowPassWidth);
    }

    std::size_t tagBytes = 0;
    if (fillTag) {
        api->id3tag_init(gfp);
        if (tagKind == 1) api->id3tag_v1_only(gfp);
        else if (tagKind == 2) api->id3tag_v2_only(gfp);
        else api->id3tag_add_v2(gfp);
        const bool v2 = tagKind != 1;
        SetText(*api, gfp, v2, api->id3tag_set_title, "TIT2", title);
        SetText(*api, gfp, v2, api->id3tag_set_artist, "TPE1", artist);
        SetText(*api, gfp, v2, api->id3tag_set_album, "TALB", album);
        if (Given(year)) api->id3tag_set_year(gfp, year);
        if (Given(comment)) api->id3tag_set_comment(gfp, comment);
        if (Given(trackNumber)) {
            const char* t = trackNumber;
            while (*t == ' ') ++t;   // the number comes blank-padded
            if (*t) api->id3tag_set_track(gfp, t);
        }
        if (Given(genre)) api->id3tag_set_genre(gfp, genre);
        for (const char* text : {title, artist, album, year, comment, trackNumber, genre})
            tagBytes += 2 * TagTextSize(text) + 32;
    }
    ok = ok && api->lame_init_params(gfp) == 0;
    if (!ok) {
        api->lame_close(gfp);
        return kLameInvalidFormatParameters;
    }

    // The first chunk's output also carries the ID3v2 tag.
    state->bufferSize = static_cast<uint32_t>(kFrameSamples * 5 / 4 + 7200 + tagBytes + 512);
    *samplesPerChunk = kFrameSamples * static_cast<uint32_t>(state->channels);
    *outputBufferSize = state->bufferSize;
    std::lock_guard<std::mutex> lock(m.mutex);
    *stream = m.next++;
    m.open.emplace(*stream, std::move(state));
    return kLameOk;
}

StreamState* FindOpen(LameStream stream) {
    Module& m = TheModule();
    std::lock_guard<std::mutex> lock(m.mutex);
    auto it = m.open.find(stream);
    return it == m.open.end() ? nullptr : it->second.get();
}

LameResult BeEncodeChunk(LameStream stream, uint32_t sampleCount, const int16_t* samples,
                                    uint8_t* output, uint32_t* bytesProduced) {
    if (!bytesProduced) return kLameInvalidFormatParameters;
    *bytesProduced = 0;
    StreamState* s = FindOpen(stream);
    if (!s) return kLameInvalidHandle;
    if (sampleCount == 0) return kLameOk;
    if (!samples || !output || sampleCount % static_cast<uint32_t>(s->channels) != 0)
        return kLameInvalidFormatParameters;
    const uint32_t frames = sampleCount / static_cast<uint32_t>(s->channels);
    if (static_cast<uint64_t>(frames) * 5 / 4 + 7200 > s->bufferSize) return kLameBufferTooSmall;
    const int n = s->channels == 1
        ? s->api->lame_encode_buffer(s->gfp, samples, samples, static_cast<int>(frames), output,
                                     static_cast<int>(s->bufferSize))
        : s->api->lame_encode_buffer_interleaved(s->gfp, const_cast<short*>(samples),
                                                 static_cast<int>(frames), output,
                                                 static_cast<int>(s->bufferSize));
    if (n == -1) return kLameBufferTooSmall;
    if (n < 0) return kLameInvalidFormatParameters;
    *bytesProduced = static_cast<uint32_t>(n);
    return kLameOk;
}

LameResult BeDeinitStream(LameStream stream, uint8_t* output, uint32_t* bytesProduced) {
    if (!bytesProduced) return kLameInvalidFormatParameters;
    *bytesProduced = 0;
    StreamState* s = FindOpen(stream);
    if (!s) return kLameInvalidHandle;
    if (!output) return kLameInvalidFormatParameters;
    const int n = s->api->lame_encode_flush(s->gfp, output, static_cast<int>(s->bufferSize));
    if (n == -1) return kLameBufferTooSmall;
    if (n < 0) return kLameInvalidFormatParameters;
    *bytesProduced = static_cast<uint32_t>(n);
    if (s->writeTag && s->api->lame_get_lametag_frame) {
        s->tagFrame.assign(kMaxTagFrame, 0);
        const std::size_t size = s->api->lame_get_lametag_frame(s->gfp, s->tagFrame.data(), kMaxTagFrame);
        s->tagFrame.resize(size <= kMaxTagFrame ? size : 0);
    }
    return kLameOk;
}

LameResult BeCloseStream(LameStream stream) {
    Module& m = TheModule();
    std::unique_ptr<StreamState> s;
    {
        std::lock_guard<std::mutex> lock(m.mutex);
        auto it = m.open.find(stream);
        if (it == m.open.end()) return kLameInvalidHandle;
        s = std::move(it->second);
        m.open.erase(it);
        // A stream closed before its flush leaves no frame, so no stale one is written.
        m.lastFrame = s->tagFrame;
        if (!s->tagFrame.empty()) {
            m.closedFrames[stream] = std::move(s->tagFrame);
            while (m.closedFrames.size() > kKeptClosedFrames) m.closedFrames.erase(m.closedFrames.begin());
        }
    }
    s->api->lame_close(s->gfp);
    return kLameOk;
}

LameResult BeWriteVBRHeader(const char* path) {
    Module& m = TheModule();
    std::vector<uint8_t> frame;
    {
        std::lock_guard<std::mutex> lock(m.mutex);
        frame = m.lastFrame;
    }
    return WriteFrameAt(path, frame);
}

LameResult BeWriteInfoTag(LameStream stream, const char* path) {
    Module& m = TheModule();
    std::vector<uint8_t> frame;
    {
        std::lock_guard<std::mutex> lock(m.mutex);
        auto it = m.closedFrames.find(stream);
        if (it == m.closedFrames.end()) {
            auto open = m.open.find(stream);
            if (open == m.open.end()) return stream < m.next && stream > 0 ? kLameOk : kLameInvalidHandle;
            frame = open->second->tagFrame;
        } else {
            frame = std::move(it->second);
            m.closedFrames.erase(it);
        }
    }
    return WriteFrameAt(path, frame);
}

}  // namespace

// ---------------------------------------------------------------------------------

LameEncoderLibrary::~LameEncoderLibrary() {
    if (!api_) return;
    Module& m = TheModule();
    std::lock_guard<std::mutex> lock(m.mutex);
    if (m.current == api_) m.current.reset();
}

LameEncoderLibrary::LoadResult LameEncoderLibrary::Load(const std::string& path) {
    api_.reset();
    detail_.clear();
    dlerror();
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* e = dlerror();
        detail_ = e ? e : "cannot load " + path;
        return LoadResult::LibraryMissing;
    }
    auto api = std::make_shared<LameApi>();
    api->handle = handle;
    std::vector<std::string> missing;
#define QUARROW_LAME_BIND(name)                                                                \
    api->name = reinterpret_cast<decltype(&::name)>(dlsym(handle, #name));                     \
    if (!api->name) missing.push_back(#name);
    QUARROW_LAME_FUNCTIONS(QUARROW_LAME_BIND)
#undef QUARROW_LAME_BIND

    const LameApi& a = *api;
    api->initStream = a.lame_init && a.lame_init_params && a.lame_close && a.lame_set_in_samplerate &&
        a.lame_set_num_channels && a.lame_set_out_samplerate && a.lame_set_mode && a.lame_set_brate &&
        a.lame_set_quality && a.lame_set_VBR && a.lame_set_VBR_quality && a.lame_set_VBR_min_bitrate_kbps &&
        a.lame_set_VBR_max_bitrate_kbps && a.lame_set_VBR_mean_bitrate_kbps && a.lame_set_preset &&
        a.lame_set_bWriteVbrTag && a.lame_set_copyright && a.lame_set_original &&
        a.lame_set_error_protection && a.lame_set_extension && a.lame_set_strict_ISO &&
        a.lame_set_disable_reservoir && a.lame_set_emphasis && a.lame_set_highpassfreq &&
        a.lame_set_highpasswidth && a.lame_set_lowpassfreq && a.lame_set_lowpasswidth && a.id3tag_init &&
        a.id3tag_add_v2 && a.id3tag_v1_only && a.id3tag_v2_only && a.id3tag_set_title &&
        a.id3tag_set_artist && a.id3tag_set_album && a.id3tag_set_year && a.id3tag_set_comment &&
        a.id3tag_set_track && a.id3tag_set_genre;
    api->encodeChunk = a.lame_encode_buffer && a.lame_encode_buffer_interleaved;
    api->deinitStream = a.lame_encode_flush != nullptr;
    api->closeStream = a.lame_close != nullptr;
    api->writeVBRHeader = a.lame_close != nullptr;
    api->writeInfoTag = a.lame_get_lametag_frame != nullptr;

    if (!(api->initStream && api->encodeChunk && api->deinitStream && api->closeStream &&
          api->writeVBRHeader)) {
        detail_ = path + " lacks " + (missing.empty() ? std::string("an encoder function") : missing.front());
        return LoadResult::EntryPointMissing;   // api's destructor unloads the library
    }
    api_ = std::move(api);
    Module& m = TheModule();
    std::lock_guard<std::mutex> lock(m.mutex);
    m.current = api_;
    return LoadResult::Loaded;
}

void* LameEncoderLibrary::Lookup(const std::string& name) const {
    if (!api_) return nullptr;
    if (name == "beInitStream" && api_->initStream) return reinterpret_cast<void*>(&BeInitStream);
    if (name == "beEncodeChunk" && api_->encodeChunk) return reinterpret_cast<void*>(&BeEncodeChunk);
    if (name == "beDeinitStream" && api_->deinitStream) return reinterpret_cast<void*>(&BeDeinitStream);
    if (name == "beCloseStream" && api_->closeStream) return reinterpret_cast<void*>(&BeCloseStream);
    if (name == "beWriteVBRHeader" && api_->writeVBRHeader) return reinterpret_cast<void*>(&BeWriteVBRHeader);
    if (name == "beWriteInfoTag" && api_->writeInfoTag) return reinterpret_cast<void*>(&BeWriteInfoTag);
    return nullptr;
}

LameEntryPoints LameEncoderLibrary::EntryPoints() const {
    LameEntryPoints e;
    e.beInitStream = reinterpret_cast<BeInitStreamFn>(Lookup("beInitStream"));
    e.beEncodeChunk = reinterpret_cast<BeEncodeChunkFn>(Lookup("beEncodeChunk"));
    e.beDeinitStream = reinterpret_cast<BeDeinitStreamFn>(Lookup("beDeinitStream"));
    e.beCloseStream = reinterpret_cast<BeCloseStreamFn>(Lookup("beCloseStream"));
    e.beWriteVBRHeader = reinterpret_cast<BeWriteVBRHeaderFn>(Lookup("beWriteVBRHeader"));
    e.beWriteInfoTag = reinterpret_cast<BeWriteInfoTagFn>(Lookup("beWriteInfoTag"));
    return e;
}

}  // namespace quarrow
