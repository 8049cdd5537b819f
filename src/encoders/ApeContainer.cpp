#include "encoders/ApeContainer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>

extern "C" {
#include <libavutil/md5.h>
#include <libavutil/mem.h>
}

#include "encoders/ApeFrameEncoder.h"

namespace quarrow {

namespace {

constexpr uint32_t kSampleRate = 44100;
constexpr uint16_t kBitsPerSample = 16;
constexpr uint32_t kFixedBytes = kApeDescriptorBytes + kApeHeaderBytes;

void Put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// pwrite until everything is out; false with errno set.
bool PutAll(int fd, const uint8_t* data, std::size_t size, uint64_t offset) {
    while (size > 0) {
        const ssize_t n = pwrite(fd, data, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        data += n, size -= static_cast<std::size_t>(n), offset += static_cast<uint64_t>(n);
    }
    return true;
}

bool GetAll(int fd, uint8_t* data, std::size_t size, uint64_t offset) {
    while (size > 0) {
        const ssize_t n = pread(fd, data, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        data += n, size -= static_cast<std::size_t>(n), offset += static_cast<uint64_t>(n);
    }
    return true;
}

}  // namespace

ApeFileWriter::~ApeFileWriter() { Abandon(); }

void ApeFileWriter::Abandon() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    av_freep(&md5_);
}

bool ApeFileWriter::Fail(const std::string& what) {
    error_ = what + " " + shownPath_ + ": " + std::strerror(errno);
    Abandon();
    return false;
}

bool ApeFileWriter::Open(const std::string& path, const std::string& shownPath, int channels, int level,
                         uint64_t expectedBlocks) {
    Abandon();
    shownPath_ = shownPath;
    if (channels != 1 && channels != 2) {
        error_ = "APE files are written with 1 or 2 channels, not " + std::to_string(channels);
        return false;
    }
    if (level < 1000 || level > 5000 || level % 1000 != 0) {
        error_ = "APE/CompLev " + std::to_string(level) + " is not one of 1000, 2000, 3000, 4000, 5000";
        return false;
    }
    channels_ = channels;
    level_ = level;
    const uint64_t frames = (expectedBlocks + kApeBlocksPerFrame - 1) / kApeBlocksPerFrame;
    reservedFrames_ = static_cast<uint32_t>(std::clamp<uint64_t>(frames, 1, 1u << 16));
    frame_.assign(static_cast<std::size_t>(kApeBlocksPerFrame) * static_cast<std::size_t>(channels), 0);
    filled_ = 0;
    frameOffsets_.clear();
    frameBytes_ = 0;
    finalFrameBlocks_ = 0;
    md5_ = av_md5_alloc();
    if (!md5_) {
        errno = ENOMEM;
        return Fail("cannot write");
    }
    av_md5_init(md5_);
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ < 0) return Fail("cannot create");
    return true;
}

bool ApeFileWriter::WriteAt(const uint8_t* data, std::size_t size, uint64_t offset) {
    return PutAll(fd_, data, size, offset) || Fail("cannot write");
}

bool ApeFileWriter::Add(const int16_t* samples, std::size_t count) {
    if (fd_ < 0) return false;
    while (count > 0) {
        const std::size_t n = std::min(count, frame_.size() - filled_);
        std::copy(samples, samples + n, frame_.begin() + static_cast<std::ptrdiff_t>(filled_));
        filled_ += n, samples += n, count -= n;
        if (filled_ == frame_.size() && !FlushFrame()) return false;
    }
    return true;
}

bool ApeFileWriter::FlushFrame() {
    const auto blocks = static_cast<uint32_t>(filled_ / static_cast<std::size_t>(channels_));
    filled_ = 0;
    if (blocks == 0) return true;
    std::vector<uint8_t> bytes;
    try {
        bytes = EncodeApeFrame(frame_.data(), blocks, channels_, level_);
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return Fail("cannot compress the audio of");
    }
    // The frames are written after the seek table as it was reserved; Finish moves them
    // up if the table has to grow.
    const uint64_t start = kFixedBytes + 4ull * reservedFrames_;
    if (!WriteAt(bytes.data(), bytes.size(), start + frameBytes_)) return false;
    av_md5_update(md5_, bytes.data(), bytes.size());
    frameOffsets_.push_back(frameBytes_);
    frameBytes_ += bytes.size();
    finalFrameBlocks_ = blocks;
    return true;
}

bool ApeFileWriter::MoveFramesUp(uint64_t from, uint64_t to) {
    std::vector<uint8_t> buffer(1 << 20);
    for (uint64_t left = frameBytes_; left > 0;) {
        const std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(left, buffer.size()));
        left -= n;
        // From the end backwards: the target range lies above the source.
        if (!GetAll(fd_, buffer.data(), n, from + left)) return Fail("cannot read back");
        if (!WriteAt(buffer.data(), n, to + left)) return false;
    }
    return true;
}

