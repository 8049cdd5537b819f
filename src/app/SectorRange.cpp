#include "app/SectorRange.h"

#include <algorithm>
#include <cstdio>

#include "app/TrackKey.h"

namespace quarrow {

const char* const kSectorRangeHint =
    "Hint:  1 Second = 75 Sectors.\r\nDrag the Slider Pointer Roughly to Your Desired Position, "
    "then Use the Arrow Keys to Slightly Adjust the Position.";

namespace {
std::string TrackText(int t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "Track:%02d", t);
    return buf;
}
std::string OffsetText(int32_t sectors) {
    std::string time = FormatSectorTime(sectors);
    return "Track Offset:" + (time.size() > 2 ? time.substr(2) : std::string());
}
}  // namespace

bool CSectorRange::Open(const std::vector<int32_t>& starts, const std::vector<int32_t>& keys) {
    if (starts.size() < 2) return false;
    const int items = static_cast<int>(std::min(keys.size(), starts.size() - 1));
    int a = -1;
    for (int i = 0; i < items && a < 0; ++i)
        if (IsAudioKey(keys[static_cast<std::size_t>(i)])) a = i;
    if (a < 0) return false;
    int b = a;
    while (b + 1 < items && IsAudioKey(keys[static_cast<std::size_t>(b + 1)])) ++b;

    starts_ = starts;
    base = Start(0);
    rangeMin = Start(a) - base + 1;
    rangeMax = Start(b + 1) - base;
    startPosition = rangeMin;
    endPosition = rangeMax;
    hint = kSectorRangeHint;
    UpdateStartGroup();
    UpdateEndGroup();
    UpdateTotals();
    return true;
}

int CSectorRange::TrackOfPosition(int32_t p) const {
    const int entries = static_cast<int>(starts_.size());
    if (entries < 2) return 1;
    const int64_t abs = static_cast<int64_t>(base) + p;
    for (int t = 1; t < entries; ++t)
        if (Start(t - 1) < abs && abs <= Start(t)) return t;
    return abs <= Start(0) ? 1 : entries - 1;
}

void CSectorRange::UpdateStartGroup() {
    if (endPosition < startPosition) startPosition = endPosition;
    const int t = TrackOfPosition(startPosition);
    startTrack = static_cast<int16_t>(t - 1);
    startTrackText = TrackText(t);
    startOffsetText = OffsetText(base + startPosition - Start(t - 1) - 1);
    startSector = startPosition;
}

void CSectorRange::UpdateEndGroup() {
    if (endPosition < startPosition) endPosition = startPosition;
    const int t = TrackOfPosition(endPosition);
    endTrack = static_cast<int16_t>(t - 1);
    endTrackText = TrackText(t);
    endOffsetText = OffsetText(base + endPosition - Start(t - 1));
    endSector = endPosition;
}

void CSectorRange::UpdateTotals() {
    const int32_t total = endPosition - startPosition + 1;
    totalLengthText = "Total Time Length:" + FormatSectorTime(total);
    totalSectorsText = "Total Sectors:" + std::to_string(total);
}

void CSectorRange::MoveStart(int32_t p) {
    startPosition = std::clamp(p, rangeMin, rangeMax);
    UpdateStartGroup();
    UpdateTotals();
}

void CSectorRange::MoveEnd(int32_t p) {
    endPosition = std::clamp(p, rangeMin, rangeMax);
    UpdateEndGroup();
    UpdateTotals();
}

void CSectorRange::UpdateStart(int32_t typed) {
    int32_t p = typed;
    if (p > endPosition) p = endPosition;
    if (p < rangeMin) p = rangeMin;
    startPosition = p;
    UpdateStartGroup();
    UpdateTotals();
}

void CSectorRange::UpdateEnd(int32_t typed) {
    int32_t p = typed;
    if (p < startPosition) p = startPosition;
    if (p > rangeMax) p = rangeMax;
    endPosition = p;
    UpdateEndGroup();
    UpdateTotals();
}

}  // namespace quarrow
