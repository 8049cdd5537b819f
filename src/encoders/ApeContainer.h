// Quarrow's own Monkey's Audio file writer: the descriptor and header of the current file
// version, the seek table, the frames EncodeApeFrame compresses, and the MD5 a verifier
// checks. The file is written front to back; descriptor, header and seek table are put in
// place once the last frame is out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct AVMD5;

namespace quarrow {

inline constexpr uint32_t kApeDescriptorBytes = 52;
inline constexpr uint32_t kApeHeaderBytes = 24;
// No WAV header is stored: decoders make one up (the "create WAV header" format flag).
inline constexpr uint16_t kApeFormatFlagCreateWavHeader = 32;

class ApeFileWriter {
public:
    ApeFileWriter() = default;
    ApeFileWriter(const ApeFileWriter&) = delete;
    ApeFileWriter& operator=(const ApeFileWriter&) = delete;
    // An unfinished file is closed as it is; whoever opened it deletes it.
    ~ApeFileWriter();

    // Creates path (16-bit, 44100 Hz, channels 1 or 2, level 1000..5000); messages name
    // shownPath, the name the user knows the file by. expectedBlocks sizes the seek table;
    // a longer input still gives a correct file (the frames are moved up when the table
    // has to grow). False with Error() set.
    bool Open(const std::string& path, const std::string& shownPath, int channels, int level,
              uint64_t expectedBlocks);
    // Interleaved 16-bit values; every full frame is compressed and written at once.
    bool Add(const int16_t* samples, std::size_t count);
    // Writes the last frame, then the descriptor (with the MD5), header and seek table,
    // and closes the file once its bytes are on the disk.
    bool Finish();
    // Closes without completing.
    void Abandon();

    // Why the last call failed, naming the file and the reason.
    const std::string& Error() const { return error_; }
    uint32_t TotalFrames() const { return static_cast<uint32_t>(frameOffsets_.size()); }

private:
    bool Fail(const std::string& what);
    bool WriteAt(const uint8_t* data, std::size_t size, uint64_t offset);
    bool FlushFrame();
    bool MoveFramesUp(uint64_t from, uint64_t to);

    int fd_ = -1;
    std::string shownPath_;
    std::string error_;
    int channels_ = 2;
    int level_ = 3000;
    uint32_t reservedFrames_ = 1;
    std::vector<int16_t> frame_;           // values of the frame being filled
    std::size_t filled_ = 0;               // values in frame_
    std::vector<uint64_t> frameOffsets_;   // from the start of the frame data
    uint64_t frameBytes_ = 0;
    uint32_t finalFrameBlocks_ = 0;
    ::AVMD5* md5_ = nullptr;
};

// Appends tag bytes to the finished file at path. On a failure the file is cut back to
// its length without the tag, so it stays complete and untagged; error names shownPath.
bool AppendApeTag(const std::string& path, const std::string& shownPath, const std::vector<uint8_t>& tag,
                  std::string& error);

}  // namespace quarrow
