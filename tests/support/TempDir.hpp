#pragma once

#include <filesystem>
#include <string>

namespace quorvel::test {

// A fresh directory under the system temporary directory, removed with its content on destruction.
class TempDir {
public:
    explicit TempDir(const std::string &prefix = "quorvel-test");
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::filesystem::path &path() const { return path_; }
    std::filesystem::path operator/(const std::string &name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

std::string readFile(const std::filesystem::path &path);
void writeFile(const std::filesystem::path &path, const std::string &bytes);

} // namespace quorvel::test
