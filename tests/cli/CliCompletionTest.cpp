// The installed completion scripts, run by bash, zsh and fish as they would run them for a person
// pressing Tab after `quorvel-cli ...`, against quorvel-cli itself for the library's documents.
#include "store/LocalStore.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <set>

using namespace quorvel;
using namespace quorvel::test;

namespace {

std::string shellQuoted(const std::string &word) {
    std::string out = "'";
    for (char c : word)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// zsh's completion functions stand-ins: each prints what it was asked to offer, one a line.
constexpr const char *zshStandIns = R"(
_describe() { local a; for a; do :; done; print -rl -- ${${(P)a}%%:*} }
compadd() { [[ $1 == -- ]] && shift; print -rl -- "$@" }
_files() { print -r -- '<directories>' }
_message() { : }
words=("${@:2}"); CURRENT=${#words}
source "$1"
)";

class CliCompletion : public ::testing::TestWithParam<std::string> {
protected:
    // Once for both suites.
    static void SetUpTestSuite() {
        if (std::filesystem::exists(dir_ / "library")) return;
        LocalStore store(dir_ / "library", true);
        SyncApplyBatch batch(1, "e", 1);
        for (int64_t id : {12, 7})
            batch.upserts.push_back(SyncApplyBatch::FileUpsert(id, std::nullopt, "문서: " + std::to_string(id), 1000, 5,
                                                               "h", "<p>x</p>", "<p>x</p>", "x", {}, false));
        store.apply(batch);
    }

    // What the shell offers for the words after "quorvel-cli", the last being the one under the cursor.
    std::set<std::string> offered(const std::vector<std::string> &words) {
        const std::string shell = GetParam();
        const std::string scripts = QUORVEL_COMPLETION_DIR;
        std::string command = "env PATH=" + shellQuoted(std::string(QUORVEL_CLI_DIR) + ":" + std::getenv("PATH")) +
                              " XDG_DATA_HOME=" + shellQuoted((dir_ / "data").string()) + " ";
        std::string line = "quorvel-cli";
        for (const auto &w : words)
            line += " " + w;
        if (shell == "bash") {
            command += "bash --norc -c " +
                       shellQuoted("source \"$1\"; shift; COMP_WORDS=(\"$@\"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); "
                                   "_quorvel_cli; printf '%s\\n' \"${COMPREPLY[@]}\"") +
                       " bash " + shellQuoted(scripts + "/quorvel-cli.bash") + " quorvel-cli";
            for (const auto &w : words)
                command += " " + shellQuoted(w);
        } else if (shell == "zsh") {
            command += "zsh -f -c " + shellQuoted(zshStandIns) + " zsh " + shellQuoted(scripts + "/_quorvel-cli") +
                       " quorvel-cli";
            for (const auto &w : words)
                command += " " + shellQuoted(w);
        } else {
            command += "fish -N -c " + shellQuoted("source $argv[1]; complete -C $argv[2]") + " " +
                       shellQuoted(scripts + "/quorvel-cli.fish") + " " + shellQuoted(line);
        }
        std::set<std::string> out;
        FILE *pipe = ::popen((command + " 2>&1").c_str(), "r");
        if (!pipe) return out;
        char buffer[4096];
        while (std::fgets(buffer, sizeof buffer, pipe)) {
            std::string item(buffer);
            item = item.substr(0, item.find_first_of("\t\n"));
            if (!item.empty()) out.insert(item);
        }
        // A completion without matches may end non-zero; a broken one shows in what it printed.
        ::pclose(pipe);
        return out;
    }

    void SetUp() override {
        if (std::system(("command -v " + GetParam() + " >/dev/null").c_str()) != 0)
            GTEST_SKIP() << GetParam() << " is not installed (scripts/install-deps.sh installs it)";
    }

    static inline TempDir dir_{"quorvel-completion"};
};

} // namespace

TEST_P(CliCompletion, CommandsAndTheOptionsEachTakes) {
    const std::string library = (dir_ / "library").string();
    const std::set<std::string> commands = {"link", "sync",  "status", "tree", "recent", "search", "show",
                                            "open", "check", "logout", "wipe", "help",   "version"};
    const std::set<std::string> global = {"--store", "--base-url", "--help", "--version"};
    auto with = [](std::set<std::string> a, const std::set<std::string> &b) {
        a.insert(b.begin(), b.end());
        return a;
    };
    const std::pair<std::vector<std::string>, std::set<std::string>> cases[] = {
        {{""}, commands},
        {{"--store", library, ""}, commands},
        {{"--"}, global},
        {{"tree", "--"}, with({"--sort", "--json"}, global)},
        {{"show", "--"}, with({"--html", "--text"}, global)},
        {{"sync", "--"}, global},
        {{"tree", "--sort", ""}, {"name", "updated"}},
        {{"search", "--limit", ""}, {}},
        {{"--store", library, "show", ""}, {"7", "12"}},
        {{"--store", library, "--json", "open", ""}, {"7", "12"}},
        {{"--store", library, "open", "7", ""}, {}},
        {{"--store", library, "search", ""}, {}},
        // Without --store, the default library, which does not exist here and is not made.
        {{"show", ""}, {}},
    };
    for (const auto &[words, expected] : cases)
        EXPECT_EQ(offered(words), expected) << ::testing::PrintToString(words);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "data" / "kr.vatsu.quorvel"));
}

// zsh narrows by itself, after its functions have offered everything, so only bash and fish here.
class CliCompletionNarrowing : public CliCompletion {};

TEST_P(CliCompletionNarrowing, TheWordTypedSoFarNarrowsTheOffer) {
    EXPECT_EQ(offered({"s"}), (std::set<std::string>{"sync", "status", "search", "show"}));
    EXPECT_EQ(offered({"tree", "--s"}), (std::set<std::string>{"--sort", "--store"}));
    EXPECT_EQ(offered({"--store", (dir_ / "library").string(), "show", "1"}), (std::set<std::string>{"12"}));
}

INSTANTIATE_TEST_SUITE_P(Shells, CliCompletion, ::testing::Values("bash", "zsh", "fish"));
INSTANTIATE_TEST_SUITE_P(Shells, CliCompletionNarrowing, ::testing::Values("bash", "fish"));
