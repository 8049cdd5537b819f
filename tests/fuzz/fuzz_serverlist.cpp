// The binary server list file: decoding never over-reads, and what decodes re-encodes
// to the same bytes when every length uses its shortest form.
#include <cstddef>
#include <cstdint>
#include <string>

#include "albuminfo/FreeDBServer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    quarrow::FreeDBServerList list;
    std::string why;
    if (!quarrow::DecodeFreeDBServers(bytes, list, &why)) {
        if (why.empty()) __builtin_trap();
        return 0;
    }
    quarrow::FreeDBServerList again;
    if (!quarrow::DecodeFreeDBServers(quarrow::EncodeFreeDBServers(list), again, &why)) __builtin_trap();
    if (again != list) __builtin_trap();
    return 0;
}
