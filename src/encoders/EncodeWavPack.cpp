// The WavPack driver: lossless or hybrid packing of the 16-bit ring, the correction file
// of hybrid lossless mode written and published together with the main file, and the
// APE tag items.
#include "encoders/EncodeWavPack.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "app/Settings.h"
#include "encoders/EncodeFlac.h"

namespace quarrow {

WavpackConfig WavPackConfigOf(const CSettings& settings) {
    const auto& wv = settings.WV;
    WavpackConfig c;
    std::memset(&c, 0, sizeof c);
    c.bits_per_sample = 16;
    c.bytes_per_sample = 2;
    c.num_channels = 2;
    c.channel_mask = 3;
    c.sample_rate = 44100;

    if (wv.ComLev == 0) c.flags |= CONFIG_FAST_FLAG;
    else if (wv.ComLev == 2) c.flags |= CONFIG_HIGH_FLAG;
    else if (wv.ComLev == 3) c.flags |= CONFIG_VERY_HIGH_FLAG;

    if (wv.SteMod == 1) {
        c.flags &= ~CONFIG_JOINT_STEREO;
        c.flags |= CONFIG_JOINT_OVERRIDE;
    } else if (wv.SteMod == 2) {
        c.flags |= CONFIG_JOINT_STEREO | CONFIG_JOINT_OVERRIDE;
    }

    if (wv.ExtMod > 0) {
        c.flags |= CONFIG_EXTRA_MODE;
        c.xmode = wv.ExtMod;
    }
    if (wv.EnableBlkSize != 0) c.block_samples = wv.BlkSize;

    if (wv.EncMod == 0) {
        if (wv.EnableBlkSize != 0) c.flags |= CONFIG_MERGE_BLOCKS;
    } else {
        c.flags |= CONFIG_HYBRID_FLAG | CONFIG_BITRATE_KBPS;
        if (wv.OptWvc != 0) {
            c.flags |= CONFIG_OPTIMIZE_WVC;   // maximum hybrid compression: no bit rate
        } else {
            c.bitrate = static_cast<float>(wv.Kbps);
        }
        if (wv.CrtWvc != 0) c.flags |= CONFIG_CREATE_WVC;
        if (wv.CalNos != 0) c.flags |= CONFIG_CALC_NOISE;
        if (wv.EnableShape == 0) {
            c.flags |= CONFIG_DYNAMIC_SHAPING;
        } else {
            c.shaping_weight = static_cast<float>(wv.Shape * 0.01);
            c.flags |= CONFIG_SHAPE_OVERRIDE;
            if (c.shaping_weight != 0.0f && c.shaping_weight >= -1.0f && c.shaping_weight <= 1.0f) {
                c.flags |= CONFIG_HYBRID_SHAPE;
            } else if (c.shaping_weight == 0.0f) {
                c.flags &= ~CONFIG_HYBRID_SHAPE;
            }
        }
    }
    return c;
}

bool WavPackWritesCorrection(const CSettings& settings) {
    return settings.WV.EncMod != 0 && settings.WV.CrtWvc != 0;
}

std::string WavPackCorrectionPathOf(const std::string& path) {
    auto endsWith = [](const std::string& s, const std::string& tail) {
        return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
    };
    const std::string part = ".part";
    const auto slash = path.find_last_of('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    if (endsWith(path, part) && path.size() > nameStart && path[nameStart] == '.') {
        // A temporary name: the correction file's own temporary name.
        const std::string inner = path.substr(0, path.size() - part.size());
        const std::string folder = path.substr(0, nameStart);
        const std::string name = inner.substr(nameStart + 1);
        return folder + "." + WavPackCorrectionPathOf(name) + part;
    }
    if (endsWith(path, ".wv")) return path + "c";
    return path + ".wvc";
}

namespace {

// The library's block writer: appends each block to its file.
int WriteBlock(void* id, void* data, int32_t bcount) {
    if (!id) return 0;
    if (bcount <= 0) return 1;
    return std::fwrite(data, 1, static_cast<std::size_t>(bcount), static_cast<FILE*>(id)) ==
           static_cast<std::size_t>(bcount);
}

class WavPackEncoder : public CEncoder {
public:
    explicit WavPackEncoder(const CSettings& settings)
        : config_(WavPackConfigOf(settings)),
          correction_(WavPackWritesCorrection(settings)),
          fillTag_(settings.OUTPUT.FillTag != 0) {}
    ~WavPackEncoder() override { Close(); }

protected:
    std::vector<std::string> CompanionFiles(const std::string& path) const override {
        if (!correction_) return {};
        return {WavPackCorrectionPathOf(path)};
    }

    bool Open(EncodeContext& ctx, const std::string& path, const std::string& finalPath) override {
        shownPath_ = finalPath;
        main_ = std::fopen(path.c_str(), "w+b");
        if (!main_) {
            ctx.PostMessage("Can't create file " + finalPath + "!", Severity::Error);
            return false;
        }
        if (correction_) {
            const std::string wvcPath = WavPackCorrectionPathOf(path);
            wvc_ = std::fopen(wvcPath.c_str(), "w+b");
            if (!wvc_) {
                ctx.PostMessage("Can't create correction file " + WavPackCorrectionPathOf(finalPath) + "!", Severity::Error);
                std::fclose(main_);
                main_ = nullptr;
                std::remove(path.c_str());
                return false;
            }
            wvcPath_ = wvcPath;
        }
        mainPath_ = path;
        wpc_ = WavpackOpenFileOutput(WriteBlock, main_, wvc_);
        if (!wpc_ || !WavpackSetConfiguration(wpc_, &config_, static_cast<uint32_t>(-1)) ||
            !WavpackPackInit(wpc_)) {
            ctx.PostMessage(std::string("Invalid WavPack format: ") +
                                (wpc_ ? WavpackGetErrorMessage(wpc_) : "cannot allocate the encoder"),
                            Severity::Error);
            Close();
            std::remove(mainPath_.c_str());
            if (!wvcPath_.empty()) std::remove(wvcPath_.c_str());
            return false;
        }
        return true;
    }

