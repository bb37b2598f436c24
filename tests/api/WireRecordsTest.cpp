#include "api/WireRecords.hpp"
#include "api/APIError.hpp"
#include "support/APIErrorOf.hpp"

#include <gtest/gtest.h>

#include <functional>

using namespace quorvel;
using nlohmann::json;
using quorvel::test::apiErrorOf;

namespace {

const double may1 = 1714566896; // 2024-05-01T12:34:56Z

json fileJSON() {
    return {{"id", 7},         {"folder_id", 3},        {"filename", "a.html"},
            {"file_size", 12}, {"content_hash", "abc"}, {"updated_at", "2024-05-01T12:34:56Z"}};
}

json tokenJSON() {
    return {{"access_token", "at"},        {"expires_in", 3600}, {"refresh_token", "rt"},
            {"refresh_expires_in", 86400}, {"device_id", 9},     {"user", {{"id", 1}, {"email", "a@b.c"}}}};
}

json manifestJSON() {
    return {{"server_time", "2024-05-01T12:34:56Z"},
            {"user", {{"id", 1}, {"email", "a@b.c"}}},
            {"shell_version", "v3"},
            {"folders", json::array({{{"id", 3}, {"name", "Docs"}, {"order_num", 0}}})},
            {"files", json::array({fileJSON()})}};
}

// Decoding `j` as a T, for a table of failures.
template <class T>
std::function<void()> decode(json j) {
    return [j = std::move(j)] { T::fromJSON(j); };
}

} // namespace

TEST(WireRecordsTest, DecodingFailuresSayWhatAndWhere) {
    json file = fileJSON();
    json token = tokenJSON();
    auto with = [](json j, const std::string &key, json value) {
        if (value.is_discarded())
            j.erase(key);
        else
            j[key] = std::move(value);
        return j;
    };
    const json gone = json::value_t::discarded;
    json badElement = manifestJSON();
    badElement["files"].push_back({{"id", 8}});
    json badUserId = token;
    badUserId["user"]["id"] = "1";
    json contents =
        json::array({{{"id", 1}, {"content", "a"}, {"content_hash", "h"}, {"updated_at", "2024-05-01 00:00:00"}},
                     {{"id", "2"}, {"content", "b"}, {"content_hash", "h"}, {"updated_at", "x"}}});
    // An empty message: any decoding error will do.
    const std::pair<std::function<void()>, std::string> cases[] = {
        {decode<AppUser>({{"id", 1}}), "missing key \"email\""},
        {decode<AppUser>({{"id", 1}, {"email", nullptr}}), "type mismatch at \"email\": expected string, found null"},
        {decode<AppUser>({{"id", 1}, {"email", "x"}, {"nickname", 5}}),
         "type mismatch at \"nickname\": expected string, found number"},
        {decode<AppUser>(json::array()), ""},
        // Ids are signed 64-bit integers.
        {decode<AppUser>({{"id", "1"}, {"email", "x"}}), "type mismatch at \"id\": expected integer, found string"},
        {decode<AppUser>({{"id", true}, {"email", "x"}}), ""},
        {decode<AppUser>({{"id", 1.5}, {"email", "x"}}), ""},
        {decode<AppUser>(json::parse(R"({"id": 9223372036854775808, "email": "x"})")), ""},
        {decode<AppUser>(json::parse(R"({"id": 1e300, "email": "x"})")), ""},
        {decode<TokenResponse>(with(token, "user", gone)), "missing key \"user\""},
        {decode<TokenResponse>(with(token, "user", nullptr)), ""},
        {decode<TokenResponse>(badUserId), "type mismatch at \"user.id\": expected integer, found string"},
        {decode<TokenResponse>(with(token, "access_token", gone)), ""},
        {decode<TokenResponse>(with(token, "expires_in", gone)), ""},
        {decode<TokenResponse>(with(token, "refresh_token", gone)), ""},
        {decode<TokenResponse>(with(token, "refresh_expires_in", gone)), ""},
        {decode<TokenResponse>(with(token, "device_id", gone)), ""},
        {decode<ManifestFolder>({{"id", 3}, {"parent_id", "1"}, {"name", "D"}, {"order_num", 2}}), ""},
        {decode<ManifestFolder>({{"id", 3}, {"name", "Docs"}}), ""},
        // Dates go through the timestamp parser.
        {decode<ManifestFile>(with(file, "updated_at", "2024/05/01")), "Invalid ISO8601 date: 2024/05/01"},
        {decode<ManifestFile>(with(file, "updated_at", 1714566896)),
         "type mismatch at \"updated_at\": expected string, found number"},
        {decode<FileContent>({{"id", 1}, {"content", "<p>x</p>"}, {"content_hash", "h"}, {"updated_at", "nope"}}),
         "Invalid ISO8601 date: nope"},
        {decode<FileContent>({{"id", 1}, {"content", "<p>x</p>"}, {"updated_at", "2024-05-01 00:00:00"}}), ""},
        {decode<Manifest>(with(manifestJSON(), "server_time", "")), "Invalid ISO8601 date: "},
        // The manifest's arrays are required; list errors name the element.
        {decode<Manifest>(with(manifestJSON(), "files", json::value_t::discarded)), "missing key \"files\""},
        {decode<Manifest>(with(manifestJSON(), "files", nullptr)), ""},
        {decode<Manifest>(badElement), "missing key \"files[1].filename\""},
        {[&] { decodeList<FileContent>(contents); }, "type mismatch at \"[1].id\": expected integer, found string"},
        {[] { decodeList<FileContent>(json::object()); }, ""},
        {decode<AppRelease>({{"min_version", "1.0"}}), ""},
        {decode<AppRelease>({{"latest_version", "1"}, {"release_notes", 3}}), ""},
        {decode<ShellDoc>({{"version", "v1"}}), ""},
        {decode<ShellDoc>("v1"), ""},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const APIError error = apiErrorOf(cases[i].first);
        EXPECT_EQ(error.kind(), APIError::Kind::decoding) << "case " << i;
        if (!cases[i].second.empty()) {
            EXPECT_EQ(error.message(), cases[i].second) << "case " << i;
        }
    }
}

