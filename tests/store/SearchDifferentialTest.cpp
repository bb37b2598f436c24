#include "StoreFixtures.hpp"
#include "store/TrigramText.hpp"
#include "support/SearchReference.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <array>
#include <random>

using namespace quorvel;

namespace {

// Pieces bodies, titles and queries are made of: Korean, English, mixed, decomposed Hangul, a
// combining accent, letters whose case-folded form is shorter (Kelvin sign, capital sharp s,
// dotted I), LIKE and FTS5 punctuation, FTS5 operators, which must match as words, sentence ends
// that snippet() looks for, and control characters other than NUL. (Letters whose folded form is
// longer, such as Ⱥ, make snippet() read past the end of a body, so no reference exists for them.)
const std::vector<std::string> pieces = [] {
    const std::initializer_list<const char *> groups[] = {
        {"회의록", "회의", "정리", "검색", "문서", "가", "나", "다", "ㅋ", "한국어", "데이터베이스"},
        {"\u1112\u116c\u110b\u1174", "Report", "report", "SALES", "abc", "ab", "a", "b", "x", "ĀB", "e\u0301", "Ünï"},
        {"本文", ". ", ": ", " ", " ", " ", "  ", "\t", "\n", "\x01", "%", "_", "\\", "\"", "*", "(", "100%", "a_b"},
        {"🙂", "\uFFFD", "\uFFFF", "...", "NEAR(", "OR", "AND "}};
    std::vector<std::string> all;
    for (const auto &group : groups)
        all.insert(all.end(), group.begin(), group.end());
    return all;
}();

// Folders nested three deep, and two that are each other's parent, whose path stops after 64 names.
struct Corpus {
    std::vector<FolderRecord> folders = {
        {1, std::nullopt, "위", 0}, {2, 1, "가운데", 1}, {3, 2, "아래", 0}, {7, 8, "고리1", 0}, {8, 7, "고리2", 0}};
    std::vector<SyncApplyBatch::FileUpsert> files;
};

// Ids are 1 to 300 times `idScale`: counting up as a service hands them out, or far apart.
Corpus makeCorpus(std::mt19937 &random, int64_t idScale) {
    auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
    auto text = [&](size_t count) {
        std::string out;
        for (size_t k = 0; k < count; ++k)
            out += pieces[pick(pieces.size())];
        return out;
    };
    Corpus c;
    for (int64_t id = 1; id <= 300; ++id) {
        std::string title = text(1 + pick(4)), body;
        double time = static_cast<double>(1000 + pick(12));
        if (id % 10 == 1) body = text(1);                        // shorter than any window
        if (id % 10 == 2) body = "회의록" + text(30 + pick(60)); // a hit at the very start
        if (id % 10 == 3) body = text(30 + pick(60)) + "회의";   // ... and at the very end
        if (id % 10 == 4)                                        // many hits
            for (int k = 0; k < 400; ++k)
                body += (k % 7 ? "회의록 " : "abc. ") + pieces[pick(8)];
        if (id % 10 == 5) body = std::string(50 + pick(250), 'a'); // overlapping trigrams
        if (id % 10 > 5) body = text(5 + pick(300));
        if (id % 50 == 0) body = text(4000) + "끝말"; // a hit far past the first part read
        if (id % 23 == 0 && !c.files.empty()) {       // same text and time as another: ties in rank
            const auto &twin = c.files[pick(c.files.size())];
            title = twin.filename;
            body = twin.bodyText;
            time = twin.updatedAt;
        }
        std::optional<int64_t> folder;
        if (id % 3) folder = std::array<int64_t, 5>{1, 2, 3, 7, 99}[pick(5)]; // 99: a folder not listed
        c.files.push_back(test::upsert(id * idScale, folder, title, body, time));
    }
    return c;
}

// A word lifted from a document, maybe with its ASCII letters' case swapped, or a piece.
std::string queryWord(std::mt19937 &random, const Corpus &c) {
    if (random() % 5 == 0) return pieces[random() % pieces.size()];
    const auto &f = c.files[random() % c.files.size()];
    std::string source = random() % 4 == 0 ? f.filename : f.bodyText;
    std::string norm = HTMLText::normalize(source);
    if (norm.empty()) return "회의";
    size_t start = random() % norm.size();
    while (start > 0 && (norm[start] & 0xC0) == 0x80)
        --start;
    size_t chars = 1 + random() % 5, end = start;
    for (size_t k = 0; k < chars && end < norm.size(); ++k) {
        ++end;
        while (end < norm.size() && (norm[end] & 0xC0) == 0x80)
            ++end;
    }
    std::string word = norm.substr(start, end - start);
    if (random() % 3 == 0) {
        for (char &ch : word)
            ch = std::isalpha(static_cast<unsigned char>(ch)) ? static_cast<char>(ch ^ 0x20) : ch;
    }
    return word;
}

} // namespace

// The fast path answers exactly what the statements answer: the same ids, in the same order, with
// the same snippets, on a store with the full-text index and on one without.
// Four shards of 250 queries each on the same corpus (two with ids far apart), so that a
// sanitizer build on a busy machine runs each within the test time-out.
class SearchDifferential : public ::testing::TestWithParam<int> {};

