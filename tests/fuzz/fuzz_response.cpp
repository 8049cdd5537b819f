// The answer reader fed in pieces: the first byte picks the mode and whether the
// "server" falls silent at the end, the next bytes the piece sizes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "albuminfo/CDDB.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int mode = data[0] % 3;
    const bool silent = (data[0] & 0x80) != 0;
    const size_t pieceSize = 1 + data[1] % 64;
    const std::string rest(reinterpret_cast<const char*>(data + 2), size - 2);
    std::vector<std::string> pieces;
    for (size_t i = 0; i < rest.size(); i += pieceSize) pieces.push_back(rest.substr(i, pieceSize));
    quarrow::MemoryConnection connection(pieces, silent);
    quarrow::CCDDB client;
    client.SetTimeout(1);
    std::string text;
    const bool ok = client.ReadResponse(connection, quarrow::kCddbTerminator, text, 16, mode);
    // Whatever came back is a prefix of what was sent, and is kept as the last answer.
    if (text.size() > rest.size() || rest.compare(0, text.size(), text) != 0) __builtin_trap();
    if (client.LastAnswer() != text) __builtin_trap();
    if (!ok && client.FailureReason().empty()) __builtin_trap();
    std::string body;
    if (quarrow::CddbAnswerBody(text, body)) (void)quarrow::CddbStatusCode(body);
    return 0;
}
