// APE tags from hostile album texts: the input is split at 0xFF bytes into keys and
// values; whatever they hold, the tag must walk cleanly from header to footer with
// valid keys and short, NUL-free UTF-8 values.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "albuminfo/RecordText.h"
#include "encoders/ApeTag.h"

namespace {

uint32_t U32(const std::vector<uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> pieces(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0xFF) pieces.emplace_back();
        else pieces.back() += static_cast<char>(data[i]);
    }
    std::vector<quarrow::ApeTagItem> items;
    for (std::size_t i = 0; i + 1 < pieces.size(); i += 2) items.push_back({pieces[i], pieces[i + 1]});
    const std::vector<uint8_t> tag = quarrow::BuildApeTag(items);
    if (tag.empty()) return 0;

    const std::size_t n = tag.size(), h = quarrow::kApeTagHeaderBytes;
    Check(n >= 2 * h && std::memcmp(tag.data(), "APETAGEX", 8) == 0 && std::memcmp(&tag[n - h], "APETAGEX", 8) == 0);
    Check(U32(tag, 8) == 2000 && U32(tag, 12) == n - h && U32(tag, 20) == (1u << 31 | 1u << 29));
    Check(std::memcmp(&tag[8], &tag[n - h + 8], 12) == 0 && U32(tag, n - h + 12) == 1u << 31);
    std::size_t at = h;
    uint32_t count = 0;
    while (at < n - h) {
        const uint32_t length = U32(tag, at);
        Check(U32(tag, at + 4) == 0 && length > 0 && length <= quarrow::kApeTagMaxValueBytes);
        const auto key = reinterpret_cast<const char*>(&tag[at + 8]);
        const std::size_t keyLength = strnlen(key, n - h - at - 8);
        Check(quarrow::IsValidApeTagKey(std::string(key, keyLength)));
        at += 8 + keyLength + 1;
        Check(at + length <= n - h);
        const std::string value(reinterpret_cast<const char*>(&tag[at]), length);
        Check(value.find('\0') == std::string::npos && quarrow::IsValidUtf8(value));
        at += length;
        ++count;
    }
    Check(at == n - h && count == U32(tag, 16) && count <= items.size());
    return 0;
}
