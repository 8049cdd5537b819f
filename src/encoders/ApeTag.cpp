#include "encoders/ApeTag.h"

#include <algorithm>
#include <cctype>

#include "albuminfo/RecordText.h"

namespace quarrow {

namespace {

constexpr uint32_t kTagVersion = 2000;
constexpr uint32_t kContainsHeader = 1u << 31;
constexpr uint32_t kIsHeader = 1u << 29;

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Header and footer differ only in the flag that says which one it is.
void PutHeaderOrFooter(std::vector<uint8_t>& out, uint32_t size, uint32_t items, bool header) {
    static constexpr char kPreamble[] = "APETAGEX";
    out.insert(out.end(), kPreamble, kPreamble + 8);
    Put32(out, kTagVersion);
    Put32(out, size);
    Put32(out, items);
    Put32(out, kContainsHeader | (header ? kIsHeader : 0));
    out.insert(out.end(), 8, 0);
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

std::string ApeTagText(std::string_view value) {
    value = value.substr(0, value.find('\0'));
    std::string text;
    if (IsValidUtf8(value)) {
        text.assign(value);
    } else {
        text.reserve(value.size() * 2);
        for (const char ch : value) {
            const auto c = static_cast<unsigned char>(ch);
            if (c < 0x80) {
                text += ch;
            } else {
                text += static_cast<char>(0xC0 | (c >> 6));
                text += static_cast<char>(0x80 | (c & 0x3F));
            }
        }
    }
    if (text.size() > kApeTagMaxValueBytes) {
        std::size_t cut = kApeTagMaxValueBytes;
        // Back off over continuation bytes so that the last character stays whole.
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
        text.resize(cut);
    }
    return text;
}

bool IsValidApeTagKey(std::string_view key) {
    if (key.size() < 2 || key.size() > 255) return false;
    for (const char c : key)
        if (c < 0x20 || c > 0x7E) return false;
    for (const char* reserved : {"ID3", "TAG", "OggS", "MP+"})
        if (EqualsIgnoringCase(key, reserved)) return false;
    return true;
}

std::vector<uint8_t> BuildApeTag(const std::vector<ApeTagItem>& items) {
    std::vector<uint8_t> body;
    uint32_t count = 0;
    std::vector<std::string_view> written;
    for (const ApeTagItem& item : items) {
        if (!IsValidApeTagKey(item.key)) continue;
        const std::string value = ApeTagText(item.value);
        if (value.empty()) continue;
        // Keys are unique in a tag; the first item of a name wins.
        if (std::any_of(written.begin(), written.end(), [&](std::string_view k) { return EqualsIgnoringCase(k, item.key); }))
            continue;
        written.push_back(item.key);
        Put32(body, static_cast<uint32_t>(value.size()));
        Put32(body, 0);   // flags: UTF-8 text, read and write
        body.insert(body.end(), item.key.begin(), item.key.end());
        body.push_back(0);
        body.insert(body.end(), value.begin(), value.end());
        ++count;
    }
    if (count == 0) return {};
    // The size counts the items and the footer, not the header.
    const auto size = static_cast<uint32_t>(body.size() + kApeTagHeaderBytes);
    std::vector<uint8_t> tag;
    tag.reserve(body.size() + 2 * kApeTagHeaderBytes);
    PutHeaderOrFooter(tag, size, count, true);
    tag.insert(tag.end(), body.begin(), body.end());
    PutHeaderOrFooter(tag, size, count, false);
    return tag;
}

}  // namespace quarrow
