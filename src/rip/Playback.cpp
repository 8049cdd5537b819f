#include "rip/Playback.h"

#include <dlfcn.h>
#include <portaudio.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "albuminfo/DiscRefresh.h"
#include "albuminfo/TrackList.h"
#include "app/CdDrive.h"
#include "app/EventLog.h"
#include "app/Prompter.h"
#include "app/Settings.h"

namespace quarrow {

namespace {

constexpr int kSampleRate = 44100;
constexpr int kReadSectorsAtOnce = 8;

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// The audio library probes every sound system it knows at start-up; the sound-server
// client and the ALSA library print their complaints about what is not there (no server
// running, no card 0) to stderr. Only the outcome matters here: the checks below say it once.
void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}
void QuietJack(const char*) {}

void SilenceProbes() {
    using AlsaHandler = void (*)(const char*, int, const char*, int, const char*, ...);
    using JackHandler = void (*)(const char*);
    if (auto set = reinterpret_cast<int (*)(AlsaHandler)>(dlsym(RTLD_DEFAULT, "snd_lib_error_set_handler")))
        set(QuietAlsa);
    for (const char* name : {"jack_set_error_function", "jack_set_info_function"})
        if (auto set = reinterpret_cast<void (*)(JackHandler)>(dlsym(RTLD_DEFAULT, name))) set(QuietJack);
}

// 16-bit stereo at 44100 Hz on the default output device.
bool OutputParameters(PaStreamParameters& p) {
    const PaDeviceIndex device = Pa_GetDefaultOutputDevice();
    const PaDeviceInfo* info = device >= 0 ? Pa_GetDeviceInfo(device) : nullptr;
    if (!info) return false;
    p = PaStreamParameters{};
    p.device = device;
    p.channelCount = 2;
    p.sampleFormat = paInt16;
    p.suggestedLatency = info->defaultLowOutputLatency;
    return true;
}

}  // namespace

// ---------------------------------------------------------------- the audio library

SoundOutput::~SoundOutput() { Close(); }

void SoundOutput::Open(CEventLog& log, Prompter& prompter) {
    SilenceProbes();
    available_ = true;
    const PaError error = Pa_Initialize();
    if (error == paNoError) {
        initialised_ = true;
    } else {
        Pa_Terminate();
        log.Add("An error occurred while using the stream.", 2);
        char line[256];
        std::snprintf(line, sizeof line, "Error number: %d    Error message: %s.", error, Pa_GetErrorText(error));
        log.Add(line, 2);
    }
    try {
        bool output = false;
        for (PaDeviceIndex i = 0; initialised_ && i < Pa_GetDeviceCount(); ++i)
            if (const PaDeviceInfo* info = Pa_GetDeviceInfo(i); info && info->maxOutputChannels >= 1) output = true;
        PaStreamParameters p;
        if (!output) {
            prompter.Message("Warning: No Sound Device Found!", MessageIcon::Error);
            log.Add("Warning: No sound device found!", 1);
            available_ = false;
        } else if (!OutputParameters(p) || Pa_IsFormatSupported(nullptr, &p, kSampleRate) != paFormatIsSupported) {
            prompter.Message("Warning: Your Sound Card does NOT Support 16 Bit STEREO 44100Hz Output Mode!",
                             MessageIcon::Error);
            log.Add("Warning: Your sound card does NOT support 16 Bit STEREO 44100Hz output mode!", 1);
            available_ = false;
        }
    } catch (const std::exception&) {
        Close();
        available_ = false;
        prompter.Message("Error on Initializing Sound Devices!", MessageIcon::Error);
        log.Add("Error on initializing sound devices!", 2);
    }
}

void SoundOutput::Close() {
    if (initialised_) Pa_Terminate();
    initialised_ = false;
}

// ---------------------------------------------------------------- the ring

std::size_t PlaybackRing::Fill() const {
    std::lock_guard lock(mutex_);
    return (write_ + kRingCapacity - read_) % kRingCapacity;
}

std::size_t PlaybackRing::Free() const {
    return kRingCapacity - 1 - Fill();
}

