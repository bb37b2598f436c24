#include "api/WireRecords.hpp"
#include "api/APIError.hpp"

#include <gtest/gtest.h>

using namespace quorvel;
using nlohmann::json;

namespace {

// Runs a decode that must fail and returns the error's message.
template <class F>
std::string decodeFailure(F decode) {
    try {
        decode();
    } catch (const APIError &e) {
        EXPECT_EQ(e.kind(), APIError::Kind::decoding);
        return e.message().value_or("");
    }
    ADD_FAILURE() << "decoding succeeded";
    return "";
}

const double may1 = 1714566896; // 2024-05-01T12:34:56Z

json fileJSON() {
    return {{"id", 7},         {"folder_id", 3},        {"filename", "a.html"},
            {"file_size", 12}, {"content_hash", "abc"}, {"updated_at", "2024-05-01T12:34:56Z"}};
}

json manifestJSON() {
    return {{"server_time", "2024-05-01T12:34:56Z"},
            {"user", {{"id", 1}, {"email", "a@b.c"}}},
            {"shell_version", "v3"},
            {"folders", json::array({{{"id", 3}, {"name", "Docs"}, {"order_num", 0}}})},
            {"files", json::array({fileJSON()})}};
}

} // namespace

TEST(WireRecordsTest, AppUserRequiresIdAndEmail) {
    EXPECT_EQ(AppUser::fromJSON({{"id", 1}, {"email", "a@b.c"}, {"nickname", "Kim"}}), (AppUser{1, "a@b.c", "Kim"}));
    EXPECT_EQ(AppUser::fromJSON({{"id", 1}, {"email", "a@b.c"}, {"nickname", nullptr}}).nickname, std::nullopt);
    EXPECT_EQ(AppUser::fromJSON({{"id", 1}, {"email", "a@b.c"}, {"extra", {1, 2}}}).nickname, std::nullopt);
    EXPECT_EQ(decodeFailure([] { AppUser::fromJSON({{"id", 1}}); }), "missing key \"email\"");
    EXPECT_EQ(decodeFailure([] {
                  AppUser::fromJSON({{"id", 1}, {"email", nullptr}});
              }),
              "type mismatch at \"email\": expected string, found null");
    EXPECT_EQ(decodeFailure([] {
                  AppUser::fromJSON({{"id", 1}, {"email", "x"}, {"nickname", 5}});
              }),
              "type mismatch at \"nickname\": expected string, found number");
    decodeFailure([] { AppUser::fromJSON(json::array()); });
}

TEST(WireRecordsTest, IdsMustBeSigned64BitIntegers) {
    EXPECT_EQ(decodeFailure([] {
                  AppUser::fromJSON({{"id", "1"}, {"email", "x"}});
              }),
              "type mismatch at \"id\": expected integer, found string");
    decodeFailure([] { AppUser::fromJSON({{"id", true}, {"email", "x"}}); });
    decodeFailure([] { AppUser::fromJSON({{"id", 1.5}, {"email", "x"}}); });
    decodeFailure([] { AppUser::fromJSON(json::parse(R"({"id": 9223372036854775808, "email": "x"})")); });
    decodeFailure([] { AppUser::fromJSON(json::parse(R"({"id": 1e300, "email": "x"})")); });
    EXPECT_EQ(AppUser::fromJSON(json::parse(R"({"id": 9223372036854775807, "email": "x"})")).id, 9223372036854775807);
    EXPECT_EQ(AppUser::fromJSON(json::parse(R"({"id": -9223372036854775808, "email": "x"})")).id, INT64_MIN);
    // A number written with an exponent or fraction still counts when it is exactly an integer.
    EXPECT_EQ(AppUser::fromJSON(json::parse(R"({"id": 3.0, "email": "x"})")).id, 3);
    EXPECT_EQ(AppUser::fromJSON(json::parse(R"({"id": 2e3, "email": "x"})")).id, 2000);
}

TEST(WireRecordsTest, TokenResponseNeedsEveryFieldAndTheUser) {
    json token = {{"access_token", "at"},        {"expires_in", 3600}, {"refresh_token", "rt"},
                  {"refresh_expires_in", 86400}, {"device_id", 9},     {"user", {{"id", 1}, {"email", "a@b.c"}}}};
    EXPECT_EQ(TokenResponse::fromJSON(token), (TokenResponse{"at", 3600, "rt", 86400, 9, AppUser{1, "a@b.c", {}}}));

    json noUser = token;
    noUser.erase("user");
    EXPECT_EQ(decodeFailure([&] { TokenResponse::fromJSON(noUser); }), "missing key \"user\"");
    json nullUser = token;
    nullUser["user"] = nullptr;
    decodeFailure([&] { TokenResponse::fromJSON(nullUser); });
    json badNested = token;
    badNested["user"]["id"] = "1";
    EXPECT_EQ(decodeFailure([&] { TokenResponse::fromJSON(badNested); }),
              "type mismatch at \"user.id\": expected integer, found string");
    for (const char *key : {"access_token", "expires_in", "refresh_token", "refresh_expires_in", "device_id"}) {
        json missing = token;
        missing.erase(key);
        decodeFailure([&] { TokenResponse::fromJSON(missing); });
    }
}

