#include "api/HTTPAPIClient.hpp"

#include "support/APIErrorOf.hpp"
#include "support/FakeHTTPTransport.hpp"

#include <gtest/gtest.h>

#include <functional>

using namespace quorvel;
using nlohmann::json;
using quorvel::test::apiErrorOf;
using quorvel::test::FakeHTTPTransport;

namespace {

json userJSON() {
    return {{"id", 1}, {"email", "a@b.c"}};
}

json tokenJSON() {
    return {{"access_token", "at2"},       {"expires_in", 3600}, {"refresh_token", "rt2"},
            {"refresh_expires_in", 86400}, {"device_id", 4},     {"user", userJSON()}};
}

json manifestJSON() {
    return {{"server_time", "2024-05-01T12:34:56Z"},
            {"user", userJSON()},
            {"shell_version", "s1"},
            {"folders", json::array()},
            {"files", json::array()}};
}

class HTTPAPIClientTest : public ::testing::Test {
protected:
    std::shared_ptr<FakeHTTPTransport> transport = std::make_shared<FakeHTTPTransport>();
    HTTPAPIClient client{"https://docs.example.com", "1.2.3", "Debian GNU/Linux 12", transport};
};

} // namespace

TEST_F(HTTPAPIClientTest, EndpointsLiveUnderTheVersionedPathWhateverTheTrailingSlashes) {
    for (const char *base : {"https://docs.example.com", "https://docs.example.com/", "https://docs.example.com///"}) {
        HTTPAPIClient c(base, "1", "os", transport);
        EXPECT_EQ(c.endpoint("shell"), "https://docs.example.com/api/app/v1/shell") << base;
    }
    HTTPAPIClient withPath("http://127.0.0.1:8787/svc/", "1", "os", transport);
    EXPECT_EQ(withPath.endpoint("files", {{"ids", "1,2"}, {"x", "a b"}}),
              "http://127.0.0.1:8787/svc/api/app/v1/files?ids=1%2C2&x=a%20b");
}

TEST_F(HTTPAPIClientTest, ABaseURLThatIsNotHTTPFailsBeforeSending) {
    for (const char *base : {"", "not a url", "ftp://example.com", "/relative/path"}) {
        HTTPAPIClient c(base, "1", "os", transport);
        auto error = apiErrorOf([&] { c.latestRelease(); });
        EXPECT_EQ(error.kind(), APIError::Kind::decoding) << base;
    }
    EXPECT_EQ(transport->requestCount(), 0u);
}

// The whole request each call sends: the client's headers, a bearer token only where one is
// due, sorted JSON bodies, each endpoint's time-out.
TEST_F(HTTPAPIClientTest, EachCallSendsItsRequest) {
    auto request = [](std::string method, std::string path, double timeout, std::optional<std::string> token,
                      std::optional<std::string> body = std::nullopt) {
        HTTPRequest r{
            std::move(method),
            "https://docs.example.com/api/app/v1/" + path,
            {{"Accept", "application/json"}, {"X-App-Version", "1.2.3"}, {"X-OS-Version", "Debian GNU/Linux 12"}},
            std::move(body),
            timeout};
        if (token) r.headers["Authorization"] = "Bearer " + *token;
        if (r.body) r.headers["Content-Type"] = "application/json";
        return r;
    };
    HTTPRequest tagged = request("GET", "manifest", 60, "tok");
    tagged.headers["If-None-Match"] = "\"m-2\"";
    const DeviceInfo device{"u-1", "내 PC", "1.2.3", "Debian 12"};
    const std::tuple<std::function<void()>, HTTPResponse, HTTPRequest> cases[] = {
        {[&] {
             client.files("tok", {3, 1, 2});
         },
         FakeHTTPTransport::ok(json::array()), request("GET", "files?ids=3%2C1%2C2", 120, "tok")},
        {[&] { client.files("tok", {}); }, FakeHTTPTransport::ok(json::array()),
         request("GET", "files?ids=", 120, "tok")},
        {[&] { client.shell("tok"); }, FakeHTTPTransport::ok({{"version", "v"}, {"html", "h"}}),
         request("GET", "shell", 60, "tok")},
        {[&] { client.latestRelease(); }, FakeHTTPTransport::ok({{"latest_version", "2.0.0"}}),
         request("GET", "latest", 20, std::nullopt)},
        {[&] { client.exchangeCode("the-code", "the-verifier", device); }, FakeHTTPTransport::ok(tokenJSON()),
         request("POST", "token", 30, std::nullopt,
                 R"({"code":"the-code","code_verifier":"the-verifier","device":{"app_version":"1.2.3",)"
                 R"("name":"내 PC","os_version":"Debian 12","uuid":"u-1"},"grant_type":"authorization_code"})")},
        {[&] { client.refresh("rt1"); }, FakeHTTPTransport::ok(tokenJSON()),
         request("POST", "token", 30, std::nullopt, R"({"grant_type":"refresh_token","refresh_token":"rt1"})")},
        // The etag goes only when there is one.
        {[&] { client.manifest("tok", "\"m-2\""); }, FakeHTTPTransport::text(304, ""), tagged},
        {[&] { client.manifest("tok", std::string()); }, FakeHTTPTransport::ok(manifestJSON()),
         request("GET", "manifest", 60, "tok")},
        {[&] { client.manifest("tok", std::nullopt); }, FakeHTTPTransport::ok(manifestJSON()),
         request("GET", "manifest", 60, "tok")},
        {[&] { client.logout("tok"); }, FakeHTTPTransport::text(200, ""), request("POST", "logout", 20, "tok", "{}")},
    };
    for (const auto &[call, answer, expected] : cases) {
        transport->enqueue(answer);
        call();
        EXPECT_EQ(transport->lastRequest(), expected) << expected.url;
    }

    // Nothing but printable ASCII goes into a header value.
    HTTPAPIClient c("https://docs.example.com", "1.2.3", "Ubuntu 24.04 (노블)\r\nX-Evil: 1\t", transport);
    transport->enqueue(FakeHTTPTransport::ok({{"version", "v"}, {"html", "h"}}));
    c.shell("tok");
    EXPECT_EQ(transport->lastRequest().headers.at("X-OS-Version"), "Ubuntu 24.04 ()X-Evil: 1");
}

