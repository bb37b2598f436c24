#include "store/TextSnippet.hpp"

#include "store/ByteSearch.hpp"

#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <limits>
#include <memory>

namespace quorvel::TextSnippet {

namespace {

constexpr const char *ellipsis = "…";

// Hangul syllables and unified Han ideographs, most of a Korean text, fold to themselves and
// nothing else folds to them.
bool isHangulOrHan(UChar32 c) {
    return (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0x4E00 && c <= 0x9FFF);
}

// Whether a code point folds to itself and no other code point folds to it: ASCII but letters,
// Hangul syllables and unified Han ideographs. A term made of these occurs in a text exactly where
// it occurs in the text's folded copy, so the text need not be folded to find it.
bool standsForItself(UChar32 c) {
    const UChar32 lower = c | 0x20;
    return (c >= 0 && c < 0x80 && (lower < 'a' || lower > 'z')) || isHangulOrHan(c);
}

bool isLiteral(std::string_view term) {
    const auto *bytes = reinterpret_cast<const uint8_t *>(term.data());
    const auto length = static_cast<int32_t>(std::min<size_t>(term.size(), std::numeric_limits<int32_t>::max()));
    for (int32_t k = 0; k < length;) {
        UChar32 c;
        U8_NEXT(bytes, k, length, c);
        if (c < 0 || !standsForItself(c)) return false;
    }
    return true;
}

// A text with every code point case-folded, folded on demand from the start, and where each
// code point sits in both texts. Simple folding maps one code point to one, and nearly always to
// one of the same length in UTF-8: the two texts then keep a fixed distance, and only where a
// length changes is the pair of offsets written down. A literal text is only ever searched for
// terms that stand for themselves: it is its own folded copy, and nothing is copied.
class FoldedText {
public:
    explicit FoldedText(std::string_view s, bool literal = false)
        // Texts past what ICU can index are cut; no document comes near.
        : source_(s), limit_(std::min<size_t>(s.size(), std::numeric_limits<int32_t>::max())), literal_(literal) {}

    // How much of the source can be folded.
    size_t limit() const { return limit_; }
    bool complete() const { return done_ >= limit_; }
    // How much of the source is folded.
    size_t extent() const { return done_; }
    std::string_view text() const { return literal_ ? source_.substr(0, done_) : std::string_view(text_); }

    // Folds code points until `original` bytes of the source are folded, or all of them.
    void extendTo(size_t original) {
        const auto *bytes = reinterpret_cast<const uint8_t *>(source_.data());
        const auto length = static_cast<int32_t>(limit_);
        const size_t until = std::min(original, limit_);
        if (until <= done_) return;
        if (literal_) {
            done_ = until;
            return;
        }
        text_.reserve(text_.size() + (until - done_) + 16);
        while (done_ < until) {
            // A run of ASCII, Hangul syllables and unified Han ideographs, most of a Korean text,
            // is copied at once: only its ASCII capitals change.
            size_t run = done_;
            while (run < until) {
                if (bytes[run] < 0x80) {
                    ++run;
                } else if (run + 2 < limit_ && selfFolding(bytes + run)) {
                    run += 3;
                } else {
                    break;
                }
            }
            if (run > done_) {
                ByteSearch::appendLowerASCII(text_, source_.substr(done_, run - done_));
                done_ = run;
                continue;
            }
            const size_t from = done_;
            auto k = static_cast<int32_t>(done_);
            UChar32 c;
            U8_NEXT(bytes, k, length, c);
            done_ = static_cast<size_t>(k);
            c = c < 0 ? 0xFFFD : u_foldCase(c, U_FOLD_CASE_DEFAULT);
            uint8_t buffer[U8_MAX_LENGTH];
            int32_t n = 0;
            U8_APPEND_UNSAFE(buffer, n, c);
            if (static_cast<size_t>(n) != done_ - from) shifts_.push_back({text_.size(), from});
            text_.append(reinterpret_cast<const char *>(buffer), static_cast<size_t>(n));
            if (static_cast<size_t>(n) != done_ - from) shifts_.push_back({text_.size(), done_});
        }
    }

    // The original offset of a folded offset, when a code point starts there; where folding
    // stopped counts as one.
    std::optional<size_t> originalAt(size_t folded) const {
        // A term that stands for itself begins at a character and ends before one.
        if (literal_) return folded <= done_ ? std::optional(folded) : std::nullopt;
        if (folded == text_.size()) return done_;
        // The folded text is valid UTF-8: a code point starts at every byte but a continuation byte.
        if (folded > text_.size() || continues(text_[folded])) return std::nullopt;
        auto it = std::upper_bound(shifts_.begin(), shifts_.end(), folded,
                                   [](size_t v, const Shift &s) { return v < s.folded; });
        if (it == shifts_.begin()) return folded;
        --it;
        return it->original + (folded - it->folded);
    }

