#include "StoreFixtures.hpp"
#include "store/TextSnippet.hpp"

#include <gtest/gtest.h>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <random>

using namespace quorvel;
using quorvel::test::marked;
using Segments = std::vector<SnippetSegment>;

namespace {

std::string repeat(const std::string &s, int n) {
    std::string out;
    while (n-- > 0)
        out += s;
    return out;
}

} // namespace

TEST(ParseSnippet, SplitsAtMarkersWithoutEverMakingEmptySegments) {
    // \1 opens a hit and \2 closes it.
    const std::pair<std::string, Segments> cases[] = {
        {"\1검색\2 뒤…", {{"검색", true}, {" 뒤…", false}}},
        {"…앞 \1a\2\1b\2", {{"…앞 ", false}, {"a", true}, {"b", true}}},
        {"\1\1x\2\2\2y", {{"x", true}, {"y", false}}},
        {"\1\2\1\2", {}},
        {"", {}},
        {"a\1b", {{"a", false}, {"b", true}}}, // an unclosed hit runs to the end
    };
    for (const auto &[text, expected] : cases)
        EXPECT_EQ(LocalStore::parseSnippet(text), expected) << text;
}

// The window: radius characters (as a reader counts them) each side of the earliest hit, ellipses
// where the body goes on, every hit inside marked, overlapping hits merged, case folded.
TEST(MakeSnippet, WindowsAndHits) {
    const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467";
    const std::string front = repeat("앞", 100), back = repeat("뒤", 100);
    const std::string dots = repeat(".", 50) + "beta alpha beta" + repeat(".", 30) + "alpha" + repeat(".", 50);
    const struct {
        std::string body;
        std::vector<std::string> terms;
        int radius;
        std::string expected;
    } cases[] = {
        {"", {"x"}, 40, ""},
        {repeat("가", 100), {"없음"}, 40, repeat("가", 80)},
        {repeat("가", 100), {}, 40, repeat("가", 80)},
        {front + "찾기" + back, {"찾기"}, 40, "…" + repeat("앞", 40) + "[찾기]" + repeat("뒤", 40) + "…"},
        {"ab찾기" + back, {"찾기"}, 40, "ab[찾기]" + repeat("뒤", 40) + "…"},
        {"찾기", {"찾기"}, 40, "[찾기]"},
        // The later alpha lies outside; a hit cut by the window's edge is not marked.
        {dots, {"alpha", "beta"}, 12, "…" + repeat(".", 12) + "[beta] [alpha] [beta]." + "…"},
        {dots, {"alpha", "beta"}, 10, "…" + repeat(".", 10) + "[beta] [alpha] bet…"},
        {"xabcdx", {"abc", "bcd"}, 40, "x[abcd]x"},
        {"xabcdx", {"ab", "cd"}, 40, "x[abcd]x"},
        {"aaaa", {"aa"}, 40, "[aaaa]"},
        {"Hello WORLD", {"world"}, 40, "Hello [WORLD]"},
        {"ÉCOLE école", {"école"}, 40, "[ÉCOLE] [école]"},
        {"ΣΟΦΊΑ", {"σοφία"}, 40, "[ΣΟΦΊΑ]"},
        // A decomposed é is one character and its bare "e" no hit; a family emoji is one character.
        {"cafe\u0301 e", {"e"}, 1, "… [e]"},
        {"ab" + family + "hit" + family + "cd", {"hit"}, 1, "…" + family + "[hit]" + family + "…"},
        {family + family + family, {"zz"}, 1, family + family},
        {"abc", {"", "b"}, 0, "…[b]…"},
        {"abc", {"zz"}, 0, ""},
        {"abc", {"b"}, -5, "…[b]…"},
        {"abc", {"b"}, INT32_MAX, "a[b]c"},
        {"a\377\376b\303", {"b"}, 40, "a\377\376[b]\303"}, // stray bytes FF FE and C3, in octal
    };
    for (const auto &c : cases)
        EXPECT_EQ(marked(LocalStore::makeSnippet(c.body, c.terms, c.radius)), c.expected) << c.body;
    EXPECT_EQ(LocalStore::makeSnippet("짧은 본문", {"없음"}, 40), (Segments{{"짧은 본문", false}}));
    EXPECT_EQ(LocalStore::makeSnippet(repeat("앞", 50) + "찾기", {"찾기"}, 40).front(), (SnippetSegment{"…", false}));
}