std::size_t PlaybackRing::Write(const int16_t* samples, std::size_t count) {
    std::lock_guard lock(mutex_);
    const std::size_t room = kRingCapacity - 1 - (write_ + kRingCapacity - read_) % kRingCapacity;
    count = std::min(count, room);
    for (std::size_t i = 0; i < count; ++i) {
        data_[write_] = samples[i];
        write_ = (write_ + 1) % kRingCapacity;
    }
    totalWritten_ += static_cast<int64_t>(count);
    return count;
}

std::size_t PlaybackRing::Read(int16_t* out, std::size_t count) {
    std::lock_guard lock(mutex_);
    count = std::min(count, (write_ + kRingCapacity - read_) % kRingCapacity);
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = data_[read_];
        read_ = (read_ + 1) % kRingCapacity;
    }
    totalRead_ += static_cast<int64_t>(count);
    return count;
}

void PlaybackRing::Reset() {
    std::lock_guard lock(mutex_);
    write_ = read_ = 0;
    totalWritten_ = totalRead_ = 0;
}

int64_t PlaybackRing::TotalWritten() const {
    std::lock_guard lock(mutex_);
    return totalWritten_;
}

int64_t PlaybackRing::TotalRead() const {
    std::lock_guard lock(mutex_);
    return totalRead_;
}

std::string ElapsedText(int seconds) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d", (seconds / 60) % 60, seconds % 60);
    return text;
}

// ---------------------------------------------------------------- commands

CPlayback::CPlayback(MainContext& ctx, const SoundOutput& sound, PlaybackListener& listener)
    : ctx_(ctx), sound_(sound), listener_(listener) {}

CPlayback::~CPlayback() {
    StopPlayback(true);
}

bool CPlayback::Usable() const {
    return sound_.available() && !ctx_.refreshing;
}

void CPlayback::Status(const std::string& text, int kind) {
    listener_.OnPlaybackStatus(text, kind);
}

bool CPlayback::Play() {
    if (!Usable() || isPlaying()) return false;
    if (!SelectNextChecked(ctx_, -1, true)) {
        ctx_.prompter.Message("Warning: No Audio Track Checked!", MessageIcon::Warning);
        return false;
    }
    Join();   // a playback that ended on its own
    {
        std::lock_guard lock(lock_);
        SelectNextChecked(ctx_, -1, false);
    }
    Start();
    return true;
}

bool CPlayback::PlaySelected(int selectedRow) {
    if (!Usable()) return false;
    if (!isPlaying()) {
        Join();
        std::lock_guard lock(lock_);
        if (!SelectSelectedItem(ctx_, selectedRow)) return false;
        Start();
        return true;
    }
    std::lock_guard lock(lock_);
    if (!SelectSelectedItem(ctx_, selectedRow)) return false;
    CdDrive& drive = ctx_.grabber.Drive();
    drive.EndRead();
    Status("", 4);
    Status("Playing", 3);
    drive.BeginRead();
    ReadTrackLength();
    chunks_ = 0;
    return true;
}

void CPlayback::Start() {
    playing_ = 1;
    paused_ = 0;
    seeking_ = 0;
    chunks_ = 0;
    Status("Playing", 3);
    player_ = std::thread(&CPlayback::PlayerThread, this);
}

void CPlayback::PauseResume() {
    if (!Usable() || !isPlaying()) return;
    Status(isPaused() ? "Playing" : "Paused", 3);
    paused_ = isPaused() ? 0 : 1;
}

void CPlayback::StopPlayback(bool wait) {
    if (sound_.available() && isPlaying()) {
        playing_ = 0;
        paused_ = 0;
        seeking_ = 0;
    }
    if (wait && player_.joinable() && player_.get_id() != std::this_thread::get_id()) Join();
}

void CPlayback::Join() {
    if (player_.joinable()) player_.join();
}

bool CPlayback::Next() {
    for (int r = ctx_.currentItem + 1; r < static_cast<int>(ctx_.rows.size()); ++r)
        if (ctx_.rows[static_cast<std::size_t>(r)].checked) return Switch(r);
    return false;
}

