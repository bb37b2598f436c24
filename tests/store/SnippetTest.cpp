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
    EXPECT_EQ(LocalStore::parseSnippet("\x01검색\x02 뒤…"), (Segments{{"검색", true}, {" 뒤…", false}}));
    EXPECT_EQ(LocalStore::parseSnippet("…앞 \x01"
                                       "a\x02\x01"
                                       "b\x02"),
              (Segments{{"…앞 ", false}, {"a", true}, {"b", true}}));
    EXPECT_EQ(LocalStore::parseSnippet("\x01\x01x\x02\x02\x02y"), (Segments{{"x", true}, {"y", false}}));
    EXPECT_EQ(LocalStore::parseSnippet("\x01\x02\x01\x02"), Segments{});
    EXPECT_EQ(LocalStore::parseSnippet(""), Segments{});
    // An unclosed hit runs to the end.
    EXPECT_EQ(LocalStore::parseSnippet("a\x01"
                                       "b"),
              (Segments{{"a", false}, {"b", true}}));
}

TEST(MakeSnippet, EmptyBodyOrNoHitGivesTheStartOfTheBody) {
    EXPECT_EQ(LocalStore::makeSnippet("", {"x"}, 40), Segments{});
    std::string body = repeat("가", 100);
    EXPECT_EQ(LocalStore::makeSnippet(body, {"없음"}, 40), (Segments{{repeat("가", 80), false}}));
    EXPECT_EQ(LocalStore::makeSnippet(body, {}, 40), (Segments{{repeat("가", 80), false}}));
    EXPECT_EQ(LocalStore::makeSnippet("짧은 본문", {"없음"}, 40), (Segments{{"짧은 본문", false}}));
}

TEST(MakeSnippet, AHitInTheMiddleGetsRadiusCharactersEachSideAndEllipses) {
    std::string body = repeat("앞", 100) + "찾기" + repeat("뒤", 100);
    auto s = LocalStore::makeSnippet(body, {"찾기"}, 40);
    EXPECT_EQ(
        s,
        (Segments{{"…", false}, {repeat("앞", 40), false}, {"찾기", true}, {repeat("뒤", 40), false}, {"…", false}}));
    // Near the start the window is clamped and there is no leading ellipsis.
    EXPECT_EQ(marked(LocalStore::makeSnippet("ab찾기" + repeat("뒤", 100), {"찾기"}, 40)),
              "ab[찾기]" + repeat("뒤", 40) + "…");
    EXPECT_EQ(marked(LocalStore::makeSnippet("찾기", {"찾기"}, 40)), "[찾기]");
}

TEST(MakeSnippet, TheEarliestWordOpensTheWindowAndEveryHitInsideIsMarked) {
    std::string body = repeat(".", 50) + "beta alpha beta" + repeat(".", 30) + "alpha" + repeat(".", 50);
    auto s = LocalStore::makeSnippet(body, {"alpha", "beta"}, 12);
    EXPECT_EQ(marked(s), "…" + repeat(".", 12) + "[beta] [alpha] [beta]." + "…")
        << "the window is cut around the first hit (beta); the later alpha lies outside";
    // A hit cut by the window's edge is not marked.
    EXPECT_EQ(marked(LocalStore::makeSnippet(body, {"alpha", "beta"}, 10)),
              "…" + repeat(".", 10) + "[beta] [alpha] bet…");
}

TEST(MakeSnippet, OverlappingAndTouchingHitsMerge) {
    EXPECT_EQ(marked(LocalStore::makeSnippet("xabcdx", {"abc", "bcd"}, 40)), "x[abcd]x");
    EXPECT_EQ(marked(LocalStore::makeSnippet("xabcdx", {"ab", "cd"}, 40)), "x[abcd]x");
    EXPECT_EQ(marked(LocalStore::makeSnippet("aaaa", {"aa"}, 40)), "[aaaa]");
}

TEST(MakeSnippet, MatchingIgnoresCaseBeyondASCII) {
    EXPECT_EQ(marked(LocalStore::makeSnippet("Hello WORLD", {"world"}, 40)), "Hello [WORLD]");
    EXPECT_EQ(marked(LocalStore::makeSnippet("ÉCOLE école", {"école"}, 40)), "[ÉCOLE] [école]");
    EXPECT_EQ(marked(LocalStore::makeSnippet("ΣΟΦΊΑ", {"σοφία"}, 40)), "[ΣΟΦΊΑ]");
}

TEST(MakeSnippet, CountsAndMatchesUserPerceivedCharacters) {
    // A decomposed é is one character; the bare "e" inside it is not a hit.
    std::string decomposed = "cafe\u0301 e";
    EXPECT_EQ(marked(LocalStore::makeSnippet(decomposed, {"e"}, 1)), "… [e]");
    // A family emoji is one character of the radius.
    std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467";
    EXPECT_EQ(marked(LocalStore::makeSnippet("ab" + family + "hit" + family + "cd", {"hit"}, 1)),
              "…" + family + "[hit]" + family + "…");
    EXPECT_EQ(marked(LocalStore::makeSnippet(family + family + family, {"zz"}, 1)), family + family);
}

TEST(MakeSnippet, ToleratesOddInput) {
    EXPECT_EQ(marked(LocalStore::makeSnippet("abc", {"", "b"}, 0)), "…[b]…");
    EXPECT_EQ(LocalStore::makeSnippet("abc", {"zz"}, 0), Segments{});
    EXPECT_EQ(marked(LocalStore::makeSnippet("abc", {"b"}, -5)), "…[b]…");
    EXPECT_EQ(marked(LocalStore::makeSnippet("abc", {"b"}, INT32_MAX)), "a[b]c");
    // Invalid UTF-8 passes through and never splits a segment oddly.
    std::string broken = "a\xff\xfe"
                         "b\xc3";
    auto s = LocalStore::makeSnippet(broken, {"b"}, 40);
    EXPECT_EQ(marked(s), "a\xff\xfe[b]\xc3");
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
