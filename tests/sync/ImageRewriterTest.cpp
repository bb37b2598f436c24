#include "sync/ImageRewriter.hpp"

#include <gtest/gtest.h>

using namespace quorvel;
using namespace std::string_literals;

namespace {

const std::string H1(64, 'a');
const std::string H2(64, 'b');

ImageSourceResolution download(std::string url) {
    return ImageSourceDownload{std::move(url)};
}
const ImageSourceResolution keep = ImageSourceKeep{};
const ImageSourceResolution removed = ImageSourceRemove{};

class ImageRewriterTest : public ::testing::Test {
protected:
    ImageRewriter rewriter{"https://docs.example.com"};
    std::string html(std::string_view input, const ImageRewriter::AssetHashes &hashes = {}) {
        return rewriter.rewrite(input, hashes).html;
    }
};

} // namespace

TEST(ImageRewriterOrigin, DerivedFromBaseURLAndComparedByItsParts) {
    const std::pair<const char *, const char *> origins[] = {
        {"http://127.0.0.1:8787/some/path", "http://127.0.0.1:8787"},
        {"HTTPS://Docs.Example.COM:443", "https://docs.example.com"},
        {"http://h", "http://h"},
        {"https://h:80", "https://h:80"},
        {"http://[::1]:9000/", "http://[::1]:9000"},
        {"not a url", "https://"}, // no host, so root-relative sources have nowhere to point
    };
    for (const auto &[base, origin] : origins)
        EXPECT_EQ(ImageRewriter(base).originString(), origin) << base;

    ImageRewriter r("http://127.0.0.1:8787");
    EXPECT_TRUE(r.isSameOrigin("HTTP://127.0.0.1:8787/x.png"));
    for (const char *other :
         {"http://127.0.0.1/x.png", "https://127.0.0.1:8787/x.png", "http://localhost:8787/x.png", "garbage"})
        EXPECT_FALSE(r.isSameOrigin(other)) << other;
    ImageRewriter s("https://Example.com");
    EXPECT_TRUE(s.isSameOrigin("https://EXAMPLE.com:443/a"));
    EXPECT_FALSE(s.isSameOrigin("https://example.com:8443/a"));
}

TEST(ImageRewriterHosts, PrivateHosts) {
    for (auto host : {"LOCALHOST", "a.localhost", "printer.local", "db.internal", "nas.lan", "localhost.", "10.0.0.1",
                      "127.0.0.1", "0.0.0.0", "172.31.255.255", "192.168.1.1"})
        EXPECT_TRUE(ImageRewriter::isPrivateHost(host)) << host;
    for (auto host : {"169.254.1.1", "100.64.0.1", "224.0.0.1", "[::1]", "::", "fd12:3456::1", "[FE80::1]",
                      "::ffff:127.0.0.1", "0::1", "0:0:0:0:0:ffff:7f00:1", "febf::1"})
        EXPECT_TRUE(ImageRewriter::isPrivateHost(host)) << host;
    for (auto host : {"localhost.example.com", "local", "8.8.8.8", "172.15.0.1", "172.32.0.1", "100.63.0.1",
                      "100.128.0.1", "169.253.1.1", "192.167.1.1", "223.255.255.255", "2001:db8::1", "1.2.3",
                      "1.2.3.4.5", "256.1.1.1", "1.2.3.x", "", "fec0::1"})
        EXPECT_FALSE(ImageRewriter::isPrivateHost(host)) << host;
}

TEST(ImageRewriterNormalize, EncodesAndParses) {
    EXPECT_EQ(ImageRewriter::normalize("https://h/a b.png"), "https://h/a%20b.png");
    EXPECT_EQ(ImageRewriter::normalize("https://h/a%20b.png"), "https://h/a%20b.png");
    EXPECT_EQ(ImageRewriter::normalize("https://h/x.png?a=1&b=[2]#f"), "https://h/x.png?a=1&b=[2]#f");
    EXPECT_EQ(ImageRewriter::normalize("https://h/\"<>\\^`{|}"), "https://h/%22%3C%3E%5C%5E%60%7B%7C%7D");
    // Letters of other scripts leave the parser as percent-encoded UTF-8; host names as punycode.
    EXPECT_EQ(ImageRewriter::normalize("https://h/사진.png"), "https://h/%EC%82%AC%EC%A7%84.png");
    EXPECT_EQ(ImageRewriter::normalize("https://bücher.example/x"), "https://xn--bcher-kva.example/x");
    EXPECT_EQ(ImageRewriter::normalize("https://h/a/../b"), "https://h/b");
    // Escapes in host names are decoded by the parser; a decoded control character is no host.
    for (auto url : {"https://h%7Fx/a", "https://h%20x/a", "https://h:99999/", "https://[fe80::1%25eth0]/a", "http://",
                     "https://h\xff/"})
        EXPECT_FALSE(ImageRewriter::normalize(url)) << url;
    // What comes out reads the same when read again, so one image is never keyed two ways.
    for (auto url : {"https://%38", "https://%E2%91%A0/x", "https://%2541/", "https://0x%37f.1/"}) {
        const auto once = ImageRewriter::normalize(url);
        ASSERT_TRUE(once) << url;
        EXPECT_EQ(ImageRewriter::normalize(*once), once) << url;
    }
    EXPECT_EQ(ImageRewriter::normalize("https://%38"), "https://0.0.0.8/");
}

