#include "store/LocalStore.hpp"

#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <limits>

namespace quorvel {

namespace {

constexpr const char *ellipsis = "…";

// A text with every code point case-folded, and where each code point sits in both texts.
// Simple folding maps one code point to one, so the two texts stay aligned code point by code point.
struct FoldedText {
    std::string text;
    // (offset in the folded text, offset in the original) per code point, plus one past the end.
    std::vector<std::pair<size_t, size_t>> at;

    explicit FoldedText(std::string_view s) {
        text.reserve(s.size());
        at.reserve(s.size() + 1);
        size_t i = 0;
        const auto *bytes = reinterpret_cast<const uint8_t *>(s.data());
        // Texts past what ICU can index are cut; no document comes near.
        auto length = static_cast<int32_t>(std::min<size_t>(s.size(), std::numeric_limits<int32_t>::max()));
        while (i < static_cast<size_t>(length)) {
            at.emplace_back(text.size(), i);
            auto k = static_cast<int32_t>(i);
            UChar32 c;
            U8_NEXT(bytes, k, length, c);
            i = static_cast<size_t>(k);
            if (c < 0) c = 0xFFFD;
            c = u_foldCase(c, U_FOLD_CASE_DEFAULT);
            uint8_t buffer[U8_MAX_LENGTH];
            int32_t n = 0;
            U8_APPEND_UNSAFE(buffer, n, c);
            text.append(reinterpret_cast<const char *>(buffer), static_cast<size_t>(n));
        }
        at.emplace_back(text.size(), i);
    }

    // The original offset of a folded offset, when a code point starts there.
    std::optional<size_t> originalAt(size_t folded) const {
        auto it = std::lower_bound(at.begin(), at.end(), folded,
                                   [](const std::pair<size_t, size_t> &p, size_t v) { return p.first < v; });
        if (it == at.end() || it->first != folded) return std::nullopt;
        return it->second;
    }

    // The folded offset of an original offset that starts a code point.
    size_t foldedAt(size_t original) const {
        auto it = std::lower_bound(at.begin(), at.end(), original,
                                   [](const std::pair<size_t, size_t> &p, size_t v) { return p.second < v; });
        return it == at.end() ? text.size() : it->first;
    }
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
    Matcher(const FoldedText &folded, const Graphemes &graphemes) : folded_(folded), graphemes_(graphemes) {}

    // The first occurrence of `term` (already folded) starting in [from, to) of the folded text and
    // ending by `to`.
    std::optional<Range> find(std::string_view term, size_t from, size_t to) const {
        std::string_view haystack(folded_.text.data(), to);
        while (from + term.size() <= to) {
            size_t p = haystack.find(term, from);
            if (p == std::string_view::npos) return std::nullopt;
            auto start = folded_.originalAt(p);
            auto end = folded_.originalAt(p + term.size());
            if (start && end && graphemes_.isBoundary(*start) && graphemes_.isBoundary(*end))
                return Range{*start, *end};
            from = p + 1;
        }
        return std::nullopt;
    }

private:
    const FoldedText &folded_;
    const Graphemes &graphemes_;
};

} // namespace

std::vector<SnippetSegment> LocalStore::parseSnippet(std::string_view snippet) {
    std::vector<SnippetSegment> segments;
    std::string buffer;
    bool highlighted = false;
    auto close = [&] {
        if (!buffer.empty()) segments.push_back({std::move(buffer), highlighted});
        buffer.clear();
    };
    // The markers are single bytes that never occur inside a multi-byte UTF-8 sequence.
    for (char c : snippet) {
        if (c == '\x01') {
            close();
            highlighted = true;
        } else if (c == '\x02') {
            close();
            highlighted = false;
        } else {
            buffer += c;
        }
    }
    close();
    return segments;
}

std::vector<SnippetSegment> LocalStore::makeSnippet(std::string_view body, const std::vector<std::string> &terms,
                                                    int radius) {
    if (body.empty()) return {};
    radius = std::max(radius, 0);
    FoldedText folded(body);
    body = body.substr(0, folded.at.back().second);
    Graphemes graphemes(body);
    Matcher matcher(folded, graphemes);

    std::vector<std::string> needles;
    for (const auto &t : terms) {
        if (t.empty()) continue;
        needles.push_back(FoldedText(t).text);
    }

    std::optional<Range> first;
    for (const auto &n : needles) {
        auto hit = matcher.find(n, 0, folded.text.size());
        if (hit && (!first || hit->start < first->start)) first = hit;
    }
    if (!first) {
        size_t end = graphemes.forward(0, int64_t{radius} * 2);
        if (end == 0) return {};
        return {SnippetSegment{std::string(body.substr(0, end)), false}};
    }

    size_t windowStart = graphemes.back(first->start, radius);
    size_t windowEnd = graphemes.forward(first->end, radius);
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

} // namespace quorvel