TEST(MakeSnippet, LettersWhoseFoldedFormIsLongerOrShorterKeepTheirPlace) {
    // Ⱥ folds to a letter a byte longer, the Kelvin sign to a plain k two bytes shorter, and a
    // stray byte to a three-byte replacement; hits and windows must still land on the body's text.
    const std::string a = "\u023A", kelvin = "\u212A";
    const struct {
        std::string body;
        std::vector<std::string> terms;
        int radius;
        std::string expected;
    } cases[] = {
        {repeat(a, 5) + "찾기" + repeat(a, 5), {"찾기"}, 2, "…" + repeat(a, 2) + "[찾기]" + repeat(a, 2) + "…"},
        {repeat(kelvin, 3) + "가" + kelvin, {"가"}, 1, "…" + kelvin + "[가]" + kelvin},
        {"x" + a + "By", {"\u2C65b"}, 40, "x[" + a + "B]y"},
        {a + a + "가나 " + kelvin + "ELVIN", {"kelvin"}, 40, a + a + "가나 [" + kelvin + "ELVIN]"},
        {"\xff\xff찾기 " + a + "찾기", {"찾기"}, 1, "…\xff[찾기] …"},
        {repeat("\xff", 3) + a + "abc" + kelvin + "abc", {"abck", "ABC"}, 1, "…" + a + "[abc" + kelvin + "]a…"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(marked(LocalStore::makeSnippet(c.body, c.terms, c.radius)), c.expected) << c.body;
}

// Terms of Hangul, Han and ASCII other than letters are searched in the body as it is, not in a
// folded copy; every answer must be the one folding gives.
TEST(MakeSnippet, TermsThatFoldingLeavesAloneFindWhatFoldingFinds) {
    auto both = [](const std::string &body, bool whole, const std::vector<std::string> &terms, int radius) {
        auto fast = TextSnippet::cut(body, whole, terms, radius);
        auto folded = TextSnippet::cut(body, whole, terms, radius, true);
        EXPECT_EQ(fast.has_value(), folded.has_value()) << body;
        if (fast && folded) {
            EXPECT_EQ(marked(*fast), marked(*folded)) << body;
        }
    };
    auto utf8 = [](UChar32 c) {
        char buffer[U8_MAX_LENGTH];
        int32_t n = 0;
        U8_APPEND_UNSAFE(buffer, n, c);
        return std::string(buffer, static_cast<size_t>(n));
    };
    // Every character that folds to another, searched for by what it folds to.
    for (UChar32 c = 0; c <= 0x10FFFF; ++c) {
        const UChar32 f = u_foldCase(c, U_FOLD_CASE_DEFAULT);
        if (f != c && !U_IS_SURROGATE(c)) both("x" + utf8(c) + "y", true, {utf8(f)}, 1);
    }
    // Bodies of pieces that fold to other lengths, stray bytes, marks that join characters.
    const std::vector<std::string> pieces = {"가",     "나",           "회의",     "漢",     "A",      "a",
                                             "k",      "\u212A",       "\u023A",   "\u017F", "s",      "\xff",
                                             "\x80",   "\xed\xa0\x80", "\xea\xb0", "\u0301", "\u200D", "\U0001F600",
                                             "\u0130", "\u00DF",       " ",        ". ",     "1",      "-",
                                             "\n"};
    const std::vector<std::string> terms = {"가", "가나", "회의", "漢", "나 ", "1", ". 가", "-1", "의가"};
    std::mt19937 random(7);
    for (int k = 0; k < 20000; ++k) {
        std::string body;
        for (auto n = random() % 60; n > 0; --n)
            body += pieces[random() % pieces.size()];
        std::vector<std::string> chosen = {terms[random() % terms.size()]};
        if (random() % 2) chosen.push_back(terms[random() % terms.size()]);
        const int radius = static_cast<int>(random() % 6);
        both(body, true, chosen, radius);
        both(body.substr(0, random() % (body.size() + 1)), false, chosen, radius);
    }
}
