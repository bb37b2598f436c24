#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

// Text as SQLite's trigram tokenizer reads it. Characters: a lead byte (11xxxxxx) takes every
// continuation byte (10xxxxxx) after it, and any other byte is a character of its own, valid
// UTF-8 or not. Reading stops at the first NUL. Token i is characters i to i + 2, so a text of
// n characters has n - 2 tokens, and its last two characters begin none.
namespace quorvel::TrigramText {

// The part of `text` the tokenizer reads.
inline std::string_view indexed(std::string_view text) {
    return text.substr(0, text.find('\0'));
}

// Calls f(index, byte offset) for each character of `text` in order, until f returns false.
template <typename F>
void forEachCharacter(std::string_view text, F &&f) {
    bool inLead = false;
    int64_t index = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        auto byte = static_cast<unsigned char>(text[i]);
        if ((byte & 0xC0) == 0x80 && inLead) continue;
        inLead = byte >= 0xC0;
        if (!f(index++, i)) return;
    }
}

namespace detail {

inline uint64_t load(const unsigned char *bytes) {
    uint64_t word = 0;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

constexpr uint64_t highBits = 0x8080808080808080ULL;

// The high bit of each byte of `word` that is a continuation byte (10xxxxxx).
inline uint64_t continuations(uint64_t word) {
    return word & ~(word << 1) & highBits;
}

// How many bytes of `word`, which has nothing but high bits set, have theirs: summed by one
// multiplication into the top byte, where no popcount instruction may be assumed.
inline int highBitCount(uint64_t word) {
    return static_cast<int>(((word >> 7) * 0x0101010101010101ULL) >> 56);
}

} // namespace detail

// Whether some continuation byte of `text` stands alone, as the first byte (when `previous`, the
// byte before the text, is below 0x80 or there is none, given as 0) or after an ASCII byte. When
// none does (always so for valid UTF-8) a character starts at every other byte, so characters
// can be counted a block of bytes at a time. Eight bytes at a time: this runs over whole bodies.
inline bool hasLoneContinuation(std::string_view text, unsigned char previous = 0) {
    static_assert(std::endian::native == std::endian::little);
    const auto *bytes = reinterpret_cast<const unsigned char *>(text.data());
    size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        const uint64_t word = detail::load(bytes + i);
        // Each byte's predecessor, in the same lane.
        const uint64_t before = (word << 8) | previous;
        if (detail::continuations(word) & ~before) return true;
        previous = bytes[i + 7];
    }
    for (; i < text.size(); ++i) {
        if ((bytes[i] & 0xC0) == 0x80 && previous < 0x80) return true;
        previous = bytes[i];
    }
    return false;
}

// Characters starting in `text`, which has no lone continuation byte.
inline int64_t countCharacters(std::string_view text) {
    const auto *bytes = reinterpret_cast<const unsigned char *>(text.data());
    int64_t count = 0;
    size_t i = 0;
    for (; i + 8 <= text.size(); i += 8)
        count += 8 - detail::highBitCount(detail::continuations(detail::load(bytes + i)));
    for (; i < text.size(); ++i)
        count += (bytes[i] & 0xC0) != 0x80;
    return count;
}

// The byte offset where character `index` starts, or the text's size when it has fewer;
// `countable` when the text has no lone continuation byte.
inline size_t characterStart(std::string_view text, bool countable, int64_t index) {
    size_t from = 0;
    int64_t counted = 0;
    if (countable) {
        // Whole blocks before the character are counted, not walked.
        constexpr size_t block = 256;
        while (from + block <= text.size()) {
            int64_t inBlock = countCharacters(text.substr(from, block));
            if (counted + inBlock > index) break;
            counted += inBlock;
            from += block;
        }
        // A block may end inside a character, counted already: skip the rest of it.
        while (from > 0 && from < text.size() && (static_cast<unsigned char>(text[from]) & 0xC0) == 0x80)
            ++from;
    }
    size_t found = text.size();
    forEachCharacter(text.substr(from), [&](int64_t k, size_t offset) {
        if (counted + k < index) return true;
        found = from + offset;
        return false;
    });
    return found;
}

// Where the character ending at `end` starts; `end` is the text's end or a character's start.
inline size_t characterBefore(std::string_view text, size_t end) {
    auto continues = [&](size_t i) { return (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80; };
    size_t last = end - 1;
    if (!continues(last)) return last;
    size_t run = last;
    while (run > 0 && continues(run - 1))
        --run;
    // Continuation bytes belong to a lead byte before them; after any other byte each stands alone.
    return run > 0 && static_cast<unsigned char>(text[run - 1]) >= 0xC0 ? run - 1 : last;
}

// The last two characters of the indexed text (all of it when shorter).
inline std::string_view tail(std::string_view text) {
    text = indexed(text);
    size_t start = text.size();
    for (int k = 0; k < 2 && start > 0; ++k)
        start = characterBefore(text, start);
    return text.substr(start);
}

} // namespace quorvel::TrigramText
