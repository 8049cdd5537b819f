#include "encoders/EncodeApe.h"

#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <type_traits>

#include "app/Settings.h"
#include "encoders/ApeContainer.h"
#include "encoders/ApeTag.h"

namespace quarrow {

namespace {

// The library's error codes that Quarrow's own compressor gives as well.
constexpr int kErrorIoWrite = 1001;
constexpr int kErrorBadParameter = 5000;
constexpr int kInterfaceVersion = 3990;

extern "C" {
using GetInterfaceCompatibilityFn = int (*)(int version, int displayWarnings, void* parentWindow);
using CreateFn = void* (*)(int* error);
using DestroyFn = void (*)(void* handle);
// The sizes are passed 64 bits wide: a library taking 32-bit values reads the low half
// of the same register, one taking 64-bit values (the later interface) the whole.
using StartFn = int (*)(void* handle, const char* path, const ApeWaveFormat* format, int64_t maxAudioBytes,
                        int level, const void* headerData, int64_t headerBytes);
using AddDataFn = int (*)(void* handle, unsigned char* data, int bytes);
using FinishFn = int (*)(void* handle, unsigned char* terminatingData, int64_t terminatingBytes,
                         int64_t wavTerminatingBytes);
using TagFileSimpleFn = int (*)(const char* path, const char* artist, const char* album, const char* title,
                                const char* comment, const char* genre, const char* year, const char* track,
                                int clearFirst, int useOldId3);
}

std::string SearchText(const std::string& home) {
    std::string where = home + "/External, ";
    if (const char* env = std::getenv("LD_LIBRARY_PATH"); env && *env) where += std::string("LD_LIBRARY_PATH (") + env + "), ";
    return where + "the system library folders";
}

// The file the loader actually opened for handle (a bare name resolves to a path).
std::string LoadedFile(void* handle, const std::string& asked) {
    link_map* map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name && *map->l_name) return map->l_name;
    return asked;
}

class LibraryCompressor : public ApeCompressor {
public:
    explicit LibraryCompressor(void* library) : library_(library) {}
    ~LibraryCompressor() override {
        Destroy();
        dlclose(library_);
    }

    // Looks up every call; false with the first missing name.
    bool Bind(std::string& missing) {
        auto bind = [&](const char* name, auto& to) {
            to = reinterpret_cast<std::remove_reference_t<decltype(to)>>(dlsym(library_, name));
            if (!to && missing.empty()) missing = name;
        };
        bind("c_APECompress_Create", create_);
        bind("c_APECompress_Destroy", destroy_);
        bind("c_APECompress_Start", start_);
        bind("c_APECompress_AddData", addData_);
        bind("c_APECompress_Finish", finish_);
        if (!missing.empty()) return false;
        tag_ = reinterpret_cast<TagFileSimpleFn>(dlsym(library_, "TagFileSimple"));
        return true;
    }

    bool Create(int& error) override {
        error = 0;
        handle_ = create_(&error);
        return handle_ != nullptr;
    }
    int Start(const std::string& path, const ApeWaveFormat& format, int64_t maxAudioBytes, int level) override {
        // -1 header bytes: the library makes the WAV header itself.
        return start_(handle_, path.c_str(), &format, std::min<int64_t>(maxAudioBytes, INT_MAX), level, nullptr, -1);
    }
    int AddData(const uint8_t* data, int bytes) override {
        return addData_(handle_, const_cast<unsigned char*>(data), bytes);
    }
    int Finish() override { return finish_(handle_, nullptr, 0, 0); }
    void Destroy() override {
        if (handle_) destroy_(handle_);
        handle_ = nullptr;
    }
    int Tag(const std::string& path, const TagValues& t) override {
        // A library without its tagger still gets a tag: Quarrow's own.
        if (!tag_) return MakeOwnApeCompressor(path)->Tag(path, t);
        const std::string v[] = {ApeTagText(t.artist), ApeTagText(t.album), ApeTagText(t.title), ApeTagText(t.comment),
                                 ApeTagText(t.genre),  ApeTagText(t.year),  ApeTagText(t.trackNumber)};
        return tag_(path.c_str(), v[0].c_str(), v[1].c_str(), v[2].c_str(), v[3].c_str(), v[4].c_str(), v[5].c_str(),
                    v[6].c_str(), 1, 0);
    }

private:
    void* library_;
    void* handle_ = nullptr;
    CreateFn create_ = nullptr;
    DestroyFn destroy_ = nullptr;
    StartFn start_ = nullptr;
    AddDataFn addData_ = nullptr;
    FinishFn finish_ = nullptr;
    TagFileSimpleFn tag_ = nullptr;
};

class OwnCompressor : public ApeCompressor {
public:
    explicit OwnCompressor(std::string shownPath) : shownPath_(std::move(shownPath)) {}

