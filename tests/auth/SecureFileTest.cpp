#include "auth/SecureFile.hpp"

#include "auth/FileTokenStore.hpp"
#include "auth/PendingRevokeStore.hpp"

#include "support/TempDir.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace quorvel;
using quorvel::test::readFile;
using quorvel::test::TempDir;
using quorvel::test::writeFile;

namespace {

mode_t modeOf(const std::filesystem::path &path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return 0;
    return st.st_mode & 07777;
}

std::vector<std::string> entries(const std::filesystem::path &dir) {
    std::vector<std::string> names;
    for (const auto &e : std::filesystem::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(SecureFile, CreatesOwnerOnlyDirectoriesAndFileWhateverTheUmask) {
    TempDir tmp;
    const auto file = tmp / "a" / "b" / "credentials.json";
    const mode_t previous = ::umask(0);
    const bool written = SecureFile::write("{\"x\":1}", file);
    ::umask(previous);
    ASSERT_TRUE(written);
    EXPECT_EQ(readFile(file), "{\"x\":1}");
    EXPECT_EQ(modeOf(file), 0600u);
    EXPECT_EQ(modeOf(tmp / "a" / "b"), 0700u);
    // Intermediate directories are created owner-only too.
    EXPECT_EQ(modeOf(tmp / "a"), 0700u);
    EXPECT_EQ(entries(tmp / "a" / "b"), std::vector<std::string>{"credentials.json"});
}

TEST(SecureFile, ReplacesAFileOrSymlinkAndTightensLoosePermissions) {
    TempDir tmp;
    const auto dir = tmp / "auth";
    std::filesystem::create_directory(dir);
    ::chmod(dir.c_str(), 0755);
    writeFile(dir / "f.json", "old content that is longer");
    ::chmod((dir / "f.json").c_str(), 0644);
    ASSERT_TRUE(SecureFile::write("new", dir / "f.json"));
    EXPECT_EQ(readFile(dir / "f.json"), "new");
    EXPECT_EQ(modeOf(dir / "f.json"), 0600u);
    EXPECT_EQ(modeOf(dir), 0700u);
    EXPECT_EQ(entries(dir), std::vector<std::string>{"f.json"});

    // A symlink is replaced, not written through.
    writeFile(tmp / "elsewhere", "untouched");
    std::filesystem::remove(dir / "f.json");
    std::filesystem::create_symlink(tmp / "elsewhere", dir / "f.json");
    ASSERT_TRUE(SecureFile::write("secret", dir / "f.json"));
    EXPECT_FALSE(std::filesystem::is_symlink(dir / "f.json"));
    EXPECT_EQ(readFile(dir / "f.json"), "secret");
    EXPECT_EQ(readFile(tmp / "elsewhere"), "untouched");
}

TEST(SecureFile, FailureLeavesTheTargetAndNoTemporaryBehind) {
    TempDir tmp;
    const auto dir = tmp / "auth";
    // A non-empty directory where the file should be: the final rename cannot succeed.
    std::filesystem::create_directories(dir / "f.json");
    writeFile(dir / "f.json" / "inner", "keep");

    EXPECT_FALSE(SecureFile::write("data", dir / "f.json"));
    EXPECT_EQ(readFile(dir / "f.json" / "inner"), "keep");
    EXPECT_EQ(entries(dir), std::vector<std::string>{"f.json"});
}

TEST(SecureFile, MarksFileAndDirectoryExcludedFromBackups) {
    TempDir tmp;
    const auto probe = tmp / "probe";
    writeFile(probe, "");
    if (::setxattr(probe.c_str(), "user.probe", "1", 1, 0) != 0) GTEST_SKIP() << "no user xattrs on this filesystem";

    const auto file = tmp / "auth" / "f.json";
    ASSERT_TRUE(SecureFile::write("x", file));
    for (const auto &path : {file, file.parent_path()}) {
        char value[16] = {};
        ssize_t n = ::getxattr(path.c_str(), SecureFile::backupExclusionAttribute, value, sizeof value);
        ASSERT_EQ(n, 5) << path;
        EXPECT_EQ(std::string(value, 5), "false") << path;
    }
}

// A restore from backup or a copy may leave the files readable by others: the stores take that back
// as they load, and never follow a link to a file that is not theirs.
TEST(SecureFile, StoresTightenLooseFilesAsTheyLoad) {
    const std::function<void(const std::filesystem::path &)> loads[] = {
        [](const std::filesystem::path &dir) { FileTokenStore tokens(dir); },
        [](const std::filesystem::path &dir) { (void)PendingRevokeStore(dir).load(); },
    };
    const std::string names[] = {std::string(FileTokenStore::fileName), std::string(PendingRevokeStore::fileName)};
    for (size_t k = 0; k < std::size(loads); ++k) {
        TempDir tmp;
        const auto dir = tmp / "auth";
        std::filesystem::create_directory(dir);
        writeFile(dir / names[k], "{}");
        writeFile(tmp / "elsewhere", "{}");
        ASSERT_EQ(::chmod((dir / names[k]).c_str(), 0644), 0);
        ASSERT_EQ(::chmod(dir.c_str(), 0755), 0);
        ASSERT_EQ(::chmod((tmp / "elsewhere").c_str(), 0644), 0);
        loads[k](dir);
        EXPECT_EQ(modeOf(dir / names[k]), 0600u) << names[k];
        EXPECT_EQ(modeOf(dir), 0700u) << names[k];

        std::filesystem::remove(dir / names[k]);
        std::filesystem::create_symlink(tmp / "elsewhere", dir / names[k]);
        loads[k](dir);
        EXPECT_EQ(modeOf(tmp / "elsewhere"), 0644u) << names[k];
    }
}