TEST_F(ImageRewriterTest, ClassifyResolvesAgainstTheOriginKeepsLocalSourcesAndDropsTheRest) {
    const std::pair<std::string, ImageSourceResolution> cases[] = {
        {"/img/a.png", download("https://docs.example.com/img/a.png")},
        {"//cdn.example.net/a.png", download("https://cdn.example.net/a.png")},
        {"  https://cdn.example.net/a.png\n\t", download("https://cdn.example.net/a.png")},
        {"\u00A0\u200Bhttps://cdn.example.net/a.png\u3000", download("https://cdn.example.net/a.png")},
        {"HTTPS://CDN.example.net/A.png", download("https://CDN.example.net/A.png")},
        {"data:image/png;base64,AAAA", keep},
        {" DATA:image/gif,x", keep},
        {"quorvel-asset://" + H1, keep},
        {"quorvel-asset://missing", keep},
        {"QUORVEL-ASSET://missing", keep},
        // Kept as written, with the ASCII whitespace and C0 controls a browser strips around it.
        {"\t\n\r\f\x01\x1f data:image/gif,x \x01", keep},
    };
    for (const auto &[src, expected] : cases)
        EXPECT_EQ(rewriter.classify(src), expected) << src;
    // Relative sources, other schemes, plain http and private hosts; local sources behind anything
    // but ASCII whitespace and C0 controls (a NUL reads as U+FFFD) are relative URLs to a browser.
    for (auto src : {"http://cdn.example.net/a.png", "https://localhost/a.png", "https://10.1.2.3/a.png",
                     "https://172.20.0.1/a.png", "https://192.168.0.10/a.png", "https://169.254.169.254/latest",
                     "https://100.100.0.1/a", "https://127.0.0.1/a", "https://0.0.0.0/a", "https://239.1.1.1/a",
                     "https://[::1]/a", "https://[fd00::5]/a", "https://[fe80::1]/a", "https://127.1/a",
                     "https://2130706433/a", "https://0x7f.0.0.1/a", "https://%6c%6fcalhost/a", "https://nas.local/a",
                     "//localhost./a", "img/a.png", "../a.png", "/\\evil.example/a.png", "javascript:alert(1)",
                     "file:///etc/passwd", "ftp://h/a.png", "", " \t\r\n", "https://", "quorvel-asset:x",
                     // Numeric hosts behind escapes, which the parser decodes after its number reading.
                     "https://%32%31%33%30%37%30%36%34%33%33/a", "//%31%32%37.1/a", "//0x%37f.1/a", "//%38",
                     "\u00A0data:image/gif,x", "\u200Bdata:image/gif,x", "\u3000data:image/gif,x",
                     "\u00A0quorvel-asset://missing"})
        EXPECT_EQ(rewriter.classify(src), removed) << src;
    for (const auto &src : {"\0data:image/gif,x"s, "\0\0 \u00A0\0data:image/gif,x"s, " \0quorvel-asset://"s + H1})
        EXPECT_EQ(rewriter.classify(src), removed) << src;
    EXPECT_EQ(html("<img src=\"&nbsp;data:image/gif,x\"><img src=\"&#x85;data:,\">"), "<img><img>");
}

