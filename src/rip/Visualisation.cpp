#include "rip/Visualisation.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <mutex>

namespace quarrow {

namespace {

constexpr double kLowHz = 40.0;
constexpr double kHighHz = 20000.0;
constexpr double kFloorDb = -60.0;
// Plans are made and destroyed one at a time: FFTW's planner is not thread-safe.
std::mutex gPlannerMutex;

const char* const kStyles[CVisualisation::kPresetCount] = {
    "Spectrum bars", "Oscilloscope",   "Stereo scope", "Peak meters",
    "Spectrum line", "Mirrored bars", "Waterfall",    "Dots",
};

}  // namespace

std::string CVisualisation::PresetName(int preset) {
    return "Preset " + std::to_string(((preset % kPresetCount) + kPresetCount) % kPresetCount + 1);
}

const char* CVisualisation::PresetStyle(int preset) {
    return kStyles[((preset % kPresetCount) + kPresetCount) % kPresetCount];
}

CVisualisation::CVisualisation(int sampleRate)
    : rate_(sampleRate > 0 ? sampleRate : 44100), window_(kFftSize), bands_(kBands), peaks_(kBands),
      peakHold_(kBands) {
    in_ = fftw_alloc_real(kFftSize);
    out_ = fftw_alloc_complex(kFftSize / 2 + 1);
    {
        std::lock_guard<std::mutex> lock(gPlannerMutex);
        plan_ = fftw_plan_dft_r2c_1d(kFftSize, in_, static_cast<fftw_complex*>(out_), FFTW_ESTIMATE);
    }
    const double pi = std::acos(-1.0);
    for (int i = 0; i < kFftSize; ++i) {
        window_[i] = 0.5 - 0.5 * std::cos(2 * pi * i / (kFftSize - 1));   // Hann
        windowSum_ += window_[i];
    }
    Clear();
}

CVisualisation::~CVisualisation() {
    {
        std::lock_guard<std::mutex> lock(gPlannerMutex);
        fftw_destroy_plan(static_cast<fftw_plan>(plan_));
    }
    fftw_free(in_);
    fftw_free(out_);
}

void CVisualisation::Clear() {
    std::fill(bands_.begin(), bands_.end(), 0.0f);
    std::fill(peaks_.begin(), peaks_.end(), 0.0f);
    std::fill(peakHold_.begin(), peakHold_.end(), 0);
    for (int c = 0; c < 2; ++c) {
        level_[c] = levelPeak_[c] = 0;
        levelHold_[c] = 0;
        scope_[c].assign(kScopePoints, 0.0f);
    }
    history_.clear();
}

double CVisualisation::BandLow(int band) const {
    band = std::clamp(band, 0, kBands);
    return kLowHz * std::pow(kHighHz / kLowHz, static_cast<double>(band) / kBands);
}

int CVisualisation::BandOf(double hz) const {
    if (!(hz > kLowHz)) return 0;
    const int band = static_cast<int>(std::floor(std::log(hz / kLowHz) / std::log(kHighHz / kLowHz) * kBands));
    return std::clamp(band, 0, kBands - 1);
}

float CVisualisation::ToScale(double amplitude) {
    if (!(amplitude > 0)) return 0.0f;
    const double db = 20.0 * std::log10(amplitude);
    return static_cast<float>(std::clamp((db - kFloorDb) / -kFloorDb, 0.0, 1.0));
}

// Levels fall fast when loud and finish at zero in a bounded number of frames.
void CVisualisation::FallStep(float& value) const { value = std::max(0.0f, value * 0.85f - 0.01f); }

void CVisualisation::PeakStep(float& peak, int& hold, float value) const {
    if (value >= peak) {
        peak = value;
        hold = kPeakHoldFrames;
    } else if (hold > 0) {
        --hold;
    } else {
        peak = std::max(value, peak - 0.02f);
    }
}

void CVisualisation::Decay() {
    for (int b = 0; b < kBands; ++b) {
        FallStep(bands_[b]);
        PeakStep(peaks_[b], peakHold_[b], bands_[b]);
    }
    for (int c = 0; c < 2; ++c) {
        FallStep(level_[c]);
        PeakStep(levelPeak_[c], levelHold_[c], level_[c]);
        for (float& v : scope_[c]) v *= 0.5f;
    }
}

void CVisualisation::Feed(const int16_t* interleaved, std::size_t values) {
    const std::size_t frames = interleaved ? values / 2 : 0;
    // Channel levels and scope traces.
    for (int c = 0; c < 2; ++c) {
        int peak = 0;
        for (std::size_t f = 0; f < frames; ++f) peak = std::max(peak, std::abs(static_cast<int>(interleaved[2 * f + c])));
        FallStep(level_[c]);
        level_[c] = std::max(level_[c], ToScale(peak / 32768.0));
        PeakStep(levelPeak_[c], levelHold_[c], level_[c]);
        for (int p = 0; p < kScopePoints; ++p) {
            const std::size_t f = frames * static_cast<std::size_t>(p) / kScopePoints;
            scope_[c][p] = f < frames ? interleaved[2 * f + c] / 32768.0f : 0.0f;
        }
    }
    // The spectrum of the mixed-down block, zero-padded when it is short.
    const std::size_t n = std::min<std::size_t>(frames, kFftSize);
    for (std::size_t i = 0; i < static_cast<std::size_t>(kFftSize); ++i) {
        const double mono = i < n ? (interleaved[2 * i] + interleaved[2 * i + 1]) / 65536.0 : 0.0;
        in_[i] = mono * window_[i];
    }
    fftw_execute(static_cast<fftw_plan>(plan_));
    const auto* out = static_cast<const fftw_complex*>(out_);
    const double binHz = static_cast<double>(rate_) / kFftSize;
    auto magnitude = [&](int k) {
        k = std::clamp(k, 1, kFftSize / 2);
        return std::hypot(out[k][0], out[k][1]) * 2.0 / windowSum_;
    };
    std::vector<float> row(kBands);
    for (int b = 0; b < kBands; ++b) {
        const double lo = BandLow(b), hi = BandLow(b + 1);
        int first = static_cast<int>(std::ceil(lo / binHz));
        int last = static_cast<int>(std::ceil(hi / binHz)) - 1;
        // A low band narrower than a bin shows the bin nearest its centre.
        if (first > last) first = last = static_cast<int>(std::lround(std::sqrt(lo * hi) / binHz));
        double amp = 0;
        for (int k = first; k <= last; ++k) amp = std::max(amp, magnitude(k));
        FallStep(bands_[b]);
        bands_[b] = std::max(bands_[b], ToScale(amp));
        PeakStep(peaks_[b], peakHold_[b], bands_[b]);
        row[b] = bands_[b];
    }
    history_.push_front(std::move(row));
    while (history_.size() > static_cast<std::size_t>(kHistoryRows)) history_.pop_back();
}

}  // namespace quarrow
