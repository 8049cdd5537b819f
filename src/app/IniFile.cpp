#include "app/IniFile.h"

#include <cctype>

#include "app/SafeFile.h"

namespace quarrow {

namespace {

std::string Trim(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return s.substr(b, e - b);
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace

std::optional<long> ParseLeadingInt(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
    if (i >= s.size() || !std::isdigit(static_cast<unsigned char>(s[i]))) return std::nullopt;
    // Accumulate in 64 bits and wrap like a 32-bit conversion would; overlong digit runs
    // cannot overflow the accumulator because it is reduced every step.
    uint64_t v = 0;
    for (; i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])); ++i)
        v = (v * 10 + static_cast<unsigned>(s[i] - '0')) & 0xFFFFFFFFull;
    uint32_t u = static_cast<uint32_t>(v);
    if (negative) u = 0u - u;
    return static_cast<long>(static_cast<int32_t>(u));
}

void IniFile::Parse(const std::string& text) {
    sections_.clear();
    sections_.push_back(Section{});
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string raw = text.substr(pos, end - pos);
        pos = end + 1;
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        std::string t = Trim(raw);
        if (!t.empty() && t.front() == '[') {
            std::size_t close = t.find(']');
            Section s;
            s.name = Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            sections_.push_back(std::move(s));
            continue;
        }
        Line line;
        line.text = raw;
        std::size_t eq = raw.find('=');
        if (!t.empty() && t[0] != ';' && eq != std::string::npos) {
            line.key = Trim(raw.substr(0, eq));
            line.value = Trim(raw.substr(eq + 1));
            line.isKey = !line.key.empty();
        }
        sections_.back().lines.push_back(std::move(line));
    }
}

std::string IniFile::Serialize() const {
    std::string out;
    for (const Section& s : sections_) {
        bool unnamed = &s == &sections_.front() && s.name.empty();
        if (!unnamed) out += "[" + s.name + "]\r\n";
        for (const Line& l : s.lines) {
            out += l.isKey ? l.key + "=" + l.value : l.text;
            out += "\r\n";
        }
    }
    return out;
}

bool IniFile::Load(const std::string& path, std::string* error) {
    std::string text, why;
    const bool ok = ReadRegularFile(path, kMaxFileBytes, text, why);
    if (!ok && error) *error = why;
    Parse(text);
    return ok;
}

bool IniFile::Save(const std::string& path, unsigned mode, std::string* error) const {
    std::string why;
    if (WriteFileAtomically(path, Serialize(), mode, why)) return true;
    if (error) *error = why;
    return false;
}

IniFile::Section* IniFile::FindSection(const std::string& name) {
    for (Section& s : sections_)
        if (!(&s == &sections_.front() && s.name.empty()) && EqualNoCase(s.name, name)) return &s;
    return nullptr;
}

const IniFile::Section* IniFile::FindSection(const std::string& name) const {
    return const_cast<IniFile*>(this)->FindSection(name);
}

std::optional<std::string> IniFile::Get(const std::string& section, const std::string& key) const {
    const Section* s = FindSection(section);
    if (!s) return std::nullopt;
    for (const Line& l : s->lines)
        if (l.isKey && EqualNoCase(l.key, key)) return l.value;
    return std::nullopt;
}

std::optional<long> IniFile::GetInt(const std::string& section, const std::string& key) const {
    auto v = Get(section, key);
    if (!v) return std::nullopt;
    return ParseLeadingInt(*v);
}

std::string IniFile::GetString(const std::string& section, const std::string& key,
                               const std::string& def, std::size_t bufferSize) const {
    std::string v = Get(section, key).value_or(def);
    if (bufferSize == 0) return std::string();
    // A value read into a buffer stops at its first NUL and at the buffer's end.
    std::size_t nul = v.find('\0');
    if (nul != std::string::npos) v.resize(nul);
    if (v.size() > bufferSize - 1) v.resize(bufferSize - 1);
    return v;
}

void IniFile::Set(const std::string& section, const std::string& key, const std::string& rawValue) {
    // A line break inside a value would split it into a stray line on the next read.
    std::string value = rawValue;
    for (char& c : value)
        if (c == '\r' || c == '\n') c = ' ';
    if (sections_.empty()) sections_.push_back(Section{});
    Section* s = FindSection(section);
    if (!s) {
        Section fresh;
        fresh.name = section;
        sections_.push_back(std::move(fresh));
        s = &sections_.back();
    }
    for (Line& l : s->lines) {
        if (l.isKey && EqualNoCase(l.key, key)) {
            l.value = value;
            return;
        }
    }
    // New keys go after the section's last key, before trailing blank lines.
    std::size_t at = s->lines.size();
    while (at > 0 && !s->lines[at - 1].isKey && Trim(s->lines[at - 1].text).empty()) --at;
    Line l;
    l.key = key;
    l.value = value;
    l.isKey = true;
    s->lines.insert(s->lines.begin() + static_cast<long>(at), std::move(l));
}

}  // namespace quarrow
