#include "encoders/EncodeVqf.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "app/Settings.h"
#include "encoders/OutputFormat.h"

namespace quarrow {

extern "C" {
using TvqGetVersionIDFn = int (*)(int versionNum, char* versionString);
using TvqEncInitializeFn = int (*)(TvqHeaderInfo* setupInfo, TvqEncSpecificInfo* encInfo, TvqIndex* index,
                                   int dispErrorMessageBox);
using TvqEncGetIntFn = int (*)();
using TvqEncGetConfInfoFn = void (*)(TvqConfInfo* info);
using TvqEncGetVectorInfoFn = void (*)(int* bits0[], int* bits1[]);
using TvqEncUpdateVectorInfoFn = void (*)(int varbits, int* ndiv, int bits0[], int bits1[]);
using TvqEncodeFrameFn = void (*)(float* samples, TvqIndex* index);
using TvqEncTerminateFn = void (*)(TvqIndex* index);
}

struct TvqLibrary {
    void* handle = nullptr;
    TvqGetVersionIDFn getVersionID = nullptr;
    TvqEncInitializeFn initialize = nullptr;
    TvqEncGetIntFn getFrameSize = nullptr;
    TvqEncGetIntFn getNumChannels = nullptr;
    TvqEncGetConfInfoFn getConfInfo = nullptr;
    TvqEncGetVectorInfoFn getVectorInfo = nullptr;
    TvqEncUpdateVectorInfoFn updateVectorInfo = nullptr;
    TvqEncodeFrameFn encodeFrame = nullptr;
    TvqEncTerminateFn terminate = nullptr;
    ~TvqLibrary() {
        if (handle) dlclose(handle);
    }
};

const std::vector<std::string>& TvqLibraryNames() {
    static const std::vector<std::string> names = {"libtvqenc.so", "libtvqenc.so.1", "libtvqenc.so.0", "tvqenc.so"};
    return names;
}

namespace {

std::string SearchText(const std::string& home) {
    std::string where = home + "/External, ";
    if (const char* env = std::getenv("LD_LIBRARY_PATH"); env && *env) where += std::string("LD_LIBRARY_PATH (") + env + "), ";
    return where + "the system library folders";
}

template <typename Fn>
bool Bind(void* handle, const char* name, Fn& to, std::string& missing) {
    to = reinterpret_cast<Fn>(dlsym(handle, name));
    if (!to && missing.empty()) missing = name;
    return to != nullptr;
}

}  // namespace

std::shared_ptr<const TvqLibrary> LoadTvqLibrary(const std::string& home, FormatProbe* why) {
    std::vector<std::string> candidates;
    std::error_code ec;
    for (const std::string& name : TvqLibraryNames())
        if (std::filesystem::is_regular_file(home + "/External/" + name, ec)) candidates.push_back(home + "/External/" + name);
    for (const std::string& name : TvqLibraryNames()) candidates.push_back(name);
    for (const std::string& path : candidates) {
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) continue;
        auto lib = std::make_shared<TvqLibrary>();
        lib->handle = handle;
        std::string missing;
        Bind(handle, "TvqGetVersionID", lib->getVersionID, missing);
        Bind(handle, "TvqEncInitialize", lib->initialize, missing);
        Bind(handle, "TvqEncGetFrameSize", lib->getFrameSize, missing);
        Bind(handle, "TvqEncGetNumChannels", lib->getNumChannels, missing);
        Bind(handle, "TvqEncGetConfInfo", lib->getConfInfo, missing);
        Bind(handle, "TvqEncGetVectorInfo", lib->getVectorInfo, missing);
        Bind(handle, "TvqEncUpdateVectorInfo", lib->updateVectorInfo, missing);
        Bind(handle, "TvqEncodeFrame", lib->encodeFrame, missing);
        Bind(handle, "TvqEncTerminate", lib->terminate, missing);
        if (!missing.empty()) {
            if (why) *why = FormatProbe::Missing("the TwinVQ encoder library " + path + " has no entry point " + missing, "");
            return nullptr;
        }
        return lib;
    }
    if (why) *why = FormatProbe::Missing("the TwinVQ encoder library libtvqenc.so", SearchText(home));
    return nullptr;
}

FormatProbe ProbeVqf(const CSettings&, const std::string& home) {
    FormatProbe why;
    LoadTvqLibrary(home, &why);
    return why;
}

