#include "auth/FileTokenStore.hpp"
#include "auth/InMemoryTokenStore.hpp"

#include "support/TempDir.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <regex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace quorvel;
using quorvel::test::readFile;
using quorvel::test::TempDir;
using quorvel::test::writeFile;

namespace {

struct FileInfo {
    bool exists = false;
    mode_t mode = 0;
};

FileInfo info(const std::filesystem::path &path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    return {true, st.st_mode & 07777};
}

// Keeps the file's current inode open, so "the path still names it" proves the file was not
// replaced (every write replaces it by rename, and a held inode number cannot be reused).
class Witness {
public:
    explicit Witness(const std::filesystem::path &path) : path_(path), fd_(::open(path.c_str(), O_RDONLY)) {}
    ~Witness() {
        if (fd_ >= 0) ::close(fd_);
    }
    Witness(const Witness &) = delete;
    Witness &operator=(const Witness &) = delete;
    bool unchanged() const {
        struct stat held {
        }, now{};
        return fd_ >= 0 && ::fstat(fd_, &held) == 0 && ::stat(path_.c_str(), &now) == 0 && held.st_ino == now.st_ino;
    }

private:
    std::filesystem::path path_;
    int fd_;
};

void fillAccount(TokenStore &store) {
    store.setAccessToken("acc");
    store.setAccessExpiry(1717000000.5);
    store.setRefreshToken("ref");
    store.setUserId(7);
    store.setDeviceId(12);
    store.setEmail("user@example.com");
}

} // namespace

// The behaviour every TokenStore shares.
template <class Store>
class TokenStoreContract : public ::testing::Test {
protected:
    std::unique_ptr<TokenStore> make() {
        if constexpr (std::is_same_v<Store, FileTokenStore>)
            return std::make_unique<FileTokenStore>(tmp_ / "auth");
        else
            return std::make_unique<InMemoryTokenStore>();
    }
    TempDir tmp_;
};

using Stores = ::testing::Types<FileTokenStore, InMemoryTokenStore>;
TYPED_TEST_SUITE(TokenStoreContract, Stores);

TYPED_TEST(TokenStoreContract, ClearCredentialsForgetsOnlyTheTokens) {
    auto store = this->make();
    fillAccount(*store);
    store->setDeviceUUID("UUID-1");
    store->clearCredentials();
    EXPECT_FALSE(store->accessToken());
    EXPECT_FALSE(store->accessExpiry());
    EXPECT_FALSE(store->refreshToken());
    EXPECT_EQ(store->userId(), 7);
    EXPECT_EQ(store->deviceId(), 12);
    EXPECT_EQ(store->email(), "user@example.com");
    EXPECT_EQ(store->deviceUUID(), "UUID-1");
}

TYPED_TEST(TokenStoreContract, ClearAllKeepsOnlyTheDeviceIdentifier) {
    auto store = this->make();
    fillAccount(*store);
    store->setDeviceUUID("UUID-1");
    store->clearAll();
    EXPECT_FALSE(store->accessToken());
    EXPECT_FALSE(store->refreshToken());
    EXPECT_FALSE(store->accessExpiry());
    EXPECT_FALSE(store->userId());
    EXPECT_FALSE(store->deviceId());
    EXPECT_FALSE(store->email());
    EXPECT_EQ(store->deviceUUID(), "UUID-1");
}

