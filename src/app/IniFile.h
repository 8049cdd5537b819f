// IniFile: a small profile (INI) file with the semantics the settings rely on:
// case-insensitive section and key names, unknown sections, keys and comments kept
// on rewrite, integers read like atoi, string reads cut to a buffer size.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quarrow {

class IniFile {
public:
    // Parses text; never fails. Lines that are neither a section, a key=value pair
    // nor blank are kept as they are and ignored by look-ups.
    void Parse(const std::string& text);
    std::string Serialize() const;  // CR LF line ends, like the platform writes them

    // A profile file larger than this is refused rather than read.
    static constexpr std::size_t kMaxFileBytes = 1 << 20;

    // Loads a regular file of at most kMaxFileBytes; false, with the reason naming the
    // file, when it cannot be read (the content is then empty).
    bool Load(const std::string& path, std::string* error = nullptr);
    // Writes a temporary file beside path, then renames it over path, so a crash never
    // leaves half a file. mode is the permission of the written file.
    bool Save(const std::string& path, unsigned mode = 0600, std::string* error = nullptr) const;

    std::optional<std::string> Get(const std::string& section, const std::string& key) const;
    // atoi semantics on the value; nullopt when the key is missing or holds no number at all.
    std::optional<long> GetInt(const std::string& section, const std::string& key) const;
    // The value cut to bufferSize - 1 bytes, as a read into a buffer of that size.
    std::string GetString(const std::string& section, const std::string& key,
                          const std::string& def, std::size_t bufferSize) const;
    void Set(const std::string& section, const std::string& key, const std::string& value);

private:
    struct Line {
        std::string text;     // the raw line for comments and unparsed content
        std::string key;      // empty for non key lines
        std::string value;
        bool isKey = false;
    };
    struct Section {
        std::string name;     // empty name: lines before the first section header
        std::vector<Line> lines;
    };
    Section* FindSection(const std::string& name);
    const Section* FindSection(const std::string& name) const;
    std::vector<Section> sections_;
};

// atoi over a string: leading blanks, optional sign, digits; nullopt without digits.
std::optional<long> ParseLeadingInt(const std::string& s);

}  // namespace quarrow
