#include "StoreFixtures.hpp"
#include "html/HTMLText.hpp"
#include "store/SearchStopped.hpp"
#include "support/SearchReference.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <latch>
#include <thread>

using namespace quorvel;
using quorvel::test::scalar;
using quorvel::test::upsert;

namespace {

// One store with the full-text index and one without, holding the same library.
class SearchTest : public ::testing::Test {
protected:
    test::TempDir dir;
    LocalStore fts{dir / "fts", true};
    LocalStore plain{dir / "plain", false};
    std::vector<std::string> ran;

    void SetUp() override {
        ASSERT_TRUE(fts.hasFTS());
        for (auto *s : {&fts, &plain}) {
            s->withDB([&](SQLiteDB &db) { db.statementHook = [&](const std::string &sql) { ran.push_back(sql); }; });
        }
    }

    void put(std::vector<SyncApplyBatch::FileUpsert> files, std::vector<FolderRecord> folders = {}) {
        for (auto *s : {&fts, &plain})
            test::put(*s, files, folders);
        ran.clear();
    }

    static std::vector<int64_t> ids(const std::vector<SearchResult> &results) {
        std::vector<int64_t> out;
        for (const auto &r : results)
            out.push_back(r.fileId);
        return out;
    }
    // Whether the index was asked for matches since the last call.
    bool usedMatch() {
        bool used = std::any_of(ran.begin(), ran.end(), [](const std::string &sql) {
            return sql.find("files_fts MATCH") != std::string::npos;
        });
        ran.clear();
        return used;
    }
};

} // namespace

TEST_F(SearchTest, AQueryOfOnlySpacesFindsNothingWithoutAskingTheDatabase) {
    put({upsert(1, std::nullopt, "제목", "본문")});
    EXPECT_TRUE(fts.search("  \t\u3000 ", 100).empty());
    EXPECT_TRUE(fts.search("", 100).empty());
    EXPECT_TRUE(ran.empty());
}

TEST_F(SearchTest, WordLengthChoosesThePath) {
    put({upsert(1, std::nullopt, "회의록", "검색 엔진과 문서 색인"), upsert(2, std::nullopt, "메모", "문서 없음")});
    // Two Korean syllables are a short word: substring matching.
    EXPECT_EQ(ids(fts.search("문서", 100)), (std::vector<int64_t>{2, 1}));
    EXPECT_FALSE(usedMatch());
    // Three or more go to the index.
    EXPECT_EQ(ids(fts.search("회의록", 100)), std::vector<int64_t>{1});
    EXPECT_TRUE(usedMatch());
    EXPECT_EQ(ids(fts.search("검색 엔진과", 100)), std::vector<int64_t>{1});
    EXPECT_TRUE(usedMatch());
    // Without the index every query uses substring matching, with the same answers.
    EXPECT_EQ(ids(plain.search("검색 엔진과", 100)), std::vector<int64_t>{1});
    EXPECT_FALSE(usedMatch());
    EXPECT_TRUE(fts.search("엔진과 없음", 100).empty());
}

// Ranking, and quotes, operators and wildcards matched literally, are SearchDifferential's; the
// limits it does not try are here.
TEST_F(SearchTest, ALimitOfZeroOrLessFindsNothing) {
    put({upsert(1, std::nullopt, "본문만", "여기 열쇠", 500), upsert(2, std::nullopt, "열쇠 제목", "x", 100)});
    for (auto *s : {&fts, &plain}) {
        EXPECT_EQ(ids(s->search("열쇠", 1)), std::vector<int64_t>{2});
        EXPECT_TRUE(s->search("열쇠", 0).empty());
        EXPECT_TRUE(s->search("열쇠", -1).empty()) << "a negative limit is not 'unlimited'";
    }
}

// Ⱥ folds to a longer letter, so the index reports tokens holding it as ending past where they
// do; SQLite's own snippet() then copies from beyond the end of the body. The snippet stops at
// the body's end instead.
TEST_F(SearchTest, ASnippetNeverReadsPastTheBody) {
    put({upsert(1, std::nullopt, "t", "x ȺȺȺ")});
    auto results = fts.search("ȺȺȺ", 10);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].snippet, (std::vector<SnippetSegment>{{"x ", false}, {"ȺȺȺ", true}}));
}