    // The folded offset of an original offset that starts a code point, within what is folded.
    size_t foldedAt(size_t original) const {
        if (literal_) return std::min(original, done_);
        if (original >= done_) return text_.size();
        auto it = std::upper_bound(shifts_.begin(), shifts_.end(), original,
                                   [](size_t v, const Shift &s) { return v < s.original; });
        size_t at = original;
        if (it != shifts_.begin()) {
            --it;
            at = it->folded + (original - it->original);
            // Inside a code point whose length changed: where the next one starts.
            if (std::next(it) != shifts_.end() && at >= std::next(it)->folded) return std::next(it)->folded;
        }
        while (at < text_.size() && continues(text_[at]))
            ++at;
        return at;
    }

private:
    static bool continues(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

    // Whether three bytes spell a Hangul syllable or a unified Han ideograph.
    static bool selfFolding(const uint8_t *b) {
        if (b[0] < 0xE4 || b[0] > 0xED || !continues(static_cast<char>(b[1])) || !continues(static_cast<char>(b[2])))
            return false;
        return isHangulOrHan(static_cast<UChar32>(((b[0] & 0x0F) << 12) | ((b[1] & 0x3F) << 6) | (b[2] & 0x3F)));
    }

    // Offsets in both texts of the start and the end of each code point folded to another length;
    // between two shifts the texts run side by side.
    struct Shift {
        size_t folded, original;
    };

    std::string_view source_;
    size_t limit_;
    bool literal_;
    size_t done_ = 0;
    std::string text_;
    std::vector<Shift> shifts_;
};

// User-perceived characters of one text.
class Graphemes {
public:
    explicit Graphemes(std::string_view s) : size_(s.size()) {
        UErrorCode status = U_ZERO_ERROR;
        text_ = utext_openUTF8(nullptr, s.data(), static_cast<int64_t>(s.size()), &status);
        thread_local std::unique_ptr<icu::BreakIterator> shared;
        if (!shared) {
            UErrorCode createStatus = U_ZERO_ERROR;
            shared.reset(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), createStatus));
            if (U_FAILURE(createStatus)) shared.reset();
        }
        if (shared && text_ && U_SUCCESS(status)) {
            shared->setText(text_, status);
            if (U_SUCCESS(status)) iterator_ = shared.get();
        }
    }
    ~Graphemes() {
        if (iterator_) {
            // Detach from the text before it goes away.
            UErrorCode status = U_ZERO_ERROR;
            UText *empty = utext_openUTF8(nullptr, "", 0, &status);
            iterator_->setText(empty, status);
            utext_close(empty);
        }
        if (text_) utext_close(text_);
    }
    Graphemes(const Graphemes &) = delete;
    Graphemes &operator=(const Graphemes &) = delete;

    bool isBoundary(size_t offset) const {
        if (offset == 0 || offset >= size_) return true;
        return !iterator_ || iterator_->isBoundary(static_cast<int32_t>(offset));
    }
    // `count` characters back from a boundary, stopping at the start.
    size_t back(size_t offset, int64_t count) const {
        while (count-- > 0 && offset > 0) {
            int32_t p = iterator_ ? iterator_->preceding(static_cast<int32_t>(offset)) : 0;
            offset = p == icu::BreakIterator::DONE ? 0 : static_cast<size_t>(p);
        }
        return offset;
    }
    // `count` characters forward from a boundary, stopping at the end.
    size_t forward(size_t offset, int64_t count) const {
        while (count-- > 0 && offset < size_) {
            int32_t p = iterator_ ? iterator_->following(static_cast<int32_t>(offset)) : icu::BreakIterator::DONE;
            offset = p == icu::BreakIterator::DONE ? size_ : static_cast<size_t>(p);
        }
        return offset;
    }

private:
    size_t size_;
    UText *text_ = nullptr;
    icu::BreakIterator *iterator_ = nullptr;
};

struct Range {
    size_t start;
    size_t end;
};

// Case-insensitive occurrences that begin and end on character boundaries of the original text.
class Matcher {
public:
    Matcher(FoldedText &folded, const Graphemes &graphemes) : folded_(folded), graphemes_(graphemes) {}

    // The first occurrence of `term` (already folded) starting in [from, to) of the folded text and
    // ending by `to`, which lies within what is folded.
    std::optional<Range> find(std::string_view term, size_t from, size_t to) const {
        std::string_view haystack = folded_.text().substr(0, to);
        while (from + term.size() <= to) {
            size_t p = ByteSearch::find(haystack, term, from);
            if (p == std::string_view::npos) return std::nullopt;
            auto start = folded_.originalAt(p);
            auto end = folded_.originalAt(p + term.size());
            if (start && end && graphemes_.isBoundary(*start) && graphemes_.isBoundary(*end))
                return Range{*start, *end};
            from = p + 1;
        }
        return std::nullopt;
    }

