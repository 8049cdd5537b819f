#include "support/EncodeHarness.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "encoders/OutputFormat.h"

namespace quarrow::testsupport {

FeedContext::FeedContext(const CSettings& s) : settings(s) {
    intRing.Allocate(1 << 20);
    leftRing.Allocate(1 << 18);
    rightRing.Allocate(1 << 18);
    SetRunning(true);
}

FeedContext::~FeedContext() { Stop(), JoinReader(); }

void FeedContext::ShapeFromSettings() {
    const COutputFormat shape = COutputFormat::FromSettings(settings);
    floatPath = shape.floatPath || shape.resample;
    mono = shape.mono;
}

void FeedContext::FeedShorts(std::vector<int16_t> values, std::vector<double> entries) {
    shorts = std::move(values);
    entryLengths = entries.empty() ? std::vector<double>{static_cast<double>(shorts.size())} : std::move(entries);
}

void FeedContext::FeedFloats(std::vector<float> left, std::vector<float> right, std::vector<double> entries) {
    lefts = std::move(left);
    rights = std::move(right);
    const double units = static_cast<double>(lefts.size() + (mono ? 0 : rights.size()));
    entryLengths = entries.empty() ? std::vector<double>{units} : std::move(entries);
}

TagValues FeedContext::Tags(const std::string& path) const {
    return MakeTagValues(album, trackIndex, discTracks, singleOutput, path);
}

void FeedContext::StartReader() {
    JoinReader();
    readerRunning = true;
    reader_ = std::thread([this] {
        std::size_t pos = 0, fpos = 0, delivered = 0;
        const std::size_t floats = mono ? lefts.size() : std::min(lefts.size(), rights.size());
        while (IsRunning() && (floatPath ? fpos < floats : pos < shorts.size())) {
            if (IsPaused()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                continue;
            }
            if (!floatPath) {
                delivered = pos += intRing.Write(shorts.data() + pos, std::min(piece, shorts.size() - pos));
            } else {
                std::size_t n = std::min({piece, floats - fpos, leftRing.FreeCount()});
                if (!mono) n = std::min(n, rightRing.FreeCount());
                leftRing.Write(lefts.data() + fpos, n);
                if (!mono) rightRing.Write(rights.data() + fpos, n);
                delivered = fpos += n;
            }
            if (onDelivered) onDelivered(delivered);
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        readerRunning = false;
    });
}

void FeedContext::JoinReader() { if (reader_.joinable()) reader_.join(); }

int FeedContext::Encode(const std::string& path) {
    auto enc = CreateEncoder(settings);
    return enc ? (enc->Encode(*this, path) ? 1 : 0) : -1;
}

CSettings SettingsFor(int id) {
    CSettings s = CSettings::Initial("/nonexistent");
    s.OUTPUT.OutputFormat = static_cast<int16_t>(id);
    return s;
}

CAlbumRecord SampleAlbum() {
    CAlbumRecord a;
    a.artist = "AC/DC \"Live\" $(rm -rf ~)";
    a.albumTitle = "Back in Black; `echo hi` | tee";
    a.trackTitles = {"Hells Bells", "Shoot to Thrill = loud", "Third & 'last' / $HOME"};
    a.year = 1991;
    a.genre = "Rock";
    return a;
}

std::string WriteExecutable(const std::string& folder, const std::string& name) {
    const std::string p = folder + "/" + name;
    std::ofstream(p) << "#!/bin/sh\n";
    std::filesystem::permissions(p, std::filesystem::perms::owner_all);
    return p;
}

bool LeftNothing(const std::string& path) {
    return !std::filesystem::exists(path) && !std::filesystem::exists(CEncoder::TemporaryNameOf(path));
}

::testing::AssertionResult Written(const FeedContext& ctx, int result, const std::string& path) {
    const auto messages = ctx.Messages();
    if (result != 1 || !messages.empty())
        return ::testing::AssertionFailure() << "result " << result << ", " << messages.size()
                                             << " messages: " << (messages.empty() ? "" : messages[0]);
    if (!ctx.finalSent) return ::testing::AssertionFailure() << "no final progress";
    if (!std::filesystem::exists(path) || std::filesystem::exists(CEncoder::TemporaryNameOf(path)))
        return ::testing::AssertionFailure() << path << " not published under its own name";
    return ::testing::AssertionSuccess();
}

std::vector<int16_t> SineShorts(std::size_t frames, int channels, double amplitude) {
    std::vector<int16_t> v(frames * static_cast<std::size_t>(channels));
    for (std::size_t k = 0; k < v.size(); ++k) {
        const double hz = k % static_cast<std::size_t>(channels) == 0 ? 440.0 : 660.0, i = double(k / channels);
        v[k] = static_cast<int16_t>(std::lround(amplitude * 32767.0 * std::sin(2 * M_PI * hz * i / 44100.0)));
    }
    return v;
}

std::vector<float> SineFloats(std::size_t frames, double hz, double amplitude, int rate) {
    std::vector<float> v(frames);
    for (std::size_t i = 0; i < frames; ++i)
        v[i] = static_cast<float>(amplitude * std::sin(2 * M_PI * hz * static_cast<double>(i) / rate));
    return v;
}

std::vector<int16_t> NoisyShorts(std::size_t frames, int noise) {
    std::vector<int16_t> v = SineShorts(frames, 2, 0.6);
    uint32_t x = 12345;
    for (auto& s : v) {
        x = x * 1664525u + 1013904223u;
        s = static_cast<int16_t>(s + static_cast<int>((x >> 16) % static_cast<uint32_t>(2 * noise + 1)) - noise);
    }
    if (v.size() >= 2) v[0] = 32767, v[1] = -32768;
    return v;
}

void FeedTone(FeedContext& ctx, std::size_t frames, int rate) {
    ctx.ShapeFromSettings();
    if (ctx.floatPath) {
        ctx.FeedFloats(SineFloats(frames, 440, 0.5, rate), ctx.mono ? std::vector<float>{} : SineFloats(frames, 660, 0.5, rate));
    } else {
        ctx.FeedShorts(ctx.mono ? SineShorts(frames, 1) : NoisyShorts(frames));
    }
}

}  // namespace quarrow::testsupport
