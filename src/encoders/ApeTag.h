// APEv2 tags as the APE driver appends them to a finished file: a header, the items as
// UTF-8 text and a footer. Album texts come from the network, so every value is made
// safe here before it is written; the writer never fails on any input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quarrow {

struct ApeTagItem {
    std::string key;     // "Artist", "Title" ...
    std::string value;   // any bytes; cleaned by ApeTagText
};

// A value longer than this is cut (at a character boundary); a tag of seven such values
// still stays far below the size readers accept.
inline constexpr std::size_t kApeTagMaxValueBytes = 65536;
inline constexpr std::size_t kApeTagHeaderBytes = 32;

// A value as it is written: cut before its first NUL (a NUL separates list values in
// APEv2, which album texts never mean), taken as Latin-1 when it is not valid UTF-8,
// then cut to kApeTagMaxValueBytes without splitting a character. Quotes, newlines and
// other characters are kept as they are: an item carries its length, nothing is parsed.
std::string ApeTagText(std::string_view value);

// Whether a key may be written: 2..255 characters from blank to tilde, and none of the
// names readers take for other tags ("ID3", "TAG", "OggS", "MP+", any case).
bool IsValidApeTagKey(std::string_view key);

// The whole tag: header, items, footer (version 2000). Items with an invalid key, an
// empty cleaned value or a key already written (any case) are left out; no item at all
// gives no tag (an empty vector).
std::vector<uint8_t> BuildApeTag(const std::vector<ApeTagItem>& items);

}  // namespace quarrow
