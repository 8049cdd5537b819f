#include "encoders/Encoder.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "albuminfo/AlbumRecord.h"

namespace quarrow {

void ShortToFloat(const int16_t* source, float* target, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) target[i] = static_cast<float>(source[i]) * 3.0517578125e-05f;
}

void FloatToShort(const float* source, int16_t* target, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const double x = static_cast<double>(source[i]) * 2147483648.0;
        if (x >= 2147483647.0) {
            target[i] = 32767;
        } else if (!(x > -2147483648.0)) {
            target[i] = -32768;   // -1 and below, and NaN
        } else {
            const long long n = std::llrint(x);
            target[i] = static_cast<int16_t>(static_cast<int32_t>(n) >> 16);
        }
    }
}

namespace {

std::string Format2d(int value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%2d", value);
    return buf;
}

std::string FileStem(const std::string& path) {
    std::string name = path.substr(path.find_last_of('/') + 1);
    const auto dot = name.find_last_of('.');
    if (dot != std::string::npos) name.erase(dot);
    return name;
}

}  // namespace

TagValues MakeTagValues(const CAlbumRecord& album, int trackIndex, int discTracks,
                        bool imageMode, const std::string& outputPath) {
    TagValues t;
    if (imageMode) {
        t.title = FileStem(outputPath);
    } else if (trackIndex >= 0 && static_cast<std::size_t>(trackIndex) < album.trackTitles.size()) {
        t.title = album.trackTitles[trackIndex];
    }
    t.artist = album.artist;
    t.album = album.albumTitle;
    t.year = std::to_string(album.year);
    t.genre = album.genre;
    t.trackNumber = imageMode ? std::string() : Format2d(trackIndex + 1);
    t.totalTracks = Format2d(discTracks);
    t.comment = std::string(RipComment);
    return t;
}

double EncodeContext::JobLength() const {
    double sum = 0;
    for (double l : entryLengths) sum += l;
    return sum;
}

double EncodeContext::TrackLength() const {
    const int e = currentEntry.load();
    if (e < 0 || static_cast<std::size_t>(e) >= entryLengths.size()) return 0;
    return entryLengths[e];
}

double EncodeContext::TrackPercent() const {
    const double len = TrackLength();
    return len > 0 ? doneTrack.load() * 100.0 / len : 0.0;
}

double EncodeContext::TotalPercent() const {
    const double len = JobLength();
    return len > 0 ? doneTotal.load() * 100.0 / len : 0.0;
}

bool CEncoder::WriteShort(EncodeContext& ctx, const int16_t*, std::size_t) {
    ctx.PostMessage("This encoder does not take 16-bit samples", Severity::Error);
    return false;
}

bool CEncoder::WriteFloat(EncodeContext& ctx, const float*, std::size_t) {
    ctx.PostMessage("This encoder does not take float samples", Severity::Error);
    return false;
}

std::string CEncoder::TemporaryNameOf(const std::string& outputPath) {
    const auto slash = outputPath.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : outputPath.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? outputPath : outputPath.substr(slash + 1);
    return folder + "." + name + ".part";
}

std::error_code CEncoder::Publish(const std::string& path, const std::string& outputPath) const {
    std::error_code ec;
    if (path == outputPath) return ec;
    if (!std::filesystem::exists(path, ec)) return std::make_error_code(std::errc::no_such_file_or_directory);
    const std::vector<std::string> from = CompanionFiles(path);
    const std::vector<std::string> to = CompanionFiles(outputPath);
    for (std::size_t i = 0; i < from.size() && i < to.size(); ++i) {
        if (std::filesystem::exists(from[i], ec)) std::filesystem::rename(from[i], to[i], ec);
    }
    std::filesystem::rename(path, outputPath, ec);
    return ec;
}

