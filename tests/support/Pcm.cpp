#include "support/Pcm.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include <nlohmann/json.hpp>

#include "support/RunProcess.h"

namespace quarrow::testsupport {

Decoded Decode(const std::string& path) {
    Decoded r;
    const ProcessResult p = RunProcess({"/usr/bin/ffprobe", "-v", "error", "-print_format", "json", "-show_format",
                                        "-show_streams", "-select_streams", "a:0", path});
    const nlohmann::json j = nlohmann::json::parse(p.out, nullptr, false);
    if (p.status != 0 || j.is_discarded() || !j.contains("streams") || !j["streams"].is_array() ||
        j["streams"].empty()) {
        r.error = "ffprobe found no audio stream: " + p.err;
        return r;
    }
    const nlohmann::json& s = j["streams"][0];
    const nlohmann::json f = j.value("format", nlohmann::json::object());
    // ffprobe prints numbers as strings except "channels".
    auto text = [](const nlohmann::json& o, const char* key) {
        const auto it = o.find(key);
        return it != o.end() && it->is_string() ? it->get<std::string>() : std::string();
    };
    r.codec = text(s, "codec_name");
    r.sampleRate = std::atoi(text(s, "sample_rate").c_str());
    r.channels = s.value("channels", 0);
    std::string d = text(s, "duration");
    if (d.empty()) d = text(f, "duration");
    r.duration = std::atof(d.c_str());
    for (const nlohmann::json* o : {&f, &s}) {
        const auto tags = o->find("tags");
        if (tags == o->end() || !tags->is_object()) continue;
        for (const auto& [key, value] : tags->items()) {
            std::string k = key;
            std::transform(k.begin(), k.end(), k.begin(), [](unsigned char c) { return std::tolower(c); });
            r.tags[k] = value.is_string() ? value.get<std::string>() : value.dump();
        }
    }
    const ProcessResult pcm =
        RunProcess({"/usr/bin/ffmpeg", "-v", "error", "-i", path, "-f", "s16le", "-acodec", "pcm_s16le", "-"});
    if (pcm.status != 0) {
        r.error = "ffmpeg: " + pcm.err;
        return r;
    }
    r.samples.resize(pcm.out.size() / 2);
    std::memcpy(r.samples.data(), pcm.out.data(), r.samples.size() * 2);
    r.ok = true;
    return r;
}

double SnrDb(const std::vector<int16_t>& source, const std::vector<int16_t>& decoded, std::size_t from,
             std::size_t step) {
    double err = 0, sig = 0;
    for (std::size_t i = from; i < std::min(source.size(), decoded.size()); i += step) {
        const double d = static_cast<double>(decoded[i]) - source[i];
        err += d * d;
        sig += static_cast<double>(source[i]) * source[i];
    }
    return err == 0 ? 1000 : 10 * std::log10(sig / err);
}

std::set<int> MpegScan::AudioKbps() const {
    std::set<int> s;
    for (const MpegFrame& f : frames)
        if (!f.xing) s.insert(f.kbps);
    return s;
}

double MpegScan::AverageKbps() const {
    double sum = 0;
    int n = 0;
    for (const MpegFrame& f : frames)
        if (!f.xing) sum += f.kbps, ++n;
    return n ? sum / n : 0;
}

MpegScan ScanMpeg(const std::string& path) {
    MpegScan scan;
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> d{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::size_t pos = 0, end = d.size();
    if (d.size() >= 10 && std::memcmp(d.data(), "ID3", 3) == 0) {
        scan.id3v2 = true;
        pos = 10 + (static_cast<std::size_t>(d[6] & 0x7f) << 21 | static_cast<std::size_t>(d[7] & 0x7f) << 14 |
                    static_cast<std::size_t>(d[8] & 0x7f) << 7 | static_cast<std::size_t>(d[9] & 0x7f));
    }
    if (end >= 128 && std::memcmp(d.data() + end - 128, "TAG", 3) == 0) {
        scan.id3v1 = true;
        end -= 128;
    }
    static const int kL3v1[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    static const int kL2v1[] = {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384};
    static const int kV2[] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};   // layers 2 and 3
    static const int kRates[] = {44100, 48000, 32000};
    while (pos + 4 <= end) {
        const uint8_t* h = d.data() + pos;
        const int v = (h[1] >> 3) & 3, l = (h[1] >> 1) & 3, b = h[2] >> 4, r = (h[2] >> 2) & 3;
        if (h[0] != 0xff || (h[1] & 0xe0) != 0xe0 || v == 1 || (l != 1 && l != 2) || b == 0 || b == 15 || r == 3) {
            ++scan.strayBytes, ++pos;
            continue;
        }
        MpegFrame fr;
        fr.version = v == 3 ? 1 : v == 2 ? 2 : 25;
        fr.layer = l == 1 ? 3 : 2;
        fr.kbps = (fr.version != 1 ? kV2 : fr.layer == 3 ? kL3v1 : kL2v1)[b];
        fr.rate = kRates[r] / (fr.version == 1 ? 1 : fr.version == 2 ? 2 : 4);
        fr.mode = h[3] >> 6;
        fr.crc = (h[1] & 1) == 0, fr.copyright = (h[3] & 8) != 0, fr.original = (h[3] & 4) != 0;
        const int pad = (h[2] >> 1) & 1, factor = fr.layer == 3 && fr.version != 1 ? 72 : 144;
        fr.length = static_cast<std::size_t>(factor * fr.kbps * 1000 / fr.rate + pad);
        fr.offset = pos;
        if (fr.length < 4) break;
        const std::size_t span = std::min(fr.length, end - pos);
        for (std::size_t i = 4; i + 4 <= span && i < 48; ++i)
            fr.xing = fr.xing || std::memcmp(h + i, "Xing", 4) == 0 || std::memcmp(h + i, "Info", 4) == 0;
        scan.frames.push_back(fr);
        pos += fr.length;
    }
    return scan;
}

std::set<long> TimeSeededSerials(std::time_t before, std::time_t after) {
    std::set<long> serials;
    for (std::time_t t = before; t <= after; ++t) {
        std::srand(static_cast<unsigned>(t));
        serials.insert(std::rand());
    }
    return serials;
}

}  // namespace quarrow::testsupport
