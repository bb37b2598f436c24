#include "auth/LinkCallbackParser.hpp"

#include <gtest/gtest.h>

using namespace quorvel;

namespace {

const std::string state = "AbC-_123AbC-_123AbC-_123AbC-_123";

LinkCallback parse(const std::string &url) {
    return LinkCallbackParser::parse(url, state);
}

LinkCallbackError::Kind failure(const std::string &url) {
    try {
        parse(url);
    } catch (const LinkCallbackError &error) {
        return error.kind();
    }
    ADD_FAILURE() << "accepted: " << url;
    return LinkCallbackError::Kind::serverError;
}

LinkCallback code(std::string c) {
    return {LinkCallback::Code{std::move(c)}};
}

} // namespace

TEST(LinkCallbackParser, CodeAndRefusal) {
    EXPECT_EQ(parse("quorvel://link?state=" + state + "&code=abc123"), code("abc123"));
    EXPECT_EQ(parse("quorvel://link?code=abc123&state=" + state), code("abc123"));
    EXPECT_EQ(parse("quorvel://link?state=" + state + "&error=access_denied"), LinkCallback{LinkCallback::Denied{}});
    // Percent-encoded values are decoded; "+" is not a space here.
    EXPECT_EQ(parse("quorvel://link?state=" + state + "&code=a%2Fb+c"), code("a/b+c"));
    // The last of repeated items counts.
    EXPECT_EQ(parse("quorvel://link?code=first&state=" + state + "&code=second"), code("second"));
}

TEST(LinkCallbackParser, SchemeAndHostMustMatchIgnoringCase) {
    EXPECT_EQ(parse("QUORVEL://LINK?state=" + state + "&code=c"), code("c"));
    EXPECT_EQ(parse("Quorvel://Link?state=" + state + "&code=c"), code("c"));
    using K = LinkCallbackError::Kind;
    EXPECT_EQ(failure("quorvel://links?state=" + state + "&code=c"), K::notLinkCallback);
    EXPECT_EQ(failure("quorvel://lin?state=" + state + "&code=c"), K::notLinkCallback);
    EXPECT_EQ(failure("quorvel://link.example?state=" + state + "&code=c"), K::notLinkCallback);
    EXPECT_EQ(failure("https://link?state=" + state + "&code=c"), K::notLinkCallback);
    EXPECT_EQ(failure("quorvelx://link?state=" + state + "&code=c"), K::notLinkCallback);
    EXPECT_EQ(failure("quorvel:link?state=" + state + "&code=c"), K::notLinkCallback);
    EXPECT_EQ(failure("link?state=" + state + "&code=c"), K::notLinkCallback);
    EXPECT_EQ(failure(""), K::notLinkCallback);
    EXPECT_EQ(failure(std::string("quorvel://link?state=") + state + std::string("\0&code=c", 8)), K::notLinkCallback);
    // Other scheme and host when asked for.
    EXPECT_EQ(LinkCallbackParser::parse("other://cb?state=s&code=c", "s", "other", "cb"), code("c"));
}

TEST(LinkCallbackParser, StateIsCheckedBeforeAnythingElse) {
    using K = LinkCallbackError::Kind;
    std::string offByOne = state;
    offByOne.back() = '4';
    EXPECT_EQ(failure("quorvel://link?state=" + offByOne + "&error=access_denied"), K::stateMismatch);
    EXPECT_EQ(failure("quorvel://link?state=" + offByOne + "&error=server_error"), K::stateMismatch);
    EXPECT_EQ(failure("quorvel://link?state=" + offByOne + "&code=c"), K::stateMismatch);
    EXPECT_EQ(failure("quorvel://link?state=" + state + "x&code=c"), K::stateMismatch);
    EXPECT_EQ(failure("quorvel://link?code=c"), K::stateMismatch);
    EXPECT_EQ(failure("quorvel://link?state=&code=c"), K::stateMismatch);
    EXPECT_EQ(failure("quorvel://link?state&code=c"), K::stateMismatch);
    EXPECT_EQ(failure("quorvel://link"), K::stateMismatch);
    // An empty expected state never matches.
    EXPECT_THROW(LinkCallbackParser::parse("quorvel://link?state=&code=c", ""), LinkCallbackError);
}

TEST(LinkCallbackParser, ErrorAndCodeValues) {
    using K = LinkCallbackError::Kind;
    EXPECT_EQ(failure("quorvel://link?state=" + state + "&code="), K::missingCode);
    EXPECT_EQ(failure("quorvel://link?state=" + state + "&code"), K::missingCode);
    EXPECT_EQ(failure("quorvel://link?state=" + state), K::missingCode);
    // An empty error is no error.
    EXPECT_EQ(parse("quorvel://link?state=" + state + "&error=&code=c"), code("c"));
    // An error wins over a code.
    EXPECT_EQ(parse("quorvel://link?state=" + state + "&code=c&error=access_denied"),
              LinkCallback{LinkCallback::Denied{}});
    try {
        parse("quorvel://link?state=" + state + "&error=temporarily_unavailable&code=c");
        FAIL() << "accepted";
    } catch (const LinkCallbackError &error) {
        EXPECT_EQ(error, LinkCallbackError::serverError("temporarily_unavailable"));
        EXPECT_EQ(error.errorCode(), "temporarily_unavailable");
        EXPECT_NE(std::string(error.what()).find("temporarily_unavailable"), std::string::npos);
    }
}

TEST(LinkCallbackParser, UnreadableQueryIsNotACallback) {
    using K = LinkCallbackError::Kind;
    EXPECT_EQ(failure("quorvel://link?state=" + state + "&code=%zz"), K::notLinkCallback);
    EXPECT_EQ(failure("quorvel://link?state=" + state + "&code=%C3"), K::notLinkCallback);
    EXPECT_EQ(failure("quorvel://link?state=" + state + "&code=%ED%A0%80"), K::notLinkCallback);
    EXPECT_EQ(parse("quorvel://link?state=" + state + "&code=%ED%95%9C"), code("\xED\x95\x9C"));
}
