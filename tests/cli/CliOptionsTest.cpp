#include "CliOptions.hpp"
#include "CliCommands.hpp"
#include "CliReference.hpp"
#include "CliSession.hpp"
#include "ManualPage.hpp"
#include "ProgressBar.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

using namespace quorvel;
using namespace quorvel::cli;

namespace {
// The words of `line` between single spaces.
CliOptions parse(std::string_view line) {
    std::vector<std::string> args;
    for (size_t at = 0, end; at < line.size(); at = end + 1)
        args.emplace_back(line.substr(at, (end = std::min(line.find(' ', at), line.size())) - at));
    return CliOptions::parse(args);
}
} // namespace

TEST(CliOptions, CommandsAndGlobalOptionsInAnyPosition) {
    auto o = parse("--store /tmp/q search 회의 내용 --limit=5 --base-url http://h:1");
    EXPECT_EQ(o.command, CliOptions::Command::search);
    EXPECT_EQ(o.storeDirectory, "/tmp/q");
    EXPECT_EQ(o.baseURL, "http://h:1");
    EXPECT_EQ(o.query, "회의 내용");
    EXPECT_EQ(o.limit, 5);

    auto show = parse("show 42 --html");
    EXPECT_EQ(show.fileId, 42);
    EXPECT_EQ(show.showFormat, CliOptions::ShowFormat::html);
    EXPECT_EQ(parse("show 7").showFormat, CliOptions::ShowFormat::text);
    EXPECT_TRUE(parse("tree --json --sort name").sortByName);
    EXPECT_EQ(parse("search -- --literal").query, "--literal");
    EXPECT_EQ(parse("sync --help").command, CliOptions::Command::help);
}

// Options given to a command that does not take them are CliReference's test.
TEST(CliOptions, BadArgumentsAreUsageErrors) {
    for (const char *line :
         {"", "frobnicate", "search", "show", "show x1", "show 1 2", "show 1 --html --text", "search a --limit 0",
          "search a --limit", "tree --sort size", "sync extra", "--bogus sync", "--store= sync"})
        EXPECT_THROW(parse(line), UsageError) << line;
}

TEST(CliOptions, BaseURLsAreNormalisedOrRefused) {
    EXPECT_EQ(CliSession::normalizedBaseURL("http://127.0.0.1:8787/"), "http://127.0.0.1:8787");
    EXPECT_EQ(CliSession::normalizedBaseURL("https://docs.example.com//"), "https://docs.example.com");
    EXPECT_EQ(CliSession::normalizedBaseURL("HTTPS://docs.example.com"), "https://docs.example.com");
    for (std::string bad : {"", "127.0.0.1:8787", "ftp://x", "http://", "https://h/?q=1", "not a url"})
        EXPECT_THROW(CliSession::normalizedBaseURL(bad), CliError) << bad;
}

TEST(CliOutput, OutcomeLinesAndExitStatus) {
    const std::tuple<SyncOutcome, std::string, bool> cases[] = {
        {SyncOutcome::updated(3, 2, 1, 0), "updated fetched=3 meta=2 deleted=1 skipped=0", true},
        {SyncOutcome::updated(0, 0, 0, 1), "updated fetched=0 meta=0 deleted=0 skipped=1", true},
        {SyncOutcome::upToDate(), "up-to-date", true},
        {SyncOutcome::cancelled(), "cancelled", false},
        {SyncOutcome::failed(SyncFailure("disk full")), "failed: disk full", false},
        {SyncOutcome::needsAction(SyncAction::wipe()), "action: wipe", false},
        {SyncOutcome::needsAction(SyncAction::reloginKeepData()), "action: relogin", false},
        {SyncOutcome::needsAction(SyncAction::upgradeRequired("2.1.0")), "action: upgrade-required 2.1.0", false},
        {SyncOutcome::needsAction(SyncAction::upgradeRequired()), "action: upgrade-required", false},
        {SyncOutcome::needsAction(SyncAction::retryLater(30.0)), "action: retry-later 30", false},
        {SyncOutcome::needsAction(SyncAction::retryLater()), "action: retry-later", false},
        {SyncOutcome::needsAction(SyncAction::refresh()), "action: refresh", false},
        {SyncOutcome::needsAction(SyncAction::reportFailure()), "action: report-failure", false},
    };
    for (const auto &[outcome, line, success] : cases) {
        EXPECT_EQ(outcomeLine(outcome), line);
        EXPECT_EQ(exitStatus(outcome) == 0, success) << line;
    }
}

