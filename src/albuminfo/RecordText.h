// The character set of an album record. A record whose texts are valid UTF-8 is UTF-8;
// any other record is taken as one piece in the legacy code page detected over all its
// texts (uchardet), or Latin-1 when detection has no answer, and converted to UTF-8.
// Decided per record, never per byte sequence, so one record never mixes scripts.
#pragma once

#include <string>
#include <string_view>

#include "albuminfo/AlbumRecord.h"

namespace quarrow {

inline constexpr const char* kUtf8 = "UTF-8";
inline constexpr const char* kLatin1 = "ISO-8859-1";

bool IsValidUtf8(std::string_view text);

// The code page uchardet finds for text that is not UTF-8; empty when it has no answer.
std::string DetectLegacyCharset(const std::string& text);

// text from charset to UTF-8 (iconv); false when text is not valid in charset or the
// charset is unknown.
bool ConvertToUtf8(const std::string& text, const std::string& charset, std::string& out);

// Brings every text of record to UTF-8 and returns the charset it was read in: kUtf8 when
// nothing changed, the detected code page, or kLatin1 when the detected one has no answer
// or does not fit the bytes. detected tells whether the code page came from detection.
std::string DecodeRecordText(CAlbumRecord& record, bool* detected = nullptr);

}  // namespace quarrow