// Titles made on some systems arrive decomposed (NFD: Hangul as separate jamo). Both paths match
// and order titles by their composed form, so a document is found by the same words whichever
// path a query takes; the title is shown as it was sent.
TEST_F(SearchTest, DecomposedTitlesAndBodiesAreFoundByTheirComposedWords) {
    // 회의록 정리 and 회의록, decomposed.
    const std::string title = "\u1112\u116c\u110b\u1174\u1105\u1169\u11a8 \u110c\u1165\u11bc\u1105\u1175";
    const std::string body = "<p>\u1112\u116c\u110b\u1174\u1105\u1169\u11a8 \u110c\u1165\u11bc\u1105\u1175</p>";
    put({upsert(1, std::nullopt, title, "본문", 100), upsert(2, std::nullopt, "메모", "회의 정리 본문", 900),
         upsert(3, std::nullopt, "다른 글", HTMLText::extract(body), 50)});
    for (auto *s : {&fts, &plain}) {
        SCOPED_TRACE(s->hasFTS() ? "with the index" : "without the index");
        EXPECT_EQ(ids(s->search("회의록", 10)), (std::vector<int64_t>{1, 3}));
        EXPECT_EQ(ids(s->search("회의록 정리", 10)), (std::vector<int64_t>{1, 3}));
        // Short words: the decomposed title is a title hit, so it comes first.
        EXPECT_EQ(ids(s->search("회의", 10)), (std::vector<int64_t>{1, 2, 3}));
        EXPECT_EQ(ids(s->search("정리", 10)), (std::vector<int64_t>{1, 2, 3}));
        EXPECT_EQ(ids(s->search("회의 정리", 10)), (std::vector<int64_t>{1, 2, 3}));
        EXPECT_EQ(s->search("정리", 1).at(0).title, title);
    }
}

TEST_F(SearchTest, AfterAWipeSearchSeesOnlyTheNewLibrary) {
    put({upsert(1, std::nullopt, "옛 회의록", "지난 회의 본문", 100)});
    for (auto *s : {&fts, &plain}) {
        ASSERT_EQ(ids(s->search("회의", 10)), (std::vector<int64_t>{1}));
        s->wipeAll();
    }
    put({upsert(2, std::nullopt, "새 회의록", "이번 회의 본문", 200)});
    for (auto *s : {&fts, &plain}) {
        SCOPED_TRACE(s->hasFTS() ? "with the index" : "without the index");
        for (const char *query : {"회의", "회의록", "지난"}) {
            EXPECT_EQ(s->search(query, 10), test::referenceSearch(*s, query, 10)) << query;
        }
        EXPECT_EQ(ids(s->search("회의록", 10)), (std::vector<int64_t>{2}));
    }
}

