#include "albuminfo/CueToolsDb.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "app/CdDrive.h"

namespace quarrow {

namespace {

std::string Attribute(xmlNode* node, const char* name, bool& present) {
    xmlChar* v = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    present = v != nullptr;
    if (!v) return {};
    std::string s(reinterpret_cast<const char*>(v));
    xmlFree(v);
    return s;
}

bool Named(const xmlNode* node, const char* name) {
    return node->type == XML_ELEMENT_NODE && xmlStrcmp(node->name, reinterpret_cast<const xmlChar*>(name)) == 0;
}

// A whole unsigned number of the given base that fits 32 bits.
bool Number32(const std::string& text, int base, uint32_t& value) {
    if (text.empty() || text.size() > (base == 16 ? 8u : 10u)) return false;
    for (char c : text)
        if (!(base == 16 ? std::isxdigit(static_cast<unsigned char>(c)) : std::isdigit(static_cast<unsigned char>(c))))
            return false;
    const unsigned long long v = std::strtoull(text.c_str(), nullptr, base);
    if (v > 0xFFFFFFFFull) return false;
    value = static_cast<uint32_t>(v);
    return true;
}

}  // namespace

std::string CueToolsDbToc(const CdDiscLayout& layout) {
    std::string toc;
    bool anyAudio = false;
    for (const auto& session : layout.sessions)
        for (const CdTrackInfo& t : session) {
            anyAudio = anyAudio || t.type == kTrackAudio;
            toc += (t.type == kTrackAudio ? "" : "-") + std::to_string(t.start) + ":";
        }
    if (!anyAudio) return {};
    return toc + std::to_string(layout.leadOut);
}

std::string CueToolsDbUrl(const std::string& base, const std::string& toc) {
    std::string b = base;
    while (!b.empty() && b.back() == '/') b.pop_back();
    return b + "/lookup2.php?version=3&ctdb=1&fuzzy=1&toc=" + toc;
}

bool ParseCueToolsDbAnswer(const std::string& xml, std::vector<CueToolsDbEntry>& entries, std::string& error) {
    static std::once_flag init;
    std::call_once(init, [] { xmlInitParser(); });
    if (xml.size() > static_cast<std::size_t>(INT32_MAX)) {
        error = "the CUETools database answer is too large";
        return false;
    }
    // No network access, no entity substitution, no error text on the console.
    const int parseOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
    std::unique_ptr<xmlDoc, void (*)(xmlDoc*)> doc(
        xmlReadMemory(xml.data(), static_cast<int>(xml.size()), "ctdb.xml", nullptr, parseOptions), xmlFreeDoc);
    if (!doc) {
        const xmlError* e = xmlGetLastError();
        error = "the CUETools database answer is not XML";
        if (e && e->message) {
            std::string m = e->message;
            while (!m.empty() && (m.back() == '\n' || m.back() == ' ')) m.pop_back();
            error += " (line " + std::to_string(e->line) + ": " + m + ")";
        }
        return false;
    }
    xmlNode* root = xmlDocGetRootElement(doc.get());
    if (!root || !Named(root, "ctdb")) {
        error = "the CUETools database answer has no ctdb element";
        return false;
    }
    std::vector<CueToolsDbEntry> out;
    for (xmlNode* n = root->children; n; n = n->next) {
        if (!Named(n, "entry")) continue;
        const std::string which = "entry " + std::to_string(out.size() + 1);
        CueToolsDbEntry e;
        bool present = false;
        if (!Number32(Attribute(n, "confidence", present), 10, e.confidence)) {
            error = "the CUETools database answer's " + which + " has no valid confidence";
            return false;
        }
        if (!Number32(Attribute(n, "crc32", present), 16, e.crc32)) {
            error = "the CUETools database answer's " + which + " has no valid crc32";
            return false;
        }
        e.id = Attribute(n, "id", present);
        e.toc = Attribute(n, "toc", present);
        const std::string crcs = Attribute(n, "trackcrcs", present);
        std::size_t at = 0;
        while (at < crcs.size()) {
            const std::size_t end = std::min(crcs.find(' ', at), crcs.size());
            if (end > at) {
                uint32_t v = 0;
                if (!Number32(crcs.substr(at, end - at), 16, v)) {
                    error = "the CUETools database answer's " + which + " has an invalid track CRC \"" +
                            crcs.substr(at, std::min<std::size_t>(end - at, 16)) + "\"";
                    return false;
                }
                e.trackCrcs.push_back(v);
            }
            at = end + 1;
        }
        out.push_back(std::move(e));
    }
    entries = std::move(out);
    return true;
}

CueToolsDbLookup CueToolsDbLookup::CouldNotRun(const std::string& reason) {
    CueToolsDbLookup l;
    l.outcome = Outcome::Failed;
    l.error = reason;
    return l;
}

CueToolsDbLookup LookupCueToolsDb(const CdDiscLayout& layout, const std::string& base, const HttpOptions& options) {
    const std::string toc = CueToolsDbToc(layout);
    if (toc.empty()) return CueToolsDbLookup::CouldNotRun("the disc has no audio track");
    CueToolsDbLookup lookup;
    lookup.url = CueToolsDbUrl(base, toc);
    const HttpResult answer = HttpGet(lookup.url, options, "CUETools database");
    if (answer.NotFound()) {
        lookup.outcome = CueToolsDbLookup::Outcome::NotFound;
        return lookup;
    }
    if (!answer.Ok()) {
        lookup.error = answer.error;
        return lookup;
    }
    std::string error;
    if (!ParseCueToolsDbAnswer(answer.body, lookup.entries, error)) {
        lookup.error = error + " (" + lookup.url + ")";
        return lookup;
    }
    lookup.outcome = lookup.entries.empty() ? CueToolsDbLookup::Outcome::NotFound : CueToolsDbLookup::Outcome::Found;
    return lookup;
}

}  // namespace quarrow
