#include "ServiceTestKit.hpp"

#include <gtest/gtest.h>

using namespace quorvel::service;
using namespace quorvel::service::test;

namespace {

const std::string kPNG("\x89PNG\r\n\x1a\nabc", 11);

class Images : public ServiceTest {
protected:
    Images() : ServiceTest(made<ServiceOptions>([](ServiceOptions &o) { o.tls = true; })) {}
    void behave(const std::string &json) {
        service.control().setImageBehaviour("/images/chart.png", ImageBehaviour::fromJSON(nlohmann::json::parse(json)));
    }
};

TEST_F(Images, PlainAnswersCarryTypeAndLength) {
    auto r = web.Get("/images/chart.png");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
    EXPECT_EQ(r->body, kPNG);
    EXPECT_EQ(r->get_header_value("Content-Type"), "image/png");
    EXPECT_EQ(r->get_header_value("Content-Length"), "11");
    EXPECT_EQ(web.Get("/images/none.png")->status, 404);
}

TEST_F(Images, StatusEmptyAndCountedBehaviours) {
    behave(R"({"status": 404, "count": 1})");
    EXPECT_EQ(web.Get("/images/chart.png")->status, 404);
    EXPECT_EQ(web.Get("/images/chart.png")->status, 200);
    behave(R"({"empty": true})");
    auto empty = web.Get("/images/chart.png");
    EXPECT_EQ(empty->status, 200);
    EXPECT_TRUE(empty->body.empty());
    EXPECT_EQ(web.Get("/images/chart.png")->body, "") << "without a count it stays";
    service.control().clearImageBehaviour("/images/chart.png");
    EXPECT_EQ(web.Get("/images/chart.png")->body, kPNG);
}

TEST_F(Images, StreamingWithoutLengthAndOversize) {
    behave(R"({"no_content_length": true, "bytes_per_second": 100000})");
    auto chunked = web.Get("/images/chart.png");
    EXPECT_EQ(chunked->body, kPNG);
    EXPECT_FALSE(chunked->has_header("Content-Length"));
    EXPECT_EQ(chunked->get_header_value("Transfer-Encoding"), "chunked");

    behave(R"({"oversize": 300000, "oversize_mode": "announced"})");
    auto announced = web.Get("/images/chart.png");
    EXPECT_EQ(announced->get_header_value("Content-Length"), "300000");
    EXPECT_EQ(announced->body.size(), 300000u);
    EXPECT_EQ(announced->body.substr(0, 8), kPNG.substr(0, 8));

    behave(R"({"oversize": 200000, "oversize_mode": "streamed"})");
    auto streamed = web.Get("/images/chart.png");
    EXPECT_FALSE(streamed->has_header("Content-Length"));
    EXPECT_EQ(streamed->body.size(), 200000u);
}

TEST_F(Images, RedirectChainsCrossOrigins) {
    behave(R"({"redirects": ["same", "other"], "redirect_status": 301})");
    auto first = web.Get("/images/chart.png");
    EXPECT_EQ(first->status, 301);
    EXPECT_EQ(first->get_header_value("Location"), service.baseURL() + "/_r/1/images/chart.png");
    auto second = web.Get("/_r/1/images/chart.png");
    EXPECT_EQ(second->get_header_value("Location"), service.alternateOrigin() + "/_r/2/images/chart.png");
    httplib::Client alt(service.alternateOrigin());
    auto last = alt.Get("/_r/2/images/chart.png");
    EXPECT_EQ(last->status, 200);
    EXPECT_EQ(last->body, kPNG);

    httplib::Client follow(service.baseURL());
    follow.set_follow_location(true);
    EXPECT_EQ(follow.Get("/images/chart.png")->body, kPNG);
}

TEST_F(Images, RedirectsToHttpsAndLoops) {
    behave(R"({"redirects": ["https", "http"]})");
    std::string location = web.Get("/images/chart.png")->get_header_value("Location");
    ASSERT_EQ(location, service.tlsOrigin() + "/_r/1/images/chart.png");
    httplib::SSLClient secure("127.0.0.1", std::stoi(service.tlsOrigin().substr(service.tlsOrigin().rfind(':') + 1)));
    secure.enable_server_certificate_verification(false);
    auto hop = secure.Get("/_r/1/images/chart.png");
    ASSERT_TRUE(hop);
    EXPECT_EQ(hop->get_header_value("Location"), service.baseURL() + "/_r/2/images/chart.png");
    EXPECT_NE(service.tlsCertificatePEM().find("BEGIN CERTIFICATE"), std::string::npos);

    behave(R"({"redirects": ["loop"]})");
    EXPECT_EQ(web.Get("/images/chart.png?x=1")->get_header_value("Location"),
              service.baseURL() + "/images/chart.png?x=1");
    EXPECT_THROW(ImageBehaviour::fromJSON(nlohmann::json::parse(R"({"redirects": ["elsewhere"]})")),
                 std::invalid_argument);
}

} // namespace