TEST_F(HTTPAPIClientTest, AnswersAreDecodedAsTheyCame) {
    json contents =
        json::array({{{"id", 2}, {"content", "b"}, {"content_hash", "hb"}, {"updated_at", "2024-05-01 00:00:00"}},
                     {{"id", 3}, {"content", "c"}, {"content_hash", "hc"}, {"updated_at", "2024-05-01 00:00:00"}}});
    transport->enqueue(FakeHTTPTransport::ok(contents));
    auto files = client.files("tok", {3, 1, 2});
    ASSERT_EQ(files.size(), 2u); // even though id 1 is missing
    EXPECT_EQ(files[0].id, 2);
    EXPECT_EQ(files[1].contentHash, "hc");
    transport->enqueue(FakeHTTPTransport::ok(tokenJSON()));
    EXPECT_EQ(client.refresh("rt1").user.email, "a@b.c");

    transport->enqueue(
        FakeHTTPTransport::jsonResponse(200, {{"success", true}, {"data", manifestJSON()}}, {{"etag", "\"m-2\""}}));
    auto result = client.manifest("tok", std::nullopt);
    ASSERT_NE(result.fresh(), nullptr);
    EXPECT_EQ(result.fresh()->etag, "\"m-2\"");
    EXPECT_EQ(result.fresh()->manifest.shellVersion, "s1");
    transport->enqueue(FakeHTTPTransport::ok(manifestJSON()));
    result = client.manifest("tok", std::nullopt);
    ASSERT_NE(result.fresh(), nullptr);
    EXPECT_EQ(result.fresh()->etag, std::nullopt);
    // A 304 is answered without reading the body.
    transport->enqueue(FakeHTTPTransport::text(304, "<not json>"));
    EXPECT_TRUE(client.manifest("tok", "\"m-2\"").isNotModified());
}

TEST_F(HTTPAPIClientTest, ABodyThatCannotBeSerialisedIsAnEncodeError) {
    auto error = apiErrorOf([&] { client.refresh("bad\xFFutf8"); });
    EXPECT_EQ(error.kind(), APIError::Kind::decoding);
    EXPECT_EQ(error.message()->rfind("request encode: ", 0), 0u) << *error.message();
    EXPECT_EQ(transport->requestCount(), 0u);
}

