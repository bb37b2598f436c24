#include "StoreFixtures.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

using namespace quorvel;
using quorvel::test::marked;
using quorvel::test::upsert;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> answer(LocalStore &store, const std::string &query) {
    std::vector<std::string> out;
    for (const auto &r : store.search(query, 10)) {
        std::string path;
        for (const auto &p : r.folderPath)
            path += p + "/";
        out.push_back(std::to_string(r.fileId) + " " + path + r.title + " " + marked(r.snippet));
    }
    return out;
}

void put(LocalStore &store, std::vector<SyncApplyBatch::FileUpsert> files, std::vector<int64_t> deletes = {}) {
    test::put(store, std::move(files), {{1, std::nullopt, "회의", 0}, {2, 1, "2024", 0}}, std::move(deletes));
}

} // namespace

TEST(LocalStoreReadOnly, MissingOrForeignLibraryStaysClosedAndUntouched) {
    test::TempDir dir;
    LocalStore missing(dir / "none", LocalStore::ReadOnly{});
    EXPECT_FALSE(missing.isOpen());
    EXPECT_THROW(missing.search("회의록", 5), LocalStoreError);
    EXPECT_FALSE(fs::exists(dir / "none"));

    { LocalStore writer(dir / "lib", true); }
    SQLiteDB(dir / "lib" / "store.sqlite").setUserVersion(99);
    EXPECT_FALSE(LocalStore(dir / "lib", LocalStore::ReadOnly{}).isOpen());
}

TEST(LocalStoreReadOnly, AnswersAsTheWriterDoesAndFollowsItsChanges) {
    test::TempDir dir;
    LocalStore writer(dir.path(), true);
    put(writer, {upsert(1, 2, "주간 회의록", "예산 회의에서 정한 일", 2000),
                 upsert(2, std::nullopt, "메모", "회의 준비물", 1000)});
    LocalStore reader(dir.path(), LocalStore::ReadOnly{});
    ASSERT_TRUE(reader.isOpen());
    EXPECT_TRUE(reader.hasFTS());
    for (const char *query : {"회의", "회의록", "예산 회의", "준비물"}) {
        EXPECT_EQ(answer(reader, query), answer(writer, query)) << query;
        EXPECT_FALSE(answer(reader, query).empty()) << query;
    }
    EXPECT_EQ(answer(reader, "회의록"), std::vector<std::string>{"1 회의/2024/주간 회의록 예산 회의에서 정한 일"});

    put(writer, {upsert(3, 1, "회의 일정", "다음 회의", 3000)}, {2});
    EXPECT_EQ(answer(reader, "회의"), answer(writer, "회의"));
    EXPECT_EQ(answer(reader, "회의").size(), 2u);
    EXPECT_THROW(put(reader, {upsert(4, std::nullopt, "x")}), SQLiteError);
    writer.wipeAll();
    EXPECT_TRUE(answer(reader, "회의").empty());
}

TEST(LocalStoreReadOnly, LeavesTheDatabaseAsItWas) {
    test::TempDir dir;
    {
        LocalStore writer(dir.path(), true);
        put(writer, {upsert(1, std::nullopt, "회의록", "본문")});
    }
    const std::string before = test::readFile(dir / "store.sqlite");
    {
        LocalStore reader(dir.path(), LocalStore::ReadOnly{});
        ASSERT_EQ(reader.search("회의록", 5).size(), 1u);
        EXPECT_THROW(reader.recordView(1, 5000), SQLiteError);
    }
    EXPECT_EQ(test::readFile(dir / "store.sqlite"), before);
}
