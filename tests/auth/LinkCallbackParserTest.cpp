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
    // The state is checked before anything else.
    const std::pair<K, std::vector<std::string>> cases[] = {
        {K::notLinkCallback,
         {"quorvel://links?state=" + state + "&code=c", "quorvel://lin?state=" + state + "&code=c",
          "quorvel://link.example?state=" + state + "&code=c", "https://link?state=" + state + "&code=c",
          "quorvelx://link?state=" + state + "&code=c", "quorvel:link?state=" + state + "&code=c",
          "link?state=" + state + "&code=c", "", cb + std::string("\0&code=c", 8), cb + "&code=%zz", cb + "&code=%C3",
          cb + "&code=%ED%A0%80"}},
        {K::stateMismatch,
         {"quorvel://link?state=" + offByOne + "&error=access_denied",
          "quorvel://link?state=" + offByOne + "&error=server_error", "quorvel://link?state=" + offByOne + "&code=c",
          cb + "x&code=c", "quorvel://link?code=c", "quorvel://link?state=&code=c", "quorvel://link?state&code=c",
          "quorvel://link"}},
        {K::missingCode, {cb + "&code=", cb + "&code", cb}},
    };
    auto refusal = [](const std::string &url) -> std::optional<LinkCallbackError> {
        try {
            LinkCallbackParser::parse(url, state);
            return std::nullopt;
        } catch (const LinkCallbackError &error) {
            return error;
        }
    };
    for (const auto &[kind, urls] : cases)
        for (const auto &url : urls) {
            const auto refused = refusal(url);
            EXPECT_TRUE(refused && refused->kind() == kind) << url;
        }
    const auto server = refusal(cb + "&error=temporarily_unavailable&code=c");
    EXPECT_EQ(server, LinkCallbackError::serverError("temporarily_unavailable"));
    EXPECT_NE(std::string(server->what()).find("temporarily_unavailable"), std::string::npos);
    // An empty expected state never matches.
    EXPECT_THROW(LinkCallbackParser::parse("quorvel://link?state=&code=c", ""), LinkCallbackError);
}
