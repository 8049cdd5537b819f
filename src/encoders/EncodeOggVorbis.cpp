// The Ogg Vorbis driver: libvorbis analysis in quality, managed or average bit-rate
// mode, the comment header, and libogg paging with the audio starting on a fresh page.
// The rip hands floats: one ring for mono, a left and a right ring for stereo.
#include "encoders/EncodeOggVorbis.h"

#include <ogg/ogg.h>
#include <vorbis/codec.h>
#include <vorbis/vorbisenc.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "app/Settings.h"
#include "encoders/EncodeFlac.h"
#include "encoders/OutputFormat.h"

namespace quarrow {

int NewOggSerialNumber() {
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    return std::rand();
}

int InitVorbisEncoder(vorbis_info* vi, const CSettings& settings, int channels) {
    const auto& ogg = settings.OGG;
    const long rate = SampleRateOf(ogg.Freq);
    if (rate <= 0) return OV_EINVAL;   // a damaged Freq index
    if (ogg.Quality != 0) {
        return vorbis_encode_init_vbr(vi, channels, rate, static_cast<float>(ogg.QualityCompression * 0.01));
    }
    const long nominal = BitrateOf(ogg.NomiBit) * 1000L;
    if (nominal <= 0) return OV_EINVAL;
    if (ogg.VBR != 0) {
        const long maximum = BitrateOf(ogg.MaxBit) * 1000L;
        const long minimum = BitrateOf(ogg.MinBit) * 1000L;
        if (maximum <= 0 || minimum <= 0) return OV_EINVAL;
        return vorbis_encode_init(vi, channels, rate, maximum, nominal, minimum);
    }
    return vorbis_encode_init(vi, channels, rate, -1, nominal, -1);
}

namespace {

void AddComment(vorbis_comment* vc, const char* name, const std::string& value) {
    // vorbis_comment_add_tag takes C strings: a value cut at an embedded NUL is the
    // most that can be stored.
    vorbis_comment_add_tag(vc, name, TagTextUtf8(value).c_str());
}

class OggVorbisEncoder : public CEncoder {
public:
    explicit OggVorbisEncoder(const CSettings& settings) : settings_(settings) {}
    ~OggVorbisEncoder() override { Release(); }

protected:
    bool Open(EncodeContext& ctx, const std::string& path, const std::string& finalPath) override {
        // The channel count follows the samples the rip delivers, which the rip derives
        // from OGG/Channel.
        channels_ = ctx.floatPath ? (ctx.mono ? 1 : 2) : (settings_.OGG.Channel == 0 ? 1 : 2);
        vorbis_info_init(&vi_);
        infoReady_ = true;
        if (InitVorbisEncoder(&vi_, settings_, channels_) != 0) {
            ctx.PostMessage("Invalid Ogg Vorbis format.", Severity::Error);
            return false;
        }
        shownPath_ = finalPath;
        file_ = std::fopen(path.c_str(), "w+b");
        if (!file_) {
            ctx.PostMessage("Can't create file " + finalPath + "! (" + std::strerror(errno) + ")", Severity::Error);
            return false;
        }

        vorbis_comment_init(&vc_);
        commentReady_ = true;
        if (settings_.OUTPUT.FillTag != 0) {
            const TagValues t = ctx.Tags(finalPath);
            AddComment(&vc_, "ARTIST", t.artist);
            AddComment(&vc_, "TITLE", t.title);
            AddComment(&vc_, "DATE", t.year);
            AddComment(&vc_, "ALBUM", t.album);
            AddComment(&vc_, "TRACKNUMBER", t.trackNumber);
            AddComment(&vc_, "GENRE", t.genre);
            AddComment(&vc_, "TOTALTRACKS", t.totalTracks);
            AddComment(&vc_, "COMMENT", t.comment);
        }

        vorbis_analysis_init(&vd_, &vi_);
        vorbis_block_init(&vd_, &vb_);
        dspReady_ = true;
        ogg_stream_init(&os_, NewOggSerialNumber());
        streamReady_ = true;

        ogg_packet header, comment, codebooks;
        vorbis_analysis_headerout(&vd_, &vc_, &header, &comment, &codebooks);
        ogg_stream_packetin(&os_, &header);
        ogg_stream_packetin(&os_, &comment);
        ogg_stream_packetin(&os_, &codebooks);
        // Flush the headers so that the audio starts on a fresh page.
        ogg_page page;
        while (ogg_stream_flush(&os_, &page) != 0) {
            if (!WritePage(ctx, page)) {
                // Not even the headers went out: leave nothing behind.
                std::fclose(file_);
                file_ = nullptr;
                std::remove(path.c_str());
                return false;
            }
        }
        return true;
    }

