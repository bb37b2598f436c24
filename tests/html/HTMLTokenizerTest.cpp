#include "html/HTMLTokenizer.hpp"
#include "support/HTMLContentChecks.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace quorvel;

namespace {

std::vector<HTMLToken> tokens(std::string_view html) {
    std::vector<HTMLToken> out;
    HTMLTokenizer::tokenize(html, [&](const HTMLToken &t) { out.push_back(t); });
    // Every test doubles as a check that the tokens tile the input.
    auto gap = checks::tokenCoverage(html);
    EXPECT_FALSE(gap) << *gap << " in " << html;
    return out;
}

std::string slice(std::string_view html, ByteRange r) {
    return std::string(html.substr(r.start, r.size()));
}

// Compact description of a token stream: T(text) M(markup) <tag> R(name:raw).
std::string describe(std::string_view html) {
    std::string out;
    for (const auto &t : tokens(html)) {
        if (auto *x = std::get_if<HTMLTextToken>(&t)) out += "T(" + slice(html, x->range) + ")";
        if (auto *m = std::get_if<HTMLMarkupToken>(&t)) out += "M(" + slice(html, m->range) + ")";
        if (auto *r = std::get_if<HTMLRawTextToken>(&t)) out += "R(" + r->name + ":" + slice(html, r->range) + ")";
        if (auto *g = std::get_if<HTMLTag>(&t)) {
            out += std::string(g->isEnd ? "</" : "<") + g->name + (g->selfClosing ? "/>" : ">");
        }
    }
    return out;
}

HTMLTag onlyTag(std::string_view html) {
    auto all = tokens(html);
    for (const auto &t : all) {
        if (auto *g = std::get_if<HTMLTag>(&t)) return *g;
    }
    ADD_FAILURE() << "no tag in " << html;
    return {};
}

} // namespace

TEST(HTMLTokenizer, TokenStreams) {
    const std::pair<std::string, std::string> cases[] = {
        // "<" that does not start a tag is text.
        {"a < b <3 c<", "T(a < b <3 c<)"},
        {"x </ y> </>", "T(x </ y> </>)"},
        {"<", "T(<)"},
        {"", ""},
        {"<!DOCTYPE html><p>Hi <b>there</b></p><!-- c --><?xml x?>end",
         "M(<!DOCTYPE html>)<p>T(Hi )<b>T(there)</b></p>M(<!-- c -->)M(<?xml x?>)T(end)"},
        // An unclosed tag leaves the rest as text.
        {"before <p>x</p> <img src=\"a.png\" alt=x", "T(before )<p>T(x)</p>T( <img src=\"a.png\" alt=x)"},
        {"a<img src=\"x>y", "T(a<img src=\"x>y)"},
        {"<p", "T(<p)"},
        {"</p", "T(</p)"},
        {"<a title='1 > 0' href=\"/x\">k</a>", "<a>T(k)</a>"},
        {"<br/><br /><br><img src=a/>", "<br/><br/><br><img>"}, // an unquoted value swallows the slash
        {std::string("a\0<b \xff=\xfe>\x80", 10), std::string("T(a\0)<b>T(\x80)", 12)},
        // Script and style bodies are raw text, ended where browsers end them.
        {"<script>if (a<b) x='<p>';</SCRIPT>t", "<script>R(script:if (a<b) x='<p>';)</script>T(t)"},
        {"<style media=x>p{}</style >", "<style>R(style:p{})</style>"},
        {"<script></script>", "<script></script>"},
        {"<script/><p>", "<script/><p>"},
        {"<script>never closed <p>", "<script>R(script:never closed <p>)"},
        {"</script><p>", "</script><p>"},
        {"<style>a{}</styled>b{}</style\n>", "<style>R(style:a{}</styled>b{})</style>"},
        {"<script>x</scripts</script/>", "<script>R(script:x</scripts)</script/>"},
        {"<style>x</style", "<style>R(style:x)T(</style)"},
        {"<textarea><b></textarea>", "<textarea><b></textarea>"},
        // Comments and declarations.
        {"<!---->x", "M(<!---->)T(x)"},
        {"<!-- a > b -- c -->x", "M(<!-- a > b -- c -->)T(x)"},
        {"<!-- never", "M(<!-- never)"},
        {"<!doctype html", "M(<!doctype html)"},
        {"<?php echo 1 ?>", "M(<?php echo 1 ?>)"},
        {"<!->x", "M(<!->)T(x)"},
        {"<!-", "M(<!-)"},
        {"<!", "M(<!)"},
        {"<?", "M(<?)"},
        // Browsers close these comments at once; running on would hide the image from the rewriter.
        {"<!--><img src=a>-->", "M(<!-->)<img>T(-->)"},
        {"<!---><img src=a>-->", "M(<!--->)<img>T(-->)"},
        {"<!-- x --!><img src=a>-->", "M(<!-- x --!>)<img>T(-->)"},
        {"<!-- x --! y -->z", "M(<!-- x --! y -->)T(z)"},
    };
    for (const auto &[html, expected] : cases)
        EXPECT_EQ(describe(html), expected) << html;
}

