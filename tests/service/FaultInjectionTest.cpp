#include "ServiceTestKit.hpp"

#include <gtest/gtest.h>

using namespace quorvel::service;
using namespace quorvel::service::test;

namespace {

class Faults : public ::testing::Test {
protected:
    Faults() : service({}, smallLibrary()) {
        service.start();
        api = std::make_unique<ApiCaller>(service);
        token = linkDevice(service, *api)["access_token"];
    }
    SampleService service;
    std::unique_ptr<ApiCaller> api;
    std::string token;
};

TEST_F(Faults, ApplyToExactlyTheNextMatchingRequests) {
    FaultRule rule;
    rule.endpoint = "manifest";
    rule.remaining = 2;
    rule.status = 503;
    rule.reason = "maintenance";
    rule.retryAfter = "30";
    service.control().addFault(rule);

    EXPECT_EQ(api->get("shell", token).status, 200) << "other endpoints are untouched";
    for (int i = 0; i < 2; ++i) {
        Answer a = api->get("manifest", token);
        EXPECT_EQ(a.status, 503);
        EXPECT_EQ(a.header("Retry-After"), "30");
        EXPECT_EQ(a.json()["reason"], "maintenance");
        EXPECT_EQ(a.json()["success"], false);
    }
    EXPECT_EQ(api->get("manifest", token).status, 200);
    EXPECT_TRUE(service.control().faults().empty());
    EXPECT_EQ(service.control().requestCount("manifest"), 3);
    EXPECT_EQ(service.control().requestCount("shell"), 1);
}

TEST_F(Faults, StandingFaultsLastUntilCleared) {
    FaultRule rule;
    rule.endpoint = "*";
    rule.remaining = -1;
    rule.status = 429;
    service.control().addFault(rule);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(api->get("latest").status, 429);
    EXPECT_EQ(service.control().faults()[0]["hits"], 3);
    service.control().clearFaults();
    EXPECT_EQ(api->get("latest").status, 200);
}

TEST_F(Faults, RawBodiesAndUpgradeAnswers) {
    FaultRule page;
    page.endpoint = "manifest";
    page.status = 200;
    page.body = "<html><body>점검 중</body></html>";
    service.control().addFault(page);
    Answer html = api->get("manifest", token);
    EXPECT_EQ(html.status, 200);
    EXPECT_EQ(html.body, "<html><body>점검 중</body></html>");

    FaultRule upgrade;
    upgrade.endpoint = "files";
    upgrade.status = 426;
    upgrade.minVersion = "9.0.0";
    service.control().addFault(upgrade);
    Answer a = api->get("files?ids=1", token);
    EXPECT_EQ(a.status, 426);
    EXPECT_EQ(a.json()["min_version"], "9.0.0");
}

TEST_F(Faults, DroppedConnectionsGiveNoAnswerAtAll) {
    FaultRule drop;
    drop.endpoint = "shell";
    drop.drop = true;
    service.control().addFault(drop);
    Answer cut = api->get("shell", token);
    EXPECT_EQ(cut.status, 0);
    ApiCaller fresh(service);
    EXPECT_EQ(fresh.get("shell", token).status, 200);
}

TEST_F(Faults, DelayOnlyFaultsStillAnswerNormally) {
    FaultRule slow;
    slow.endpoint = "latest";
    slow.delayMs = 20;
    service.control().addFault(slow);
    EXPECT_EQ(api->get("latest").status, 200);
    EXPECT_TRUE(service.control().faults().empty());
}

TEST_F(Faults, PathPrefixesNarrowImageFaults) {
    FaultRule rule;
    rule.endpoint = "image";
    rule.pathPrefix = "/images/chart";
    rule.status = 500;
    service.control().addFault(rule);
    httplib::Client web(service.baseURL());
    EXPECT_EQ(web.Get("/images/other.png")->status, 404);
    EXPECT_EQ(web.Get("/images/chart.png")->status, 500);
    EXPECT_EQ(web.Get("/images/chart.png")->status, 200);
}

TEST_F(Faults, BadRulesAreRefused) {
    FaultRule none;
    none.remaining = 0;
    EXPECT_THROW(service.control().addFault(none), std::invalid_argument);
    FaultRule status;
    status.status = 42;
    EXPECT_THROW(service.control().addFault(status), std::invalid_argument);
}

TEST_F(Faults, ConnectionsAreCountedAsAccepted) {
    service.control().resetCounters();
    httplib::Client keepAlive(service.baseURL());
    keepAlive.set_keep_alive(true);
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(keepAlive.Get("/images/chart.png")->status, 200);
    EXPECT_EQ(service.control().connectionCount(), 1);
    EXPECT_EQ(service.control().imageRequestCount("/images/chart.png"), 3);
    httplib::Client other(service.baseURL());
    ASSERT_EQ(other.Get("/images/chart.png")->status, 200);
    EXPECT_EQ(service.control().connectionCount(), 2);
}

} // namespace
