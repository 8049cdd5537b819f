#include "encoders/EncodeMp3.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "app/EventLog.h"
#include "app/Prompter.h"
#include "app/Settings.h"
#include "encoders/OutputFormat.h"

namespace quarrow {

namespace {

constexpr const char* kLoadErrorLog = "Error loading lame_enc.dll";
constexpr const char* kLoadErrorBox = "Error Loading Lame_enc.dll";
constexpr const char* kInterfaceErrorLog = "Unable to get LAME interfaces";
constexpr const char* kInterfaceErrorBox = "Unable to Get LAME Interfaces";

void Put32(std::array<uint8_t, kLameConfigSize>& r, std::size_t offset, uint32_t v) {
    r[offset] = static_cast<uint8_t>(v);
    r[offset + 1] = static_cast<uint8_t>(v >> 8);
    r[offset + 2] = static_cast<uint8_t>(v >> 16);
    r[offset + 3] = static_cast<uint8_t>(v >> 24);
}
void PutS32(std::array<uint8_t, kLameConfigSize>& r, std::size_t offset, int32_t v) {
    Put32(r, offset, static_cast<uint32_t>(v));
}

// MP3/LameChannel 0 Mono, 1 Stereo, 2 Joint Stereo, 3 Dual Channel -> the library's
// mode numbers; -1 (refused by the library) for a damaged value.
int32_t LibraryModeOf(int channel) {
    switch (channel) {
    case 0: return 3;
    case 1: return 0;
    case 2: return 1;
    case 3: return 2;
    default: return -1;
    }
}

// The job's library, loaded by the rip set-up.
struct RipLibrarySlot {
    std::mutex mutex;
    std::shared_ptr<LameEncoderLibrary> library;
};
RipLibrarySlot& Slot() {
    static RipLibrarySlot slot;
    return slot;
}

class Mp3Encoder : public CEncoder {
public:
    Mp3Encoder(const CSettings& settings, std::shared_ptr<LameEncoderLibrary> library,
               const LameEntryPoints& entries)
        : settings_(settings), library_(std::move(library)), be_(entries) {}

    ~Mp3Encoder() override {
        if (streamOpen_ && be_.beCloseStream) be_.beCloseStream(stream_);
        if (file_) std::fclose(file_);
    }

protected:
    bool Open(EncodeContext& ctx, const std::string& path, const std::string& finalPath) override {
        if (!be_.Complete() && !LoadDefault(ctx)) return false;

        file_ = std::fopen(path.c_str(), "w+b");
        if (!file_) {
            ctx.PostMessage("Error creating file " + finalPath, Severity::Error);
            return false;
        }
        path_ = path;
        const CSettings::Mp3& m = settings_.MP3;
        const std::array<uint8_t, kLameConfigSize> config = BuildLameConfig(settings_);
        channels_ = LibraryModeOf(m.LameChannel) == 3 && m.LameTab != 5 ? 1 : 2;
        const TagValues t = ctx.Tags(finalPath);
        const LameResult r = be_.beInitStream(
            config.data(), &chunk_, &bufferSize_, &stream_, settings_.OUTPUT.FillTag != 0, m.LameID3,
            t.title.c_str(), t.artist.c_str(), t.album.c_str(), t.year.c_str(), t.comment.c_str(),
            t.trackNumber.c_str(), t.genre.c_str(), m.LameHFil != 0, m.LameLFil != 0, m.LameHFilFreq,
            m.LameHFilWid, m.LameLFilFreq, m.LameLFilWid);
        if (r != kLameOk) {
            char text[64];
            std::snprintf(text, sizeof text, "Error opening encoding stream (%lu)", r);
            ctx.PostMessage(text, Severity::Error);
            be_.beCloseStream(stream_);
            std::fclose(file_);
            file_ = nullptr;
            std::remove(path.c_str());   // nothing was written
            return false;
        }
        streamOpen_ = true;
        if (chunk_ == 0 || chunk_ % static_cast<uint32_t>(channels_) != 0)
            chunk_ = 1152u * static_cast<uint32_t>(channels_);
        output_.assign(bufferSize_, 0);
        return true;
    }

    int ChunkSize(const EncodeContext& ctx) const override {
        return chunk_ ? static_cast<int>(chunk_) : ctx.chunkSize;
    }

