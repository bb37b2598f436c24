#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorvel::cli {

// Bad arguments: the message says what was wrong, and the caller prints the usage after it.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What the command line asked for.
struct CliOptions {
    enum class Command { help, version, link, sync, status, tree, recent, search, show, open, check, logout, wipe };
    enum class ShowFormat { text, html };

    Command command = Command::help;
    std::optional<std::string> storeDirectory; // --store
    std::optional<std::string> baseURL;        // --base-url
    bool json = false;                         // --json (status, tree, recent, search, check)
    std::string query;                         // search
    int limit = 100;                           // search --limit
    int64_t fileId = 0;                        // show, open
    ShowFormat showFormat = ShowFormat::text;  // show --html | --text
    bool sortByName = false;                   // tree --sort name

    // Throws UsageError.
    static CliOptions parse(const std::vector<std::string> &args);
    static std::string usage();
};

} // namespace quorvel::cli