TEST(FileTokenStore, WritesTheDocumentedShapeWithSortedKeys) {
    TempDir tmp;
    FileTokenStore store(tmp.path());
    EXPECT_EQ(store.fileURL(), tmp / "credentials.json");
    fillAccount(store);
    store.setBoundBaseURL("http://127.0.0.1:8787");
    store.setDeviceUUID("0F8FAD5B-D9CB-469F-A165-70867728950E");
    EXPECT_EQ(readFile(store.fileURL()),
              R"({"deviceUUID":"0F8FAD5B-D9CB-469F-A165-70867728950E","session":{"accessExpiry":1717000000.5,)"
              R"("accessToken":"acc","baseURL":"http://127.0.0.1:8787","deviceId":12,"email":"user@example.com",)"
              R"("refreshToken":"ref","userId":7},"version":1})");

    FileTokenStore again(tmp.path());
    EXPECT_EQ(again.accessToken(), "acc");
    EXPECT_EQ(again.accessExpiry(), 1717000000.5);
    EXPECT_EQ(again.refreshToken(), "ref");
    EXPECT_EQ(again.userId(), 7);
    EXPECT_EQ(again.deviceId(), 12);
    EXPECT_EQ(again.email(), "user@example.com");
    EXPECT_EQ(again.boundBaseURL(), "http://127.0.0.1:8787");
    EXPECT_EQ(again.deviceUUID(), "0F8FAD5B-D9CB-469F-A165-70867728950E");
}

TEST(FileTokenStore, LeavesAbsentValuesAndAnEmptySessionOut) {
    TempDir tmp;
    FileTokenStore store(tmp.path());
    store.setAccessToken("a");
    EXPECT_EQ(readFile(store.fileURL()), R"({"session":{"accessToken":"a"},"version":1})");
    store.setDeviceUUID("U");
    store.setAccessToken(std::nullopt);
    EXPECT_EQ(readFile(store.fileURL()), R"({"deviceUUID":"U","version":1})");
}

TEST(FileTokenStore, FileAndDirectoryAreOwnerOnly) {
    TempDir tmp;
    FileTokenStore store(tmp / "auth");
    store.setRefreshToken("r");
    EXPECT_EQ(info(store.fileURL()).mode, 0600u);
    EXPECT_EQ(info(tmp / "auth").mode, 0700u);
}

TEST(FileTokenStore, WritingAnUnchangedValueDoesNotTouchTheDisk) {
    TempDir tmp;
    FileTokenStore store(tmp.path());
    store.setAccessToken("a");
    store.setUserId(7);
    Witness witness(store.fileURL());
    store.setAccessToken("a");
    store.setUserId(7);
    store.setAccessExpiry(std::nullopt);
    store.setRefreshToken(std::nullopt);
    store.setDeviceUUID(std::nullopt);
    EXPECT_TRUE(witness.unchanged());
    store.setUserId(8);
    EXPECT_FALSE(witness.unchanged());

    store.clearCredentials();
    Witness afterClear(store.fileURL());
    store.clearCredentials();
    EXPECT_TRUE(afterClear.unchanged());
}

TEST(FileTokenStore, ClearAllLeavesOnlyVersionAndDeviceIdentifier) {
    TempDir tmp;
    FileTokenStore store(tmp.path());
    fillAccount(store);
    store.setDeviceUUID("U");
    store.clearAll();
    EXPECT_EQ(readFile(store.fileURL()), R"({"deviceUUID":"U","version":1})");
}

TEST(FileTokenStore, ClearAllWithoutDeviceIdentifierRemovesTheFile) {
    TempDir tmp;
    FileTokenStore store(tmp.path());
    fillAccount(store);
    ASSERT_TRUE(info(store.fileURL()).exists);
    store.clearAll();
    EXPECT_FALSE(info(store.fileURL()).exists);
    EXPECT_FALSE(FileTokenStore(tmp.path()).accessToken());
}

TEST(FileTokenStore, SignedOutAccountIsRememberedAcrossRuns) {
    TempDir tmp;
    {
        FileTokenStore store(tmp.path());
        fillAccount(store);
        store.setBoundBaseURL("https://svc.example");
        store.clearCredentials();
    }
    FileTokenStore store(tmp.path());
    EXPECT_FALSE(store.accessToken());
    EXPECT_FALSE(store.refreshToken());
    EXPECT_FALSE(store.accessExpiry());
    EXPECT_EQ(store.userId(), 7);
    EXPECT_EQ(store.deviceId(), 12);
    EXPECT_EQ(store.email(), "user@example.com");
    EXPECT_EQ(store.boundBaseURL(), "https://svc.example");
}

