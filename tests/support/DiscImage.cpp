#include "support/DiscImage.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace quarrow::discimage {

namespace {

constexpr int kRaw = 2352;

std::string Msf(int32_t lba) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", lba / 4500, (lba / 75) % 60, lba % 75);
    return buf;
}

uint8_t Bcd(int v) { return static_cast<uint8_t>((v / 10) * 16 + v % 10); }

// The bytes WriteDiscImage puts in one sector.
void ImageSector(const ImageLayout& layout, int track, int32_t lba, uint8_t* out) {
    if (layout.tracks.at(track).data) {
        // Raw mode 1 sector: sync, BCD address (+150 frames), mode byte, then a
        // recognisable payload.
        std::memset(out, 0, kRaw);
        std::memset(out + 1, 0xFF, 10);
        const int32_t a = lba + 150;
        out[12] = Bcd(a / 4500);
        out[13] = Bcd((a / 75) % 60);
        out[14] = Bcd(a % 75);
        out[15] = 1;
        for (int i = 16; i < 2064; ++i) out[i] = static_cast<uint8_t>((lba * 31 + i * 7 + track) & 0xFF);
        return;
    }
    // Audio: every stereo frame differs by track, sector and index within the sector.
    for (int k = 0; k < kRaw / 4; ++k) {
        const uint32_t x = static_cast<uint32_t>(lba) * 2654435761u + static_cast<uint32_t>(k) * 40503u +
                           static_cast<uint32_t>(track) * 97u;
        const uint16_t left = static_cast<uint16_t>(x ^ (x >> 16));
        const uint16_t right = static_cast<uint16_t>((x >> 8) + static_cast<uint32_t>(track) * 1009u + static_cast<uint32_t>(k));
        out[4 * k + 0] = static_cast<uint8_t>(left);
        out[4 * k + 1] = static_cast<uint8_t>(left >> 8);
        out[4 * k + 2] = static_cast<uint8_t>(right);
        out[4 * k + 3] = static_cast<uint8_t>(right >> 8);
    }
}

}  // namespace

ImageLayout AudioLayout(const std::vector<int32_t>& sectors) {
    ImageLayout layout;
    for (int32_t s : sectors) layout.tracks.push_back({false, s, {}, {}});
    return layout;
}

DiscImage WriteDiscImage(const std::string& dir, const std::string& name, const ImageLayout& layout) {
    if (layout.tracks.empty() || layout.tracks.size() > 99)
        throw std::runtime_error("a disc image needs 1 to 99 tracks");
    DiscImage img;
    img.cuePath = dir + "/" + name + ".cue";
    img.binPath = dir + "/" + name + ".bin";

    std::ofstream bin(img.binPath, std::ios::binary | std::ios::trunc);
    if (!bin) throw std::runtime_error("cannot write " + img.binPath);
    std::vector<uint8_t> sector(kRaw);
    int32_t lba = 0;
    for (size_t t = 0; t < layout.tracks.size(); ++t) {
        img.starts.push_back(lba);
        for (int32_t s = 0; s < layout.tracks[t].sectors; ++s, ++lba) {
            ImageSector(layout, static_cast<int>(t), lba, sector.data());
            bin.write(reinterpret_cast<const char*>(sector.data()), kRaw);
        }
    }
    img.totalSectors = lba;
    bin.close();
    if (!bin) throw std::runtime_error("cannot write " + img.binPath);

    std::ofstream cue(img.cuePath, std::ios::trunc);
    if (!cue) throw std::runtime_error("cannot write " + img.cuePath);
    if (!layout.catalog.empty()) cue << "CATALOG " << layout.catalog << "\n";
    cue << "FILE \"" << name << ".bin\" BINARY\n";
    for (size_t t = 0; t < layout.tracks.size(); ++t) {
        const ImageTrack& tr = layout.tracks[t];
        char num[8];
        std::snprintf(num, sizeof num, "%02d", static_cast<int>(t + 1));
        cue << "  TRACK " << num << (tr.data ? " MODE1/2352" : " AUDIO") << "\n";
        if (!tr.title.empty()) cue << "    TITLE \"" << tr.title << "\"\n";
        if (!tr.isrc.empty()) cue << "    ISRC " << tr.isrc << "\n";
        cue << "    INDEX 01 " << Msf(img.starts[t]) << "\n";
    }
    cue.close();
    if (!cue) throw std::runtime_error("cannot write " + img.cuePath);
    return img;
}

std::vector<uint8_t> ReadBinSectors(const std::string& binPath, int32_t lba, int32_t count) {
    std::ifstream in(binPath, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + binPath);
    std::vector<uint8_t> bytes(static_cast<size_t>(count) * kRaw);
    in.seekg(static_cast<std::streamoff>(lba) * kRaw);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (in.gcount() != static_cast<std::streamsize>(bytes.size()))
        throw std::runtime_error("short read from " + binPath);
    return bytes;
}

}  // namespace quarrow::discimage