TEST(CliOutput, ProgressBarShowsDocumentsThenImages) {
    SyncProgress p{SyncProgress::Phase::documents, 5, 10, 0, 0};
    std::string docs = ProgressBar::render(p, 10);
    EXPECT_NE(docs.find("[#####.....]"), std::string::npos) << docs;
    EXPECT_NE(docs.find("documents 5/10"), std::string::npos);
    p = {SyncProgress::Phase::images, 10, 10, 1, 4};
    std::string images = ProgressBar::render(p, 8);
    EXPECT_NE(images.find("[##......]"), std::string::npos) << images;
    EXPECT_NE(images.find("images 1/4"), std::string::npos);
    EXPECT_EQ(ProgressBar::render({SyncProgress::Phase::manifest, 0, 0, 0, 0}, 8).find('['), std::string::npos);
    p = {SyncProgress::Phase::images, 10, 10, 3, 4, 6, 2};
    EXPECT_NE(ProgressBar::render(p, 8).find("documents 10/10 (6 kept)  images 3/4 (2 kept)"), std::string::npos);
}

TEST(CliReference, EachOptionWorksWithExactlyTheCommandsThatListIt) {
    // What follows the options that take a value.
    const std::map<std::string_view, std::string> values = {{"--limit", " 5"}, {"--sort", " name"}};
    for (const auto &command : CliReference::commands()) {
        std::string base(command.name);
        if (command.operand == CliReference::Command::Operand::query) base += " 회의";
        if (command.operand == CliReference::Command::Operand::documentId) base += " 3";
        EXPECT_EQ(parse(base).command, command.command) << command.name;
        const auto accepted = CliReference::optionsOf(command);
        for (const auto &option : CliReference::commandOptions()) {
            const std::string line =
                base + " " + std::string(option.name) + (values.contains(option.name) ? values.at(option.name) : "");
            if (std::find(accepted.begin(), accepted.end(), option.name) != accepted.end())
                EXPECT_NO_THROW(parse(line)) << line;
            else
                EXPECT_THROW(parse(line), UsageError) << line;
        }
    }
    EXPECT_EQ(parse("open 12").fileId, 12);
}

TEST(CliReference, UsageAndManualNameEveryCommandAndOption) {
    const std::string usage = CliOptions::usage();
    const std::string manual = ManualPage::render("9.9.9");
    for (const auto &command : CliReference::commands()) {
        EXPECT_NE(usage.find("  " + CliReference::synopsis(command)), std::string::npos) << command.name;
        EXPECT_NE(manual.find(".TP\n\\fB" + std::string(command.name) + "\\fR"), std::string::npos) << command.name;
    }
    for (const auto *table : {&CliReference::globalOptions(), &CliReference::commandOptions()})
        for (const auto &option : *table) {
            EXPECT_NE(usage.find("  " + std::string(option.name)), std::string::npos) << option.name;
            EXPECT_NE(manual.find(".TP\n\\fB" + ManualPage::escaped(option.name)), std::string::npos) << option.name;
        }
    for (const auto &line : {std::string_view("  search QUERY [--limit N] [--json]"),
                             std::string_view("  tree [--sort name|updated] [--json]"),
                             std::string_view("  show ID [--html|--text]  print a document")})
        EXPECT_NE(usage.find(line), std::string::npos) << line;
    size_t start = 0;
    for (size_t end = usage.find('\n'); end != std::string::npos; start = end + 1, end = usage.find('\n', start))
        EXPECT_LE(end - start, 98u) << usage.substr(start, end - start);
    EXPECT_EQ(ManualPage::escaped(".a-b\\c"), "\\&.a\\-b\\ec");
}
