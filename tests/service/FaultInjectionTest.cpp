#include "ServiceTestKit.hpp"

#include <gtest/gtest.h>

using namespace quorvel::service;
using namespace quorvel::service::test;

namespace {

FaultRule fault(const nlohmann::json &rule) {
    return FaultInjector::fromJSON(rule);
}

class Faults : public ServiceTest {
protected:
    std::string token = linkToken();
};

TEST_F(Faults, ApplyToExactlyTheNextMatchingRequests) {
    service.control().addFault(fault(
        {{"endpoint", "manifest"}, {"count", 2}, {"status", 503}, {"reason", "maintenance"}, {"retry_after", "30"}}));
    EXPECT_EQ(api.get("shell", token).status, 200) << "other endpoints are untouched";
    for (int i = 0; i < 2; ++i) {
        Answer a = api.get("manifest", token);
        EXPECT_EQ(a.status, 503);
        EXPECT_EQ(a.header("Retry-After"), "30");
        EXPECT_EQ(a.json()["reason"], "maintenance");
        EXPECT_EQ(a.json()["success"], false);
    }
    EXPECT_EQ(api.get("manifest", token).status, 200);
    EXPECT_TRUE(service.control().faults().empty());
    EXPECT_EQ(service.control().requestCount("manifest"), 3);
    EXPECT_EQ(service.control().requestCount("shell"), 1);

    // A standing fault lasts until cleared; a delay alone still answers normally.
    service.control().addFault(fault({{"endpoint", "*"}, {"count", -1}, {"status", 429}}));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(api.get("latest").status, 429);
    EXPECT_EQ(service.control().faults()[0]["hits"], 3);
    service.control().clearFaults();
    service.control().addFault(fault({{"endpoint", "latest"}, {"delay_ms", 20}}));
    EXPECT_EQ(api.get("latest").status, 200);
    EXPECT_TRUE(service.control().faults().empty());
}

TEST_F(Faults, RawBodiesUpgradeAnswersAndDroppedConnections) {
    service.control().addFault(
        fault({{"endpoint", "manifest"}, {"status", 200}, {"body", "<html><body>점검 중</body></html>"}}));
    Answer html = api.get("manifest", token);
    EXPECT_EQ(html.status, 200);
    EXPECT_EQ(html.body, "<html><body>점검 중</body></html>");

    service.control().addFault(fault({{"endpoint", "files"}, {"status", 426}, {"min_version", "9.0.0"}}));
    Answer a = api.get("files?ids=1", token);
    EXPECT_EQ(a.status, 426);
    EXPECT_EQ(a.json()["min_version"], "9.0.0");

    service.control().addFault(fault({{"endpoint", "shell"}, {"drop", true}}));
    EXPECT_EQ(api.get("shell", token).status, 0);
    EXPECT_EQ(ApiCaller(service).get("shell", token).status, 200);
}

} // namespace