TEST(HTMLTokenizer, AttributeRangesAndGaps) {
    const std::string upper = "<IMG SRC='Pic.PNG'>";
    HTMLTag img = onlyTag(upper);
    EXPECT_EQ(img.name, "img");
    ASSERT_EQ(img.attrs.size(), 1u);
    EXPECT_EQ(img.attrs[0].name, "src");
    EXPECT_EQ(slice(upper, *img.attrs[0].valueRange), "Pic.PNG");
    EXPECT_EQ(img.attrs[0].end, upper.size() - 1);
    EXPECT_EQ(img.end, upper.size());
    EXPECT_EQ(slice("<a title='1 > 0'>", *onlyTag("<a title='1 > 0'>").attrs[0].valueRange), "1 > 0");

    const std::string html = "<a  href=x  title = \"t t\" checked\tdata-x='1'>";
    HTMLTag tag = onlyTag(html);
    ASSERT_EQ(tag.attrs.size(), 4u);
    const auto &href = tag.attrs[0];
    EXPECT_EQ(href.leadingStart, 2u); // just past the name
    EXPECT_EQ(slice(html, {href.start, href.end}), "href=x");
    EXPECT_EQ(slice(html, *href.valueRange), "x");
    const auto &title = tag.attrs[1];
    EXPECT_EQ(title.leadingStart, href.end);
    EXPECT_EQ(slice(html, {title.start, title.end}), "title = \"t t\"");
    EXPECT_EQ(slice(html, *title.valueRange), "t t");
    const auto &checked = tag.attrs[2];
    EXPECT_EQ(slice(html, {checked.leadingStart, checked.end}), " checked");
    EXPECT_FALSE(checked.valueRange);
    EXPECT_EQ(tag.attrs[3].name, "data-x");
    // Removing leadingStart..end of one attribute leaves a well-formed tag.
    std::string removed = html;
    removed.erase(title.leadingStart, title.end - title.leadingStart);
    EXPECT_EQ(removed, "<a  href=x checked\tdata-x='1'>");
}

TEST(HTMLTokenizer, MalformedAttributes) {
    const std::string html = "<x a= b=\"\" a=2>";
    HTMLTag tag = onlyTag(html);
    ASSERT_EQ(tag.attrs.size(), 2u);
    // After "=" whitespace is skipped, so "b=\"\"" becomes the value of a.
    EXPECT_EQ(slice(html, *tag.attrs[0].valueRange), "b=\"\"");
    EXPECT_EQ(tag.attrs[1].name, "a");
    EXPECT_EQ(slice(html, *tag.attrs[1].valueRange), "2");
    HTMLTag empty = onlyTag("<x a=>");
    ASSERT_EQ(empty.attrs.size(), 1u);
    ASSERT_TRUE(empty.attrs[0].valueRange);
    EXPECT_EQ(empty.attrs[0].valueRange->size(), 0u);

    HTMLTag input = onlyTag("<input / disabled>");
    EXPECT_FALSE(input.selfClosing);
    ASSERT_EQ(input.attrs.size(), 1u);
    EXPECT_EQ(input.attrs[0].name, "disabled");
    EXPECT_EQ(input.attrs[0].leadingStart, 8u); // just past the skipped "/"

    HTMLTag stray = onlyTag("<p \"=a 'b>");
    ASSERT_EQ(stray.attrs.size(), 2u);
    EXPECT_EQ(stray.attrs[0].name, "a");
    EXPECT_EQ(stray.attrs[0].leadingStart, 5u);
    EXPECT_EQ(stray.attrs[1].name, "b");
    EXPECT_EQ(stray.attrs[1].leadingStart, 8u);

    EXPECT_EQ(onlyTag(std::string("a\0<b \xff=\xfe>", 9)).attrs[0].name, "\xff");
    HTMLTag end = onlyTag("</DIV >");
    EXPECT_TRUE(end.isEnd);
    EXPECT_EQ(end.name, "div");
}

TEST(HTMLTokenizer, ParseTagDirectly) {
    const std::string html = "xx<a b=c>";
    auto tag = HTMLTokenizer::parseTag(html, 2, 3, false);
    ASSERT_TRUE(tag);
    EXPECT_EQ(tag->start, 2u);
    EXPECT_EQ(tag->end, html.size());
    EXPECT_FALSE(HTMLTokenizer::parseTag(html, 2, html.size() + 5, false));
    EXPECT_FALSE(HTMLTokenizer::parseTag("<a b='c>", 0, 1, false));
}

TEST(HTMLTokenizer, IndexOfCI) {
    using HTMLTokenizer::indexOfCI;
    EXPECT_EQ(indexOfCI("abc</ScRiPt>", "</script", 0), 3u);
    EXPECT_EQ(indexOfCI("</script></script>", "</script", 1), 9u);
    EXPECT_EQ(indexOfCI("xStyle", "style", 0), 1u);
    EXPECT_EQ(indexOfCI("abc", "abc", 0), 0u);
    for (const auto &[needle, from] : {std::pair{"abcd", 0}, {"", 0}, {"a", -1}, {"a", 3}, {"a", 99}})
        EXPECT_FALSE(indexOfCI("abc", needle, from)) << needle << " from " << from;
    // The needle is compared as given: an upper-case needle never matches.
    EXPECT_FALSE(indexOfCI("ABC", "ABC", 0));
}
