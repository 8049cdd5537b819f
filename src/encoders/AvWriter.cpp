#include "encoders/AvWriter.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cstring>
#include <mutex>

namespace quarrow {

namespace {

std::string AvError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// The encoder's preferred sample format (its first), and whether it takes s.
AVSampleFormat SampleFormatOf(const AVCodec* codec) {
    return codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
}

// A codec context set up for the target; null with error set when it does not open.
AVCodecContext* OpenCodec(const AvTarget& t, bool globalHeader, std::string& error) {
    // The library's own console chatter (encoder statistics, refusals) stays off the
    // terminal: every failure reaches the user through the driver's message.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
    const AVCodec* codec = avcodec_find_encoder_by_name(t.codec.c_str());
    if (!codec) {
        error = "the library has no " + t.codec + " encoder";
        return nullptr;
    }
    AVCodecContext* c = avcodec_alloc_context3(codec);
    if (!c) {
        error = "out of memory";
        return nullptr;
    }
    c->sample_fmt = SampleFormatOf(codec);
    c->sample_rate = t.sampleRate;
    av_channel_layout_default(&c->ch_layout, t.channels);
    c->bit_rate = t.bitRate;
    c->time_base = AVRational{1, t.sampleRate};
    if (globalHeader) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    const int rc = avcodec_open2(c, codec, nullptr);
    if (rc < 0) {
        error = "the " + t.codec + " encoder refuses " + std::to_string(t.bitRate / 1000) + " kbps at " +
                std::to_string(t.sampleRate) + " Hz with " + std::to_string(t.channels) + " channel" +
                (t.channels == 1 ? "" : "s") + " (" + AvError(rc) + ")";
        avcodec_free_context(&c);
        return nullptr;
    }
    return c;
}

}  // namespace

std::string AvTargetProblem(const AvTarget& target) {
    std::string error;
    AVCodecContext* c = OpenCodec(target, false, error);
    avcodec_free_context(&c);
    return error;
}

AvWriter::~AvWriter() { Abandon(); }

void AvWriter::Release() {
    if (ioOpen_ && format_) avio_closep(&format_->pb);
    ioOpen_ = false;
    avformat_free_context(format_);
    format_ = nullptr;
    avcodec_free_context(&codec_);
    swr_free(&swr_);
    if (fifo_) av_audio_fifo_free(fifo_);
    fifo_ = nullptr;
    av_frame_free(&frame_);
    av_packet_free(&packet_);
}

void AvWriter::Abandon() { Release(); }

bool AvWriter::Open(const std::string& path, const AvTarget& target, const AvTags& tags, std::string& error) {
    Release();
    path_ = path;
    int rc = avformat_alloc_output_context2(&format_, nullptr, target.container.c_str(), path.c_str());
    if (rc < 0 || !format_) {
        error = "the library cannot write " + target.container + " files";
        return false;
    }
    codec_ = OpenCodec(target, (format_->oformat->flags & AVFMT_GLOBALHEADER) != 0, error);
    if (!codec_) return Release(), false;
    AVStream* stream = avformat_new_stream(format_, nullptr);
    if (!stream || avcodec_parameters_from_context(stream->codecpar, codec_) < 0) {
        error = "cannot add the audio stream";
        return Release(), false;
    }
    stream->time_base = codec_->time_base;
    streamIndex_ = stream->index;
    for (const auto& [key, value] : tags) {
        if (!value.empty()) av_dict_set(&format_->metadata, key.c_str(), value.c_str(), 0);
    }

    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    rc = swr_alloc_set_opts2(&swr_, &codec_->ch_layout, codec_->sample_fmt, codec_->sample_rate, &stereo,
                             AV_SAMPLE_FMT_S16, 44100, 0, nullptr);
    if (rc < 0 || swr_init(swr_) < 0) {
        error = "cannot set up the sample conversion to " + std::to_string(target.sampleRate) + " Hz";
        return Release(), false;
    }
    frameSize_ = codec_->frame_size > 0 ? codec_->frame_size : 1024;
    padLastFrame_ = !(codec_->codec->capabilities &
                      (AV_CODEC_CAP_SMALL_LAST_FRAME | AV_CODEC_CAP_VARIABLE_FRAME_SIZE));
    fifo_ = av_audio_fifo_alloc(codec_->sample_fmt, codec_->ch_layout.nb_channels, frameSize_ * 4);
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (!fifo_ || !frame_ || !packet_) {
        error = "out of memory";
        return Release(), false;
    }
    if ((rc = avio_open(&format_->pb, path.c_str(), AVIO_FLAG_WRITE)) < 0) {
        error = "cannot create " + path + " (" + AvError(rc) + ")";
        return Release(), false;
    }
    ioOpen_ = true;
    if ((rc = avformat_write_header(format_, nullptr)) < 0) {
        error = "cannot write the header of " + path + " (" + AvError(rc) + ")";
        return Release(), false;
    }
    pts_ = 0;
    return true;
}

bool AvWriter::Write(const int16_t* samples, std::size_t frames, std::string& error) {
    if (!codec_) {
        error = "the output is not open";
        return false;
    }
    const int in = static_cast<int>(frames);
    const int room = swr_get_out_samples(swr_, in);
    uint8_t** converted = nullptr;
    if (av_samples_alloc_array_and_samples(&converted, nullptr, codec_->ch_layout.nb_channels, room,
                                           codec_->sample_fmt, 0) < 0) {
        error = "out of memory";
        return false;
    }
    const uint8_t* input[1] = {reinterpret_cast<const uint8_t*>(samples)};
    const int out = swr_convert(swr_, converted, room, input, in);
    bool ok = out >= 0 && av_audio_fifo_write(fifo_, reinterpret_cast<void**>(converted), out) == out;
    av_freep(&converted[0]);
    av_freep(&converted);
    if (!ok) {
        error = "sample conversion failed";
        return false;
    }
    return EncodeFrames(false, error);
}

bool AvWriter::EncodeFrames(bool flush, std::string& error) {
    while (av_audio_fifo_size(fifo_) >= frameSize_ || (flush && av_audio_fifo_size(fifo_) > 0)) {
        const int take = std::min(frameSize_, av_audio_fifo_size(fifo_));
        av_frame_unref(frame_);
        frame_->nb_samples = padLastFrame_ ? frameSize_ : take;
        frame_->format = codec_->sample_fmt;
        frame_->sample_rate = codec_->sample_rate;
        av_channel_layout_copy(&frame_->ch_layout, &codec_->ch_layout);
        if (av_frame_get_buffer(frame_, 0) < 0) {
            error = "out of memory";
            return false;
        }
        if (take < frame_->nb_samples)
            av_samples_set_silence(frame_->data, take, frame_->nb_samples - take, codec_->ch_layout.nb_channels,
                                   codec_->sample_fmt);
        av_audio_fifo_read(fifo_, reinterpret_cast<void**>(frame_->data), take);
        frame_->pts = pts_;
        pts_ += frame_->nb_samples;
        const int rc = avcodec_send_frame(codec_, frame_);
        if (rc < 0) {
            error = "the " + std::string(codec_->codec->name) + " encoder failed (" + AvError(rc) + ")";
            return false;
        }
        if (!Drain(error)) return false;
    }
    return true;
}

bool AvWriter::Drain(std::string& error) {
    for (;;) {
        int rc = avcodec_receive_packet(codec_, packet_);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
        if (rc < 0) {
            error = "the " + std::string(codec_->codec->name) + " encoder failed (" + AvError(rc) + ")";
            return false;
        }
        packet_->stream_index = streamIndex_;
        av_packet_rescale_ts(packet_, codec_->time_base, format_->streams[streamIndex_]->time_base);
        rc = av_interleaved_write_frame(format_, packet_);
        if (rc < 0) {
            error = "cannot write " + path_ + " (" + AvError(rc) + ")";
            return false;
        }
    }
}

bool AvWriter::Finish(std::string& error) {
    if (!codec_) {
        error = "the output is not open";
        return false;
    }
    // What the resampler still holds, then the last (short or padded) frame.
    const int room = swr_get_out_samples(swr_, 0);
    bool ok = true;
    if (room > 0) {
        uint8_t** rest = nullptr;
        if (av_samples_alloc_array_and_samples(&rest, nullptr, codec_->ch_layout.nb_channels, room,
                                               codec_->sample_fmt, 0) >= 0) {
            const int out = swr_convert(swr_, rest, room, nullptr, 0);
            if (out > 0) av_audio_fifo_write(fifo_, reinterpret_cast<void**>(rest), out);
            av_freep(&rest[0]);
            av_freep(&rest);
        }
    }
    ok = EncodeFrames(true, error);
    if (ok) {
        avcodec_send_frame(codec_, nullptr);
        ok = Drain(error);
    }
    if (ok) {
        const int rc = av_write_trailer(format_);
        if (rc < 0) {
            error = "cannot finish " + path_ + " (" + AvError(rc) + ")";
            ok = false;
        }
    }
    if (ioOpen_) {
        if (avio_closep(&format_->pb) < 0 && ok) {
            error = "cannot write " + path_;
            ok = false;
        }
        ioOpen_ = false;
    }
    Release();
    return ok;
}

}  // namespace quarrow
