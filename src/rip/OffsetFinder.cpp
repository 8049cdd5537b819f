// The read offset search: one window of sectors around each track's sector 450, the
// frame-450 checksum at every offset, and the count of tracks each offset matches.
#include "rip/OffsetFinder.h"

#include <algorithm>
#include <cstdlib>
#include <map>

#include "app/AudioChecksums.h"
#include "app/CdDrive.h"
#include "app/ComponentError.h"

namespace quarrow {

namespace {

constexpr int32_t kFrames = kSamplesPerSector / 2;   // stereo samples a sector
constexpr int32_t kFrame450 = 450;

// Puts the drive's read offset back however the search ends.
class OffsetGuard {
public:
    explicit OffsetGuard(CdDrive& drive) : drive_(drive), saved_(drive.ReadOffset()) { drive_.SetReadOffset(0); }
    ~OffsetGuard() {
        drive_.EndRead();
        drive_.SetReadOffset(saved_);
    }
    OffsetGuard(const OffsetGuard&) = delete;
    OffsetGuard& operator=(const OffsetGuard&) = delete;

private:
    CdDrive& drive_;
    int32_t saved_;
};

}  // namespace

std::vector<int32_t> MatchingOffsets(const std::vector<int16_t>& window, const std::vector<uint32_t>& values,
                                     int32_t range) {
    std::vector<int32_t> found;
    if (range < 0 || window.size() < static_cast<std::size_t>(2 * range + kFrames) * 2 || values.empty())
        return found;
    for (int32_t o = -range; o <= range; ++o) {
        const uint32_t sum = AccurateRipSectorChecksum(&window[static_cast<std::size_t>(range + o) * 2]);
        if (std::find(values.begin(), values.end(), sum) != values.end()) found.push_back(o);
    }
    return found;
}

OffsetFindResult FindReadOffset(CdDrive& drive, const std::vector<OffsetFinderTrack>& tracks,
                                const std::atomic<bool>* stop) {
    OffsetFindResult result;
    // Sectors before and after sector 450 that the window needs.
    const int32_t margin = (kOffsetSearchRange + kFrames - 1) / kFrames;
    const int32_t sectors = 2 * margin + 1;
    std::map<int32_t, int> counts;
    OffsetGuard guard(drive);
    for (const OffsetFinderTrack& t : tracks) {
        if (stop && stop->load()) {
            result.stopped = true;
            break;
        }
        if (t.frame450.empty()) continue;
        try {
            drive.SetCurrentSession(0);
            drive.SetCurrentTrack(t.index);
        } catch (const ComponentError&) {
            continue;   // the database knows more tracks than the disc's first session has
        }
        if (drive.TrackType() != kTrackAudio || drive.TrackSectors() <= kFrame450) continue;

        drive.BeginRead();
        drive.Seek(kFrame450 - margin);
        std::vector<int16_t> read, block;
        int32_t status = kReadOk;
        while (static_cast<int32_t>(read.size() / kSamplesPerSector) < sectors &&
               drive.ReadPosition() < drive.TrackSectors()) {
            const int want = sectors - static_cast<int>(read.size() / kSamplesPerSector);
            drive.ReadSectors(want, block, status);
            if (status != kReadOk) break;
            read.insert(read.end(), block.begin(), block.end());
        }
        drive.EndRead();
        if (status != kReadOk) {
            result.error = "track " + std::to_string(t.index + 1) + ": the drive could not read sectors " +
                           std::to_string(kFrame450 - margin) + " to " + std::to_string(kFrame450 + margin);
            continue;
        }
        // A track that ends within the window reads as silence beyond its end.
        read.resize(static_cast<std::size_t>(sectors) * kSamplesPerSector, 0);
        const auto from = read.begin() + static_cast<std::ptrdiff_t>(margin * kFrames - kOffsetSearchRange) * 2;
        const std::vector<int16_t> window(from, from + (2 * kOffsetSearchRange + kFrames) * 2);
        ++result.tracksTried;
        for (int32_t o : MatchingOffsets(window, t.frame450)) ++counts[o];
    }
    for (const auto& [offset, n] : counts) result.matches.push_back({offset, n});
    std::stable_sort(result.matches.begin(), result.matches.end(), [](const OffsetMatch& a, const OffsetMatch& b) {
        if (a.tracksMatched != b.tracksMatched) return a.tracksMatched > b.tracksMatched;
        return std::abs(a.offset) < std::abs(b.offset);
    });
    return result;
}

}  // namespace quarrow