void CChunk::PutInt(uint32_t value, int bytes) {
    if (bytes < 1 || bytes > 4) throw Error(err_FailPut);
    for (int i = bytes - 1; i >= 0; --i) data_.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

void CChunk::PutText(const std::string& text) { data_.insert(data_.end(), text.begin(), text.end()); }

void CChunk::PutSubChunk(const char (&id)[5], const CChunk& data) {
    PutText(std::string(id, 4));
    PutInt(static_cast<uint32_t>(data.data_.size()), 4);
    data_.insert(data_.end(), data.data_.begin(), data.data_.end());
}

namespace {

// A text field of the header record up to its first NUL.
std::string Field(const char (&text)[kTvqTextSize]) { return std::string(text, strnlen(text, kTvqTextSize)); }

void CopyField(char (&to)[kTvqTextSize], const std::string& from) {
    const std::size_t n = std::min(from.size(), static_cast<std::size_t>(kTvqTextSize - 1));
    std::memcpy(to, from.data(), n);
    to[n] = '\0';
}

}  // namespace

std::vector<unsigned char> BuildVqfHeader(const TvqHeaderInfo& info, const std::string& album, int year, int track) {
    CChunk body;
    CChunk comm;
    comm.PutInt(static_cast<uint32_t>(info.channelMode), 4);
    comm.PutInt(static_cast<uint32_t>(info.bitRate), 4);
    comm.PutInt(static_cast<uint32_t>(info.samplingRate), 4);
    comm.PutInt(static_cast<uint32_t>(info.securityLevel), 4);
    body.PutSubChunk("COMM", comm);
    auto text = [&body](const char (&id)[5], const std::string& value) {
        if (value.empty()) return;
        CChunk c;
        c.PutText(value);
        body.PutSubChunk(id, c);
    };
    text("NAME", Field(info.Name));
    text("COMT", Field(info.Comt));
    text("AUTH", Field(info.Auth));
    text("(c) ", Field(info.Cpyr));
    text("FILE", Field(info.File));
    if (info.Dsiz > 0) {
        CChunk dsiz;
        dsiz.PutInt(static_cast<uint32_t>(info.Dsiz), 4);
        body.PutSubChunk("DSIZ", dsiz);
    }
    text("ALBM", album);
    CChunk y;
    y.PutInt(static_cast<uint32_t>(year) & 0xFFFF, 2);
    y.PutInt(0, 1);
    body.PutSubChunk("YEAR", y);
    CChunk t;
    t.PutInt(static_cast<uint32_t>(track) & 0xFFFF, 2);
    body.PutSubChunk("TRAC", t);

    CChunk header;
    header.PutText("TWIN97012000");
    header.PutInt(static_cast<uint32_t>(body.Data().size()), 4);
    std::vector<unsigned char> out = header.Data();
    out.insert(out.end(), body.Data().begin(), body.Data().end());
    return out;
}

namespace {

// Writes bits most significant first to a file, as one continuous stream.
class BitWriter {
public:
    explicit BitWriter(std::FILE* file) : file_(file) {}
    bool PutBytes(const unsigned char* data, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i)
            if (!PutBits(data[i], 8)) return false;
        return true;
    }
    bool PutBits(unsigned value, int count) {
        for (int i = count - 1; i >= 0; --i) {
            byte_ = static_cast<unsigned char>((byte_ << 1) | ((value >> i) & 1u));
            if (++filled_ == 8 && !Emit()) return false;
        }
        return true;
    }
    // The last byte of the stream is completed with zero bits.
    bool Flush() {
        if (filled_ == 0) return true;
        byte_ = static_cast<unsigned char>(byte_ << (8 - filled_));
        return Emit();
    }

private:
    bool Emit() {
        filled_ = 0;
        return std::fputc(byte_, file_) != EOF;
    }
    std::FILE* file_;
    unsigned char byte_ = 0;
    int filled_ = 0;
};

class VqfEncoder : public CEncoder {
public:
    explicit VqfEncoder(const CSettings& settings) : settings_(settings) {}
    ~VqfEncoder() override {
        if (initialized_) library_->terminate(index_.get());
        if (file_) std::fclose(file_);
    }

protected:
    bool Open(EncodeContext& ctx, const std::string& path, const std::string& finalPath) override {
        const VqfProfileInfo* profile = VqfProfileAt(settings_.VQF.Profile);
        FormatProbe why;
        library_ = LoadTvqLibrary(ctx.HomeFolder(), &why);
        if (!library_ || !profile) {
            ctx.PostMessage(profile ? ProbeMessage(static_cast<int>(OutputFormatId::VQF), why)
                                    : "Cannot rip to VQF: VQF/Profile " + std::to_string(settings_.VQF.Profile) +
                                          " is not one of 1..18",
                            Severity::Error);
            return false;
        }
        TvqHeaderInfo info;
        std::memset(&info, 0, sizeof info);
        library_->getVersionID(0, info.ID);
        info.channelMode = profile->mode;
        info.bitRate = profile->kbps;
        info.samplingRate = profile->kHz;
        info.securityLevel = 0;
        const TagValues tags = ctx.Tags(finalPath);
        const bool fill = settings_.OUTPUT.FillTag != 0;
        if (fill) {
            CopyField(info.Name, tags.title);
            CopyField(info.Comt, tags.comment);
            CopyField(info.Auth, tags.artist);
        }
        TvqEncSpecificInfo specific;
        std::memset(&specific, 0, sizeof specific);
        specific.quality = settings_.VQF.Quality;
        index_ = std::make_unique<TvqIndex>();
        std::memset(index_.get(), 0, sizeof *index_);
        if (const int code = library_->initialize(&info, &specific, index_.get(), 0); code != 0) {
            char text[96];
            std::snprintf(text, sizeof text, "Error Code: %d, fail to Initialize TwinVQ Encoder!", code);
            ctx.PostMessage(text, Severity::Error);
            return false;
        }
        initialized_ = true;
        file_ = std::fopen(path.c_str(), "wb");
        if (!file_) {
            ctx.PostMessage("Output bitstream file open error!", Severity::Error);
            return false;
        }
        frameSize_ = library_->getFrameSize();
        channels_ = library_->getNumChannels();
        if (frameSize_ <= 0 || channels_ < 1 || channels_ > 2 || channels_ != profile->mode + 1) {
            ctx.PostMessage("Fail to Create Bitstream Header.", Severity::Error);
            return false;
        }
        frame_.assign(static_cast<std::size_t>(frameSize_) * static_cast<std::size_t>(channels_), 0.0f);
        writer_ = std::make_unique<BitWriter>(file_);
        try {
            const int year = fill ? std::atoi(tags.year.c_str()) : 0;
            const int track = fill ? std::atoi(tags.trackNumber.c_str()) : 0;
            const std::vector<unsigned char> header = BuildVqfHeader(info, fill ? tags.album : "", year, track);
            if (!writer_->PutBytes(header.data(), header.size()) ||
                !writer_->PutBytes(reinterpret_cast<const unsigned char*>("DATA"), 4)) {
                ctx.PostMessage("Output file write error", Severity::Error);
                return false;
            }
        } catch (const CChunk::Error&) {
            ctx.PostMessage("Fail to Create Bitstream Header.", Severity::Error);
            return false;
        }
        return true;
    }

    int ChunkSize(const EncodeContext& ctx) const override { return frameSize_ > 0 ? frameSize_ : ctx.chunkSize; }

    bool WriteFloat(EncodeContext& ctx, const float* samples, std::size_t count) override {
        if (ctx.mono != (channels_ == 1)) {
            ctx.PostMessage(std::string("Error: the VQF profile expects ") + (channels_ == 1 ? "mono" : "stereo") +
                                " samples", Severity::Error);
            return false;
        }
        const std::size_t per = static_cast<std::size_t>(frameSize_);
        for (std::size_t i = 0; i < count; i += static_cast<std::size_t>(channels_)) {
            // The frame is held one channel after the other, in the 16-bit range.
            for (int c = 0; c < channels_; ++c) {
                int16_t s;
                FloatToShort(samples + i + static_cast<std::size_t>(c), &s, 1);
                frame_[static_cast<std::size_t>(c) * per + filled_] = static_cast<float>(s);
            }
            if (++filled_ == per && !EncodeFrame(ctx)) return false;
        }
        return true;
    }

    bool Finish(EncodeContext& ctx, bool complete) override {
        bool ok = file_ != nullptr;
        if (ok && complete && filled_ > 0) {
            // The last frame is padded with silence.
            const std::size_t per = static_cast<std::size_t>(frameSize_);
            for (int c = 0; c < channels_; ++c)
                std::fill(frame_.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(c) * per + filled_),
                          frame_.begin() + static_cast<std::ptrdiff_t>((static_cast<std::size_t>(c) + 1) * per), 0.0f);
            ok = EncodeFrame(ctx);
        }
        if (initialized_) {
            library_->terminate(index_.get());
            initialized_ = false;
        }
        if (file_) {
            const bool flushed = !writer_ || writer_->Flush();
            const bool closed = std::fclose(file_) == 0;
            file_ = nullptr;
            if ((!flushed || !closed) && ok && complete) {
                ctx.PostMessage("Output file write error", Severity::Error);
                ok = false;
            }
        }
        return ok;
    }

private:
    bool EncodeFrame(EncodeContext& ctx) {
        filled_ = 0;
        library_->encodeFrame(frame_.data(), index_.get());
        const int bits = index_->frameBits;
        if (bits < 0 || bits > kTvqMaxFrameBytes * 8) {
            ctx.PostMessage("Error: the TwinVQ encoder returned a frame of " + std::to_string(bits) + " bits",
                            Severity::Error);
            return false;
        }
        bool ok = writer_->PutBytes(index_->bits, static_cast<std::size_t>(bits / 8));
        if (ok && bits % 8) ok = writer_->PutBits(static_cast<unsigned>(index_->bits[bits / 8] >> (8 - bits % 8)), bits % 8);
        if (!ok) ctx.PostMessage("Output file write error", Severity::Error);
        return ok;
    }

    CSettings settings_;
    std::shared_ptr<const TvqLibrary> library_;
    std::unique_ptr<TvqIndex> index_;
    bool initialized_ = false;
    std::FILE* file_ = nullptr;
    std::unique_ptr<BitWriter> writer_;
    int frameSize_ = 0;
    int channels_ = 0;
    std::vector<float> frame_;
    std::size_t filled_ = 0;
};

}  // namespace

std::unique_ptr<CEncoder> MakeVqfEncoder(const CSettings& settings, int) {
    return std::make_unique<VqfEncoder>(settings);
}

}  // namespace quarrow