    // The earliest first occurrence of any term; of terms starting at the same place, the one
    // listed first. Folds only as far as settling that needs.
    std::optional<Range> earliest(const std::vector<std::string> &terms) {
        std::vector<std::optional<Range>> first(terms.size());
        std::vector<size_t> next(terms.size(), 0); // no occurrence starts before this folded offset
        std::optional<size_t> bestAt;              // the folded start of the earliest found
        auto settled = [&] {
            for (size_t k = 0; k < terms.size(); ++k) {
                if (!first[k] && (!bestAt || next[k] <= *bestAt)) return false;
            }
            return true;
        };
        for (size_t chunk = 4096;; chunk *= 2) {
            folded_.extendTo(folded_.extent() + chunk);
            const size_t end = folded_.text().size();
            for (size_t k = 0; k < terms.size(); ++k) {
                if (first[k]) continue;
                if ((first[k] = find(terms[k], next[k], end))) {
                    const size_t at = folded_.foldedAt(first[k]->start);
                    if (!bestAt || at < *bestAt) bestAt = at;
                } else if (end + 1 > terms[k].size()) {
                    next[k] = std::max(next[k], end + 1 - terms[k].size());
                }
            }
            if (settled() || folded_.complete()) break;
        }
        std::optional<Range> best;
        for (const auto &hit : first) {
            if (hit && (!best || hit->start < best->start)) best = hit;
        }
        return best;
    }

private:
    FoldedText &folded_;
    const Graphemes &graphemes_;
};

} // namespace

std::optional<std::vector<SnippetSegment>> cut(std::string_view body, bool whole, const std::vector<std::string> &terms,
                                               int radius, bool foldAlways) {
    if (body.empty()) return whole ? std::optional(std::vector<SnippetSegment>{}) : std::nullopt;
    radius = std::max(radius, 0);
    std::vector<std::string> needles;
    size_t longest = 0;
    bool literal = !foldAlways;
    for (const auto &t : terms) {
        if (t.empty()) continue;
        FoldedText term(t);
        term.extendTo(t.size());
        needles.emplace_back(term.text());
        longest = std::max(longest, needles.back().size());
        literal = literal && isLiteral(needles.back());
    }

    FoldedText folded(body, literal);
    body = body.substr(0, folded.limit());
    Graphemes graphemes(body);
    Matcher matcher(folded, graphemes);

    std::optional<Range> first = matcher.earliest(needles);
    if (!first) {
        if (!whole) return std::nullopt;
        size_t end = graphemes.forward(0, int64_t{radius} * 2);
        if (end == 0) return std::vector<SnippetSegment>{};
        return std::vector<SnippetSegment>{{std::string(body.substr(0, end)), false}};
    }

    size_t windowStart = graphemes.back(first->start, radius);
    size_t windowEnd = graphemes.forward(first->end, radius);
    // A part of a body settles the snippet when everything it was cut from lies well inside the
    // part: no occurrence starting earlier could run past it (a folded byte stands for at most
    // four original ones), and neither the last character nor a character boundary is in doubt.
    if (!whole && windowEnd + 4 * longest + 16 > body.size()) return std::nullopt;
    folded.extendTo(windowEnd);
    size_t foldedStart = folded.foldedAt(windowStart);
    size_t foldedEnd = folded.foldedAt(windowEnd);

    std::vector<Range> hits;
    for (const auto &n : needles) {
        size_t from = foldedStart;
        while (auto hit = matcher.find(n, from, foldedEnd)) {
            hits.push_back(*hit);
            from = folded.foldedAt(hit->end);
        }
    }
    std::sort(hits.begin(), hits.end(), [](const Range &a, const Range &b) { return a.start < b.start; });
    std::vector<Range> merged;
    for (const auto &h : hits) {
        if (!merged.empty() && h.start <= merged.back().end)
            merged.back().end = std::max(merged.back().end, h.end);
        else
            merged.push_back(h);
    }

    std::vector<SnippetSegment> segments;
    if (windowStart > 0) segments.push_back({ellipsis, false});
    size_t cursor = windowStart;
    for (const auto &r : merged) {
        if (r.start > cursor) segments.push_back({std::string(body.substr(cursor, r.start - cursor)), false});
        segments.push_back({std::string(body.substr(r.start, r.end - r.start)), true});
        cursor = r.end;
    }
    if (windowEnd > cursor) segments.push_back({std::string(body.substr(cursor, windowEnd - cursor)), false});
    if (windowEnd < body.size()) segments.push_back({ellipsis, false});
    return segments;
}

} // namespace quorvel::TextSnippet
