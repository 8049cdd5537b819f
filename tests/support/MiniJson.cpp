#include "support/MiniJson.h"

#include <cstdlib>

namespace quarrow::testsupport {

namespace {

struct Parser {
    const std::string& s;
    std::size_t i = 0;

    [[noreturn]] void Fail(const char* what) const {
        throw std::runtime_error(std::string("JSON: ") + what + " at offset " + std::to_string(i));
    }
    void Skip() {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\n' || s[i] == '\r' || s[i] == '\t')) ++i;
    }
    bool Eat(char c) {
        Skip();
        if (i < s.size() && s[i] == c) {
            ++i;
            return true;
        }
        return false;
    }
    void Expect(char c) {
        if (!Eat(c)) Fail("unexpected character");
    }
    std::string Str() {
        Expect('"');
        std::string out;
        while (i < s.size() && s[i] != '"') {
            char c = s[i++];
            if (c != '\\') {
                out += c;
                continue;
            }
            if (i >= s.size()) Fail("bad escape");
            char e = s[i++];
            switch (e) {
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case 't': out += '\t'; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'u': {
                    if (i + 4 > s.size()) Fail("bad \\u");
                    unsigned cp = static_cast<unsigned>(std::strtoul(s.substr(i, 4).c_str(), nullptr, 16));
                    i += 4;
                    if (cp < 0x80) out += static_cast<char>(cp);
                    else if (cp < 0x800) {
                        out += static_cast<char>(0xC0 | (cp >> 6));
                        out += static_cast<char>(0x80 | (cp & 0x3F));
                    } else {
                        out += static_cast<char>(0xE0 | (cp >> 12));
                        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                        out += static_cast<char>(0x80 | (cp & 0x3F));
                    }
                    break;
                }
                default: out += e;
            }
        }
        if (i >= s.size()) Fail("unterminated string");
        ++i;
        return out;
    }
    Json Value() {
        Skip();
        if (i >= s.size()) Fail("unexpected end");
        Json v;
        char c = s[i];
        if (c == '{') {
            ++i;
            v.kind = Json::Object;
            if (Eat('}')) return v;
            do {
                Skip();
                std::string key = Str();
                Expect(':');
                v.object[key] = Value();
            } while (Eat(','));
            Expect('}');
        } else if (c == '[') {
            ++i;
            v.kind = Json::Array;
            if (Eat(']')) return v;
            do v.array.push_back(Value());
            while (Eat(','));
            Expect(']');
        } else if (c == '"') {
            v.kind = Json::String;
            v.string = Str();
        } else if (s.compare(i, 4, "true") == 0) {
            v.kind = Json::Bool;
            v.boolean = true;
            i += 4;
        } else if (s.compare(i, 5, "false") == 0) {
            v.kind = Json::Bool;
            i += 5;
        } else if (s.compare(i, 4, "null") == 0) {
            i += 4;
        } else {
            char* end = nullptr;
            v.number = std::strtod(s.c_str() + i, &end);
            if (end == s.c_str() + i) Fail("bad value");
            v.kind = Json::Number;
            i = static_cast<std::size_t>(end - s.c_str());
        }
        return v;
    }
};

}  // namespace

const Json& Json::operator[](const std::string& key) const {
    auto it = object.find(key);
    if (kind != Object || it == object.end()) throw std::runtime_error("JSON: no key " + key);
    return it->second;
}

const Json& Json::operator[](std::size_t i) const {
    if (kind != Array || i >= array.size()) throw std::runtime_error("JSON: no index " + std::to_string(i));
    return array[i];
}

Json Json::Parse(const std::string& text) {
    Parser p{text};
    Json v = p.Value();
    p.Skip();
    if (p.i != text.size()) p.Fail("trailing text");
    return v;
}

}  // namespace quarrow::testsupport
