#include "StoreFixtures.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>

using namespace quorvel;
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
            s->withDB([&](SQLiteDB &db) {
                db.statementHook = [&](const std::string &sql) {
                    if (sql.rfind("SELECT f.id", 0) == 0) ran.push_back(sql);
                };
            });
        }
    }

    void put(std::vector<FolderRecord> folders, std::vector<SyncApplyBatch::FileUpsert> files) {
        for (auto *s : {&fts, &plain}) {
            SyncApplyBatch b(1, "e", 1);
            b.folders = folders;
            b.upserts = files;
            s->apply(b);
        }
    }

    static std::vector<int64_t> ids(const std::vector<SearchResult> &results) {
        std::vector<int64_t> out;
        for (const auto &r : results)
            out.push_back(r.fileId);
        return out;
    }
    bool lastUsedMatch() const { return !ran.empty() && ran.back().find("MATCH") != std::string::npos; }
};

std::string text(const std::vector<SnippetSegment> &segments) {
    std::string out;
    for (const auto &s : segments)
        out += s.highlighted ? "[" + s.text + "]" : s.text;
    return out;
}

} // namespace

TEST_F(SearchTest, AQueryOfOnlySpacesFindsNothingWithoutAskingTheDatabase) {
    put({}, {upsert(1, std::nullopt, "제목", "본문")});
    EXPECT_TRUE(fts.search("  \t\u3000 ", 100).empty());
    EXPECT_TRUE(fts.search("", 100).empty());
    EXPECT_TRUE(ran.empty());
}

TEST_F(SearchTest, WordLengthChoosesThePath) {
    put({}, {upsert(1, std::nullopt, "회의록", "검색 엔진과 문서 색인"), upsert(2, std::nullopt, "메모", "문서 없음")});
    // Two Korean syllables are a short word: substring matching.
    EXPECT_EQ(ids(fts.search("문서", 100)), (std::vector<int64_t>{2, 1}));
    EXPECT_FALSE(lastUsedMatch());
    // Three or more go to the index.
    EXPECT_EQ(ids(fts.search("회의록", 100)), std::vector<int64_t>{1});
    EXPECT_TRUE(lastUsedMatch());
    EXPECT_EQ(ids(fts.search("검색 엔진과", 100)), std::vector<int64_t>{1});
    EXPECT_TRUE(lastUsedMatch());
    size_t filters = 0;
    for (size_t at = 0; (at = ran.back().find("LIKE ? ESCAPE", at)) != std::string::npos; ++at)
        ++filters;
    EXPECT_EQ(filters, 2u) << "one filter, title and body, for the short word";
    // Without the index every query uses substring matching, with the same answers.
    EXPECT_EQ(ids(plain.search("검색 엔진과", 100)), std::vector<int64_t>{1});
    EXPECT_FALSE(lastUsedMatch());
    EXPECT_TRUE(fts.search("엔진과 없음", 100).empty());
}

TEST_F(SearchTest, TheSubstringStatementIsUsedExactly) {
    put({}, {upsert(1, std::nullopt, "t", "abcdef")});
    plain.search("abc de", 5);
    EXPECT_EQ(ran.back(), "SELECT f.id, f.filename, f.folder_id, f.updated_at, f.body_text FROM files f\nWHERE "
                          "(f.filename LIKE ? ESCAPE '\\' OR f.body_text LIKE ? ESCAPE '\\') AND (f.filename LIKE ? "
                          "ESCAPE '\\' OR f.body_text LIKE ? ESCAPE '\\')\nORDER BY (f.filename LIKE ? ESCAPE '\\') "
                          "DESC, f.updated_at DESC, f.id DESC\nLIMIT ?");
}