TEST(WireRecordsTest, MissingOrNullParentAndFolderAreAbsent) {
    EXPECT_EQ(ManifestFolder::fromJSON({{"id", 3}, {"name", "Docs"}, {"order_num", 2}}),
              (ManifestFolder{3, std::nullopt, "Docs", 2}));
    EXPECT_EQ(
        ManifestFolder::fromJSON({{"id", 3}, {"parent_id", nullptr}, {"name", "Docs"}, {"order_num", 2}}).parentId,
        std::nullopt);
    EXPECT_EQ(ManifestFolder::fromJSON({{"id", 3}, {"parent_id", 1}, {"name", "Docs"}, {"order_num", 2}}).parentId, 1);
    decodeFailure([] { ManifestFolder::fromJSON({{"id", 3}, {"parent_id", "1"}, {"name", "D"}, {"order_num", 2}}); });
    decodeFailure([] { ManifestFolder::fromJSON({{"id", 3}, {"name", "Docs"}}); });

    json file = fileJSON();
    EXPECT_EQ(ManifestFile::fromJSON(file), (ManifestFile{7, 3, "a.html", may1, 12, "abc"}));
    file["folder_id"] = nullptr;
    EXPECT_EQ(ManifestFile::fromJSON(file).folderId, std::nullopt);
    file.erase("folder_id");
    EXPECT_EQ(ManifestFile::fromJSON(file).folderId, std::nullopt);
}

TEST(WireRecordsTest, DatesGoThroughTheTimestampParser) {
    json file = fileJSON();
    file["updated_at"] = "2024-05-01 12:34:56";
    EXPECT_EQ(ManifestFile::fromJSON(file).updatedAt, may1);
    file["updated_at"] = "2024-05-01T21:34:56.5+09:00";
    EXPECT_EQ(ManifestFile::fromJSON(file).updatedAt, may1 + 0.5);
    file["updated_at"] = "2024/05/01";
    EXPECT_EQ(decodeFailure([&] { ManifestFile::fromJSON(file); }), "Invalid ISO8601 date: 2024/05/01");
    file["updated_at"] = 1714566896;
    EXPECT_EQ(decodeFailure([&] { ManifestFile::fromJSON(file); }),
              "type mismatch at \"updated_at\": expected string, found number");

    json content = {{"id", 1}, {"content", "<p>x</p>"}, {"content_hash", "h"}, {"updated_at", "nope"}};
    EXPECT_EQ(decodeFailure([&] { FileContent::fromJSON(content); }), "Invalid ISO8601 date: nope");
    json manifest = manifestJSON();
    manifest["server_time"] = "";
    EXPECT_EQ(decodeFailure([&] { Manifest::fromJSON(manifest); }), "Invalid ISO8601 date: ");
}

TEST(WireRecordsTest, ManifestArraysAreRequiredButMayBeEmpty) {
    Manifest manifest = Manifest::fromJSON(manifestJSON());
    EXPECT_EQ(manifest.serverTime, may1);
    EXPECT_EQ(manifest.user, (AppUser{1, "a@b.c", {}}));
    EXPECT_EQ(manifest.shellVersion, "v3");
    ASSERT_EQ(manifest.folders.size(), 1u);
    ASSERT_EQ(manifest.files.size(), 1u);
    EXPECT_EQ(manifest.files[0].filename, "a.html");

    json empty = manifestJSON();
    empty["files"] = json::array();
    empty["folders"] = json::array();
    EXPECT_TRUE(Manifest::fromJSON(empty).files.empty());

    json missing = manifestJSON();
    missing.erase("files");
    EXPECT_EQ(decodeFailure([&] { Manifest::fromJSON(missing); }), "missing key \"files\"");
    json nullFiles = manifestJSON();
    nullFiles["files"] = nullptr;
    decodeFailure([&] { Manifest::fromJSON(nullFiles); });
    json badElement = manifestJSON();
    badElement["files"].push_back({{"id", 8}});
    EXPECT_EQ(decodeFailure([&] { Manifest::fromJSON(badElement); }), "missing key \"files[1].filename\"");
}

