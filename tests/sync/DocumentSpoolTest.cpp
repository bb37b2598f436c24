#include "sync/DocumentSpool.hpp"
#include "OpenFiles.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <optional>

using namespace quorvel;
using quorvel::test::openFilesIn;
namespace fs = std::filesystem;

TEST(DocumentSpool, RecordsReadBackExactlyInAnyOrder) {
    test::TempDir dir("quorvel-spool");
    DocumentSpool spool(dir.path());
    std::string large(9 * 1024 * 1024 + 7, '\0');
    for (size_t i = 0; i < large.size(); ++i)
        large[i] = static_cast<char>(i * 31 % 251);
    const std::vector<std::string> records = {"", "<p>한글 문서</p>", large, "", std::string("a\0b", 3)};
    std::vector<DocumentSpool::Entry> entries;
    for (const auto &r : records)
        entries.push_back(spool.append(r));

    uint64_t total = 0;
    for (size_t i = records.size(); i-- > 0;) {
        EXPECT_EQ(entries[i].size, records[i].size());
        EXPECT_EQ(spool.read(entries[i]), records[i]) << "record " << i;
        total += records[i].size();
    }
    EXPECT_EQ(spool.size(), total);
    EXPECT_EQ(spool.read(entries[2]), large); // a second read of the same record
}

TEST(DocumentSpool, LeavesNoNameBehindAndClosesWithTheSpool) {
    test::TempDir dir("quorvel-spool");
    {
        DocumentSpool spool(dir.path());
        spool.append("<p>x</p>");
        EXPECT_TRUE(fs::is_empty(dir.path()));
        EXPECT_EQ(openFilesIn(dir.path()), 1);
    }
    EXPECT_EQ(openFilesIn(dir.path()), 0);
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(DocumentSpool, RefusesWhatItCannotDo) {
    test::TempDir dir("quorvel-spool");
    EXPECT_THROW(DocumentSpool(dir / "missing"), std::system_error);

    DocumentSpool spool(dir.path());
    auto entry = spool.append("abc");
    EXPECT_THROW(spool.read({entry.offset, 4}), std::system_error);
    EXPECT_THROW(spool.read({10, 0}), std::system_error);
    EXPECT_EQ(spool.read({3, 0}), "");
}
