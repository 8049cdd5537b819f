#include "support/DiscImage.h"

#include <cstdio>
#include <cstring>
#include <sstream>
#include <stdexcept>

namespace quarrow::discimage {

namespace {

constexpr int kRaw = 2352;

uint8_t Bcd(int v) { return static_cast<uint8_t>((v / 10) * 16 + v % 10); }

// The bytes WriteDiscImage puts in one sector.
void ImageSector(bool data, int track, int32_t lba, uint8_t* out) {
    if (data) {
        // Raw mode 1 sector: sync, BCD address (+150 frames), mode byte, then a
        // recognisable payload.
        std::memset(out, 0, kRaw);
        std::memset(out + 1, 0xFF, 10);
        const int32_t a = lba + 150;
        out[12] = Bcd(a / 4500), out[13] = Bcd((a / 75) % 60), out[14] = Bcd(a % 75), out[15] = 1;
        for (int i = 16; i < 2064; ++i) out[i] = static_cast<uint8_t>((lba * 31 + i * 7 + track) & 0xFF);
        return;
    }
    // Audio: every stereo frame differs by track, sector and index within the sector.
    for (uint32_t k = 0; k < kRaw / 4; ++k) {
        const uint32_t t = static_cast<uint32_t>(track);
        const uint32_t x = static_cast<uint32_t>(lba) * 2654435761u + k * 40503u + t * 97u;
        const uint16_t left = static_cast<uint16_t>(x ^ (x >> 16));
        const uint16_t right = static_cast<uint16_t>((x >> 8) + t * 1009u + k);
        const uint8_t frame[4] = {uint8_t(left), uint8_t(left >> 8), uint8_t(right), uint8_t(right >> 8)};
        std::memcpy(out + 4 * k, frame, 4);
    }
}

}  // namespace

std::string Msf(long frames) {
    char text[32];
    std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld", frames / 4500, frames / 75 % 60, frames % 75);
    return text;
}

ImageLayout AudioLayout(const std::vector<int32_t>& sectors) {
    ImageLayout layout;
    for (int32_t s : sectors) layout.tracks.push_back({false, s, {}, {}});
    return layout;
}

DiscImage WriteDiscImage(const std::string& dir, const std::string& name, const ImageLayout& layout) {
    if (layout.tracks.empty() || layout.tracks.size() > 99)
        throw std::runtime_error("a disc image needs 1 to 99 tracks");
    DiscImage img{dir + "/" + name + ".cue", dir + "/" + name + ".bin", {}, 0};
    std::string bin;
    std::ostringstream cue;
    if (!layout.catalog.empty()) cue << "CATALOG " << layout.catalog << "\n";
    cue << "FILE \"" << name << ".bin\" BINARY\n";
    for (std::size_t t = 0; t < layout.tracks.size(); ++t) {
        const ImageTrack& tr = layout.tracks[t];
        img.starts.push_back(img.totalSectors);
        cue << "  TRACK " << (t < 9 ? "0" : "") << t + 1 << (tr.data ? " MODE1/2352" : " AUDIO") << "\n";
        if (!tr.title.empty()) cue << "    TITLE \"" << tr.title << "\"\n";
        if (!tr.isrc.empty()) cue << "    ISRC " << tr.isrc << "\n";
        cue << "    INDEX 01 " << Msf(img.totalSectors) << "\n";
        bin.resize(bin.size() + static_cast<std::size_t>(tr.sectors) * kRaw);
        for (int32_t s = 0; s < tr.sectors; ++s, ++img.totalSectors)
            ImageSector(tr.data, static_cast<int>(t), img.totalSectors,
                        reinterpret_cast<uint8_t*>(bin.data()) + static_cast<std::size_t>(img.totalSectors) * kRaw);
    }
    support::WriteFile(img.binPath, bin);
    support::WriteFile(img.cuePath, cue.str());
    return img;
}

std::vector<uint8_t> ReadBinSectors(const std::string& binPath, int32_t lba, int32_t count) {
    const std::string bin = support::ReadFile(binPath);
    const std::size_t from = static_cast<std::size_t>(lba) * kRaw, size = static_cast<std::size_t>(count) * kRaw;
    if (lba < 0 || count < 0 || from + size > bin.size()) throw std::runtime_error("short read from " + binPath);
    return std::vector<uint8_t>(bin.begin() + static_cast<std::ptrdiff_t>(from),
                                bin.begin() + static_cast<std::ptrdiff_t>(from + size));
}

}  // namespace quarrow::discimage