bool CPlayback::Previous() {
    for (int r = std::min(ctx_.currentItem, static_cast<int>(ctx_.rows.size())) - 1; r >= 0; --r)
        if (ctx_.rows[static_cast<std::size_t>(r)].checked) return Switch(r);
    return false;
}

bool CPlayback::First() {
    for (int r = 0; r < static_cast<int>(ctx_.rows.size()); ++r)
        if (ctx_.rows[static_cast<std::size_t>(r)].checked) return Switch(r);
    return false;
}

bool CPlayback::Last() {
    for (int r = static_cast<int>(ctx_.rows.size()) - 1; r >= 0; --r)
        if (ctx_.rows[static_cast<std::size_t>(r)].checked) return Switch(r);
    return false;
}

bool CPlayback::Switch(int target) {
    if (ctx_.refreshing || isSeeking()) return false;
    std::lock_guard lock(lock_);
    const bool playing = isPlaying();
    CdDrive& drive = ctx_.grabber.Drive();
    if (playing) {
        drive.EndRead();
        Status("", 4);
    }
    SelectNextChecked(ctx_, target - 1, false);
    if (playing) {
        Status(isPaused() ? "Paused" : "Playing", 3);
        drive.BeginRead();
        chunks_ = 0;
        ReadTrackLength();
    }
    return true;
}

int CPlayback::Seek(int position, std::string* elapsed) {
    if (isSeeking()) return position;
    if (position >= 1000) return 1000;
    if (position <= 0) return 1;
    if (!isPlaying()) return position;
    seeking_ = 1;
    try {
        std::lock_guard lock(lock_);
        CdDrive& drive = ctx_.grabber.Drive();
        const int32_t sectors = drive.TrackSectors();
        const auto target = static_cast<int32_t>(sectors * position * 0.001);
        drive.Seek(target);
        remaining_ = sectors - target;
        chunks_ = static_cast<int>(target * 0.1333333);
        ring_.Reset();
        if (switchAt_.exchange(-1) >= 0) tenths_ = switchTenths_.load();
    } catch (const std::exception&) {
        Status("Error during seeking the track!", 1);
        seeking_ = 0;
        StopPlayback(true);
        return position;
    }
    if (elapsed) *elapsed = ElapsedText(static_cast<int>(trackTenths() * position * 0.0001));
    seeking_ = 0;
    return position;
}

bool CPlayback::ProgressDisplay(int chunkCounter, int& slider, std::string& elapsed) const {
    const int tenths = trackTenths();
    if (chunkCounter % 10 != 0 || tenths <= 0) return false;
    slider = static_cast<int>(static_cast<int64_t>(chunkCounter) * 1000 / tenths);
    elapsed = ElapsedText(chunkCounter / 10);
    return true;
}

// ---------------------------------------------------------------- the threads

void CPlayback::ReadTrackLength() {
    CdDrive& drive = ctx_.grabber.Drive();
    remaining_ = drive.TrackSectors();
    tenths_ = (60 * drive.TrackMinutes() + drive.TrackSeconds()) * 10;
    switchAt_ = -1;
}

