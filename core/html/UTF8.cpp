#include "html/UTF8.hpp"

#include <cstdint>

namespace quorvel::UTF8 {

char32_t next(std::string_view bytes, size_t &i) {
    const auto byte = [&](size_t k) { return static_cast<uint8_t>(bytes[k]); };
    const uint8_t b0 = byte(i);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    size_t need;
    uint8_t lo = 0x80, hi = 0xBF;
    char32_t value;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 1;
        value = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 2;
        value = b0 & 0x0F;
        if (b0 == 0xE0) lo = 0xA0;
        if (b0 == 0xED) hi = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 3;
        value = b0 & 0x07;
        if (b0 == 0xF0) lo = 0x90;
        if (b0 == 0xF4) hi = 0x8F;
    } else {
        ++i;
        return replacement;
    }
    size_t k = i + 1;
    for (size_t step = 0; step < need; ++step, ++k) {
        if (k >= bytes.size() || byte(k) < lo || byte(k) > hi) {
            i = k;
            return replacement;
        }
        value = (value << 6) | (byte(k) & 0x3F);
        lo = 0x80;
        hi = 0xBF;
    }
    i = k;
    return value;
}

void append(std::string &out, char32_t scalar) {
    const auto u = static_cast<uint32_t>(scalar);
    if (u < 0x80) {
        out.push_back(static_cast<char>(u));
    } else if (u < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (u >> 6)));
        out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    } else if (u < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (u >> 12)));
        out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (u >> 18)));
        out.push_back(static_cast<char>(0x80 | ((u >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    }
}

namespace {

// Offset of the first ill-formed sequence, or the size when there is none.
size_t firstInvalid(std::string_view bytes) {
    size_t i = 0;
    while (i < bytes.size()) {
        if (static_cast<uint8_t>(bytes[i]) < 0x80) {
            ++i;
            continue;
        }
        const size_t begin = i;
        if (next(bytes, i) == replacement && !(i - begin == 3 && static_cast<uint8_t>(bytes[begin]) == 0xEF)) {
            return begin;
        }
    }
    return bytes.size();
}

} // namespace

bool isValid(std::string_view bytes) {
    return firstInvalid(bytes) == bytes.size();
}

std::string repaired(std::string bytes) {
    const size_t bad = firstInvalid(bytes);
    if (bad == bytes.size()) return bytes;
    std::string out(bytes, 0, bad);
    out.reserve(bytes.size() + 16);
    size_t i = bad;
    std::string_view view(bytes);
    while (i < view.size()) {
        const size_t begin = i;
        const char32_t c = next(view, i);
        if (c == replacement) {
            append(out, c);
        } else {
            out.append(view.substr(begin, i - begin));
        }
    }
    return out;
}

} // namespace quorvel::UTF8