    bool WriteShort(EncodeContext& ctx, const int16_t* samples, std::size_t count) override {
        if (!streamOpen_) return false;
        // The library takes whole sample frames; a stray half frame waits for the next block.
        if (pending_.empty() && count % static_cast<std::size_t>(channels_) == 0)
            return EncodeValues(ctx, samples, count);
        pending_.insert(pending_.end(), samples, samples + count);
        const std::size_t whole = pending_.size() - pending_.size() % static_cast<std::size_t>(channels_);
        const bool ok = EncodeValues(ctx, pending_.data(), whole);
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(whole));
        return ok;
    }

    bool Finish(EncodeContext& ctx, bool complete) override {
        bool ok = streamOpen_;
        if (streamOpen_ && !ctx.IsAborted()) {
            uint32_t produced = 0;
            const LameResult r = be_.beDeinitStream(stream_, output_.data(), &produced);
            if (r != kLameOk) {
                CloseStream();
                char text[64];
                std::snprintf(text, sizeof text, "beExitStream failed (%lu)", r);
                ctx.PostMessage(text, Severity::Error);
                ok = false;
            } else if (produced && std::fwrite(output_.data(), 1, produced, file_) != produced) {
                ctx.PostMessage("Output file write error", Severity::Error);
                ok = false;
            }
        }
        CloseStream();
        std::vector<uint8_t>().swap(output_);
        if (file_) {
            const bool closed = std::fclose(file_) == 0;
            file_ = nullptr;
            if (!closed && ok) {
                ctx.PostMessage("Output file write error", Severity::Error);
                ok = false;
            }
        }
        if (ok && complete) {
            // The header describes the whole file, so it goes in once the file is closed.
            if (be_.beWriteInfoTag) be_.beWriteInfoTag(stream_, path_.c_str());
            else be_.beWriteVBRHeader(path_.c_str());
        }
        return ok;
    }

private:
    bool LoadDefault(EncodeContext& ctx) {
        auto library = std::make_shared<LameEncoderLibrary>();
        const LameEncoderLibrary::LoadResult r = library->Load();
        if (r != LameEncoderLibrary::LoadResult::Loaded) {
            ctx.PostMessage(r == LameEncoderLibrary::LoadResult::LibraryMissing ? kLoadErrorLog
                                                                                : kInterfaceErrorLog, Severity::Error);
            ctx.PostMessage(library->Detail(), Severity::Error);
            return false;
        }
        library_ = std::move(library);
        be_ = library_->EntryPoints();
        return true;
    }

    bool EncodeValues(EncodeContext& ctx, const int16_t* samples, std::size_t count) {
        while (count > 0) {
            const uint32_t n = static_cast<uint32_t>(std::min<std::size_t>(count, chunk_));
            uint32_t produced = 0;
            const LameResult r = be_.beEncodeChunk(stream_, n, samples, output_.data(), &produced);
            if (r != kLameOk) {
                CloseStream();
                char text[64];
                std::snprintf(text, sizeof text, "beEncodeChunk() failed (%lu)", r);
                ctx.PostMessage(text, Severity::Error);
                return false;
            }
            if (produced && std::fwrite(output_.data(), 1, produced, file_) != produced) {
                CloseStream();
                ctx.PostMessage("Output file write error", Severity::Error);
                return false;
            }
            samples += n;
            count -= n;
        }
        return true;
    }

    void CloseStream() {
        if (!streamOpen_) return;
        be_.beCloseStream(stream_);
        streamOpen_ = false;
    }

    CSettings settings_;
    std::shared_ptr<LameEncoderLibrary> library_;
    LameEntryPoints be_;
    std::FILE* file_ = nullptr;
    std::string path_;
    LameStream stream_ = 0;
    bool streamOpen_ = false;
    uint32_t chunk_ = 0;
    uint32_t bufferSize_ = 0;
    int channels_ = 2;
    std::vector<uint8_t> output_;
    std::vector<int16_t> pending_;
};

}  // namespace