TEST_F(HTTPAPIClientTest, AnswersWithoutUsableDataBecomeErrors) {
    using R = FakeHTTPTransport;
    const std::pair<HTTPResponse, APIError> cases[] = {
        {R::jsonResponse(200, {{"success", true}}), APIError::decoding("missing data")},
        {R::jsonResponse(200, {{"success", true}, {"data", nullptr}}), APIError::decoding("missing data")},
        // A payload that does not decode is a decoding error with the decoder's text.
        {R::ok({{"version", "v"}}), APIError::decoding("missing key \"html\"")},
        {R::jsonResponse(202, {{"success", false}, {"reason", "busy"}, {"message", "later"}, {"min_version", "9"}}),
         APIError::server(202, "busy", "later")},
        {R::jsonResponse(401, {{"success", false}, {"reason", "token_expired"}}),
         APIError::server(401, "token_expired")},
        {R::jsonResponse(403, {{"success", false}, {"reason", "token_expired"}}),
         APIError::server(403, "token_expired")},
        {R::jsonResponse(426,
                         {{"success", false}, {"reason", "upgrade_required"}, {"data", {{"min_version", "2.1.0"}}}}),
         APIError::server(426, "upgrade_required", std::nullopt, "2.1.0")},
        {R::jsonResponse(426, {{"min_version", "3.0.0"}, {"data", {{"min_version", "2.1.0"}}}}),
         APIError::server(426, std::nullopt, std::nullopt, "3.0.0")},
        {R::jsonResponse(429, {{"reason", "rate_limited"}}, {{"retry-after", "30"}}),
         APIError::server(429, "rate_limited", std::nullopt, std::nullopt, 30)},
        {R::jsonResponse(429, {{"reason", "rate_limited"}}, {{"retry-after", "Wed, 21 Oct 2015 07:28:00 GMT"}}),
         APIError::server(429, "rate_limited")},
        // A redirect that was not followed, and a 5xx page that is not JSON, keep only their status.
        {R::text(302, ""), APIError::server(302)},
        {R::text(502, "<html>Bad Gateway</html>"), APIError::server(502)},
    };
    for (const auto &[response, expected] : cases) {
        transport->enqueue(response);
        EXPECT_EQ(apiErrorOf([&] { client.shell("tok"); }), expected) << response.body;
    }
    for (const char *body : {"<html><body>Bad gateway</body></html>", "[1,2]", R"({"success":"yes","data":{}})"}) {
        transport->enqueue(FakeHTTPTransport::text(200, body));
        EXPECT_EQ(apiErrorOf([&] { client.manifest("tok", std::nullopt); }).kind(), APIError::Kind::decoding) << body;
    }
    // "success" may be left out when the data is there.
    transport->enqueue(FakeHTTPTransport::jsonResponse(200, {{"data", {{"version", "v"}, {"html", "h"}}}}));
    EXPECT_EQ(client.shell("tok").version, "v");
}

TEST_F(HTTPAPIClientTest, LogoutOnlyFailsOnAnExplicitFalseSuccess) {
    for (const char *body : {"", R"({"success": true})", "<html>oops</html>", "[false]", R"({"success": "no"})"}) {
        transport->enqueue(FakeHTTPTransport::text(200, body));
        EXPECT_NO_THROW(client.logout("tok")) << body;
    }
    transport->enqueue(
        FakeHTTPTransport::jsonResponse(200, {{"success", false}, {"reason", "revoked"}, {"message", 3}}));
    EXPECT_EQ(apiErrorOf([&] { client.logout("tok"); }), APIError::server(200, "revoked", std::nullopt));
    transport->enqueue(FakeHTTPTransport::jsonResponse(401, {{"success", false}, {"reason", "token_expired"}}));
    EXPECT_TRUE(apiErrorOf([&] { client.logout("tok"); }).isTokenExpired());
}

TEST_F(HTTPAPIClientTest, ServerErrorReadsOnlyWellTypedMembers) {
    HTTPResponse response{500, {{"retry-after", " \t2.5 "}}, R"({"reason": 1, "message": "m", "min_version": 2,
                                                            "data": {"min_version": "1.0"}})"};
    EXPECT_EQ(HTTPAPIClient::serverError(response), APIError::server(500, std::nullopt, "m", "1.0", 2.5));
    response.body = R"({"data": "x", "reason": "r"})";
    response.headers = {{"Retry-After", "5"}}; // looked up by lower-case name only
    EXPECT_EQ(HTTPAPIClient::serverError(response), APIError::server(500, "r"));
}

TEST_F(HTTPAPIClientTest, RetryAfterAcceptsOnlyFiniteNonNegativeNumbers) {
    for (const auto &[text, seconds] :
         {std::pair{"30", 30.0}, {" 0.25\t", 0.25}, {"1e2", 100.0}, {"0", 0.0}, {"-0", 0.0}})
        EXPECT_EQ(HTTPAPIClient::parseRetryAfter(text), seconds) << text;
    for (const char *bad : {"", "  ", "nan", "NaN", "inf", "-inf", "infinity", "1e400", "-3", "+3", "0x10", "3s", "3 4",
                            "Wed, 21 Oct 2015 07:28:00 GMT", "\n3"}) {
        EXPECT_EQ(HTTPAPIClient::parseRetryAfter(bad), std::nullopt) << bad;
    }
}

TEST_F(HTTPAPIClientTest, TransportErrorsPassThroughAndAStopRequestedBeforehandSendsNothing) {
    transport->enqueueError(APIError::network("Could not resolve host: docs.example.com"));
    EXPECT_EQ(apiErrorOf([&] { client.shell("tok"); }), APIError::network("Could not resolve host: docs.example.com"));
    std::stop_source source;
    source.request_stop();
    EXPECT_EQ(apiErrorOf([&] { client.manifest("tok", std::nullopt, source.get_token()); }), APIError::cancelled());
    EXPECT_EQ(transport->requestCount(), 1u);
}
