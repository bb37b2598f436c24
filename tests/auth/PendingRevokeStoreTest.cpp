#include "auth/PendingRevokeStore.hpp"

#include "support/TempDir.hpp"

#include <gtest/gtest.h>

using namespace quorvel;
using quorvel::test::readFile;
using quorvel::test::TempDir;
using quorvel::test::writeFile;

TEST(PendingRevokeStore, SaveLoadClear) {
    TempDir tmp;
    PendingRevokeStore store(tmp / "auth");
    EXPECT_EQ(store.fileURL(), tmp / "auth" / "pending-revoke.json");
    EXPECT_FALSE(store.load());

    store.save({"refresh-1", "https://svc.example/"});
    EXPECT_EQ(store.load(), (PendingRevoke{"refresh-1", "https://svc.example/"}));
    EXPECT_EQ(readFile(store.fileURL()), R"({"baseURL":"https://svc.example/","refreshToken":"refresh-1"})");

    // A second store over the same directory (the next run) sees it.
    EXPECT_EQ(PendingRevokeStore(tmp / "auth").load(), (PendingRevoke{"refresh-1", "https://svc.example/"}));

    store.clear();
    EXPECT_FALSE(store.load());
    EXPECT_FALSE(std::filesystem::exists(store.fileURL()));
    store.clear();
}

TEST(PendingRevokeStore, ARetryClearsOnlyWhatItSent) {
    TempDir tmp;
    PendingRevokeStore retrying(tmp.path()), loggingOut(tmp.path());
    const PendingRevoke sent{"refresh-1", "https://svc.example"}, newer{"refresh-2", "https://svc.example"};
    retrying.save(sent);
    loggingOut.save(newer); // another process's logout while the retry was out
    retrying.clear(sent);
    EXPECT_EQ(retrying.load(), newer);
    retrying.clear(newer);
    EXPECT_FALSE(retrying.load());
}

TEST(PendingRevokeStore, UnreadableFilesAreNothingOwed) {
    TempDir tmp;
    PendingRevokeStore store(tmp.path());
    for (const char *bad : {"", "not json", "[]", R"({"refreshToken":"r"})", R"({"baseURL":"b"})",
                            R"({"refreshToken":1,"baseURL":"b"})"}) {
        writeFile(store.fileURL(), bad);
        EXPECT_FALSE(store.load()) << bad;
    }
    // Key order is free and other keys are ignored.
    writeFile(store.fileURL(), R"({"refreshToken":"r","other":true,"baseURL":"b"})");
    EXPECT_EQ(store.load(), (PendingRevoke{"r", "b"}));
}
