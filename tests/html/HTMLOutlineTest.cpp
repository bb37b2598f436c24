#include "html/HTMLOutline.hpp"

#include <gtest/gtest.h>

using namespace quorvel;

namespace {

// "level text #anchor" for each heading, "+" after an anchor that is written in, joined by " | ".
std::string summary(const std::vector<HTMLHeading> &headings) {
    std::string out;
    for (const auto &h : headings) {
        if (!out.empty()) out += " | ";
        out += std::to_string(h.level) + " " + h.text + " #" + h.anchor + (h.anchorAt ? "+" : "");
    }
    return out;
}

} // namespace

TEST(HTMLOutline, Headings) {
    const std::pair<std::string, std::string> cases[] = {
        {"<h1>제목</h1><p>x</p><h2 id=\"a\">둘</h2><h4>넷</h4><H3 class=x>셋 <b>굵게</b>&amp;</H3>",
         "1 제목 #quorvel-heading-1+ | 2 둘 #a | 3 셋 굵게& #quorvel-heading-3+"},
        // An id an element before holds, an empty one and one without a value are not the heading's.
        {"<p id=s></p><h2 id=\"s\">A</h2><h2 id=\"\">B</h2><h2 id>C</h2><h2 id='a&amp;b'>D</h2>",
         "2 A #quorvel-heading-1+ | 2 B #quorvel-heading-2+ | 2 C #quorvel-heading-3+ | 2 D #a&b"},
        {"<p id=\"quorvel-heading-1\"></p><i id=quorvel-heading-1-2></i><h1>A</h1><h1 id=quorvel-heading-2>B</h1>",
         "1 A #quorvel-heading-1-3+ | 1 B #quorvel-heading-2"},
        {"<!--<h2>c</h2>--><script><h2>s</h2></script><textarea><h2>t</h2></textarea><title><h1>t</h1></title>"
         "<xmp><h2>x</h2></xmp><template><h2>x</h2><p id=t></p></template><svg><h2>s</h2></svg><math><h3>m</h3>"
         "</math><h2 hidden>h</h2><h2> </h2><h2><img alt=x></h2><noscript><h2 id=t>shown</h2></noscript>",
         "2 shown #t"},
        // A heading ends at its end tag, the next heading, or the end of a block around it.
        {"<h1>A<p>B</p>C</h1><div><h2>D</div>E<h2>F<h3>G</h2>H", "1 A B #quorvel-heading-1+ | "
                                                                 "2 D #quorvel-heading-2+ | 2 F #quorvel-heading-3+ | "
                                                                 "3 G #quorvel-heading-4+"},
        {"<h2>before</h2><plaintext><h2>x</h2>", "2 before #quorvel-heading-1+"},
        {"<h1>open to the end", "1 open to the end #quorvel-heading-1+"},
    };
    for (const auto &[html, expected] : cases)
        EXPECT_EQ(summary(HTMLOutline::read(html)), expected) << html;
}

TEST(HTMLOutline, LongHeadingsAreCutOnACharacter) {
    const auto headings =
        HTMLOutline::read("<h1>" + std::string(5000, 'a') + "</h1><h2>" + std::string(4095, 'b') + "가가</h2>");
    ASSERT_EQ(headings.size(), 2u);
    EXPECT_EQ(headings[0].text, std::string(4096, 'a'));
    EXPECT_EQ(headings[1].text, std::string(4095, 'b'));
}

TEST(HTMLOutline, IdsAreWrittenFirstInTheTag) {
    const std::string html = "<H2/class=x>A</H2><h2 id=s>B</h2><p id=s><h3 id=s>C</h3><h3>";
    std::string out = "<";
    HTMLOutline::appendAnchored(out, html, HTMLOutline::read(html));
    EXPECT_EQ(out, "<<H2 id=\"quorvel-heading-1\"/class=x>A</H2><h2 id=s>B</h2><p id=s>"
                   "<h3 id=\"quorvel-heading-3\" id=s>C</h3><h3>");
}