    bool WriteShort(EncodeContext& ctx, const int16_t* samples, std::size_t count) override {
        if (wide_.size() < count) wide_.resize(count);
        for (std::size_t i = 0; i < count; ++i) wide_[i] = samples[i];
        // Interleaved stereo: an odd trailing value cannot form a frame and is dropped.
        const uint32_t frames = static_cast<uint32_t>(count / 2);
        if (frames == 0) return true;
        if (!WavpackPackSamples(wpc_, wide_.data(), frames)) {
            ctx.PostMessage("Can't write file " + shownPath_ + "! (" + WavpackGetErrorMessage(wpc_) + ")", Severity::Error);
            return false;
        }
        return true;
    }

    // Only when the rip hands floats after all (a resampling set-up): back to 16 bits.
    bool WriteFloat(EncodeContext& ctx, const float* samples, std::size_t count) override {
        if (shorts_.size() < count) shorts_.resize(count);
        FloatToShort(samples, shorts_.data(), count);
        return WriteShort(ctx, shorts_.data(), count);
    }

    bool Finish(EncodeContext& ctx, bool complete) override {
        if (!wpc_) return false;
        bool ok = WavpackFlushSamples(wpc_) != 0;
        if (ok && fillTag_) {
            const TagValues t = ctx.Tags(shownPath_);
            const std::pair<const char*, const std::string*> items[] = {
                {"artist", &t.artist}, {"title", &t.title},   {"year", &t.year},       {"album", &t.album},
                {"track", &t.trackNumber}, {"genre", &t.genre}, {"comment", &t.comment}, {"totaltracks", &t.totalTracks},
            };
            for (const auto& [item, value] : items) {
                const std::string text = TagTextUtf8(*value);
                ok = ok && WavpackAppendTagItem(wpc_, item, text.data(), static_cast<int>(text.size()));
            }
            ok = ok && WavpackWriteTag(wpc_);
        }
        // The stream was started with its length unknown; now that it is known, put it
        // into the first block of each file so that players can show the duration.
        if (ok) ok = UpdateLength(main_) && (!wvc_ || UpdateLength(wvc_));
        if (!ok && complete) {
            ctx.PostMessage("Can't write file " + shownPath_ + "! (" + WavpackGetErrorMessage(wpc_) + ")", Severity::Error);
        }
        if (!Close() && ok) {
            if (complete) ctx.PostMessage("Can't write file " + shownPath_ + "! (" + std::strerror(errno) + ")", Severity::Error);
            ok = false;
        }
        return ok;
    }

private:
    bool UpdateLength(FILE* file) {
        WavpackHeader header;
        if (std::fflush(file) != 0 || std::fseek(file, 0, SEEK_SET) != 0) return false;
        if (std::fread(&header, sizeof header, 1, file) != 1) return false;
        if (std::memcmp(header.ckID, "wvpk", 4) != 0) return false;
        // ckSize is little-endian on disk; the block is ckSize + 8 bytes long.
        const unsigned char* size = reinterpret_cast<const unsigned char*>(&header.ckSize);
        const uint32_t ckSize = size[0] | (size[1] << 8) | (size[2] << 16) | (static_cast<uint32_t>(size[3]) << 24);
        if (ckSize < sizeof header - 8 || ckSize > (1u << 24)) return false;
        std::vector<unsigned char> block(ckSize + 8);
        if (std::fseek(file, 0, SEEK_SET) != 0 || std::fread(block.data(), 1, block.size(), file) != block.size()) {
            return false;
        }
        WavpackUpdateNumSamples(wpc_, block.data());
        if (std::fseek(file, 0, SEEK_SET) != 0) return false;
        return std::fwrite(block.data(), 1, block.size(), file) == block.size();
    }

    // Closes the files and the library context; false when a file could not be closed.
    bool Close() {
        bool ok = true;
        if (main_ && std::fclose(main_) != 0) ok = false;
        if (wvc_ && std::fclose(wvc_) != 0) ok = false;
        main_ = wvc_ = nullptr;
        if (wpc_) wpc_ = WavpackCloseFile(wpc_);
        return ok;
    }

    WavpackConfig config_;
    bool correction_;
    bool fillTag_;
    WavpackContext* wpc_ = nullptr;
    FILE* main_ = nullptr;
    FILE* wvc_ = nullptr;
    std::string mainPath_, wvcPath_, shownPath_;
    std::vector<int32_t> wide_;
    std::vector<int16_t> shorts_;
};

}  // namespace

std::unique_ptr<CEncoder> MakeWavPackEncoder(const CSettings& settings, int formatId) {
    if (formatId != 12) return nullptr;
    return std::make_unique<WavPackEncoder>(settings);
}

}  // namespace quarrow
