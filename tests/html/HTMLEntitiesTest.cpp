#include "html/HTMLEntities.hpp"

#include <gtest/gtest.h>

using namespace quorvel;
using HTMLEntities::decode;

TEST(HTMLEntities, DecodesOneLevelOfKnownReferences) {
    const std::pair<std::string, std::string> cases[] = {
        {"a &amp; b &lt;c&gt; &quot;q&quot; &apos;", "a & b <c> \"q\" '"},
        {"&copy;&hellip;&euro;&nbsp;&frac12;&zwj;", "\u00A9\u2026\u20AC\u00A0\u00BD\u200D"},
        {"&amp;lt;", "&lt;"},
        {"&&amp;;", "&&;"},
        {"&#65;&#x42;&#X43;&#x1F600;", "ABC\U0001F600"},
        {"&#xAC00;&#xac01;", "\uAC00\uAC01"},
        {"&#000000065;", "A"}, // ten bytes of name
        {"&#x10FFFF;", "\U0010FFFF"},
        {"&#0;", std::string("\0", 1)},
        // The first ";" within reach decides.
        {"&lt;&gt;x&amp;", "<>x&"},
        {"&lt&gt;", "&lt>"},
        {"\xff&amp;\xfe", "\xff&\xfe"},
    };
    for (const auto &[html, text] : cases)
        EXPECT_EQ(decode(html), text) << html;
}

TEST(HTMLEntities, ReferencesThatStayAsWritten) {
    // Names are case-sensitive and limited to the table; numbers must be scalar values; a ";" past
    // eleven bytes is never looked at.
    for (const char *kept : {"&AMP;",      "&Lt;",          "&eacute;",      "&notin;",        "&#xD800;", "&#xdfff;",
                             "&#x110000;", "&#4294967295;", "&#4294967296;", "&#x100000000;",  "&#;",      "&#x;",
                             "&;",         "&bogus;",       "&#0000000065;", "&#00000000065;", "&#12a;",   "&#xG;",
                             "&#-1;",      "&#+1;",         "& amp;",        "&amp",           "&",        "&#",
                             "&#x",        "&amp-------;"}) {
        EXPECT_EQ(decode(kept), kept) << kept;
    }
}

TEST(HTMLEntities, EncodeAttribute) {
    EXPECT_EQ(HTMLEntities::encodeAttribute("say \"hi\" & <b> it's"), "say &quot;hi&quot; &amp; &lt;b&gt; it's");
    EXPECT_EQ(HTMLEntities::encodeAttribute("한글 \xff"), "한글 \xff");
    EXPECT_EQ(decode(HTMLEntities::encodeAttribute("a&lt;\"b\"")), "a&lt;\"b\"");
}