TEST_P(SearchDifferential, AnswersEqualTheStatementsRunAsWritten) {
    test::TempDir dir;
    LocalStore fts(dir / "fts", true), plain(dir / "plain", false);
    ASSERT_TRUE(fts.hasFTS());
    std::mt19937 random(16);
    Corpus corpus = makeCorpus(random, GetParam() % 2 ? 1'000'000'007 : 1);
    random.seed(static_cast<unsigned>(16 + GetParam()));
    for (auto *s : {&fts, &plain})
        test::put(*s, corpus.files, corpus.folders);
    int compared = 0, nonEmpty = 0;
    for (int q = 0; q < 250; ++q) {
        std::string query = queryWord(random, corpus);
        for (int extra = static_cast<int>(random() % 3); extra > 0; --extra)
            query += " " + queryWord(random, corpus);
        const int limit = q % 3 == 0 ? 5 : 100;
        for (auto *s : {&fts, &plain}) {
            auto expected = test::referenceSearch(*s, query, limit);
            ++compared;
            nonEmpty += !expected.empty();
            ASSERT_EQ(s->search(query, limit), expected) << "query [" << query << "] fts " << s->hasFTS();
        }
    }
    EXPECT_GT(nonEmpty, compared / 2) << "most queries should find something";
}

INSTANTIATE_TEST_SUITE_P(Shards, SearchDifferential, ::testing::Range(0, 4));

namespace {

// A store holding `files` answers each query, at each limit, what the statements answer.
void answersEqualTheStatements(std::vector<SyncApplyBatch::FileUpsert> files, std::vector<std::string> queries,
                               std::vector<int> limits) {
    test::TempDir dir;
    LocalStore store(dir.path(), true);
    test::put(store, std::move(files));
    for (const auto &query : queries) {
        for (int limit : limits) {
            auto expected = test::referenceSearch(store, query, limit);
            ASSERT_FALSE(expected.empty()) << query;
            ASSERT_EQ(store.search(query, limit), expected) << query << " limit " << limit;
        }
    }
}

} // namespace

// A short word so common that listing its documents from the index would cost more than reading
// bodies in order: the answer is the same either way.
TEST(SearchDifferentialCommon, CommonShortWordsAnswerTheSame) {
    std::string laughter;
    for (int k = 0; k < 20000; ++k)
        laughter += k % 1000 ? "ㅋ" : "ㅋ. ";
    std::vector<SyncApplyBatch::FileUpsert> files;
    for (int64_t id = 1; id <= 40; ++id) {
        std::string body = id % 8 == 0 ? laughter : "본문 " + std::to_string(id) + (id % 3 ? " ㅋ" : " 끝ㅋㅋ");
        files.push_back(test::upsert(id, std::nullopt, id % 5 ? "제목" : "ㅋ 제목", body, 1000.0 + id % 4));
    }
    answersEqualTheStatements(files, {"ㅋ", "ㅋㅋ", "ㅋ 끝", "끝ㅋ", ". ㅋ", "제목 ㅋ"}, {3, 100});
}

// Instances that overlap in characters but not in tokens ("aaa" twice in "aaaa") make the
// snippet run to the end of the body, however far past the hits that is.
TEST(SearchDifferentialCommon, OverlappingHitsEarlyInALongBody) {
    std::string tail;
    for (int k = 0; k < 2000; ++k)
        tail += k % 100 ? "본문 " : "끝. ";
    answersEqualTheStatements({test::upsert(1, std::nullopt, "제목", "ㅋㅋㅋㅋ 회의 " + tail, 1000.0),
                               test::upsert(2, std::nullopt, "제목", "시작 aaaa " + tail + "aaa", 1001.0)},
                              {"ㅋㅋㅋ", "ㅋㅋㅋ 회의", "aaa", "AAA 본문"}, {10});
}

// Whole bodies are scanned eight bytes at a time; the answers are those of one byte at a time,
// for any bytes, at any alignment, and across a block boundary given the byte before it.
TEST(TrigramTextScan, WordAtATimeEqualsByteAtATime) {
    std::mt19937 random(7);
    const unsigned char alphabet[] = {'a', '.', 0x7F, 0x80, 0xA1, 0xBF, 0xC3, 0xE1, 0xED, 0xF0, 0xFF};
    for (int round = 0; round < 2000; ++round) {
        std::string text(random() % 40, '\0');
        for (char &c : text)
            c = static_cast<char>(alphabet[random() % sizeof alphabet]);
        const auto previous = static_cast<unsigned char>(alphabet[random() % sizeof alphabet]);
        bool lone = false;
        int64_t characters = 0;
        unsigned char before = previous;
        for (char c : text) {
            const auto byte = static_cast<unsigned char>(c);
            lone |= (byte & 0xC0) == 0x80 && before < 0x80;
            characters += (byte & 0xC0) != 0x80;
            before = byte;
        }
        ASSERT_EQ(TrigramText::hasLoneContinuation(text, previous), lone) << round;
        ASSERT_EQ(TrigramText::countCharacters(text), characters) << round;
    }
}
