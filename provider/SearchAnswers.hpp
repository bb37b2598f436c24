#pragma once

#include "store/LocalStore.hpp"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quorvel::provider {

// One found document as a desktop's search shows it.
struct Answer {
    int64_t fileId = 0;
    std::string link; // quorvel://open?id=N, which also names the result on the bus
    std::string title;
    std::string description; // "folder › subfolder — snippet", on one line

    bool operator==(const Answer &) const = default;
};

// The store's search, read-only, for the desktop: opens the library when it appears, opens it
// again when the app replaced its database, and remembers the answers it gave so that their
// details can be asked for by id.
class SearchAnswers {
public:
    explicit SearchAnswers(std::filesystem::path libraryDirectory);
    ~SearchAnswers();

    // Best first; empty for an empty query, without a library, or when the store fails.
    std::vector<Answer> search(const std::string &query, int limit);
    // A remembered answer, else for a document in the library its title alone.
    std::optional<Answer> answer(int64_t fileId);
    // Drops what is remembered and lets go of the library.
    void forget();

    static std::string description(const SearchResult &result);

private:
    LocalStore *store();

    std::filesystem::path directory_;
    std::unique_ptr<LocalStore> store_;
    std::optional<std::pair<uintmax_t, uintmax_t>> opened_; // device and inode of its database
    std::unordered_map<int64_t, Answer> remembered_;
};

} // namespace quorvel::provider