TEST(ImageRewriterClassify, PlainHTTPOnAnHTTPOrigin) {
    ImageRewriter local("http://127.0.0.1:8787");
    EXPECT_EQ(local.classify("/a.png"), download("http://127.0.0.1:8787/a.png"));
    EXPECT_EQ(local.classify("http://127.0.0.1:8787/a.png"), download("http://127.0.0.1:8787/a.png"));
    EXPECT_EQ(local.classify("http://127.0.0.1:9999/a.png"), removed);
    EXPECT_EQ(local.classify("http://other.example/a.png"), removed);
    // Without a base host, root-relative sources have nowhere to point.
    EXPECT_EQ(ImageRewriter("").classify("/evil.example/a.png"), removed);
}

TEST_F(ImageRewriterTest, ImgSourcesBecomeAssetsAndEachImageIsListedOnce) {
    const auto result = rewriter.rewrite("<p><img alt=x src='/a.png'></p><IMG SRC=\"https://cdn.example.net/b.png\">"
                                         "<img src=/c.png><img src=\"/a.png\"><img src=/c.png>",
                                         {{"https://docs.example.com/a.png", H1}});
    const std::string a = "\"quorvel-asset://" + H1 + "\"", missing = "\"quorvel-asset://missing\"";
    EXPECT_EQ(result.html, "<p><img alt=x src=" + a + "></p><IMG src=" + missing + "><img src=" + missing +
                               "><img src=" + a + "><img src=" + missing + ">");
    EXPECT_EQ(result.downloads,
              (std::vector<std::string>{"https://docs.example.com/a.png", "https://cdn.example.net/b.png",
                                        "https://docs.example.com/c.png"}));
    EXPECT_EQ(result.missing,
              (std::vector<std::string>{"https://cdn.example.net/b.png", "https://docs.example.com/c.png"}));
}

TEST_F(ImageRewriterTest, StyleElements) {
    const std::string doc = "<style>@import url(\"https://fonts.example/x.css\");\n"
                            "@IMPORT\n  url(a.css);\n"
                            ".a { background-image: URL( '//cdn.example.net/a.png' ) }\n"
                            ".b { background: url(data:image/png;base64,AA==) }</style><p>";
    EXPECT_EQ(html(doc, {{"https://cdn.example.net/a.png", H2}}),
              "<style>@import none;\n@IMPORT\n  none;\n.a { background-image: url(quorvel-asset://" + H2 +
                  ") }\n.b { background: url(data:image/png;base64,AA==) }</style><p>");
}

