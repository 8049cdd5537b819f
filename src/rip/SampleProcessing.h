// The processing chain between the disc reader and the sample rings: mix down or split,
// level, convert to floats, resample (libresample, one handle per channel) and write
// into the rings. Runs on the disc reader thread, once per block read.
#pragma once

#include <cstdint>
#include <vector>

#include "encoders/Encoder.h"   // ShortToFloat, FloatToShort
#include "encoders/SampleRing.h"
#include "rip/Transform.h"

namespace quarrow {

struct SampleProcessingConfig {
    bool mono = false;
    bool floatPath = false;
    bool resample = false;
    double ratio = 1.0;
    bool normalize = false;
    float normalizePercent = 100.0f;
    bool dcBias = false;
    bool highQuality = true;     // the Resample setting, read when the resamplers open
    int maxSectors = 48;
};

class CSampleProcessor {
public:
    CSampleProcessor(const SampleProcessingConfig& config, CSampleRing<int16_t>& intRing,
                     CSampleRing<float>& leftRing, CSampleRing<float>& rightRing);
    ~CSampleProcessor();
    CSampleProcessor(const CSampleProcessor&) = delete;
    CSampleProcessor& operator=(const CSampleProcessor&) = delete;

    // Opens the resamplers (only when resampling); their state carries across blocks
    // and tracks until CloseResamplers.
    void OpenResamplers();
    void CloseResamplers();

    // Processes one block of interleaved stereo CD samples (consumed) and writes the
    // result into the rings. lastBlock flushes the resamplers.
    void ProcessSampleBlock(std::vector<int16_t>& block, bool lastBlock);

    // Normalising takes two passes over each output file: StartPeakScan, ScanPeak for
    // every block of the file, then FixLevel sets the one gain that ProcessSampleBlock
    // applies to all of the file's blocks. Without FixLevel the gain is 1.
    void StartPeakScan();
    void ScanPeak(const std::vector<int16_t>& block);
    void FixLevel();
    const transform::LevelGain& Level() const { return level_; }

    // Output floats per sector on the float path.
    double PerSector() const { return (config_.mono ? 1176 : 588) * config_.ratio; }
    int OutCapacity() const { return outCapacity_; }
    const SampleProcessingConfig& Config() const { return config_; }

private:
    void WriteFloats(std::vector<int16_t>& channel, std::vector<float>& conv, std::vector<float>& out,
                     void* resampler, CSampleRing<float>& ring, bool lastBlock);

    SampleProcessingConfig config_;
    CSampleRing<int16_t>& intRing_;
    CSampleRing<float>& leftRing_;
    CSampleRing<float>& rightRing_;
    std::vector<float> convLeft_, convRight_, outLeft_, outRight_;
    int outCapacity_ = 0;
    transform::PeakMeter meter_;
    transform::LevelGain level_;
    void* resampleLeft_ = nullptr;
    void* resampleRight_ = nullptr;
};

}  // namespace quarrow