bool CEncoder::Encode(EncodeContext& ctx, const std::string& outputPath) {
    using namespace std::chrono_literals;
    const std::string path = UsesTemporaryName() ? TemporaryNameOf(outputPath) : outputPath;

    ctx.StartReader();
    if (!Open(ctx, path, outputPath)) {
        ctx.Stop();
        ctx.JoinReader();
        // Whatever the driver began under the temporary name goes; nothing was written.
        std::error_code ec;
        if (path != outputPath) std::filesystem::remove(path, ec);
        return false;
    }

    const std::size_t chunk = static_cast<std::size_t>(std::max(1, ChunkSize(ctx)));
    const bool stereoFloat = ctx.floatPath && !ctx.mono;
    std::vector<int16_t> shorts(ctx.floatPath ? 0 : chunk);
    std::vector<float> left(ctx.floatPath ? chunk : 0);
    std::vector<float> right(stereoFloat ? chunk : 0);
    std::vector<float> interleaved(stereoFloat ? 2 * chunk : 0);

    auto available = [&]() -> std::size_t {
        if (!ctx.floatPath) return ctx.intRing.Available();
        if (ctx.mono) return ctx.leftRing.Available();
        return std::min(ctx.leftRing.Available(), ctx.rightRing.Available());
    };

    bool reachedEnd = false;
    bool failed = false;
    unsigned blocks = 0;
    const unsigned interval = static_cast<unsigned>(std::max(1, ctx.progressInterval));
    while (ctx.IsRunning()) {
        if (ctx.IsPaused()) {
            ctx.WaitWhilePaused();
            continue;
        }
        std::size_t take;
        bool last = false;
        std::size_t avail = available();
        if (avail > chunk) {
            take = chunk;
        } else if (ctx.ReaderRunning()) {
            // Wait for the next block; the short limit also notices the reader's end.
            if (!ctx.floatPath) ctx.intRing.WaitForAvailable(chunk + 1, 3ms);
            else if (ctx.mono) ctx.leftRing.WaitForAvailable(chunk + 1, 3ms);
            else ctx.rightRing.WaitForAvailable(chunk + 1, 3ms);  // written after the left one
            continue;
        } else {
            // The reader has ended: what is in the rings now is all there will be.
            avail = available();
            take = std::min(avail, chunk);
            last = avail <= chunk;
        }

        std::size_t units = take;
        bool ok = true;
        if (!ctx.floatPath) {
            ctx.intRing.Read(shorts.data(), take);
            if (take) ok = WriteShort(ctx, shorts.data(), take);
        } else if (ctx.mono) {
            ctx.leftRing.Read(left.data(), take);
            if (take) ok = WriteFloat(ctx, left.data(), take);
        } else {
            ctx.leftRing.Read(left.data(), take);
            ctx.rightRing.Read(right.data(), take);
            for (std::size_t i = 0; i < take; ++i) {
                interleaved[2 * i] = left[i];
                interleaved[2 * i + 1] = right[i];
            }
            units = 2 * take;
            if (take) ok = WriteFloat(ctx, interleaved.data(), units);
        }

        ctx.doneTotal = ctx.doneTotal.load() + static_cast<double>(units);
        ctx.doneTrack = ctx.doneTrack.load() + static_cast<double>(units);
        if (ctx.singleOutput) {
            // Image mode: one status and one 100% track progress per track boundary.
            const int count = static_cast<int>(ctx.entryLengths.size());
            double end = 0;
            for (int i = 0; i <= ctx.currentEntry && i < count; ++i) end += ctx.entryLengths[i];
            while (ctx.currentEntry + 1 < count && ctx.doneTotal.load() >= end) {
                const int finished = ctx.currentEntry;
                ctx.doneTrack = ctx.doneTrack.load() - ctx.entryLengths[finished];
                ctx.currentEntry = finished + 1;
                end += ctx.entryLengths[finished + 1];
                char text[32];
                std::snprintf(text, sizeof text, "%d/%d", finished + 2, count);
                ctx.PostStatus(StatusKind::Caption, text);
                ctx.PostProgress(100.0, ctx.TotalPercent());
                ctx.RestartTrackClock();
            }
        }

        if (!ok) {
            failed = true;
            ctx.Stop();
            break;
        }
        if (last) {
            reachedEnd = true;
            break;
        }
        if (++blocks % interval == 0) ctx.PostProgress(ctx.TrackPercent(), ctx.TotalPercent());
    }

    const bool finished = Finish(ctx, reachedEnd && !failed && !ctx.IsAborted());
    // Joining the reader also settles every stop decision raised by what it read (the
    // retry limit), so aborted is final from here on.
    ctx.JoinReader();

    std::error_code ec;
    const auto drop = [&] {
        // A driver writing under the real name has not touched it before a failure; only
        // a cancel deletes that name.
        if (path != outputPath || ctx.IsAborted()) {
            std::filesystem::remove(path, ec);
            for (const std::string& c : CompanionFiles(path)) std::filesystem::remove(c, ec);
        }
        ctx.Stop();
        return false;
    };
    // A cancel, an input that stopped early (the disc could not be read) and an encode
    // or write failure all leave no file: a partial one never stands as complete, and
    // the hidden temporary name never stays behind.
    if (ctx.IsAborted() || !reachedEnd || failed || !finished) return drop();
    if (!AfterFinish(ctx, path)) return drop();
    if ((ec = Publish(path, outputPath))) {
        ctx.PostMessage("Error : could not write file : " + outputPath + " (" + ec.message() + ")", Severity::Error);
        std::filesystem::remove(path, ec);
        ctx.Stop();
        return false;
    }
    ctx.SendFinalProgress();
    return true;
}

}  // namespace quarrow
