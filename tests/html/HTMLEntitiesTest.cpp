#include "html/HTMLEntities.hpp"

#include <gtest/gtest.h>

#include <set>

using namespace quorvel;
using HTMLEntities::decode;

TEST(HTMLEntities, TableHasFortyDistinctNames) {
    std::set<std::string_view> names;
    for (const auto &ref : HTMLEntities::named)
        names.insert(ref.name);
    EXPECT_EQ(names.size(), 40u);
    EXPECT_EQ(HTMLEntities::resolve("nbsp"), U'\u00A0');
    EXPECT_EQ(HTMLEntities::resolve("zwj"), U'\u200D');
    EXPECT_EQ(HTMLEntities::resolve("frac12"), U'\u00BD');
}

TEST(HTMLEntities, NamedReferences) {
    EXPECT_EQ(decode("a &amp; b &lt;c&gt; &quot;q&quot; &apos;"), "a & b <c> \"q\" '");
    EXPECT_EQ(decode("&copy;&hellip;&euro;&nbsp;"), "\u00A9\u2026\u20AC\u00A0");
    // Names are case-sensitive and limited to the table.
    EXPECT_EQ(decode("&AMP; &Lt; &eacute; &notin;"), "&AMP; &Lt; &eacute; &notin;");
}

TEST(HTMLEntities, OneLevelOnly) {
    EXPECT_EQ(decode("&amp;lt;"), "&lt;");
    EXPECT_EQ(decode("&&amp;;"), "&&;");
}

TEST(HTMLEntities, NumericReferences) {
    EXPECT_EQ(decode("&#65;&#x42;&#X43;&#x1F600;"), "ABC\U0001F600");
    EXPECT_EQ(decode("&#xAC00;&#xac01;"), "\uAC00\uAC01");
    EXPECT_EQ(decode("&#000000065;"), "A");              // ten bytes of name
    EXPECT_EQ(decode("&#0000000065;"), "&#0000000065;"); // eleven
    EXPECT_EQ(decode("&#x10FFFF;"), "\U0010FFFF");
    EXPECT_EQ(decode(std::string_view("&#0;")), std::string("\0", 1));
}

TEST(HTMLEntities, ReferencesThatStayAsWritten) {
    for (const char *kept :
         {"&#xD800;", "&#xdfff;", "&#x110000;", "&#4294967296;", "&#x100000000;", "&#;", "&#x;", "&;", "&bogus;",
          "&#00000000065;", "&#12a;", "&#xG;", "&#-1;", "&#+1;", "& amp;", "&amp", "&", "&#", "&#x"}) {
        EXPECT_EQ(decode(kept), kept) << kept;
    }
    EXPECT_EQ(decode("&#4294967295;"), "&#4294967295;"); // fits 32 bits, beyond Unicode
}

TEST(HTMLEntities, SemicolonWindowIsElevenBytes) {
    // The first ";" within reach decides; a later one is never looked at.
    EXPECT_EQ(decode("&amp-------;"), "&amp-------;");
    EXPECT_EQ(decode("&lt;&gt;x&amp;"), "<>x&");
    EXPECT_EQ(decode("&lt&gt;"), "&lt>");
}

TEST(HTMLEntities, InvalidUTF8PassesThrough) {
    EXPECT_EQ(decode("\xff&amp;\xfe"), "\xff&\xfe");
}

TEST(HTMLEntities, EncodeAttribute) {
    EXPECT_EQ(HTMLEntities::encodeAttribute("say \"hi\" & <b> it's"), "say &quot;hi&quot; &amp; &lt;b&gt; it's");
    EXPECT_EQ(HTMLEntities::encodeAttribute("한글 \xff"), "한글 \xff");
    EXPECT_EQ(decode(HTMLEntities::encodeAttribute("a&lt;\"b\"")), "a&lt;\"b\"");
}
