#include "html/HTMLText.hpp"

#include <gtest/gtest.h>

#include <set>

using namespace quorvel;
using HTMLText::extract;
using HTMLText::normalize;

TEST(HTMLText, BlockTagsAreTheFortyFourNames) {
    std::set<std::string_view> names(HTMLText::blockTags.begin(), HTMLText::blockTags.end());
    EXPECT_EQ(names.size(), 44u);
    EXPECT_EQ(HTMLText::blockTags.front(), "p");
    EXPECT_EQ(HTMLText::blockTags.back(), "label");
    for (auto name : {"blockquote", "figcaption", "td", "br", "label"})
        EXPECT_TRUE(HTMLText::isBlockTag(name));
    for (auto name : {"b", "span", "a", "img", "", "P", "script"})
        EXPECT_FALSE(HTMLText::isBlockTag(name));
}

TEST(HTMLText, NothingButMarkupGivesEmptyText) {
    EXPECT_EQ(extract(""), "");
    EXPECT_EQ(extract("<!DOCTYPE html><html><head><script>var x = 1;</script><style>p{}</style></head>"
                      "<body><!-- hidden --><img src=a alt='not text'></body></html>"),
              "");
}

TEST(HTMLText, BlockTagsSeparateInlineTagsJoin) {
    EXPECT_EQ(extract("<p>one</p><p>two</p>"), "one two");
    EXPECT_EQ(extract("one<br>two<br/>three"), "one two three");
    EXPECT_EQ(extract("<p>in<b>line</b>word</p>"), "inlineword");
    EXPECT_EQ(extract("<ul><li>a<li>b</ul><table><tr><td>c</td><td>d</td></tr></table>"), "a b c d");
    EXPECT_EQ(extract("<TD>x</Td><TD>y"), "x y");
}

TEST(HTMLText, ScriptAndStyleNeverAppear) {
    const std::string text = extract("<p>visible</p><script>document.write('<p>secret</p>')</script>"
                                     "<style>.secret{}</style><SCRIPT type=x>secret</SCRIPT>tail");
    EXPECT_EQ(text, "visible tail");
    EXPECT_EQ(extract("a<script>unclosed <p>secret"), "a");
}

TEST(HTMLText, ReferencesDecodedOnce) {
    EXPECT_EQ(extract("a&nbsp;b"), "a b");
    EXPECT_EQ(extract("1 &lt; 2 &amp;lt;"), "1 < 2 &lt;");
    EXPECT_EQ(extract("caf&#xE9;"), "caf\u00E9");
}

TEST(HTMLText, UnclosedTagIsText) {
    EXPECT_EQ(extract("<p>a</p><img src=\"x"), "a <img src=\"x");
}

TEST(HTMLText, WhitespaceCollapses) {
    EXPECT_EQ(normalize(" \t a\u00A0\u00A0b\u3000c\r\nd\u2028e\u2003f\u200Ag\f "), "a b c d e f g");
    EXPECT_EQ(normalize("\n\n"), "");
    EXPECT_EQ(normalize(""), "");
}

TEST(HTMLText, InvisibleCharactersVanishWithoutSplitting) {
    EXPECT_EQ(normalize("wo\u200Brd jo\u200Din\u200Ced \uFEFFbom\x7F\x01\x0B"), "word joined bom");
    EXPECT_EQ(normalize("a\u0085b"), "ab");
    // A dropped character between spaces does not keep them apart.
    EXPECT_EQ(normalize("a \u200B b"), "a b");
    EXPECT_EQ(normalize("\u200B a"), "a");
}

TEST(HTMLText, ComposesToNFC) {
    EXPECT_EQ(normalize("e\u0301"), "\u00E9");
    EXPECT_EQ(normalize("\u1112\u1161\u11AB\u1100\u1173\u11AF"), "\uD55C\uAE00"); // 한글 from jamo
    EXPECT_EQ(extract("<p>\u1112\u1161\u11AB</p>"), "\uD55C");
    EXPECT_EQ(normalize("\u212B"), "\u00C5"); // singleton decomposition
}

TEST(HTMLText, InvalidUTF8BecomesReplacement) {
    EXPECT_EQ(normalize("a\xff b"), "a\uFFFD b");
    EXPECT_EQ(normalize("\xe2\x82"), "\uFFFD");
    EXPECT_EQ(extract("<p>\xc3</p>x"), "\uFFFD x");
}
