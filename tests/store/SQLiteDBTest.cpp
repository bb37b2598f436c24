#include "store/SQLiteDB.hpp"
#include "support/TempDir.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace quorvel;
using namespace ::testing;

namespace {
struct SQLiteDBTest : ::testing::Test {
    test::TempDir dir;
    SQLiteDB db{(dir / "t.sqlite").string()};
    void SetUp() override { db.exec("CREATE TABLE t(a INTEGER, b TEXT, c BLOB, d REAL)"); }
    int64_t count() { return db.scalarInt("SELECT count(*) FROM t"); }
};
} // namespace

TEST_F(SQLiteDBTest, ValuesRoundTripByKindIncludingEmptyBlobAndNull) {
    db.run("INSERT INTO t VALUES(?1, ?2, ?3, ?4)",
           {SQLiteValue::opt(std::optional<int64_t>{}), SQLiteValue::opt(std::optional<std::string>{"한글\0x"}),
            SQLiteValue::blob({}), SQLiteValue::real(2.5)});
    auto row = db.queryOne("SELECT a, b, c, typeof(c), d, length(c) FROM t", {}, [](SQLiteStatement &s) {
        EXPECT_TRUE(s.isNull(0));
        EXPECT_FALSE(s.optInt(0));
        EXPECT_EQ(s.optText(1), "한글");
        EXPECT_TRUE(s.blob(2).empty());
        EXPECT_EQ(s.text(3), "blob"); // zero-length blob, not NULL
        EXPECT_EQ(s.real(4), 2.5);
        return s.int64(5);
    });
    EXPECT_EQ(row, 0);
    std::vector<uint8_t> bytes{0, 1, 2, 255};
    db.run("UPDATE t SET c = ?1", {SQLiteValue::blob(bytes)});
    EXPECT_EQ(db.queryOne("SELECT c FROM t", {}, [](SQLiteStatement &s) { return s.blob(0); }), bytes);
}

TEST_F(SQLiteDBTest, NestedTransactionsUseSavepointsAndRollBackOnlyTheirLevel) {
    std::vector<std::string> seen;
    db.statementHook = [&](const std::string &sql) {
        if (sql.rfind("SAVEPOINT", 0) == 0 || sql.rfind("RELEASE", 0) == 0 || sql.rfind("ROLLBACK", 0) == 0 ||
            sql.rfind("BEGIN", 0) == 0 || sql == "COMMIT")
            seen.push_back(sql);
    };
    db.transaction(true, [&] {
        EXPECT_EQ(db.transactionDepth(), 1);
        db.run("INSERT INTO t(a) VALUES(1)");
        EXPECT_THROW(db.transaction(false,
                                    [&] {
                                        db.run("INSERT INTO t(a) VALUES(2)");
                                        db.transaction(false, [&] { db.run("INSERT INTO t(a) VALUES(3)"); });
                                        throw std::runtime_error("inner");
                                    }),
                     std::runtime_error);
        EXPECT_EQ(db.transactionDepth(), 1);
        db.transaction(false, [&] { db.run("INSERT INTO t(a) VALUES(4)"); });
    });
    EXPECT_EQ(db.transactionDepth(), 0);
    EXPECT_EQ(db.query("SELECT a FROM t ORDER BY a", {}, [](SQLiteStatement &s) { return s.int64(0); }),
              (std::vector<int64_t>{1, 4}));
    EXPECT_EQ(seen,
              (std::vector<std::string>{"BEGIN IMMEDIATE", "SAVEPOINT sp1", "SAVEPOINT sp2", "RELEASE sp2",
                                        "ROLLBACK TO sp1", "RELEASE sp1", "SAVEPOINT sp1", "RELEASE sp1", "COMMIT"}));
}

TEST_F(SQLiteDBTest, FailingCommitRollsBackAndReportsTheCommitError) {
    db.exec("CREATE TABLE parent(id INTEGER PRIMARY KEY)");
    db.exec("CREATE TABLE child(p INTEGER REFERENCES parent(id) DEFERRABLE INITIALLY DEFERRED)");
    db.exec("PRAGMA foreign_keys = ON");
    auto commit = [&] {
        db.transaction(true, [&] {
            db.run("INSERT INTO t(a) VALUES(1)");
            db.run("INSERT INTO child VALUES(99)"); // violation only detected at COMMIT
        });
    };
    EXPECT_THAT(commit, Throws<SQLiteError>(AllOf(Field(&SQLiteError::sql, "COMMIT"),
                                                  ResultOf([](auto &e) { return e.code & 0xff; }, SQLITE_CONSTRAINT))));
    EXPECT_EQ(db.transactionDepth(), 0);
    EXPECT_EQ(count(), 0);
    // The connection is usable: a new transaction works.
    db.transaction(true, [&] { db.run("INSERT INTO t(a) VALUES(2)"); });
    EXPECT_EQ(count(), 1);
}

TEST_F(SQLiteDBTest, ErrorsCarryCodeMessageAndTruncatedSQL) {
    std::string longSQL = "SELECT * FROM missing_table WHERE " + std::string(200, 'x');
    EXPECT_THAT([&] { db.run(longSQL); },
                Throws<SQLiteError>(Property(&SQLiteError::description, "SQLite(1): no such table: missing_table [" +
                                                                            longSQL.substr(0, 120) + "]")));
    SQLiteError open(14, "unable to open database file");
    EXPECT_STREQ(open.what(), "SQLite(14): unable to open database file");
}

TEST_F(SQLiteDBTest, ClosedConnectionReportsDatabaseClosed) {
    db.close();
    db.close();
    EXPECT_FALSE(db.isOpen());
    EXPECT_THAT([&] { db.run("SELECT 1"); }, Throws<SQLiteError>(Eq(SQLiteError(21, "database closed", "SELECT 1"))));
    EXPECT_THROW(db.scalarInt("SELECT 1"), SQLiteError);
    EXPECT_EQ(db.userVersion(), 0);
    EXPECT_FALSE(db.tableExists("t"));
}

TEST(SQLiteDBMigrate, RunsOnlyMissingStepsAndKeepsEarlierOnFailure) {
    test::TempDir dir;
    SQLiteDB db((dir / "m.sqlite").string());
    int runs = 0;
    auto create = [&runs](std::string table) -> SQLiteDB::Step {
        return [&runs, table](SQLiteDB &d) {
            ++runs;
            d.exec("CREATE TABLE " + table + "(x)");
        };
    };
    std::vector<SQLiteDB::Step> steps = {create("a"), create("b")};
    db.migrate(steps);
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(db.userVersion(), 2);
    db.migrate(steps);
    EXPECT_EQ(runs, 2);

    steps.push_back([](SQLiteDB &d) {
        d.exec("CREATE TABLE c(x)");
        throw SQLiteError(1, "boom");
    });
    steps.push_back([&](SQLiteDB &) { ++runs; });
    EXPECT_THROW(db.migrate(steps), SQLiteError);
    EXPECT_EQ(db.userVersion(), 2);
    EXPECT_FALSE(db.tableExists("c"));
    EXPECT_EQ(runs, 2);

    // A database newer than the program is left alone.
    db.setUserVersion(9);
    db.migrate(steps);
    EXPECT_EQ(db.userVersion(), 9);
}
