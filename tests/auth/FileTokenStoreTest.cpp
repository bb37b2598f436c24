#include "auth/FileTokenStore.hpp"
#include "auth/InMemoryTokenStore.hpp"

#include "support/TempDir.hpp"

#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace quorvel;
using quorvel::test::readFile;
using quorvel::test::TempDir;
using quorvel::test::writeFile;

namespace {

// Keeps the file's current inode open, so "the path still names it" proves the file was not
// replaced (every write replaces it by rename, and a held inode number cannot be reused).
struct Witness {
    explicit Witness(const std::filesystem::path &file) : path(file), fd(::open(file.c_str(), O_RDONLY)) {}
    ~Witness() { ::close(fd); }
    bool unchanged() const {
        struct stat held = {}, now = {};
        return ::fstat(fd, &held) == 0 && ::stat(path.c_str(), &now) == 0 && held.st_ino == now.st_ino;
    }
    std::filesystem::path path;
    int fd;
};

void fillAccount(TokenStore &store) {
    store.setAccessToken("acc");
    store.setAccessExpiry(1717000000.5);
    store.setRefreshToken("ref");
    store.setUserId(7);
    store.setDeviceId(12);
    store.setEmail("user@example.com");
    store.setDeviceUUID("UUID-1");
}

using Values = InMemoryTokenStore::Values;

Values valuesOf(const TokenStore &s) {
    return {s.accessToken(), s.accessExpiry(), s.refreshToken(), s.userId(), s.deviceId(), s.deviceUUID(), s.email()};
}

} // namespace

// The in-memory store's clearing is walked by the session tests (a refused refresh, a sign-out).
TEST(FileTokenStore, TheOwnerOnlyFileHoldsExactlyTheValuesSetWithSortedKeys) {
    TempDir tmp;
    FileTokenStore store(tmp / "auth");
    EXPECT_EQ(store.fileURL(), tmp / "auth" / "credentials.json");
    const std::pair<std::function<void()>, std::string> steps[] = {
        {[&] { store.setAccessToken("a"); }, R"({"session":{"accessToken":"a"},"version":1})"},
        {[&] {
             store.setDeviceUUID("U");
             store.setAccessToken(std::nullopt);
         },
         R"({"deviceUUID":"U","version":1})"},
        {[&] {
             fillAccount(store);
             store.setBoundBaseURL("http://127.0.0.1:8787");
         },
         R"({"deviceUUID":"UUID-1","session":{"accessExpiry":1717000000.5,"accessToken":"acc",)"
         R"("baseURL":"http://127.0.0.1:8787","deviceId":12,"email":"user@example.com","refreshToken":"ref",)"
         R"("userId":7},"version":1})"},
        {[&] { store.clearCredentials(); },
         R"({"deviceUUID":"UUID-1","session":{"baseURL":"http://127.0.0.1:8787","deviceId":12,)"
         R"("email":"user@example.com","userId":7},"version":1})"},
        {[&] { store.clearAll(); }, R"({"deviceUUID":"UUID-1","version":1})"},
    };
    for (const auto &[step, expected] : steps) {
        step();
        EXPECT_EQ(readFile(store.fileURL()), expected);
    }
    EXPECT_EQ(valuesOf(store), Values{.deviceUUID = "UUID-1"});
    EXPECT_EQ(FileTokenStore(tmp / "auth").boundBaseURL(), std::nullopt);

    // Without a device identifier nothing is left to keep.
    fillAccount(store);
    store.setBoundBaseURL("https://svc.example");
    EXPECT_EQ(FileTokenStore(tmp / "auth").boundBaseURL(), "https://svc.example");
    store.setDeviceUUID(std::nullopt);
    store.clearAll();
    EXPECT_FALSE(std::filesystem::exists(store.fileURL()));
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

TEST(FileTokenStore, EnsureDeviceUUIDCreatesOneCanonicalIdentifierOnce) {
    TempDir tmp;
    FileTokenStore store(tmp.path());
    // Its form is SecureRandom's (PKCETest).
    const std::string uuid = store.ensureDeviceUUID();
    Witness written(store.fileURL());
    EXPECT_EQ(store.ensureDeviceUUID(), uuid);
    EXPECT_TRUE(written.unchanged());
    EXPECT_EQ(FileTokenStore(tmp.path()).ensureDeviceUUID(), uuid);
    EXPECT_NE(FileTokenStore(tmp / "other").ensureDeviceUUID(), uuid);
}

TEST(FileTokenStore, ACorruptFileIsEmptyAndTextThatIsNotUTF8StaysInMemory) {
    TempDir tmp;
    writeFile(tmp / "credentials.json", "{\"version\":1,\"session\":{\"accessToken\":");
    FileTokenStore store(tmp.path());
    EXPECT_EQ(valuesOf(store), Values{});
    store.setRefreshToken("r");
    EXPECT_EQ(readFile(store.fileURL()), R"({"session":{"refreshToken":"r"},"version":1})");
    store.setEmail(std::string("bad\xff"));
    EXPECT_EQ(store.email(), std::string("bad\xff"));
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

TEST(FileTokenStore, ConcurrentWritersLeaveAFileMatchingTheFinalState) {
    TempDir tmp;
    FileTokenStore store(tmp.path());
    const std::function<void(int)> writers[] = {
        [&](int i) { store.setAccessToken("a" + std::to_string(i)); }, [&](int i) { store.setUserId(i); },
        [&](int i) { store.setEmail("e" + std::to_string(i)); }, [&](int) { store.ensureDeviceUUID(); }};
    std::vector<std::thread> threads;
    for (const auto &write : writers)
        threads.emplace_back([&write] {
            for (int i = 0; i < 25; ++i)
                write(i);
        });
    for (auto &thread : threads)
        thread.join();
    FileTokenStore reread(tmp.path());
    EXPECT_EQ(reread.accessToken(), "a24");
    EXPECT_EQ(reread.userId(), 24);
    EXPECT_EQ(reread.email(), "e24");
    EXPECT_EQ(reread.deviceUUID(), store.deviceUUID());
}
