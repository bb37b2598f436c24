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

// The first tag as name start-end, then each attribute as name@leadingStart,start,end=value.
std::string describeTag(std::string_view html) {
    const HTMLTag tag = onlyTag(html);
    std::string out = std::string(tag.isEnd ? "/" : "") + tag.name + (tag.selfClosing ? "/ " : " ") +
                      std::to_string(tag.start) + "-" + std::to_string(tag.end) + ":";
    for (const auto &a : tag.attrs) {
        out += " " + a.name + "@" + std::to_string(a.leadingStart) + "," + std::to_string(a.start) + "," +
               std::to_string(a.end);
        if (a.valueRange) out += "=" + slice(html, *a.valueRange);
    }
    return out;
}

TEST(HTMLTokenizer, TagsAndTheirAttributes) {
    const std::string gaps = "<a  href=x  title = \"t t\" checked\tdata-x='1'>";
    const std::pair<std::string, std::string> cases[] = {
        {"<IMG SRC='Pic.PNG'>", "img 0-19: src@4,5,18=Pic.PNG"},
        {"<a title='1 > 0'>", "a 0-17: title@2,3,16=1 > 0"},
        // Each attribute's gap is its own: erasing leadingStart..end removes it and leaves a sound tag.
        {gaps, "a 0-45: href@2,4,10=x title@10,12,25=t t checked@25,26,33 data-x@33,34,44=1"},
        // After "=" white space is skipped, so b="" is the value of the first a.
        {"<x a= b=\"\" a=2>", "x 0-15: a@2,3,10=b=\"\" a@10,11,14=2"},
        {"<x a=>", "x 0-6: a@2,3,5="},
        {"<input / disabled>", "input 0-18: disabled@8,9,17"}, // the "/" is skipped, not self-closing
        {"<p \"=a 'b>", "p 0-10: a@5,5,6 b@8,8,9"},
        {std::string("a\0<b \xff=\xfe>", 9), "b 2-9: \xff@4,5,8=\xfe"},
        {"</DIV >", "/div 0-7:"},
    };
    for (const auto &[html, expected] : cases)
        EXPECT_EQ(describeTag(html), expected) << html;
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