// Snippets are cut after ranking, for the returned rows only; the answer must be exactly what the
// one statement ranking and cutting together gives.
TEST_F(SearchTest, FullTextAnswersEqualRankingAndCuttingInOneStatement) {
    const std::vector<std::string> words = {"가나다", "라마바", "사아자", "abc", "defg", "가나", "xy"};
    std::vector<SyncApplyBatch::FileUpsert> files;
    uint32_t seed = 7;
    auto pick = [&] { return words[(seed = seed * 1103515245 + 12345) / 65536 % words.size()]; };
    for (int64_t id = 1; id <= 80; ++id) {
        std::string body;
        for (int k = 0; k < 40; ++k)
            body += pick() + (k % 9 == 8 ? ". " : " ");
        files.push_back(upsert(id, std::nullopt, pick() + " " + pick(), body, static_cast<double>(id % 7)));
    }
    put({}, files);
    const char *single = "SELECT f.id, snippet(files_fts, 1, char(1), char(2), '…', 16)\nFROM files_fts JOIN files f "
                         "ON f.id = files_fts.rowid\nWHERE files_fts MATCH ?%s\nORDER BY bm25(files_fts, 5.0, 1.0), "
                         "f.updated_at DESC\nLIMIT ?";
    struct Case {
        std::string query, match, filter;
    };
    for (const Case &c : std::vector<Case>{{"가나다", "\"가나다\"", ""},
                                           {"abc 라마바", "\"abc\" AND \"라마바\"", ""},
                                           {"defg xy", "\"defg\"",
                                            " AND (f.filename LIKE ? ESCAPE '\\' OR "
                                            "f.body_text LIKE ? ESCAPE '\\')"}}) {
        for (int limit : {5, 100}) {
            SCOPED_TRACE(c.query + " limit " + std::to_string(limit));
            auto results = fts.search(c.query, limit);
            EXPECT_TRUE(lastUsedMatch());
            std::vector<SQLiteValue> params{SQLiteValue::text(c.match)};
            if (!c.filter.empty()) params.insert(params.end(), 2, SQLiteValue::text("%xy%"));
            params.push_back(SQLiteValue::i(limit));
            char sql[512];
            std::snprintf(sql, sizeof sql, single, c.filter.c_str());
            auto expected = fts.withDB([&](SQLiteDB &db) {
                return db.query(sql, params, [](SQLiteStatement &s) {
                    return std::pair(s.int64(0), LocalStore::parseSnippet(s.text(1)));
                });
            });
            ASSERT_FALSE(expected.empty());
            ASSERT_EQ(results.size(), expected.size());
            for (size_t k = 0; k < results.size(); ++k) {
                EXPECT_EQ(results[k].fileId, expected[k].first) << "rank " << k;
                EXPECT_EQ(results[k].snippet, expected[k].second) << "rank " << k;
            }
        }
    }
}

TEST_F(SearchTest, QuotesAndOperatorsAreMatchedLiterally) {
    put({}, {upsert(1, std::nullopt, "인용", "그가 \"hello\" 라고 했다"), upsert(2, std::nullopt, "별", "abcdef"),
             upsert(3, std::nullopt, "연산", "NEAR(abc def) and abc*")});
    EXPECT_EQ(ids(fts.search("\"hello\"", 10)), std::vector<int64_t>{1});
    EXPECT_EQ(ids(fts.search("o\"\"", 10)), std::vector<int64_t>{}) << "no such text, and no syntax error";
    EXPECT_EQ(ids(fts.search("abc*", 10)), std::vector<int64_t>{3});
    EXPECT_EQ(ids(fts.search("NEAR(abc", 10)), std::vector<int64_t>{3});
    EXPECT_EQ(ids(fts.search("abc OR xyz", 10)), std::vector<int64_t>{}) << "OR is a short word, not an operator";
}

TEST_F(SearchTest, PercentUnderscoreAndBackslashAreLiteralInSubstringMatching) {
    put({}, {upsert(1, std::nullopt, "a", "100% 완료"), upsert(2, std::nullopt, "b", "100 완료 a_b"),
             upsert(3, std::nullopt, "c", "axb 1x0 a\\b")});
    for (auto *s : {&fts, &plain}) {
        EXPECT_EQ(ids(s->search("0%", 10)), std::vector<int64_t>{1});
        EXPECT_EQ(ids(s->search("_", 10)), std::vector<int64_t>{2});
        EXPECT_EQ(ids(s->search("\\", 10)), std::vector<int64_t>{3});
    }
    EXPECT_EQ(ids(plain.search("a_b", 10)), std::vector<int64_t>{2});
    EXPECT_FALSE(lastUsedMatch());
    EXPECT_EQ(ids(plain.search("a\\b", 10)), std::vector<int64_t>{3});
}

