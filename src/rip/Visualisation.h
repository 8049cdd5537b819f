// CVisualisation: the numbers behind the visualisation presets. Each block of 16-bit
// stereo samples gives band levels (an FFT of the mixed-down block), channel levels, the
// scope traces and a waterfall row; between blocks the levels fall and peaks are held.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace quarrow {

class CVisualisation {
public:
    static constexpr int kPresetCount = 8;
    static constexpr int kBands = 32;
    static constexpr int kFftSize = 2048;      // frames per transform
    static constexpr int kScopePoints = 256;   // points per scope trace
    static constexpr int kHistoryRows = 64;    // rows of the waterfall
    static constexpr int kPeakHoldFrames = 12;

    // "Preset 1" ... "Preset 8" for presets 0-7.
    static std::string PresetName(int preset);
    // What a preset draws ("Spectrum bars", "Oscilloscope", ...).
    static const char* PresetStyle(int preset);

    explicit CVisualisation(int sampleRate = 44100);
    ~CVisualisation();
    CVisualisation(const CVisualisation&) = delete;
    CVisualisation& operator=(const CVisualisation&) = delete;

    // One frame with a new block of interleaved left/right samples.
    void Feed(const int16_t* interleaved, std::size_t values);
    // One frame without input: levels and peaks fall towards zero.
    void Decay();
    // Everything back to silence.
    void Clear();

    // Per band, 0 (-60 dBFS or less) to 1 (full scale).
    const std::vector<float>& Bands() const { return bands_; }
    const std::vector<float>& Peaks() const { return peaks_; }
    // Channel 0 left, 1 right; same scale as the bands.
    float Level(int channel) const { return level_[channel & 1]; }
    float PeakLevel(int channel) const { return levelPeak_[channel & 1]; }
    // -1 to 1, kScopePoints values evenly taken from the last block.
    const std::vector<float>& Scope(int channel) const { return scope_[channel & 1]; }
    // Newest row first.
    const std::deque<std::vector<float>>& History() const { return history_; }

    // The band a frequency falls in (bands are spaced logarithmically from 40 Hz to
    // 20 kHz); frequencies outside go to the first or last band.
    int BandOf(double hz) const;
    double BandLow(int band) const;

private:
    static float ToScale(double amplitude);
    void FallStep(float& value) const;
    void PeakStep(float& peak, int& hold, float value) const;

    int rate_;
    double* in_ = nullptr;
    void* out_ = nullptr;   // fftw_complex[kFftSize / 2 + 1]
    void* plan_ = nullptr;
    std::vector<double> window_;
    double windowSum_ = 0;

    std::vector<float> bands_;
    std::vector<float> peaks_;
    std::vector<int> peakHold_;
    float level_[2] = {0, 0};
    float levelPeak_[2] = {0, 0};
    int levelHold_[2] = {0, 0};
    std::vector<float> scope_[2];
    std::deque<std::vector<float>> history_;
};

}  // namespace quarrow