void CPlayback::PlayerThread() {
    PaStream* stream = nullptr;
    try {
        ring_.Reset();
        readerRunning_ = true;
        reader_ = std::thread(&CPlayback::ReaderThread, this);

        PaStreamParameters params;
        if (!OutputParameters(params) ||
            Pa_OpenStream(&stream, nullptr, &params, kSampleRate, paFramesPerBufferUnspecified, paNoFlag, nullptr,
                          nullptr) != paNoError) {
            stream = nullptr;
            Status("Fail to open input stream.", 1);
        } else {
            Pa_StartStream(stream);
        }

        std::vector<int16_t> chunk(kPlaybackChunkSamples);
        while (playing_.load()) {
            if (paused_.load()) {
                Sleep(100);
                continue;
            }
            // Whether the reader has ended is asked before the fill: once it has, the fill is final.
            const bool readerRunning = readerRunning_.load();
            std::size_t n = ring_.Fill();
            if (n > static_cast<std::size_t>(kPlaybackChunkSamples)) {
                n = kPlaybackChunkSamples;
            } else if (readerRunning) {
                Sleep(25);
                continue;
            } else {
                playing_ = 0;   // the last chunk
            }
            const std::size_t got = ring_.Read(chunk.data(), n);
            std::fill(chunk.begin() + static_cast<std::ptrdiff_t>(got), chunk.end(), int16_t{0});
            if (const int64_t at = switchAt_.load(); at >= 0 && ring_.TotalRead() > at) {
                // This chunk reaches the track that followed without a gap.
                std::lock_guard lock(lock_);
                if (switchAt_.exchange(-1) >= 0) {
                    tenths_ = switchTenths_.load();
                    chunks_ = 0;
                }
            }
            const int counter = ++chunks_;
            if (playing_.load())
                listener_.OnPlaybackProgress(std::vector<int16_t>(chunk.begin(), chunk.begin() + kPlaybackVisualSamples),
                                             counter);
            const int volume = ctx_.settings.OUTPUT.Volume;
            if (volume != 100) {
                const float factor = static_cast<float>(volume) * 0.01f;
                for (int16_t& s : chunk)
                    s = static_cast<int16_t>(std::clamp(static_cast<float>(s) * factor, -32768.0f, 32767.0f));
            }
            if (stream) Pa_WriteStream(stream, chunk.data(), kPlaybackChunkSamples / 2);
        }
    } catch (const std::exception&) {
        playing_ = 0;
        Status("Error", 3);
        Status("An error occurred while playing.", 1);
    }
    playing_ = 0;
    if (reader_.joinable()) reader_.join();
    if (stream) {
        Pa_StopStream(stream);
        Pa_CloseStream(stream);
    }
    listener_.OnPlaybackProgress({}, chunks_.load());
    Status("", 4);
    paused_ = 0;
    seeking_ = 0;
}

void CPlayback::ReaderThread() {
    CdDrive* drive = nullptr;
    try {
        {
            std::lock_guard lock(lock_);
            drive = &ctx_.grabber.Drive();
            drive->SetReadMode(kReadPlay);
            drive->SetErrorAction(kErrorStop);
            drive->SetReadRetries(0);
            ReadTrackLength();
            drive->BeginRead();
        }
        std::vector<int16_t> samples;
        while (playing_.load()) {
            if (paused_.load()) {
                Sleep(100);
                continue;
            }
            if (ring_.Free() <= static_cast<std::size_t>(kReadSectorsAtOnce * kSamplesPerSector)) {
                Sleep(25);
                continue;
            }
            std::unique_lock lock(lock_);
            if (const int32_t left = remaining_.load(); left > 0) {
                const int n = std::min(kReadSectorsAtOnce, left);
                int32_t status = kReadOk;
                drive->ReadSectors(n, samples, status);
                if (status != kReadOk)
                    throw std::runtime_error("read status " + std::to_string(status));
                remaining_ -= n;
                // Appended under the playback lock, so that a seek never finds samples of
                // the old position arriving after it emptied the ring.
                ring_.Write(samples.data(), samples.size());
            } else if (SelectNextChecked(ctx_, ctx_.currentItem, true)) {
                // The next checked track follows without a gap.
                drive->EndRead();
                Status("", 3);
                SelectNextChecked(ctx_, ctx_.currentItem, false);
                const int tenths = tenths_;
                ReadTrackLength();
                switchTenths_ = tenths_.exchange(tenths);
                switchAt_ = ring_.TotalWritten();
                Status("Playing", 3);
                drive->BeginRead();
            } else if (ring_.Fill() > static_cast<std::size_t>(kPlaybackChunkSamples)) {
                // The last track is read to its end, but a seek may still come while the
                // ring plays out; the player takes the final part once the reader has ended.
                lock.unlock();
                Sleep(25);
            } else {
                break;
            }
        }
        drive->EndRead();
    } catch (const std::exception&) {
        Status("Error", 3);
        Status("An error occurred while reading audio CD.", 1);
        try {
            if (drive) {
                drive->ResetReader();
                drive->EndRead();
            }
        } catch (const std::exception&) {
        }
    }
    readerRunning_ = false;
}

}  // namespace quarrow
