#include "html/HTMLText.hpp"

#include <gtest/gtest.h>

using namespace quorvel;
using HTMLText::extract;
using HTMLText::normalize;

TEST(HTMLText, BlockTags) {
    for (auto name : {"p", "blockquote", "figcaption", "td", "br", "label"})
        EXPECT_TRUE(HTMLText::isBlockTag(name)) << name;
    for (auto name : {"b", "span", "a", "img", "", "P", "script"})
        EXPECT_FALSE(HTMLText::isBlockTag(name)) << name;
}

TEST(HTMLText, Extract) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"<!DOCTYPE html><html><head><script>var x = 1;</script><style>p{}</style></head>"
         "<body><!-- hidden --><img src=a alt='not text'></body></html>",
         ""},
        {"<p>one</p><p>two</p>", "one two"},
        {"one<br>two<br/>three", "one two three"},
        {"<p>in<b>line</b>word</p>", "inlineword"},
        {"<ul><li>a<li>b</ul><table><tr><td>c</td><td>d</td></tr></table>", "a b c d"},
        {"<TD>x</Td><TD>y", "x y"},
        {"<p>visible</p><script>document.write('<p>secret</p>')</script>"
         "<style>.secret{}</style><SCRIPT type=x>secret</SCRIPT>tail",
         "visible tail"},
        {"a<script>unclosed <p>secret", "a"},
        // References are decoded once.
        {"a&nbsp;b", "a b"},
        {"1 &lt; 2 &amp;lt;", "1 < 2 &lt;"},
        {"caf&#xE9;", "caf\u00E9"},
        {"<p>a</p><img src=\"x", "a <img src=\"x"},
        {"<p>\u1112\u1161\u11AB</p>", "\uD55C"},
        {"<p>\xc3</p>x", "\uFFFD x"},
    };
    for (const auto &[html, text] : cases)
        EXPECT_EQ(extract(html), text) << html;
}

TEST(HTMLText, Normalize) {
    const std::pair<std::string, std::string> cases[] = {
        // White space collapses.
        {" \t a\u00A0\u00A0b\u3000c\r\nd\u2028e\u2003f\u200Ag\f ", "a b c d e f g"},
        {"\n\n", ""},
        {"", ""},
        // Invisible characters vanish without splitting or keeping spaces apart.
        {"wo\u200Brd jo\u200Din\u200Ced \uFEFFbom\x7F\x01\x0B", "word joined bom"},
        {"a\u0085b", "ab"},
        {"a \u200B b", "a b"},
        {"\u200B a", "a"},
        // NFC, and replacement characters for what is not UTF-8.
        {"e\u0301", "\u00E9"},
        {"\u1112\u1161\u11AB\u1100\u1173\u11AF", "\uD55C\uAE00"},
        {"\u212B", "\u00C5"},
        {"a\xff b", "a\uFFFD b"},
        {"\xe2\x82", "\uFFFD"},
    };
    for (const auto &[text, normalized] : cases)
        EXPECT_EQ(normalize(text), normalized) << text;
}
