#include "ServiceTestKit.hpp"

#include <gtest/gtest.h>

using namespace quorvel::service;
using quorvel::PKCE;
using namespace quorvel::service::test;

namespace {

class ControlApi : public ServiceTest {
protected:
    ControlApi() : ServiceTest([](ServiceOptions &o) { o.controlAPI = true; }) {}
    nlohmann::json call(const std::string &method, const std::string &path, const nlohmann::json &body = nullptr,
                        int expect = 200) {
        httplib::Result r = method == "GET"     ? web.Get(path)
                            : method == "POST"  ? web.Post(path, body.is_null() ? "" : body.dump(), "application/json")
                            : method == "PUT"   ? web.Put(path, body.dump(), "application/json")
                            : method == "PATCH" ? web.Patch(path, body.dump(), "application/json")
                                                : web.Delete(path);
        EXPECT_TRUE(r) << method << " " << path;
        if (!r) return nullptr;
        EXPECT_EQ(r->status, expect) << method << " " << path << ": " << r->body;
        auto j = nlohmann::json::parse(r->body, nullptr, false);
        return j.is_object() && j.contains("data") ? j["data"] : j;
    }
};

TEST_F(ControlApi, EditsTheLibraryThroughHTTP) {
    auto folder = call("POST", "/control/folders", {{"name", "새 폴더"}, {"parent_id", 1}})["id"].get<int64_t>();
    auto doc = call("POST", "/control/documents",
                    {{"filename", "새 문서"}, {"folder_id", folder}, {"content", "<p>a</p>"}})["id"]
                   .get<int64_t>();
    call("PATCH", "/control/documents/" + std::to_string(doc), {{"content", "<p>b</p>"}, {"folder_id", nullptr}});
    call("PATCH", "/control/folders/" + std::to_string(folder), {{"name", "바뀐 폴더"}, {"order_num", 9}});
    auto state = service.control().withLibrary([doc](const Library &l) { return *l.document(doc); });
    EXPECT_EQ(state.content, "<p>b</p>");
    EXPECT_FALSE(state.folderId);
    call("DELETE", "/control/documents/" + std::to_string(doc));
    call("DELETE", "/control/documents/" + std::to_string(doc), nullptr, 404);
    call("DELETE", "/control/folders/" + std::to_string(folder));
    EXPECT_EQ(call("POST", "/control/shell/bump")["version"], "2");
    call("POST", "/control/documents", {{"content", "no name"}}, 400);

    auto image = call("POST", "/control/images", {{"path", "/images/new.jpg"}, {"kind", "jpeg"}, {"bytes", 5000}});
    EXPECT_EQ(image["content_type"], "image/jpeg");
    auto fetched = web.Get("/images/new.jpg");
    EXPECT_EQ(fetched->body.size(), 5000u);
    EXPECT_EQ(fetched->body.substr(0, 2), "\xFF\xD8");
}

TEST_F(ControlApi, AccountSwitchesAndCounters) {
    PKCE pkce = PKCE::generate();
    auto approved = call("POST", "/control/link/approve", {{"challenge", pkce.challenge}, {"state", "s1"}});
    EXPECT_EQ(approved["redirect"], "quorvel://link?state=s1&code=" + approved["code"].get<std::string>());
    auto grant = exchange(approved["code"], pkce.verifier).json()["data"];
    std::string token = grant["access_token"];
    call("POST", "/control/tokens/expire", nlohmann::json::object());
    EXPECT_EQ(reason(api.get("shell", token)), "token_expired");
    call("POST", "/control/account/suspend", {{"suspended", true}});
    EXPECT_EQ(reason(api.get("shell", token)), "suspended");
    call("POST", "/control/account/suspend", {{"suspended", false}});
    call("POST", "/control/devices/" + std::to_string(grant["device_id"].get<int64_t>()) + "/revoke");
    EXPECT_EQ(reason(api.get("shell", token)), "revoked");
    EXPECT_EQ(call("GET", "/control/devices")[0]["revoked"], true);

    call("POST", "/control/faults", {{"endpoint", "latest"}, {"count", 1}, {"status", 502}});
    EXPECT_EQ(call("GET", "/control/faults").size(), 1u);
    EXPECT_EQ(api.get("latest").status, 502);
    EXPECT_EQ(api.get("latest").status, 200);
    EXPECT_EQ(call("GET", "/control/counters")["requests"]["latest"], 2);
    call("POST", "/control/counters/reset");
    EXPECT_FALSE(call("GET", "/control/counters")["requests"].contains("latest"));

    call("PUT", "/control/release", {{"latest_version", "0.2.0"}, {"min_version", nullptr}});
    auto release = api.get("latest").json()["data"];
    EXPECT_EQ(release["latest_version"], "0.2.0");
    EXPECT_TRUE(release["min_version"].is_null());
    call("PUT", "/control/release", {{"latest_version", "two"}}, 400);
    call("POST", "/control/linking", {{"enabled", false}});
    EXPECT_EQ(call("GET", "/control/state")["linking_enabled"], false);
    auto before = service.control().now();
    call("POST", "/control/clock", {{"advance", 3600}});
    EXPECT_GE(service.control().now() - before, 3600);
}

// Dropped connections and upgrade answers are walked, with what the app makes of them, in tests/app.
TEST_F(ControlApi, FaultsApplyToExactlyTheNextMatchingRequests) {
    const std::string token = linkToken();
    auto &control = service.control();
    control.addFault(FaultInjector::fromJSON(
        {{"endpoint", "manifest"}, {"count", 2}, {"status", 503}, {"reason", "maintenance"}, {"retry_after", "30"}}));
    EXPECT_EQ(api.get("shell", token).status, 200) << "other endpoints are untouched";
    for (int i = 0; i < 2; ++i) {
        Answer a = api.get("manifest", token);
        EXPECT_EQ(a.status, 503);
        EXPECT_EQ(a.header("Retry-After"), "30");
        EXPECT_EQ(reason(a), "maintenance");
    }
    EXPECT_EQ(api.get("manifest", token).status, 200);
    EXPECT_TRUE(control.faults().empty());
    EXPECT_EQ(control.requestCount("manifest"), 3);

    // A standing fault lasts until cleared; a delay alone still answers normally; a raw body is sent as is.
    control.addFault(FaultInjector::fromJSON({{"endpoint", "*"}, {"count", -1}, {"status", 429}}));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(api.get("latest").status, 429);
    EXPECT_EQ(control.faults()[0]["hits"], 3);
    control.clearFaults();
    control.addFault(FaultInjector::fromJSON({{"endpoint", "latest"}, {"delay_ms", 20}}));
    EXPECT_EQ(api.get("latest").status, 200);
    EXPECT_TRUE(control.faults().empty());
    control.addFault(FaultInjector::fromJSON({{"endpoint", "shell"}, {"status", 200}, {"body", "<p>점검 중</p>"}}));
    EXPECT_EQ(api.get("shell", token).body, "<p>점검 중</p>");
}

TEST(ServiceLifecycle, NoControlUnlessEnabledABusyPortFailsAndStopEndsListening) {
    SampleService first({}, smallLibrary());
    first.start();
    httplib::Client web(first.baseURL());
    EXPECT_EQ(web.Get("/control/state")->status, 404);
    EXPECT_EQ(web.Post("/control/faults", "{}", "application/json")->status, 404);
    ServiceOptions taken;
    taken.port = first.port();
    SampleService second(taken, smallLibrary());
    EXPECT_THROW(second.start(), std::runtime_error);
    EXPECT_FALSE(second.running());
    EXPECT_EQ(web.Get("/")->status, 200);
    first.stop();
    EXPECT_FALSE(first.running());
    EXPECT_FALSE(httplib::Client(first.baseURL()).Get("/"));
}

} // namespace
