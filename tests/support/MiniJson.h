// Test helper: a small JSON reader for checking the command line's --json output.
#pragma once

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace quarrow::testsupport {

struct Json {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    bool boolean = false;
    double number = 0;
    std::string string;
    std::vector<Json> array;
    std::map<std::string, Json> object;

    const Json& operator[](const std::string& key) const;
    const Json& operator[](std::size_t i) const;
    bool Has(const std::string& key) const { return kind == Object && object.count(key) > 0; }
    long Int() const { return static_cast<long>(number); }

    // Throws std::runtime_error with the offset on malformed text.
    static Json Parse(const std::string& text);
};

}  // namespace quarrow::testsupport
