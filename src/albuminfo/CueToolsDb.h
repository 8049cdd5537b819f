// CueToolsDb: the CUETools database lookup of a disc by its table of contents: the TOC
// string, the lookup address, and the XML answer (read with libxml2) into entries, each
// with its confidence and the CRC of the whole disc.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "albuminfo/HttpGet.h"

namespace quarrow {

struct CdDiscLayout;

// Track starts as sectors from LBA 0, joined by ":", a data track's start with a "-" in
// front, then the disc's lead-out: "0:11413:25024:45713:55220", "0:15047:-220352:332850".
// Empty for a disc without audio tracks.
std::string CueToolsDbToc(const CdDiscLayout& layout);

// base + "/lookup2.php?version=3&ctdb=1&fuzzy=1&toc=" + toc
std::string CueToolsDbUrl(const std::string& base, const std::string& toc);

struct CueToolsDbEntry {
    uint32_t confidence = 0;
    uint32_t crc32 = 0;                  // the disc CRC submitted
    std::string id;                      // the database's entry id
    std::string toc;                     // the entry's own TOC (fuzzy matches differ)
    std::vector<uint32_t> trackCrcs;     // per audio track, when the answer lists them
    bool operator==(const CueToolsDbEntry&) const = default;
};

// Reads a lookup answer: every <entry> element of the <ctdb> document. An answer with no
// entry is a valid "not in database". false with error when the text is not XML, has no
// ctdb root, or an entry lacks a numeric confidence or a hexadecimal crc32.
bool ParseCueToolsDbAnswer(const std::string& xml, std::vector<CueToolsDbEntry>& entries,
                           std::string& error);

struct CueToolsDbLookup {
    enum class Outcome { Found, NotFound, Failed };
    Outcome outcome = Outcome::Failed;
    std::vector<CueToolsDbEntry> entries;
    std::string url;
    std::string error;
    static CueToolsDbLookup CouldNotRun(const std::string& reason);
};

// GETs the lookup under base (the VERIFY CTDBURL setting). No entries or a 404 give
// NotFound.
CueToolsDbLookup LookupCueToolsDb(const CdDiscLayout& layout, const std::string& base,
                                  const HttpOptions& options);

}  // namespace quarrow
