// Drives one encoder driver over a raw PCM file (16-bit little-endian stereo at
// 44100 Hz) the way a rip does: a reader thread fills the sample rings in pieces while
// the driver drains them. Used by encoders_lossless.sh; not part of the tests.
//
//   encoders_lossless_driver ogg|flac|oggflac|wv|wvhybrid RAWFILE OUTFILE
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "albuminfo/AlbumRecord.h"
#include "app/Settings.h"
#include "encoders/Encoder.h"
#include "encoders/OutputFormat.h"

using namespace quarrow;

namespace {

class FileContext : public EncodeContext {
public:
    FileContext(const CSettings& s, std::string raw) : settings_(s), raw_(std::move(raw)) {
        intRing.Allocate(1 << 20);
        leftRing.Allocate(1 << 18);
        rightRing.Allocate(1 << 18);
        running = 1;
    }
    ~FileContext() override { JoinReader(); }

    const CSettings& Settings() const override { return settings_; }
    std::string HomeFolder() const override { return "/tmp"; }
    TagValues Tags(const std::string& path) const override {
        CAlbumRecord album;
        album.artist = "Bench Artist";
        album.albumTitle = "Bench Album";
        album.trackTitles = {"Bench Track"};
        album.year = 2024;
        album.genre = "Test";
        return MakeTagValues(album, 0, 1, false, path);
    }
    void StartReader() override {
        readerRunning_ = true;
        reader_ = std::thread([this] { Read(); });
    }
    bool ReaderRunning() const override { return readerRunning_; }
    void JoinReader() override {
        if (reader_.joinable()) reader_.join();
    }
    void PostProgress(double, double) override {}
    void SendFinalProgress() override {}
    void PostMessage(const std::string& text, int severity) override {
        std::fprintf(stderr, "%s: %s\n", severity ? "error" : "status", text.c_str());
    }
    void PostStatus(int, const std::string&) override {}
    void PostPhase(int) override {}
    void RestartTrackClock() override {}

private:
    void Read() {
        FILE* f = std::fopen(raw_.c_str(), "rb");
        if (!f) {
            std::fprintf(stderr, "error: cannot open %s\n", raw_.c_str());
            readerRunning_ = false;
            return;
        }
        constexpr std::size_t kPiece = 26 * 588 * 2;   // 26 sectors of stereo frames
        std::vector<int16_t> shorts(kPiece);
        std::vector<float> left(kPiece / 2), right(kPiece / 2);
        std::size_t got;
        while (running && (got = std::fread(shorts.data(), 2, kPiece, f)) > 0) {
            const std::size_t frames = got / 2;
            if (!floatPath) {
                std::size_t done = 0;
                while (running && done < got) {
                    const std::size_t n = intRing.Write(shorts.data() + done, got - done);
                    done += n;
                    if (n == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
            } else {
                for (std::size_t i = 0; i < frames; ++i) {
                    left[i] = static_cast<float>(shorts[2 * i]) * (1.0f / 32768.0f);
                    right[i] = static_cast<float>(shorts[2 * i + 1]) * (1.0f / 32768.0f);
                }
                if (mono) {
                    for (std::size_t i = 0; i < frames; ++i) left[i] = 0.5f * (left[i] + right[i]);
                }
                std::size_t done = 0;
                while (running && done < frames) {
                    std::size_t n = std::min(frames - done, leftRing.FreeCount());
                    if (!mono) n = std::min(n, rightRing.FreeCount());
                    if (n == 0) {
                        std::this_thread::sleep_for(std::chrono::milliseconds(1));
                        continue;
                    }
                    leftRing.Write(left.data() + done, n);
                    if (!mono) rightRing.Write(right.data() + done, n);
                    done += n;
                }
            }
        }
        std::fclose(f);
        readerRunning_ = false;
    }

    CSettings settings_;
    std::string raw_;
    std::atomic<bool> readerRunning_{false};
    std::thread reader_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s ogg|flac|oggflac|wv|wvhybrid RAWFILE OUTFILE\n", argv[0]);
        return 2;
    }
    const std::string kind = argv[1];
    CSettings s = CSettings::Initial("/tmp");
    if (kind == "ogg") {
        s.OUTPUT.OutputFormat = 4;
    } else if (kind == "flac" || kind == "oggflac") {
        s.OUTPUT.OutputFormat = 6;
        s.FLAC.Native = kind == "flac" ? 1 : 0;
    } else if (kind == "wv" || kind == "wvhybrid") {
        s.OUTPUT.OutputFormat = 12;
        if (kind == "wvhybrid") {
            s.WV.EncMod = 1;
            s.WV.CrtWvc = 1;
        }
    } else {
        std::fprintf(stderr, "unknown kind %s\n", kind.c_str());
        return 2;
    }
    const COutputFormat shape = COutputFormat::FromSettings(s);
    FileContext ctx(s, argv[2]);
    ctx.floatPath = shape.floatPath;
    ctx.mono = shape.mono;
    FILE* f = std::fopen(argv[2], "rb");
    if (!f) {
        std::fprintf(stderr, "cannot open %s\n", argv[2]);
        return 2;
    }
    std::fseek(f, 0, SEEK_END);
    const double values = static_cast<double>(std::ftell(f)) / 2;
    std::fclose(f);
    ctx.entryLengths = {values};
    auto encoder = CreateEncoder(s);
    if (!encoder) {
        std::fprintf(stderr, "no driver for format %d\n", s.OUTPUT.OutputFormat);
        return 2;
    }
    return encoder->Encode(ctx, argv[3]) == 1 ? 0 : 1;
}