    bool WriteFloat(EncodeContext& ctx, const float* samples, std::size_t count) override {
        const int n = static_cast<int>(count / static_cast<std::size_t>(channels_));
        if (n == 0) return true;
        float** buffer = vorbis_analysis_buffer(&vd_, n);
        if (channels_ == 1) {
            std::memcpy(buffer[0], samples, static_cast<std::size_t>(n) * sizeof(float));
        } else {
            float* left = buffer[0];
            float* right = buffer[1];
            for (int i = 0; i < n; ++i) {
                left[i] = samples[2 * i];
                right[i] = samples[2 * i + 1];
            }
        }
        vorbis_analysis_wrote(&vd_, n);
        return Drain(ctx);
    }

    // Only when the rip hands 16-bit samples after all.
    bool WriteShort(EncodeContext& ctx, const int16_t* samples, std::size_t count) override {
        if (floats_.size() < count) floats_.resize(count);
        ShortToFloat(samples, floats_.data(), count);
        return WriteFloat(ctx, floats_.data(), count);
    }

    bool Finish(EncodeContext& ctx, bool complete) override {
        bool ok = file_ != nullptr;
        if (ok && dspReady_ && !failed_) {
            // The end of the stream: the last packets and the end-of-stream page.
            vorbis_analysis_wrote(&vd_, 0);
            ok = Drain(ctx);
        }
        ok = ok && !failed_;
        if (file_) {
            if (std::fclose(file_) != 0 && ok && complete) {
                ctx.PostMessage("Error : could not write file : " + shownPath_ + " (" + std::strerror(errno) + ")", Severity::Error);
                ok = false;
            }
            file_ = nullptr;
        }
        Release();
        return ok;
    }

private:
    bool Drain(EncodeContext& ctx) {
        while (vorbis_analysis_blockout(&vd_, &vb_) == 1) {
            vorbis_analysis(&vb_, nullptr);
            vorbis_bitrate_addblock(&vb_);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&vd_, &packet) == 1) {
                ogg_stream_packetin(&os_, &packet);
                ogg_page page;
                while (!eos_ && ogg_stream_pageout(&os_, &page) != 0) {
                    if (!WritePage(ctx, page)) return false;
                    if (ogg_page_eos(&page)) eos_ = true;
                }
            }
        }
        return true;
    }

    bool WritePage(EncodeContext& ctx, const ogg_page& page) {
        const std::size_t h = static_cast<std::size_t>(page.header_len);
        const std::size_t b = static_cast<std::size_t>(page.body_len);
        if (std::fwrite(page.header, 1, h, file_) != h || std::fwrite(page.body, 1, b, file_) != b) {
            ctx.PostMessage("Error : could not write file : " + shownPath_ + " (" + std::strerror(errno) + ")", Severity::Error);
            failed_ = true;
            return false;
        }
        return true;
    }

    void Release() {
        if (streamReady_) ogg_stream_clear(&os_);
        if (dspReady_) {
            vorbis_block_clear(&vb_);
            vorbis_dsp_clear(&vd_);
        }
        if (commentReady_) vorbis_comment_clear(&vc_);
        if (infoReady_) vorbis_info_clear(&vi_);
        streamReady_ = dspReady_ = commentReady_ = infoReady_ = false;
        if (file_) {
            std::fclose(file_);
            file_ = nullptr;
        }
    }

    CSettings settings_;
    int channels_ = 2;
    vorbis_info vi_{};
    vorbis_comment vc_{};
    vorbis_dsp_state vd_{};
    vorbis_block vb_{};
    ogg_stream_state os_{};
    bool infoReady_ = false, commentReady_ = false, dspReady_ = false, streamReady_ = false;
    bool eos_ = false;
    bool failed_ = false;
    FILE* file_ = nullptr;
    std::string shownPath_;
    std::vector<float> floats_;
};

}  // namespace

std::unique_ptr<CEncoder> MakeOggVorbisEncoder(const CSettings& settings, int formatId) {
    if (formatId != 4) return nullptr;
    return std::make_unique<OggVorbisEncoder>(settings);
}

}  // namespace quarrow
