// The FLAC driver: native FLAC or Ogg FLAC through the libFLAC stream encoder. It
// always writes the disc's own shape, 44100 Hz, 16 bits, stereo, from the 16-bit ring.
#include "encoders/EncodeFlac.h"

#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "app/Settings.h"
#include "encoders/EncodeOggVorbis.h"

namespace quarrow {

unsigned FlacEncoderBlockSize(int choice) {
    static constexpr unsigned kSizes[] = {0, 192, 256, 512, 576, 1024, 1152, 2048, 2304, 4096, 4608};
    if (choice < 0 || choice >= static_cast<int>(std::size(kSizes))) return 0;
    return kSizes[choice];
}

void FlacMetadataDeleter::operator()(FLAC__StreamMetadata* m) const {
    if (m) FLAC__metadata_object_delete(m);
}

namespace {

bool IsUtf8(const std::string& text) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        std::size_t more;
        uint32_t cp;
        if (c < 0x80) { ++i; continue; }
        if (c >= 0xc2 && c <= 0xdf) { more = 1; cp = c & 0x1f; }
        else if (c >= 0xe0 && c <= 0xef) { more = 2; cp = c & 0x0f; }
        else if (c >= 0xf0 && c <= 0xf4) { more = 3; cp = c & 0x07; }
        else return false;
        if (i + more >= n) return false;
        for (std::size_t k = 1; k <= more; ++k) {
            const unsigned char d = static_cast<unsigned char>(text[i + k]);
            if ((d & 0xc0) != 0x80) return false;
            cp = (cp << 6) | (d & 0x3f);
        }
        // Overlong forms, surrogates and values beyond U+10FFFF are not UTF-8.
        if ((more == 2 && cp < 0x800) || (more == 3 && (cp < 0x10000 || cp > 0x10ffff)) ||
            (cp >= 0xd800 && cp <= 0xdfff)) {
            return false;
        }
        i += more + 1;
    }
    return true;
}

}  // namespace

std::string TagTextUtf8(const std::string& text) {
    if (IsUtf8(text)) return text;
    std::string out;
    out.reserve(text.size() * 2);
    for (const char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += static_cast<char>(0xc0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3f));
        }
    }
    return out;
}

namespace {

constexpr const char* kVendor = "Flac 1.2.1";

bool AppendComment(FLAC__StreamMetadata* block, const char* name, const std::string& value) {
    FLAC__StreamMetadata_VorbisComment_Entry entry;
    const std::string text = std::string(name) + "=" + TagTextUtf8(value);
    entry.length = static_cast<FLAC__uint32>(text.size());
    entry.entry = reinterpret_cast<FLAC__byte*>(const_cast<char*>(text.c_str()));
    // copy = true: libFLAC takes its own copy of the bytes.
    return FLAC__metadata_object_vorbiscomment_append_comment(block, entry, true) != 0;
}

}  // namespace

FlacMetadataPtr MakeFlacCommentBlock(const TagValues& tags) {
    FlacMetadataPtr block(FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT));
    if (!block) return nullptr;
    FLAC__StreamMetadata_VorbisComment_Entry vendor;
    vendor.length = static_cast<FLAC__uint32>(std::strlen(kVendor));
    vendor.entry = reinterpret_cast<FLAC__byte*>(const_cast<char*>(kVendor));
    if (!FLAC__metadata_object_vorbiscomment_set_vendor_string(block.get(), vendor, true)) return nullptr;
    const bool ok = AppendComment(block.get(), "TITLE", tags.title) &&
                    AppendComment(block.get(), "ALBUM", tags.album) &&
                    AppendComment(block.get(), "TRACKNUMBER", tags.trackNumber) &&
                    AppendComment(block.get(), "ARTIST", tags.artist) &&
                    AppendComment(block.get(), "COMMENT", tags.comment) &&
                    AppendComment(block.get(), "GENRE", tags.genre) &&
                    AppendComment(block.get(), "DATE", tags.year) &&
                    AppendComment(block.get(), "TOTALTRACKS", tags.totalTracks);
    if (!ok) return nullptr;
    return block;
}

