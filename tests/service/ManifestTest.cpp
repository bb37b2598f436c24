#include "ServiceTestKit.hpp"

#include "util/Hashing.hpp"

#include <gtest/gtest.h>

using namespace quorvel::service;
using namespace quorvel::service::test;

namespace {

class Manifest : public ServiceTest {
protected:
    Manifest() : ServiceTest([](ServiceOptions &o) { o.maxFilesPerRequest = 5; }) {}
    Answer manifest(const std::string &ifNoneMatch = "") {
        httplib::Headers h;
        if (!ifNoneMatch.empty()) h.emplace("If-None-Match", ifNoneMatch);
        return api.get("manifest", token, h);
    }
    std::string etag() { return manifest().header("ETag"); }

    std::string token = linkToken();
};

TEST_F(Manifest, ETagAnswers304OnlyWhileNothingChanged) {
    std::string tag = etag();
    ASSERT_GE(tag.size(), 3u);
    EXPECT_EQ(tag.front(), '"');
    EXPECT_NE(tag.rfind("W/", 0), 0u) << "the tag must be strong";

    Answer same = manifest(tag);
    EXPECT_EQ(same.status, 304);
    EXPECT_TRUE(same.body.empty());
    EXPECT_EQ(same.header("ETag"), tag);
    EXPECT_EQ(manifest("\"other\", " + tag).status, 304);
    EXPECT_EQ(manifest("W/" + tag).status, 304);
    EXPECT_EQ(manifest("\"other\"").status, 200);

    // Time passing, token traffic and counters do not move the tag.
    clock.advance(30);
    linkDevice(service, api, "11111111-2222-3333-4444-555555555555");
    EXPECT_EQ(etag(), tag);

    service.control().editDocument(2, "<p>바뀐 회의록</p>");
    std::string afterEdit = etag();
    EXPECT_NE(afterEdit, tag);
    EXPECT_EQ(manifest(tag).status, 200);
    service.control().bumpShell();
    std::string afterShell = etag();
    EXPECT_NE(afterShell, afterEdit);
    service.control().setUser(UserAccount{7, "new@quorvel.test", std::nullopt});
    EXPECT_NE(etag(), afterShell);
    EXPECT_EQ(manifest().json()["data"]["user"]["nickname"], nullptr);
}

TEST_F(Manifest, FilesComeInTheAskedOrderWithoutUnknownIds) {
    Answer a = api.get("files?ids=3%2C99%2C1%2C3", token);
    ASSERT_EQ(a.status, 200) << a.body;
    auto data = a.json()["data"];
    ASSERT_EQ(data.size(), 2u);
    EXPECT_EQ(data[0]["id"], 3);
    EXPECT_EQ(data[1]["id"], 1);
    for (const auto &f : data)
        EXPECT_EQ(f["content_hash"], quorvel::Hashing::sha256Hex(std::string_view(f["content"].get<std::string>())));
    EXPECT_EQ(data[1]["updated_at"], "2023-07-22T04:26:40Z");

    EXPECT_EQ(api.get("files?ids=", token).json()["data"], nlohmann::json::array());
    for (const char *bad : {"files", "files?ids=1,,2", "files?ids=-1", "files?ids=1%202"})
        EXPECT_EQ(api.get(bad, token).status, 400) << bad;
    Answer tooMany = api.get("files?ids=1,2,3,4,5,6", token);
    EXPECT_EQ(tooMany.status, 400);
    EXPECT_EQ(tooMany.json()["reason"], "too_many_ids");
}

TEST_F(Manifest, HeaderRulesComeBeforeEverythingElse) {
    EXPECT_EQ(api.raw("GET", "/api/app/v1/manifest", {{"X-App-Version", "0.1.0"}}).status, 406);
    Answer noVersion = api.raw("GET", "/api/app/v1/latest", {{"Accept", "application/json"}});
    EXPECT_EQ(noVersion.status, 400);
    EXPECT_EQ(noVersion.json()["reason"], "missing_app_version");
    Answer badVersion =
        api.raw("GET", "/api/app/v1/latest", {{"Accept", "application/json"}, {"X-App-Version", "v1.0"}});
    EXPECT_EQ(badVersion.json()["reason"], "invalid_app_version");

    // The app strips non-ASCII before sending.
    EXPECT_EQ(api.get("latest", "", {{"X-OS-Version", "Linux \xEB\x82\xB4"}}).status, 400);

    ApiCaller old(service, "0.0.9");
    Answer tooOld = old.get("manifest", token);
    EXPECT_EQ(tooOld.status, 426);
    EXPECT_EQ(tooOld.json()["min_version"], "0.1.0");
    EXPECT_EQ(tooOld.json()["data"]["min_version"], "0.1.0");
    // Even a bad token gets the upgrade answer first; the release query stays open to old apps.
    EXPECT_EQ(old.get("manifest", "nonsense").status, 426);
    EXPECT_EQ(old.get("latest").status, 200);
    ApiCaller newer(service, "0.10.0");
    EXPECT_EQ(newer.get("manifest", token).status, 200);

    EXPECT_EQ(api.post("manifest", nlohmann::json::object(), token).status, 405);
    Answer unknown = api.get("nothing-here", token);
    EXPECT_EQ(unknown.status, 404);
    EXPECT_EQ(unknown.json()["success"], false);
}

} // namespace