TEST_F(SearchTest, SubstringResultsPutTitleHitsFirstThenNewerThenLargerIds) {
    put({}, {upsert(1, std::nullopt, "본문만", "여기 열쇠", 500), upsert(2, std::nullopt, "열쇠 제목", "x", 100),
             upsert(3, std::nullopt, "또 본문", "열쇠", 500), upsert(4, std::nullopt, "제목 열쇠", "", 300)});
    for (auto *s : {&fts, &plain})
        EXPECT_EQ(ids(s->search("열쇠", 10)), (std::vector<int64_t>{4, 2, 3, 1}));
    // The first word decides what counts as a title hit.
    EXPECT_EQ(ids(plain.search("본문 열쇠", 10)), (std::vector<int64_t>{3, 1}));
    EXPECT_EQ(ids(plain.search("열쇠", 2)), (std::vector<int64_t>{4, 2}));
    EXPECT_TRUE(plain.search("열쇠", 0).empty());
    EXPECT_TRUE(plain.search("열쇠", -1).empty()) << "a negative limit is not 'unlimited'";
}

TEST_F(SearchTest, FullTextRanksTitleHitsAboveBodyHits) {
    put({}, {upsert(1, std::nullopt, "일반 문서", "데이터베이스 설계에 관한 긴 설명과 예제", 900),
             upsert(2, std::nullopt, "데이터베이스", "설명", 100)});
    auto results = fts.search("데이터베이스", 10);
    EXPECT_TRUE(lastUsedMatch());
    EXPECT_EQ(ids(results), (std::vector<int64_t>{2, 1}));
}

TEST_F(SearchTest, ResultsCarryTitleTimeFolderPathAndSnippet) {
    put({{1, std::nullopt, "위", 0}, {2, 1, "가운데", 0}, {3, 2, "아래", 0}, {7, 8, "고리1", 0}, {8, 7, "고리2", 0}},
        {upsert(10, 3, "깊은 문서", "검색어로 시작하는 본문", 1234), upsert(11, 99, "길 잃은 문서", "검색어", 5),
         upsert(12, 7, "고리 문서", "검색어", 1)});
    for (auto *s : {&fts, &plain}) {
        auto results = s->search("검색어", 10);
        ASSERT_EQ(results.size(), 3u);
        std::map<int64_t, SearchResult> byId;
        for (auto &r : results)
            byId[r.fileId] = r;
        const SearchResult &deep = byId[10];
        EXPECT_EQ(deep.title, "깊은 문서");
        EXPECT_EQ(deep.updatedAt, 1234);
        EXPECT_EQ(deep.folderPath, (std::vector<std::string>{"위", "가운데", "아래"}));
        ASSERT_FALSE(deep.snippet.empty());
        EXPECT_EQ(deep.snippet[0], (SnippetSegment{"검색어", true})) << text(deep.snippet);
        EXPECT_EQ(byId[11].folderPath, std::vector<std::string>{});
        // A cycle in the parent links stops after 64 names.
        ASSERT_EQ(byId[12].folderPath.size(), 64u);
        EXPECT_EQ(byId[12].folderPath.back(), "고리1");
        EXPECT_EQ(byId[12].folderPath.front(), "고리2");
    }
}

TEST_F(SearchTest, SnippetsOfBothPathsHighlightHits) {
    std::string before(60, 'x'), after(60, 'y');
    put({}, {upsert(1, std::nullopt, "긴 문서", before + " 찾는말 " + after),
             upsert(2, std::nullopt, "제목만 찾는말", "본문")});
    auto viaFTS = fts.search("찾는말", 10);
    ASSERT_EQ(viaFTS.size(), 2u);
    std::string snippet = text(viaFTS[1].fileId == 1 ? viaFTS[1].snippet : viaFTS[0].snippet);
    EXPECT_NE(snippet.find("[찾는말]"), std::string::npos) << snippet;

    auto viaLIKE = plain.search("찾는말", 10);
    ASSERT_EQ(ids(viaLIKE), (std::vector<int64_t>{2, 1}));
    EXPECT_EQ(text(viaLIKE[1].snippet), "…" + std::string(39, 'x') + " [찾는말] " + std::string(39, 'y') + "…");
    // Only the title matched: the start of the body.
    EXPECT_EQ(viaLIKE[0].snippet, (std::vector<SnippetSegment>{{"본문", false}}));
}

TEST_F(SearchTest, ASCIILettersMatchWhateverTheirCase) {
    put({}, {upsert(1, std::nullopt, "Report", "Quarterly SALES figures")});
    for (auto *s : {&fts, &plain}) {
        EXPECT_EQ(ids(s->search("sales", 10)), std::vector<int64_t>{1});
        EXPECT_EQ(ids(s->search("REPORT", 10)), std::vector<int64_t>{1});
    }
    EXPECT_EQ(text(plain.search("sales", 10)[0].snippet), "Quarterly [SALES] figures");
}