std::array<uint8_t, kLameConfigSize> BuildLameConfig(const CSettings& settings) {
    const CSettings::Mp3& m = settings.MP3;
    std::array<uint8_t, kLameConfigSize> r{};
    Put32(r, 0, kLameConfigKind);
    Put32(r, 4, kLameConfigVersion);
    Put32(r, 8, static_cast<uint32_t>(kLameConfigSize));
    Put32(r, 36, 1);   // MPEG-1
    Put32(r, 40, 0);   // psycho-acoustic model
    Put32(r, 44, 0);   // no emphasis
    Put32(r, 48, static_cast<uint32_t>(m.LamePrivate));
    Put32(r, 52, static_cast<uint32_t>(m.LameCRC));
    Put32(r, 56, static_cast<uint32_t>(m.LameCopyRight));
    Put32(r, 60, static_cast<uint32_t>(m.LameOriginal));
    Put32(r, 64, static_cast<uint32_t>(m.LameWriteHead));
    Put32(r, 84, static_cast<uint32_t>(m.LameBitsRes));
    Put32(r, 88, static_cast<uint32_t>(m.LameComplyISO));

    if (m.LameTab == 1) {
        Put32(r, 12, 44100);
        Put32(r, 16, static_cast<uint32_t>(SampleRateOf(m.LameFreq)));
        PutS32(r, 20, LibraryModeOf(m.LameChannel));
        Put32(r, 24, static_cast<uint32_t>(BitrateOf(m.LameBits)));
        PutS32(r, 32, -1);
        Put32(r, 68, 0);
        const uint8_t q = static_cast<uint8_t>(m.LameQuality);
        r[92] = q;
        r[93] = static_cast<uint8_t>(255 - q);
    } else if (m.LameTab == 3) {
        Put32(r, 12, 44100);
        Put32(r, 16, static_cast<uint32_t>(SampleRateOf(m.LameFreq)));
        PutS32(r, 20, LibraryModeOf(m.LameChannel));
        PutS32(r, 32, -1);
        Put32(r, 68, 1);
        PutS32(r, 80, m.LameCodingMode);
        if (m.LameCodingMode == 4) {
            Put32(r, 76, static_cast<uint32_t>(m.LameTargetBit) * 1000u);
        } else {
            Put32(r, 24, static_cast<uint32_t>(BitrateOf(m.LameMinVBRBit)));
            Put32(r, 28, static_cast<uint32_t>(BitrateOf(m.LameMaxVBRBit)));
            const float quality = static_cast<float>(m.LameQualityVBR * 0.01);
            uint32_t bits;
            std::memcpy(&bits, &quality, sizeof bits);
            Put32(r, 72, bits);
        }
    } else if (m.LameTab == 5) {
        Put32(r, 12, 44100);
        const LamePresetInfo* preset = LamePresetAt(m.LamePreset);
        // An index outside the list passes a code no preset has, which the library refuses.
        PutS32(r, 32, preset ? preset->code : INT32_MAX);
    }
    return r;
}

bool LoadLameForRip(CEventLog& log, Prompter& prompter, const std::string& path) {
    auto library = std::make_shared<LameEncoderLibrary>();
    const LameEncoderLibrary::LoadResult r = library->Load(path);
    if (r != LameEncoderLibrary::LoadResult::Loaded) {
        const bool missing = r == LameEncoderLibrary::LoadResult::LibraryMissing;
        log.Add(missing ? kLoadErrorLog : kInterfaceErrorLog, 2);
        log.Add(library->Detail(), 2);
        prompter.Message(missing ? kLoadErrorBox : kInterfaceErrorBox, MessageIcon::Error);
        return false;
    }
    std::lock_guard<std::mutex> lock(Slot().mutex);
    Slot().library = std::move(library);
    return true;
}

void ReleaseLameForRip() {
    std::lock_guard<std::mutex> lock(Slot().mutex);
    Slot().library.reset();
}

std::unique_ptr<CEncoder> MakeMp3Encoder(const CSettings& settings, int) {
    std::shared_ptr<LameEncoderLibrary> library;
    {
        std::lock_guard<std::mutex> lock(Slot().mutex);
        library = Slot().library;
    }
    const LameEntryPoints entries = library ? library->EntryPoints() : LameEntryPoints{};
    return std::make_unique<Mp3Encoder>(settings, std::move(library), entries);
}

std::unique_ptr<CEncoder> MakeMp3EncoderWith(const CSettings& settings,
                                             std::shared_ptr<LameEncoderLibrary> library,
                                             const LameEntryPoints& entryPoints) {
    return std::make_unique<Mp3Encoder>(settings, std::move(library), entryPoints);
}

}  // namespace quarrow
