#include "ServiceTestKit.hpp"

#include "util/Hashing.hpp"

#include <gtest/gtest.h>

using namespace quorvel::service;
using namespace quorvel::service::test;

namespace {

class Manifest : public ServiceTest {
protected:
    Manifest() : ServiceTest(made<ServiceOptions>([](ServiceOptions &o) { o.maxFilesPerRequest = 5; })) {}
    Answer manifest(const std::string &ifNoneMatch = "") {
        httplib::Headers h;
        if (!ifNoneMatch.empty()) h.emplace("If-None-Match", ifNoneMatch);
        return api.get("manifest", token, h);
    }
    std::string etag() { return manifest().header("ETag"); }

    std::string token = linkToken();
};

TEST_F(Manifest, ListsFoldersAndFilesInTheEnvelope) {
    Answer a = manifest();
    ASSERT_EQ(a.status, 200);
    auto body = a.json();
    EXPECT_EQ(body["success"], true);
    EXPECT_TRUE(body.contains("message"));
    const auto &data = body["data"];
    EXPECT_EQ(data["server_time"], "2023-11-14T22:13:20Z");
    EXPECT_EQ(data["user"]["email"], "reader@quorvel.test");
    EXPECT_EQ(data["shell_version"], "1");
    ASSERT_EQ(data["folders"].size(), 3u);
    EXPECT_TRUE(data["folders"][0]["parent_id"].is_null());
    EXPECT_EQ(data["folders"][1]["parent_id"], 1);
    EXPECT_EQ(data["folders"][2]["order_num"], 1); // the second top-level folder
    ASSERT_EQ(data["files"].size(), 3u);
    const auto &first = data["files"][0];
    EXPECT_EQ(first["folder_id"], 2);
    EXPECT_EQ(first["filename"], "2024 연간 보고서");
    EXPECT_EQ(first["updated_at"], "2023-07-22T04:26:40Z");
    std::string content = "<h1>2024 연간 보고서</h1><p>매출 <img src=\"/images/chart.png\"></p>";
    EXPECT_EQ(first["file_size"], content.size());
    EXPECT_EQ(first["content_hash"], quorvel::Hashing::sha256Hex(std::string_view(content)));
    EXPECT_TRUE(data["files"][2]["folder_id"].is_null());
}

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

TEST_F(Manifest, EveryLibraryChangeShowsInTheManifest) {
    std::string tag = etag();
    int64_t folder = service.control().addFolder("새 폴더", std::nullopt);
    int64_t doc = service.control().addDocument("새 문서", folder, "<p>새</p>");
    service.control().renameFolder(folder, "이름 바꾼 폴더");
    service.control().moveDocument(1, std::nullopt);
    service.control().renameDocument(3, "이름 바꾼 문서");
    service.control().deleteDocument(2);
    auto data = manifest().json()["data"];
    EXPECT_NE(manifest().header("ETag"), tag);
    std::map<int64_t, nlohmann::json> files;
    for (const auto &f : data["files"])
        files[f["id"]] = f;
    EXPECT_FALSE(files.contains(2));
    EXPECT_EQ(files.at(doc)["folder_id"], folder);
    EXPECT_TRUE(files.at(1)["folder_id"].is_null());
    EXPECT_EQ(files.at(3)["filename"], "이름 바꾼 문서");
    EXPECT_EQ(files.at(3)["updated_at"], "2023-11-14T22:13:20Z");

    service.control().deleteFolder(1); // with its sub-folder, but document 1 moved out before
    data = manifest().json()["data"];
    EXPECT_EQ(data["folders"].size(), 2u);
    EXPECT_EQ(data["files"].size(), 3u);
    EXPECT_THROW(service.control().moveFolder(folder, 99), LibraryError);
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

    Answer none = api.get("files?ids=", token);
    EXPECT_EQ(none.status, 200);
    EXPECT_TRUE(none.json()["data"].empty());
    for (const char *bad : {"files", "files?ids=1,,2", "files?ids=-1", "files?ids=1%202"})
        EXPECT_EQ(api.get(bad, token).status, 400) << bad;
    Answer tooMany = api.get("files?ids=1,2,3,4,5,6", token);
    EXPECT_EQ(tooMany.status, 400);
    EXPECT_EQ(tooMany.json()["reason"], "too_many_ids");
}

TEST_F(Manifest, DroppedAndCorruptedFilesAnswers) {
    service.control().dropFileIds({1}, 1);
    auto first = api.get("files?ids=1,2", token).json()["data"];
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0]["id"], 2);
    EXPECT_EQ(api.get("files?ids=1,2", token).json()["data"].size(), 2u);

    service.control().corruptContent(2, 1, "content");
    auto bad = api.get("files?ids=2", token).json()["data"][0];
    EXPECT_NE(bad["content_hash"], quorvel::Hashing::sha256Hex(std::string_view(bad["content"].get<std::string>())));
    auto good = api.get("files?ids=2", token).json()["data"][0];
    EXPECT_EQ(good["content_hash"], quorvel::Hashing::sha256Hex(std::string_view(good["content"].get<std::string>())));

    service.control().corruptContent(1, -1, "hash");
    for (int i = 0; i < 3; ++i) {
        auto lie = api.get("files?ids=1", token).json()["data"][0];
        EXPECT_NE(lie["content_hash"],
                  quorvel::Hashing::sha256Hex(std::string_view(lie["content"].get<std::string>())));
    }
}