TEST(FileTokenStore, EnsureDeviceUUIDCreatesOneCanonicalIdentifierOnce) {
    TempDir tmp;
    FileTokenStore store(tmp.path());
    const std::string uuid = store.ensureDeviceUUID();
    EXPECT_TRUE(
        std::regex_match(uuid, std::regex("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}")))
        << uuid;
    Witness written(store.fileURL());
    EXPECT_EQ(store.ensureDeviceUUID(), uuid);
    EXPECT_TRUE(written.unchanged());
    EXPECT_EQ(FileTokenStore(tmp.path()).ensureDeviceUUID(), uuid);
    EXPECT_NE(FileTokenStore(tmp / "other").ensureDeviceUUID(), uuid);
}

TEST(FileTokenStore, CorruptFileIsAnEmptyStoreAndIsReplacedOnTheNextWrite) {
    TempDir tmp;
    writeFile(tmp / "credentials.json", "{\"version\":1,\"session\":{\"accessToken\":");
    FileTokenStore store(tmp.path());
    EXPECT_FALSE(store.accessToken());
    EXPECT_FALSE(store.deviceUUID());
    store.setRefreshToken("r");
    EXPECT_EQ(readFile(store.fileURL()), R"({"session":{"refreshToken":"r"},"version":1})");
}

TEST(FileTokenStore, DecodeAcceptsOnlyTheFormat) {
    using C = FileTokenStore::Contents;
    EXPECT_EQ(FileTokenStore::decode(R"({"version":1})"), C{});
    // Nulls are absent values, an empty identifier is none, unknown keys are ignored, the version is not checked.
    auto c = FileTokenStore::decode(
        R"({"version":2,"deviceUUID":"","extra":[1],"session":{"accessToken":null,"userId":3,"accessExpiry":10}})");
    ASSERT_TRUE(c);
    EXPECT_FALSE(c->deviceUUID);
    EXPECT_FALSE(c->session.accessToken);
    EXPECT_EQ(c->session.userId, 3);
    EXPECT_EQ(c->session.accessExpiry, 10.0);
    EXPECT_EQ(FileTokenStore::decode(R"({"version":1,"session":null})"), C{});

    for (const char *bad :
         {"", "[]", "null", R"({})", R"({"version":"1"})", R"({"version":1,"session":[]})",
          R"({"version":1,"deviceUUID":5})", R"({"version":1,"session":{"userId":"7"}})",
          R"({"version":1,"session":{"userId":1.5}})", R"({"version":1,"session":{"deviceId":18446744073709551615}})",
          R"({"version":1,"session":{"accessExpiry":"soon"}})", R"({"version":1} trailing)"})
        EXPECT_FALSE(FileTokenStore::decode(bad)) << bad;
}

TEST(FileTokenStore, TextThatIsNotUTF8IsKeptInMemoryOnly) {
    TempDir tmp;
    FileTokenStore store(tmp.path());
    store.setAccessToken("good");
    const auto before = readFile(store.fileURL());
    store.setEmail(std::string("bad\xff"));
    EXPECT_EQ(store.email(), std::string("bad\xff"));
    EXPECT_EQ(readFile(store.fileURL()), before);
}

TEST(FileTokenStore, ConcurrentWritersLeaveAFileMatchingTheFinalState) {
    TempDir tmp;
    FileTokenStore store(tmp.path());
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&store, t] {
            for (int i = 0; i < 25; ++i) {
                switch (t) {
                case 0:
                    store.setAccessToken("a" + std::to_string(i));
                    break;
                case 1:
                    store.setUserId(i);
                    break;
                case 2:
                    store.setEmail("e" + std::to_string(i));
                    break;
                default:
                    store.ensureDeviceUUID();
                    break;
                }
            }
        });
    }
    for (auto &thread : threads)
        thread.join();
    FileTokenStore reread(tmp.path());
    EXPECT_EQ(reread.accessToken(), "a24");
    EXPECT_EQ(reread.userId(), 24);
    EXPECT_EQ(reread.email(), "e24");
    EXPECT_EQ(reread.deviceUUID(), store.deviceUUID());
}