TEST(WireRecordsTest, ReleaseFillsItsOptionalStrings) {
    AppRelease onlyVersion = AppRelease::fromJSON({{"latest_version", "1.4.0"}});
    EXPECT_EQ(onlyVersion, (AppRelease{"1.4.0", std::nullopt, "", std::nullopt, "", ""}));
    AppRelease nulls = AppRelease::fromJSON({{"latest_version", "1.4.0"},
                                             {"min_version", nullptr},
                                             {"release_notes", nullptr},
                                             {"released_at", nullptr},
                                             {"download_page", nullptr},
                                             {"download_url", nullptr}});
    EXPECT_EQ(nulls, onlyVersion);
    AppRelease full = AppRelease::fromJSON({{"latest_version", "1.4.0"},
                                            {"min_version", "1.2.0"},
                                            {"release_notes", "fixes"},
                                            {"released_at", "not a date"},
                                            {"download_page", "https://x/d"},
                                            {"download_url", "https://x/d.tar"}});
    EXPECT_EQ(full, (AppRelease{"1.4.0", "1.2.0", "fixes", "not a date", "https://x/d", "https://x/d.tar"}));
    decodeFailure([] { AppRelease::fromJSON({{"min_version", "1.0"}}); });
    decodeFailure([] { AppRelease::fromJSON({{"latest_version", "1"}, {"release_notes", 3}}); });
}

TEST(WireRecordsTest, ShellAndContentNeedEveryField) {
    EXPECT_EQ(ShellDoc::fromJSON({{"version", "v1"}, {"html", "<html></html>"}}), (ShellDoc{"v1", "<html></html>"}));
    decodeFailure([] { ShellDoc::fromJSON({{"version", "v1"}}); });
    decodeFailure([] { ShellDoc::fromJSON("v1"); });
    json content = {{"id", 1}, {"content", "<p>x</p>"}, {"content_hash", "h"}, {"updated_at", "2024-05-01T12:34:56Z"}};
    EXPECT_EQ(FileContent::fromJSON(content), (FileContent{1, "<p>x</p>", "h", may1}));
    content.erase("content_hash");
    decodeFailure([&] { FileContent::fromJSON(content); });
}

TEST(WireRecordsTest, ListsNameTheFailingElement) {
    json list =
        json::array({{{"id", 1}, {"content", "a"}, {"content_hash", "h"}, {"updated_at", "2024-05-01 00:00:00"}},
                     {{"id", "2"}, {"content", "b"}, {"content_hash", "h"}, {"updated_at", "x"}}});
    EXPECT_EQ(decodeFailure([&] { decodeList<FileContent>(list); }),
              "type mismatch at \"[1].id\": expected integer, found string");
    list.erase(1);
    EXPECT_EQ(decodeList<FileContent>(list).size(), 1u);
    EXPECT_TRUE(decodeList<FileContent>(json::array()).empty());
    decodeFailure([] { decodeList<FileContent>(json::object()); });
}

TEST(WireRecordsTest, EncodableRecordsRoundTripUnderTheSameKeys) {
    AppUser user{5, "u@x", "닉"};
    EXPECT_EQ(AppUser::fromJSON(user.toJSON()), user);
    EXPECT_FALSE((AppUser{5, "u@x", {}}.toJSON().contains("nickname")));

    ManifestFolder folder{3, 1, "폴더", -2};
    EXPECT_EQ(ManifestFolder::fromJSON(folder.toJSON()), folder);
    EXPECT_EQ(folder.toJSON().dump(), R"({"id":3,"name":"폴더","order_num":-2,"parent_id":1})");
    EXPECT_FALSE((ManifestFolder{3, {}, "f", 0}.toJSON().contains("parent_id")));

    ManifestFile file{7, std::nullopt, "a.html", may1, 12, "abc"};
    EXPECT_EQ(ManifestFile::fromJSON(file.toJSON()), file);
    EXPECT_EQ(file.toJSON()["updated_at"], "2024-05-01T12:34:56Z");

    Manifest manifest{may1, user, "v9", {folder}, {file, ManifestFile{8, 3, "b", may1 - 86400, 0, ""}}};
    EXPECT_EQ(Manifest::fromJSON(manifest.toJSON()), manifest);

    FileContent content{7, "<p>안녕</p>", "abc", may1};
    EXPECT_EQ(FileContent::fromJSON(content.toJSON()), content);
    ShellDoc shell{"v1", "<html><body></body></html>"};
    EXPECT_EQ(ShellDoc::fromJSON(shell.toJSON()), shell);

    EXPECT_EQ((DeviceInfo{"uuid-1", "내 컴퓨터", "1.0.0", "Debian GNU/Linux 12"}).toJSON(),
              (json{{"uuid", "uuid-1"},
                    {"name", "내 컴퓨터"},
                    {"app_version", "1.0.0"},
                    {"os_version", "Debian GNU/Linux 12"}}));
}
