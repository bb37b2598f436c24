#include "html/HTMLEntities.hpp"

#include "html/UTF8.hpp"

#include <algorithm>
#include <cstring>

namespace quorvel::HTMLEntities {

const std::array<NamedReference, 40> named = {{
    {"amp", U'\u0026'},   {"lt", U'\u003C'},     {"gt", U'\u003E'},     {"quot", U'\u0022'},  {"apos", U'\u0027'},
    {"nbsp", U'\u00A0'},  {"hellip", U'\u2026'}, {"mdash", U'\u2014'},  {"ndash", U'\u2013'}, {"lsquo", U'\u2018'},
    {"rsquo", U'\u2019'}, {"ldquo", U'\u201C'},  {"rdquo", U'\u201D'},  {"copy", U'\u00A9'},  {"reg", U'\u00AE'},
    {"trade", U'\u2122'}, {"middot", U'\u00B7'}, {"bull", U'\u2022'},   {"times", U'\u00D7'}, {"divide", U'\u00F7'},
    {"laquo", U'\u00AB'}, {"raquo", U'\u00BB'},  {"larr", U'\u2190'},   {"rarr", U'\u2192'},  {"uarr", U'\u2191'},
    {"darr", U'\u2193'},  {"euro", U'\u20AC'},   {"yen", U'\u00A5'},    {"pound", U'\u00A3'}, {"cent", U'\u00A2'},
    {"deg", U'\u00B0'},   {"plusmn", U'\u00B1'}, {"frac12", U'\u00BD'}, {"sect", U'\u00A7'},  {"para", U'\u00B6'},
    {"ensp", U'\u2002'},  {"emsp", U'\u2003'},   {"thinsp", U'\u2009'}, {"zwnj", U'\u200C'},  {"zwj", U'\u200D'},
}};

namespace {

constexpr size_t maxNameLength = 10;

std::optional<char32_t> resolveNumber(std::string_view digits, uint32_t base) {
    if (digits.empty()) return std::nullopt;
    uint64_t value = 0;
    for (char c : digits) {
        uint32_t d;
        if (c >= '0' && c <= '9') {
            d = static_cast<uint32_t>(c - '0');
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            d = static_cast<uint32_t>(c - 'a' + 10);
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            d = static_cast<uint32_t>(c - 'A' + 10);
        } else {
            return std::nullopt;
        }
        value = value * base + d;
        if (value > UINT32_MAX) return std::nullopt;
    }
    if (value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return std::nullopt;
    return static_cast<char32_t>(value);
}

} // namespace

std::optional<char32_t> resolve(std::string_view name) {
    if (name.empty()) return std::nullopt;
    if (name[0] != '#') {
        for (const auto &ref : named) {
            if (ref.name == name) return ref.scalar;
        }
        return std::nullopt;
    }
    if (name.size() >= 2 && (name[1] == 'x' || name[1] == 'X')) return resolveNumber(name.substr(2), 16);
    return resolveNumber(name.substr(1), 10);
}

std::string decode(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    decodeInto(out, bytes);
    return out;
}

void decodeInto(std::string &out, std::string_view bytes) {
    size_t copied = 0;
    size_t i = 0;
    const size_t n = bytes.size();
    while (true) {
        const void *hit = i < n ? std::memchr(bytes.data() + i, '&', n - i) : nullptr;
        if (!hit) break;
        i = static_cast<size_t>(static_cast<const char *>(hit) - bytes.data());
        const size_t window = std::min(maxNameLength + 1, n - i - 1);
        const void *semi = std::memchr(bytes.data() + i + 1, ';', window);
        if (semi) {
            const size_t s = static_cast<size_t>(static_cast<const char *>(semi) - bytes.data());
            if (auto scalar = resolve(bytes.substr(i + 1, s - i - 1))) {
                out.append(bytes.substr(copied, i - copied));
                UTF8::append(out, *scalar);
                i = copied = s + 1;
                continue;
            }
        }
        ++i;
    }
    out.append(bytes.substr(copied));
}

std::string encodeAttribute(std::string_view value) {
    std::string out;
    out.reserve(value.size() + value.size() / 8);
    for (char c : value) {
        switch (c) {
        case '"':
            out.append("&quot;");
            break;
        case '&':
            out.append("&amp;");
            break;
        case '<':
            out.append("&lt;");
            break;
        case '>':
            out.append("&gt;");
            break;
        default:
            out.push_back(c);
        }
    }
    return out;
}

} // namespace quorvel::HTMLEntities
