#pragma once

#include <filesystem>
#include <string>
#include <system_error>

namespace quorvel::test {

// How many of this process's open file descriptors lead into `directory`, named or deleted: a file
// unlinked at birth leaves no entry in the directory but still shows here while it is open.
inline int openFilesIn(const std::filesystem::path &directory) {
    namespace fs = std::filesystem;
    const std::string prefix = fs::canonical(directory).string() + "/";
    int count = 0;
    std::error_code ec;
    for (const auto &fd : fs::directory_iterator("/proc/self/fd", ec)) {
        auto target = fs::read_symlink(fd.path(), ec);
        if (!ec && target.string().rfind(prefix, 0) == 0) ++count;
    }
    return count;
}

} // namespace quorvel::test