    bool Create(int& error) override {
        error = 0;
        return true;
    }
    int Start(const std::string& path, const ApeWaveFormat& f, int64_t maxAudioBytes, int level) override {
        if (f.formatTag != 1 || f.bitsPerSample != 16 || f.samplesPerSec != 44100 || (f.channels != 1 && f.channels != 2)) {
            detail_ = "the APE compressor takes 16-bit PCM at 44100 Hz with 1 or 2 channels";
            return kErrorBadParameter;
        }
        if (level < 1000 || level > 5000 || level % 1000 != 0) {
            detail_ = "APE/CompLev " + std::to_string(level) + " is not one of 1000, 2000, 3000, 4000, 5000";
            return kErrorBadParameter;
        }
        const uint64_t blocks = maxAudioBytes > 0 ? static_cast<uint64_t>(maxAudioBytes) / (2u * f.channels) : 0;
        if (writer_.Open(path, shownPath_, f.channels, level, blocks)) return 0;
        detail_ = writer_.Error();
        return kErrorIoWrite;
    }
    int AddData(const uint8_t* data, int bytes) override {
        if (bytes < 0 || bytes % 2 != 0) {
            detail_ = "the APE compressor takes whole 16-bit samples, not " + std::to_string(bytes) + " bytes";
            return kErrorBadParameter;
        }
        // The driver hands over its 16-bit sample buffer as bytes.
        if (writer_.Add(reinterpret_cast<const int16_t*>(data), static_cast<std::size_t>(bytes) / 2)) return 0;
        detail_ = writer_.Error();
        return kErrorIoWrite;
    }
    int Finish() override {
        if (writer_.Finish()) return 0;
        detail_ = writer_.Error();
        return kErrorIoWrite;
    }
    void Destroy() override { writer_.Abandon(); }
    int Tag(const std::string& path, const TagValues& t) override {
        const std::vector<uint8_t> tag = BuildApeTag({{"Artist", t.artist},
                                                      {"Album", t.album},
                                                      {"Title", t.title},
                                                      {"Comment", t.comment},
                                                      {"Genre", t.genre},
                                                      {"Year", t.year},
                                                      {"Track", t.trackNumber}});
        if (AppendApeTag(path, shownPath_, tag, detail_)) return 0;
        return kErrorIoWrite;
    }
    std::string Detail() const override { return detail_; }

private:
    std::string shownPath_;
    ApeFileWriter writer_;
    std::string detail_;
};

}  // namespace

ApeWaveFormat ApePcmFormat(int channels) {
    const auto c = static_cast<uint16_t>(channels);
    return ApeWaveFormat{1, c, 44100, 44100u * 2u * c, static_cast<uint16_t>(2 * c), 16, 0};
}

const std::vector<std::string>& MacLibraryNames() {
    static const std::vector<std::string> names = {"libMAC.so", "libMAC.so.10", "libMAC.so.3", "libmac.so"};
    return names;
}

std::unique_ptr<ApeCompressor> MakeOwnApeCompressor(const std::string& shownPath) {
    return std::make_unique<OwnCompressor>(shownPath);
}

ApeCompressorChoice ChooseApeCompressor(const std::string& home, const std::string& shownPath) {
    static const std::string kOwn = "Using Quarrow's own APE compressor";
    std::vector<std::string> candidates;
    std::error_code ec;
    for (const std::string& name : MacLibraryNames())
        if (std::filesystem::is_regular_file(home + "/External/" + name, ec)) candidates.push_back(home + "/External/" + name);
    for (const std::string& name : MacLibraryNames()) candidates.push_back(name);

    ApeCompressorChoice choice;
    for (const std::string& asked : candidates) {
        void* handle = dlopen(asked.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) continue;
        const std::string file = LoadedFile(handle, asked);
        const auto compatible =
                reinterpret_cast<GetInterfaceCompatibilityFn>(dlsym(handle, "GetInterfaceCompatibility"));
        if (!compatible) {
            dlclose(handle);
            choice.log = kOwn + ": the Monkey's Audio library " + file + " has no entry point GetInterfaceCompatibility";
            break;
        }
        if (const int answer = compatible(kInterfaceVersion, 1, nullptr); answer != 0) {
            dlclose(handle);
            choice.log = kOwn + ": the Monkey's Audio library " + file + " is not compatible (GetInterfaceCompatibility(" +
                         std::to_string(kInterfaceVersion) + ", 1, 0) answered " + std::to_string(answer) + ")";
            break;
        }
        auto library = std::make_unique<LibraryCompressor>(handle);
        std::string missing;
        if (!library->Bind(missing)) {
            choice.log = kOwn + ": the Monkey's Audio library " + file + " has no entry point " + missing;
            break;   // the library closes with its compressor
        }
        choice.compressor = std::move(library);
        choice.library = file;
        choice.log = "Load " + file;
        return choice;
    }
    if (choice.log.empty())
        choice.log = kOwn + ": no Monkey's Audio library (libMAC.so) in " + SearchText(home);
    choice.compressor = MakeOwnApeCompressor(shownPath);
    return choice;
}