bool ApeFileWriter::Finish() {
    if (fd_ < 0) return false;
    filled_ -= filled_ % static_cast<std::size_t>(channels_);   // never half a sample pair
    if (!FlushFrame()) return false;

    const auto totalFrames = static_cast<uint32_t>(frameOffsets_.size());
    const uint32_t tableFrames = std::max(reservedFrames_, totalFrames);
    if (tableFrames > reservedFrames_ &&
        !MoveFramesUp(kFixedBytes + 4ull * reservedFrames_, kFixedBytes + 4ull * tableFrames))
        return false;
    const uint64_t dataStart = kFixedBytes + 4ull * tableFrames;
    // Seek table entries are 32-bit file offsets.
    if (dataStart + frameBytes_ > std::numeric_limits<uint32_t>::max()) {
        errno = EFBIG;
        return Fail("cannot finish (an APE file holds at most 4 GiB)");
    }

    std::vector<uint8_t> header;
    Put16(header, static_cast<uint16_t>(level_));
    Put16(header, kApeFormatFlagCreateWavHeader);
    Put32(header, kApeBlocksPerFrame);
    Put32(header, finalFrameBlocks_);
    Put32(header, totalFrames);
    Put16(header, kBitsPerSample);
    Put16(header, static_cast<uint16_t>(channels_));
    Put32(header, kSampleRate);

    std::vector<uint8_t> table;
    table.reserve(4ull * tableFrames);
    for (uint32_t i = 0; i < tableFrames; ++i)
        Put32(table, i < totalFrames ? static_cast<uint32_t>(dataStart + frameOffsets_[i]) : 0);

    // A verifier hashes the frame data, then the header and the whole seek table.
    uint8_t md5[16];
    av_md5_update(md5_, header.data(), header.size());
    av_md5_update(md5_, table.data(), table.size());
    av_md5_final(md5_, md5);

    std::vector<uint8_t> head;
    head.insert(head.end(), {'M', 'A', 'C', ' '});
    Put16(head, kApeFileVersion);
    Put16(head, 0);
    Put32(head, kApeDescriptorBytes);
    Put32(head, kApeHeaderBytes);
    Put32(head, static_cast<uint32_t>(table.size()));
    Put32(head, 0);                                         // no stored WAV header
    Put32(head, static_cast<uint32_t>(frameBytes_));
    Put32(head, static_cast<uint32_t>(frameBytes_ >> 32));
    Put32(head, 0);                                         // no terminating data
    head.insert(head.end(), md5, md5 + 16);
    head.insert(head.end(), header.begin(), header.end());
    head.insert(head.end(), table.begin(), table.end());
    if (!WriteAt(head.data(), head.size(), 0)) return false;

    // A full disk may only show when the data reaches it.
    if (fsync(fd_) != 0) return Fail("cannot write");
    const int fd = fd_;
    fd_ = -1;
    av_freep(&md5_);
    if (close(fd) != 0) return Fail("cannot write");
    return true;
}

bool AppendApeTag(const std::string& path, const std::string& shownPath, const std::vector<uint8_t>& tag,
                  std::string& error) {
    if (tag.empty()) return true;
    const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open " + shownPath + ": " + std::strerror(errno);
        return false;
    }
    const off_t end = lseek(fd, 0, SEEK_END);
    bool ok = end >= 0 && PutAll(fd, tag.data(), tag.size(), static_cast<uint64_t>(end)) && fsync(fd) == 0;
    if (!ok) {
        error = "cannot write the tag to " + shownPath + ": " + std::strerror(errno);
        // The file stays as it was: complete, untagged.
        if (end >= 0 && ftruncate(fd, end) != 0) error += " (and cannot cut it back)";
    }
    if (close(fd) != 0 && ok) {
        error = "cannot write the tag to " + shownPath + ": " + std::strerror(errno);
        ok = false;
    }
    return ok;
}

}  // namespace quarrow
