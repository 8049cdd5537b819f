// APE tags from hostile texts (the input split at 0xFF into keys and values) must walk
// cleanly from header to footer, with valid keys and short, NUL-free UTF-8 values.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "albuminfo/RecordText.h"
#include "encoders/ApeTag.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> pieces(1);
    for (std::size_t i = 0; i < size; ++i) data[i] == 0xFF ? pieces.emplace_back() : pieces.back() += char(data[i]);
    std::vector<quarrow::ApeTagItem> items;
    for (std::size_t i = 0; i + 1 < pieces.size(); i += 2) items.push_back({pieces[i], pieces[i + 1]});
    const std::vector<uint8_t> tag = quarrow::BuildApeTag(items);
    if (tag.empty()) return 0;

    const auto u32 = [&tag](std::size_t at) { uint32_t v; std::memcpy(&v, &tag[at], 4); return v; };
    const auto check = [](bool ok) { if (!ok) __builtin_trap(); };
    const std::size_t n = tag.size(), h = quarrow::kApeTagHeaderBytes, end = n - h;
    check(n >= 2 * h && std::memcmp(tag.data(), "APETAGEX", 8) == 0 && std::memcmp(&tag[end], "APETAGEX", 8) == 0);
    check(u32(8) == 2000 && u32(12) == end && u32(20) == (1u << 31 | 1u << 29));
    check(std::memcmp(&tag[8], &tag[end + 8], 12) == 0 && u32(end + 20) == 1u << 31);
    std::size_t at = h, count = 0;
    for (; at < end; ++count) {
        const uint32_t length = u32(at);
        check(u32(at + 4) == 0 && length > 0 && length <= quarrow::kApeTagMaxValueBytes);
        const auto key = reinterpret_cast<const char*>(&tag[at + 8]);
        const std::size_t keyLength = strnlen(key, end - at - 8);
        check(quarrow::IsValidApeTagKey(std::string(key, keyLength)));
        at += 8 + keyLength + 1;
        check(at + length <= end);
        const std::string value(reinterpret_cast<const char*>(&tag[at]), length);
        check(value.find('\0') == std::string::npos && quarrow::IsValidUtf8(value));
        at += length;
    }
    check(at == end && count == u32(16) && count <= items.size());
    return 0;
}