TEST(WireRecordsTest, DecodedValues) {
    EXPECT_EQ(AppUser::fromJSON({{"id", 1}, {"email", "a@b.c"}, {"nickname", "Kim"}}), (AppUser{1, "a@b.c", "Kim"}));
    EXPECT_EQ(AppUser::fromJSON({{"id", 1}, {"email", "a@b.c"}, {"nickname", nullptr}}).nickname, std::nullopt);
    EXPECT_EQ(AppUser::fromJSON({{"id", 1}, {"email", "a@b.c"}, {"extra", {1, 2}}}).nickname, std::nullopt);
    EXPECT_EQ(AppUser::fromJSON(json::parse(R"({"id": 9223372036854775807, "email": "x"})")).id, INT64_MAX);
    EXPECT_EQ(AppUser::fromJSON(json::parse(R"({"id": -9223372036854775808, "email": "x"})")).id, INT64_MIN);
    // A number written with an exponent or fraction still counts when it is exactly an integer.
    EXPECT_EQ(AppUser::fromJSON(json::parse(R"({"id": 3.0, "email": "x"})")).id, 3);
    EXPECT_EQ(AppUser::fromJSON(json::parse(R"({"id": 2e3, "email": "x"})")).id, 2000);
    EXPECT_EQ(TokenResponse::fromJSON(tokenJSON()),
              (TokenResponse{"at", 3600, "rt", 86400, 9, AppUser{1, "a@b.c", {}}}));

    EXPECT_EQ(ManifestFolder::fromJSON({{"id", 3}, {"name", "Docs"}, {"order_num", 2}}),
              (ManifestFolder{3, std::nullopt, "Docs", 2}));
    for (const auto &[parent, expected] : {std::pair{json(nullptr), std::optional<int64_t>()}, {json(1), 1}})
        EXPECT_EQ(
            ManifestFolder::fromJSON({{"id", 3}, {"parent_id", parent}, {"name", "D"}, {"order_num", 2}}).parentId,
            expected);
    json file = fileJSON();
    EXPECT_EQ(ManifestFile::fromJSON(file), (ManifestFile{7, 3, "a.html", may1, 12, "abc"}));
    file["updated_at"] = "2024-05-01 12:34:56";
    EXPECT_EQ(ManifestFile::fromJSON(file).updatedAt, may1);
    file["updated_at"] = "2024-05-01T21:34:56.5+09:00";
    EXPECT_EQ(ManifestFile::fromJSON(file).updatedAt, may1 + 0.5);
    file["folder_id"] = nullptr;
    EXPECT_EQ(ManifestFile::fromJSON(file).folderId, std::nullopt);
    file.erase("folder_id");
    EXPECT_EQ(ManifestFile::fromJSON(file).folderId, std::nullopt);

    EXPECT_EQ(Manifest::fromJSON(manifestJSON()), (Manifest{may1,
                                                            AppUser{1, "a@b.c", {}},
                                                            "v3",
                                                            {ManifestFolder{3, std::nullopt, "Docs", 0}},
                                                            {ManifestFile{7, 3, "a.html", may1, 12, "abc"}}}));
    json empty = manifestJSON();
    empty["files"] = empty["folders"] = json::array();
    EXPECT_TRUE(Manifest::fromJSON(empty).files.empty());
    EXPECT_TRUE(decodeList<FileContent>(json::array()).empty());

    const AppRelease onlyVersion{"1.4.0", std::nullopt, "", std::nullopt, "", ""};
    EXPECT_EQ(AppRelease::fromJSON({{"latest_version", "1.4.0"}}), onlyVersion);
    EXPECT_EQ(AppRelease::fromJSON({{"latest_version", "1.4.0"},
                                    {"min_version", nullptr},
                                    {"release_notes", nullptr},
                                    {"released_at", nullptr},
                                    {"download_page", nullptr},
                                    {"download_url", nullptr}}),
              onlyVersion);
    EXPECT_EQ(AppRelease::fromJSON({{"latest_version", "1.4.0"},
                                    {"min_version", "1.2.0"},
                                    {"release_notes", "fixes"},
                                    {"released_at", "not a date"},
                                    {"download_page", "https://x/d"},
                                    {"download_url", "https://x/d.tar"}}),
              (AppRelease{"1.4.0", "1.2.0", "fixes", "not a date", "https://x/d", "https://x/d.tar"}));
}