// What search keeps beside the library is rebuilt on opening when it is missing, or when the
// store was last written by a build that kept no generation and it is out of step, as after a sync
// applied by a build that did not keep it. Once rebuilt, it is stamped.
TEST(SearchCatalogRebuild, AnOutOfStepCatalogIsRebuiltOnOpening) {
    const std::vector<std::pair<const char *, const char *>> damage = {
        {"missing", "DROP TABLE search_docs"},
        {"no generation, and the lists' indexes missing",
         "DELETE FROM meta WHERE key IN ('generation', 'search_docs_generation'); DROP INDEX files_summary; "
         "DROP INDEX files_missing_assets"},
        {"a row missing", "DELETE FROM search_docs WHERE id = 2"},
        {"renamed and newer", "UPDATE files SET filename = '새 회의 제목', updated_at = 5000 WHERE id = 3; "
                              "UPDATE files_fts SET title = '새 회의 제목' WHERE rowid = 3"},
        // As many index rows as documents, but one of another document: bodies are not read from it.
        {"an index row swapped", "DELETE FROM files_fts WHERE rowid = 2; "
                                 "INSERT INTO files_fts(rowid, title, body) VALUES(99, '다른', '다른 본문')"},
    };
    for (const auto &[what, sql] : damage) {
        SCOPED_TRACE(what);
        test::TempDir dir;
        {
            LocalStore store(dir.path(), true);
            std::vector<SyncApplyBatch::FileUpsert> files;
            for (int64_t id = 1; id <= 4; ++id)
                files.push_back(upsert(id, std::nullopt, "제목 " + std::to_string(id), "회의 본문", 100.0 * id));
            test::put(store, files);
            store.withDB([&](SQLiteDB &db) {
                db.exec(sql);
                db.exec("DELETE FROM meta WHERE key = 'search_docs_generation'");
            });
        }
        LocalStore reopened(dir.path(), true);
        EXPECT_EQ(scalar(reopened, "SELECT count(*) FROM sqlite_master WHERE name IN ('files_summary', "
                                   "'files_missing_assets')"),
                  2);
        EXPECT_EQ(scalar(reopened, "SELECT value FROM meta WHERE key = 'search_docs_generation'"),
                  reopened.generation());
        for (const char *query : {"회의", "제목", "본문"}) {
            auto expected = test::referenceSearch(reopened, query, 10);
            ASSERT_EQ(expected.size(), 4U) << query;
            EXPECT_EQ(reopened.search(query, 10), expected) << query;
        }
    }
}

namespace {

// A library large enough that ranking and reading bodies take many steps, and a search on it held
// at the first statement containing `marker` until another thread has asked it to stop.
class StopTest : public ::testing::Test {
protected:
    test::TempDir dir;
    LocalStore store{dir.path(), true};

    void SetUp() override {
        SyncApplyBatch b(1, "e", 1);
        for (int64_t id = 1; id <= 400; ++id) {
            std::string body;
            for (int k = 0; k < 200; ++k)
                body += (k % 5 ? "회의록 내용 " : "abc. ") + std::to_string(id * k % 97) + " ";
            b.upserts.push_back(upsert(id, std::nullopt, "문서 " + std::to_string(id), body, 1000.0 + id % 9));
        }
        store.apply(b);
    }

    void stopAt(const std::string &marker, const std::string &query) {
        SCOPED_TRACE(marker);
        std::stop_source source;
        std::latch reached(1), stopped(1);
        bool held = false;
        store.withDB([&](SQLiteDB &db) {
            db.statementHook = [&](const std::string &sql) {
                if (held || sql.find(marker) == std::string::npos) return;
                held = true;
                reached.count_down();
                stopped.wait();
            };
        });
        std::thread other([&] {
            reached.wait();
            source.request_stop();
            stopped.count_down();
        });
        EXPECT_THROW(store.search(query, 100, source.get_token()), SearchStopped);
        other.join();
        EXPECT_TRUE(held);
        store.withDB([&](SQLiteDB &db) {
            db.statementHook = nullptr;
            EXPECT_EQ(db.transactionDepth(), 0);
            EXPECT_EQ(sqlite3_get_autocommit(db.handle()), 1) << "no transaction left open";
        });
        // The store answers the next search, and takes the next batch.
        EXPECT_EQ(store.search(query, 100), test::referenceSearch(store, query, 100));
        SyncApplyBatch b(1, "e", 2);
        b.upserts.push_back(upsert(1000, std::nullopt, "새 문서", "회의록"));
        EXPECT_NO_THROW(store.apply(b));
    }
};

} // namespace

// Ranking, cutting snippets and reading bodies each end at a stop request.
TEST_F(StopTest, EveryStepStopsAndTheStoreStaysUsable) {
    for (const auto &[marker, query] :
         {std::pair{"bm25(", "회의록"}, {"quorvel_snippet(", "회의록 내용"}, {"SELECT filename", "록"}})
        stopAt(marker, query);
}

TEST_F(StopTest, AStopRequestedBeforeTheSearchEndsIt) {
    std::stop_source source;
    source.request_stop();
    EXPECT_THROW(store.search("회의록", 10, source.get_token()), SearchStopped);
    EXPECT_EQ(store.search("회의록", 10).size(), 10u);
}