// What a style sheet parser reads as an image or style sheet to load, and what it does not.
TEST_F(ImageRewriterTest, CSSScannerRules) {
    const auto css = [&](std::string_view sheet) { return html("<style>" + std::string(sheet) + "").substr(7); };
    const struct {
        const char *sheet;
        const char *expected;
    } cases[] = {
        // Comments hide references; an unterminated one ends the scan.
        {"/* url(/a.png) */ b{}", "/* url(/a.png) */ b{}"},
        {"a{background:url(x.png)} /* url(/a.png)", "a{background:none} /* url(/a.png)"},
        // Only a "url" that is not the tail of a longer word.
        {"a{x:myurl(x.png);y:-url(x);z:_url(x)}", "a{x:myurl(x.png);y:-url(x);z:_url(x)}"},
        // Non-ASCII characters continue a name, and so do stray bytes, before and after repair.
        {"a{x:\u00E9url(x.png)}", "a{x:\u00E9url(x.png)}"},
        {"a{x:\\\x94\x94url(x.png)}", "a{x:\\\uFFFD\uFFFDurl(x.png)}"},
        {"a{x:\\\uFFFD\uFFFDurl(x.png)}", "a{x:\\\uFFFD\uFFFDurl(x.png)}"},
        {"a{x:(url(x.png))}", "a{x:(none)}"},
        // What replaces a reference never runs into a name or "(" right after it.
        {"a{x:url()url(data:x)}", "a{x:none/**/url(data:x)}"},
        {"a{x:url()(url(/x.png))}", "a{x:none/**/(url(quorvel-asset://missing))}"},
        {"a{x:url() url(data:x)}", "a{x:none url(data:x)}"},
        // Nested parentheses and escapes in unquoted values; trailing whitespace dropped.
        {"a{b:url( /x(1).png  ) c}", "a{b:url(quorvel-asset://missing) c}"},
        {"a{b:url(/x\\).png)}", "a{b:url(quorvel-asset://missing)}"},
        // Quoted values with escapes; a quoted value not followed by ")" is no reference.
        {"a{b:url('/x\\'.png')}", "a{b:url(quorvel-asset://missing)}"},
        {"a{b:url('/x.png' y)}", "a{b:url('/x.png' y)}"},
        // A kept value that browsers end at its first ")" does not hide what follows.
        {"a{b:url(data:x(y) url(/x.png))}", "a{b:url(data:x(y) url(quorvel-asset://missing))}"},
        {"a{b:url(data:x(y)c)}", "a{b:url(data:x(y)c)}"},
        // A line break inside a quoted value makes it a bad string: no reference, and its
        // quote does not pair with one on a later line.
        {"a{b:url(\"/x.png\n\"/y.png\")}\nc{d:url(\"/z.png\")}",
         "a{b:url(\"/x.png\n\"/y.png\")}\nc{d:url(quorvel-asset://missing)}"},
        // Strings outside references are skipped whole; comment markers inside them mean nothing.
        {"a{content:\"/*\"; background:url(/x.png)}", "a{content:\"/*\"; background:url(quorvel-asset://missing)}"},
        {"a{content:\"url(/x.png)\"}", "a{content:\"url(/x.png)\"}"},
        // An unclosed quote is no string: what follows is still scanned.
        {"a{font-family:Bob's; background:url(/x.png)}",
         "a{font-family:Bob's; background:url(quorvel-asset://missing)}"},
        {"a{b:\\\"; c:url(/x.png) \"}", "a{b:\\\"; c:url(quorvel-asset://missing) \"}"},
        // Names spelt with escapes, the string of an @import, the strings of an image-set().
        {"a{b:\\75 rl(/x.png)}", "a{b:url(quorvel-asset://missing)}"},
        // Line breaks inside a replaced reference stay after it.
        {"a{b:\\000055\r\nRL(/x.png)}", "a{b:url(quorvel-asset://missing)\r\n}"},
        {"a{b:u\\rl('https://evil.example/x.png')}", "a{b:url(quorvel-asset://missing)}"},
        {"a{b:u\\72 l(http://evil.example/x.png)}", "a{b:none}"},
        {"a{b:x\\75 rl(/x.png)}", "a{b:x\\75 rl(/x.png)}"},
        {"a{b:\\\\url(/x.png)}", "a{b:\\\\url(/x.png)}"},
        {"@import 'https://fonts.example/x.css';", "@import none;"},
        {"@\\69mport/**/\"x.css\" screen;", "@\\69mport/**/none screen;"},
        {"@import url(a.css) 'b';", "@import none 'b';"},
        {"a{content:'https://x.example/'}", "a{content:'https://x.example/'}"},
        {"a{b:image-set('/x.png' 1x, \"http://evil.example/y.png\" 2x)}",
         "a{b:image-set(url(quorvel-asset://missing) 1x, none 2x)}"},
        {"a{b:-webkit-image-set(url('/x.png') 1x, '/y.png' type('image/png'))}",
         "a{b:-webkit-image-set(url(quorvel-asset://missing) 1x, url(quorvel-asset://missing) type('image/png'))}"},
        {"a{b:image-set('data:image/png,x' 1x)}", "a{b:image-set('data:image/png,x' 1x)}"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(css(c.sheet), c.expected) << c.sheet;
}

TEST_F(ImageRewriterTest, NoImagesMeansIdenticalBytes) {
    const std::string doc = "<!DOCTYPE html><html><head><title>T</title><style>p { color: red }</style>"
                            "<script>var s = '<img src=/x.png>';</script></head><body><!-- <img src=/y.png> -->"
                            "<p class='a' style=\"margin: 0\">Hello &amp; 안녕 <b>bold</b><br/></p></body></html>";
    const auto result = rewriter.rewrite(doc, {});
    EXPECT_EQ(result.html, doc);
    EXPECT_TRUE(result.downloads.empty());
    EXPECT_TRUE(result.missing.empty());
}

TEST_F(ImageRewriterTest, RewritingTwiceChangesNothingMore) {
    const std::string doc = "<img src=/a.png srcset='/a2.png 2x'><img src=https://cdn.example.net/b.png>"
                            "<div style=\"background:url('/c.png')\"></div><img src=x.png>"
                            "<style>@import url(x.css); a{background:url(/d.png)}</style>";
    const ImageRewriter::AssetHashes hashes{{"https://docs.example.com/a.png", H1},
                                            {"https://docs.example.com/c.png", H2}};
    const auto once = rewriter.rewrite(doc, hashes);
    const auto twice = rewriter.rewrite(once.html, hashes);
    EXPECT_EQ(twice.html, once.html);
    EXPECT_TRUE(twice.downloads.empty());
    EXPECT_EQ(once.missing,
              (std::vector<std::string>{"https://cdn.example.net/b.png", "https://docs.example.com/d.png"}));
}

// Whatever an attribute, a style attribute or a tag would load is rewritten or dropped, and only that.
TEST_F(ImageRewriterTest, AttributesAndTagsKeepOnlyWhatLoadsNothingOrAsAnAsset) {
    const ImageRewriter::AssetHashes hashes{{"https://docs.example.com/a.png?x=1&y=%222%22", H1},
                                            {"https://docs.example.com/bg.png", H1}};
    const std::pair<std::string, std::string> cases[] = {
        // A removed source takes its whitespace.
        {"<img class=a   src=\"img/x.png\" alt=b>", "<img class=a alt=b>"},
        {"<img src=http://cdn.example.net/x.png>", "<img>"},
        {"<img src>", "<img src>"},
        // What follows a removed attribute without a gap keeps one, so nothing before it runs on.
        {"<img alt=a src=\"/\\x\"title=' src=https://evil.example/t.png '>",
         "<img alt=a title=' src=https://evil.example/t.png '>"},
        {"<img src=\"img/x.png\"=<b>", "<img <b>"},
        {"<img a=b src=\"img/x.png\"/>", "<img a=b />"},
        {"<img a=b srcset=\"x 2x\"c=d>", "<img a=b c=d>"},
        // A stray "=" after the removed attribute goes with it rather than give "a" a value.
        {"<img a src=\"img/x.png\" =b=' src=https://evil.example/t.png '>",
         "<img a b=' src=https://evil.example/t.png '>"},
        {"<img a src=\"img/x.png\"= = b>", "<img a b>"},
        // srcset always goes, on image elements only.
        {"<picture><source media=x srcset=\"/a.png 1x, /b.png 2x\"><img src=data:x srcset='/c.png 2x' alt=y></picture>",
         "<picture><source media=x><img src=data:x alt=y></picture>"},
        {"<div srcset=x></div>", "<div srcset=x></div>"},
        // Style attributes.
        {"<div style='background: url(\"/bg.png\") no-repeat; color: red'>x</div>",
         "<div style=\"background: url(quorvel-asset://" + H1 + ") no-repeat; color: red\">x</div>"},
        {"<p style='background:url(img/x.png)'>", "<p style=\"background:none\">"},
        {"<p style='color: red; font-family: \"A&amp;B\"'>", "<p style='color: red; font-family: \"A&amp;B\"'>"},
        {"<p style=\"background:url(&quot;http://x.example/a&quot;);content:'<'\">",
         "<p style=\"background:none;content:'&lt;'\">"},
        // Browsers load a url() that the end of the style sheet cuts off.
        {"<p style='background:url(https://cdn.example.net/a.png'>",
         "<p style=\"background:url(quorvel-asset://missing)\">"},
        {"<p style='background:url(\"http://x.example/a.png'>", "<p style=\"background:none\">"},
        {"<style>a{b:url(  ", "<style>a{b:none"},
        // A string cut by a line break is dropped whole by a parser, whatever it holds; what follows
        // the break is read again.
        {"<style>a{b:url('/x.png c{d:url(/y(\n)} e{f:url(/z.png)}",
         "<style>a{b:url('/x.png c{d:url(/y(\n)} e{f:url(quorvel-asset://missing)}"},
        {"<p style='background:url('>", "<p style=\"background:none\">"},
        // Tag aliases, entities in values, stray bytes and tags that are not start tags.
        {"<image src=\"https://cdn.example.net/a.png\" srcset=\"x 2x\">", "<image src=\"quorvel-asset://missing\">"},
        {"<img src=\"/a.png?x=1&amp;y=&quot;2&quot;\">", "<img src=\"quorvel-asset://" + H1 + "\">"},
        {"<img src='data:image/png;base64,iVBO&amp;RK' ><img src = \" data:x \">",
         "<img src='data:image/png;base64,iVBO&amp;RK' ><img src = \" data:x \">"},
        {"<p>\xff</p><img src=/a.png>", "<p>\uFFFD</p><img src=\"quorvel-asset://missing\">"},
        {"</img src=/a.png><p><img src=/a.png", "</img src=/a.png><p><img src=/a.png"},
    };
    for (const auto &[doc, expected] : cases)
        EXPECT_EQ(html(doc, hashes), expected) << doc;
}