namespace {

class ApeEncoder : public CEncoder {
public:
    explicit ApeEncoder(const CSettings& settings)
        : level_(settings.APE.CompLev), fillTag_(settings.OUTPUT.FillTag != 0) {}
    ~ApeEncoder() override {
        if (ctx_) Unload(*ctx_);
    }

protected:
    bool Open(EncodeContext& ctx, const std::string& path, const std::string& finalPath) override {
        ctx_ = &ctx;
        shownPath_ = finalPath;
        ApeCompressorChoice choice = ChooseApeCompressor(ctx.HomeFolder(), finalPath);
        compressor_ = std::move(choice.compressor);
        library_ = choice.library;
        ctx.PostMessage(choice.log, Severity::Status);

        int error = 0;
        if (!compressor_->Create(error)) {
            char text[64];
            std::snprintf(text, sizeof text, "Error creating encoder (error code: %d)", error);
            ctx.PostMessage(text, Severity::Error);
            Unload(ctx);
            return false;
        }
        // The announced size: this file's samples (the whole image in image mode), 2 bytes each.
        const double units = ctx.singleOutput ? ctx.JobLength() : ctx.TrackLength();
        const auto maxAudioBytes = static_cast<int64_t>(std::max(0.0, units) * 2.0);
        const ApeWaveFormat format = ApePcmFormat(ctx.mono ? 1 : 2);
        if (compressor_->Start(path, format, maxAudioBytes, level_) != 0) {
            ctx.PostMessage("Error starting encoder.", Severity::Error);
            PostDetail(ctx);
            compressor_->Destroy();
            Unload(ctx);
            std::error_code ec;
            std::filesystem::remove(path, ec);
            ctx.PostMessage("File deleted: " + finalPath, Severity::Error);
            return false;
        }
        started_ = true;
        return true;
    }

    bool WriteShort(EncodeContext& ctx, const int16_t* samples, std::size_t count) override {
        const int code = compressor_->AddData(reinterpret_cast<const uint8_t*>(samples), static_cast<int>(count * 2));
        if (code == 0) return true;
        char text[64];
        std::snprintf(text, sizeof text, "Encoding error (error code: %d)", code);
        ctx.PostMessage(text, Severity::Error);
        PostDetail(ctx);
        return false;
    }

    bool Finish(EncodeContext& ctx, bool complete) override {
        if (!started_) return false;
        started_ = false;
        bool ok = complete;
        // A cancelled or failed file is only dropped: the library closes it when destroyed.
        if (complete && compressor_->Finish() != 0) {
            ctx.PostMessage("Error finishing encoder.", Severity::Error);
            PostDetail(ctx);
            ok = false;
        }
        compressor_->Destroy();
        return ok;
    }

    bool AfterFinish(EncodeContext& ctx, const std::string& path) override {
        if (fillTag_ && compressor_->Tag(path, ctx.Tags(shownPath_)) != 0) {
            // The file stays, untagged.
            ctx.PostMessage("Fail to tag APE file " + shownPath_, Severity::Error);
            PostDetail(ctx);
        }
        Unload(ctx);
        return true;
    }

private:
    void PostDetail(EncodeContext& ctx) {
        if (const std::string d = compressor_->Detail(); !d.empty()) ctx.PostMessage("Error: " + d, Severity::Error);
    }

    // The library is let go after its file; the log says so.
    void Unload(EncodeContext& ctx) {
        compressor_.reset();
        if (!library_.empty()) ctx.PostMessage("Free " + library_ + ".", Severity::Status);
        library_.clear();
    }

    int level_;
    bool fillTag_;
    EncodeContext* ctx_ = nullptr;
    std::string shownPath_;
    std::unique_ptr<ApeCompressor> compressor_;
    std::string library_;
    bool started_ = false;
};

}  // namespace

std::unique_ptr<CEncoder> MakeApeEncoder(const CSettings& settings, int) {
    return std::make_unique<ApeEncoder>(settings);
}

}  // namespace quarrow