namespace {

class FlacEncoder : public CEncoder {
public:
    explicit FlacEncoder(const CSettings& settings)
        : flac_(settings.FLAC), fillTag_(settings.OUTPUT.FillTag != 0) {}
    ~FlacEncoder() override {
        if (encoder_) FLAC__stream_encoder_delete(encoder_);
    }

protected:
    bool Open(EncodeContext& ctx, const std::string& path, const std::string& finalPath) override {
        encoder_ = FLAC__stream_encoder_new();
        if (!encoder_) {
            ctx.PostMessage("ERROR: allocating encoder", Severity::Error);
            return false;
        }
        FLAC__stream_encoder_set_channels(encoder_, 2);
        FLAC__stream_encoder_set_bits_per_sample(encoder_, 16);
        FLAC__stream_encoder_set_sample_rate(encoder_, 44100);
        FLAC__stream_encoder_set_verify(encoder_, flac_.Verify != 0);
        FLAC__stream_encoder_set_blocksize(encoder_, FlacEncoderBlockSize(flac_.BlockSize));
        // A level outside 0..8 is taken by libFLAC as its nearest level.
        FLAC__stream_encoder_set_compression_level(encoder_, static_cast<unsigned>(flac_.CompLev < 0 ? 0 : flac_.CompLev));

        if (fillTag_) {
            comments_ = MakeFlacCommentBlock(ctx.Tags(finalPath));
            if (!comments_) {
                ctx.PostMessage("ERROR: allocating encoder", Severity::Error);
                return false;
            }
            FLAC__StreamMetadata* blocks[1] = {comments_.get()};
            FLAC__stream_encoder_set_metadata(encoder_, blocks, 1);
        }

        FLAC__StreamEncoderInitStatus status;
        if (flac_.Native != 0) {
            status = FLAC__stream_encoder_init_file(encoder_, path.c_str(), nullptr, nullptr);
        } else {
            FLAC__stream_encoder_set_ogg_serial_number(encoder_, NewOggSerialNumber());
            status = FLAC__stream_encoder_init_ogg_file(encoder_, path.c_str(), nullptr, nullptr);
        }
        if (status != FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
            char text[64];
            std::snprintf(text, sizeof text, "Error Code: %d", static_cast<int>(status));
            ctx.PostMessage(text, Severity::Error);
            ctx.PostMessage("Fail to initialize flac file!", Severity::Error);
            if (status == FLAC__STREAM_ENCODER_INIT_STATUS_ENCODER_ERROR) {
                const FLAC__StreamEncoderState state = FLAC__stream_encoder_get_state(encoder_);
                std::snprintf(text, sizeof text, "FLAC Encoder State Code: %d", static_cast<int>(state));
                ctx.PostMessage(text, Severity::Error);
                if (state == FLAC__STREAM_ENCODER_IO_ERROR) {
                    ctx.PostMessage("Can't create file " + finalPath + "!", Severity::Error);
                }
            }
            if (!FLAC__stream_encoder_finish(encoder_)) {
                ctx.PostMessage("Fail to finish flac file!", Severity::Error);
            }
            return false;
        }
        if (FLAC__stream_encoder_get_state(encoder_) != FLAC__STREAM_ENCODER_OK) {
            ctx.PostMessage("Invalid FLAC Format!   Please Check the FLAC Encoder Options.", Severity::Error);
        }
        return true;
    }

    bool WriteShort(EncodeContext& ctx, const int16_t* samples, std::size_t count) override {
        if (wide_.size() < count) wide_.resize(count);
        for (std::size_t i = 0; i < count; ++i) wide_[i] = samples[i];
        return Process(ctx, count);
    }

    // Only when the rip hands floats after all (a resampling set-up): back to 16 bits.
    bool WriteFloat(EncodeContext& ctx, const float* samples, std::size_t count) override {
        if (shorts_.size() < count) shorts_.resize(count);
        FloatToShort(samples, shorts_.data(), count);
        return WriteShort(ctx, shorts_.data(), count);
    }

    bool Finish(EncodeContext& ctx, bool complete) override {
        if (!encoder_) return false;
        const bool ok = FLAC__stream_encoder_finish(encoder_) != 0;
        FLAC__stream_encoder_delete(encoder_);
        encoder_ = nullptr;
        comments_.reset();
        if (!ok) {
            // After a failed block the message has been posted already.
            if (complete) ctx.PostMessage("Fail to finish flac file!", Severity::Error);
            return false;
        }
        return true;
    }

private:
    bool Process(EncodeContext& ctx, std::size_t count) {
        // Interleaved stereo: an odd trailing value cannot form a frame and is dropped.
        const unsigned frames = static_cast<unsigned>(count / 2);
        if (frames == 0) return true;
        if (!FLAC__stream_encoder_process_interleaved(encoder_, wide_.data(), frames)) {
            ctx.PostMessage("Fail to process flac file!", Severity::Error);
            return false;
        }
        return true;
    }

    CSettings::Flac flac_;
    bool fillTag_;
    FLAC__StreamEncoder* encoder_ = nullptr;
    FlacMetadataPtr comments_;
    std::vector<FLAC__int32> wide_;
    std::vector<int16_t> shorts_;
};

}  // namespace

std::unique_ptr<CEncoder> MakeFlacEncoder(const CSettings& settings, int formatId) {
    if (formatId != 6) return nullptr;
    return std::make_unique<FlacEncoder>(settings);
}

}  // namespace quarrow
