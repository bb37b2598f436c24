#include "auth/LinkCallbackParser.hpp"

#include <gtest/gtest.h>

using namespace quorvel;
using K = LinkCallbackError::Kind;

namespace {

const std::string state = "AbC-_123AbC-_123AbC-_123AbC-_123";
const std::string cb = "quorvel://link?state=" + state;
const LinkCallback denied{LinkCallback::Denied{}};

LinkCallback code(std::string c) {
    return {LinkCallback::Code{std::move(c)}};
}

} // namespace

TEST(LinkCallbackParser, AcceptedCallbacks) {
    const std::pair<std::string, LinkCallback> cases[] = {
        {cb + "&code=abc123", code("abc123")},
        {"quorvel://link?code=abc123&state=" + state, code("abc123")},
        {"QUORVEL://LINK?state=" + state + "&code=c", code("c")},
        {"Quorvel://Link?state=" + state + "&code=c", code("c")},
        {cb + "&error=access_denied", denied},
        // Percent-encoded values are decoded; "+" is not a space here.
        {cb + "&code=a%2Fb+c", code("a/b+c")},
        {cb + "&code=%ED%95%9C", code("\xED\x95\x9C")},
        // The last of repeated items counts, an empty error is none, an error wins over a code.
        {"quorvel://link?code=first&state=" + state + "&code=second", code("second")},
        {cb + "&error=&code=c", code("c")},
        {cb + "&code=c&error=access_denied", denied},
    };
    for (const auto &[url, expected] : cases)
        EXPECT_EQ(LinkCallbackParser::parse(url, state), expected) << url;
    EXPECT_EQ(LinkCallbackParser::parse("other://cb?state=s&code=c", "s", "other", "cb"), code("c"));
}

TEST(LinkCallbackParser, RefusedCallbacksSayWhy) {
    std::string offByOne = state;
    offByOne.back() = '4';
    const std::pair<std::string, K> cases[] = {
        {"quorvel://links?state=" + state + "&code=c", K::notLinkCallback},
        {"quorvel://lin?state=" + state + "&code=c", K::notLinkCallback},
        {"quorvel://link.example?state=" + state + "&code=c", K::notLinkCallback},
        {"https://link?state=" + state + "&code=c", K::notLinkCallback},
        {"quorvelx://link?state=" + state + "&code=c", K::notLinkCallback},
        {"quorvel:link?state=" + state + "&code=c", K::notLinkCallback},
        {"link?state=" + state + "&code=c", K::notLinkCallback},
        {"", K::notLinkCallback},
        {cb + std::string("\0&code=c", 8), K::notLinkCallback},
        {cb + "&code=%zz", K::notLinkCallback},
        {cb + "&code=%C3", K::notLinkCallback},
        {cb + "&code=%ED%A0%80", K::notLinkCallback},
        // The state is checked before anything else.
        {"quorvel://link?state=" + offByOne + "&error=access_denied", K::stateMismatch},
        {"quorvel://link?state=" + offByOne + "&error=server_error", K::stateMismatch},
        {"quorvel://link?state=" + offByOne + "&code=c", K::stateMismatch},
        {cb + "x&code=c", K::stateMismatch},
        {"quorvel://link?code=c", K::stateMismatch},
        {"quorvel://link?state=&code=c", K::stateMismatch},
        {"quorvel://link?state&code=c", K::stateMismatch},
        {"quorvel://link", K::stateMismatch},
        {cb + "&code=", K::missingCode},
        {cb + "&code", K::missingCode},
        {cb, K::missingCode},
        {cb + "&error=temporarily_unavailable&code=c", K::serverError},
    };
    for (const auto &[url, kind] : cases) {
        try {
            LinkCallbackParser::parse(url, state);
            ADD_FAILURE() << "accepted: " << url;
        } catch (const LinkCallbackError &error) {
            EXPECT_EQ(error.kind(), kind) << url;
            if (kind == K::serverError) {
                EXPECT_EQ(error, LinkCallbackError::serverError("temporarily_unavailable"));
                EXPECT_NE(std::string(error.what()).find("temporarily_unavailable"), std::string::npos);
            }
        }
    }
    // An empty expected state never matches.
    EXPECT_THROW(LinkCallbackParser::parse("quorvel://link?state=&code=c", ""), LinkCallbackError);
}
