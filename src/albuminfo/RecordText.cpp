#include "albuminfo/RecordText.h"

#include <iconv.h>
#include <uchardet/uchardet.h>

#include <cerrno>
#include <vector>

namespace quarrow {

namespace {

// Every text field of a record, in one list so that detection and conversion see the
// same set.
std::vector<std::string*> TextFields(CAlbumRecord& r) {
    std::vector<std::string*> fields{&r.artist, &r.albumTitle, &r.genre, &r.extendedData,
                                     &r.submittingProgram, &r.submittingVersion, &r.submittingComment};
    for (std::string& t : r.trackTitles) fields.push_back(&t);
    for (std::string& t : r.trackExtendedData) fields.push_back(&t);
    return fields;
}

}  // namespace

bool IsValidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        int len = 0;
        unsigned char lo = 0x80, hi = 0xBF;  // range of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            if (c == 0xE0) lo = 0xA0;        // no overlong forms
            if (c == 0xED) hi = 0x9F;        // no surrogates
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            if (c == 0xF0) lo = 0x90;
            if (c == 0xF4) hi = 0x8F;        // nothing above U+10FFFF
        } else {
            return false;
        }
        if (i + static_cast<std::size_t>(len) > s.size()) return false;
        const unsigned char second = static_cast<unsigned char>(s[i + 1]);
        if (second < lo || second > hi) return false;
        for (int k = 2; k < len; ++k)
            if ((static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]) & 0xC0) != 0x80) return false;
        i += static_cast<std::size_t>(len);
    }
    return true;
}

std::string DetectLegacyCharset(const std::string& text) {
    uchardet_t detector = uchardet_new();
    if (!detector) return {};
    std::string charset;
    if (uchardet_handle_data(detector, text.data(), text.size()) == 0) {
        uchardet_data_end(detector);
        const char* found = uchardet_get_charset(detector);
        if (found) charset = found;
    }
    uchardet_delete(detector);
    // Text that is not UTF-8 cannot be ASCII or UTF-8 either; such an answer is no answer.
    if (charset == "ASCII" || charset == kUtf8) charset.clear();
    return charset;
}

bool ConvertToUtf8(const std::string& text, const std::string& charset, std::string& out) {
    iconv_t cd = ::iconv_open(kUtf8, charset.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::string result;
    std::vector<char> in(text.begin(), text.end());
    char* inPtr = in.data();
    std::size_t inLeft = in.size();
    char chunk[4096];
    bool ok = true;
    while (inLeft > 0) {
        char* outPtr = chunk;
        std::size_t outLeft = sizeof chunk;
        const std::size_t r = ::iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        result.append(chunk, sizeof chunk - outLeft);
        if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
            ok = false;  // an invalid or cut sequence: the text is not in this charset
            break;
        }
    }
    if (ok) {
        char* outPtr = chunk;
        std::size_t outLeft = sizeof chunk;
        ::iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
        result.append(chunk, sizeof chunk - outLeft);
        out = std::move(result);
    }
    ::iconv_close(cd);
    return ok;
}

std::string DecodeRecordText(CAlbumRecord& record, bool* detected) {
    if (detected) *detected = false;
    const std::vector<std::string*> fields = TextFields(record);
    bool allUtf8 = true;
    std::string sample;
    for (const std::string* f : fields) {
        allUtf8 = allUtf8 && IsValidUtf8(*f);
        sample += *f;
        sample += '\n';
    }
    if (allUtf8) return kUtf8;

    auto convertAll = [&](const std::string& charset) {
        std::vector<std::string> converted(fields.size());
        for (std::size_t i = 0; i < fields.size(); ++i)
            if (!ConvertToUtf8(*fields[i], charset, converted[i])) return false;
        for (std::size_t i = 0; i < fields.size(); ++i) *fields[i] = std::move(converted[i]);
        return true;
    };
    const std::string charset = DetectLegacyCharset(sample);
    if (!charset.empty() && convertAll(charset)) {
        if (detected) *detected = true;
        return charset;
    }
    convertAll(kLatin1);  // every byte is a Latin-1 character: this cannot fail
    return kLatin1;
}

}  // namespace quarrow