TEST_F(Manifest, ShellCarriesThePlaceholderAndBumps) {
    auto shell = api.get("shell", token).json()["data"];
    EXPECT_EQ(shell["version"], "1");
    EXPECT_NE(shell["html"].get<std::string>().find("{{CONTENT}}"), std::string::npos);
    EXPECT_EQ(service.control().bumpShell(), "2");
    auto bumped = api.get("shell", token).json()["data"];
    EXPECT_EQ(bumped["version"], "2");
    EXPECT_NE(bumped["html"], shell["html"]);
    EXPECT_NE(bumped["html"].get<std::string>().find("{{CONTENT}}"), std::string::npos);
    EXPECT_THROW(service.control().bumpShell("<html>no placeholder</html>"), std::invalid_argument);
}

TEST_F(Manifest, HeaderRulesComeBeforeEverythingElse) {
    Answer noAccept = api.raw("GET", "/api/app/v1/manifest", {{"X-App-Version", "0.1.0"}});
    EXPECT_EQ(noAccept.status, 406);
    Answer noVersion = api.raw("GET", "/api/app/v1/latest", {{"Accept", "application/json"}});
    EXPECT_EQ(noVersion.status, 400);
    EXPECT_EQ(noVersion.json()["reason"], "missing_app_version");
    Answer badVersion =
        api.raw("GET", "/api/app/v1/latest", {{"Accept", "application/json"}, {"X-App-Version", "v1.0"}});
    EXPECT_EQ(badVersion.json()["reason"], "invalid_app_version");

    Answer badOS = api.get("latest", "", {{"X-OS-Version", "Linux \xEB\x82\xB4"}});
    EXPECT_EQ(badOS.status, 400) << "the app strips non-ASCII before sending";

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

    Answer wrongMethod = api.post("manifest", nlohmann::json::object(), token);
    EXPECT_EQ(wrongMethod.status, 405);
    Answer unknown = api.get("nothing-here", token);
    EXPECT_EQ(unknown.status, 404);
    EXPECT_EQ(unknown.json()["success"], false);
}

TEST_F(Manifest, LatestReleaseFollowsTheControl) {
    auto release = api.get("latest").json()["data"];
    EXPECT_EQ(release["latest_version"], "0.1.0");
    EXPECT_EQ(release["download_page"], service.baseURL() + "/download");
    ReleaseInfo next;
    next.latestVersion = "0.3.0";
    next.minVersion = "0.2.0";
    next.releaseNotes = "새 기능";
    next.releasedAt.reset();
    service.control().setRelease(next);
    release = api.get("latest").json()["data"];
    EXPECT_EQ(release["latest_version"], "0.3.0");
    EXPECT_EQ(release["min_version"], "0.2.0");
    EXPECT_TRUE(release["released_at"].is_null());
    EXPECT_EQ(api.get("manifest", token).status, 426);
    EXPECT_THROW(service.control().setRelease(ReleaseInfo{"1.0", {}, "", {}, "", ""}), std::invalid_argument);
}

} // namespace
