#include "CliCommands.hpp"
#include "ProgressBar.hpp"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ostream>
#include <thread>

namespace quorvel::cli {

namespace {

std::atomic<bool> interrupted{false};

extern "C" void onInterrupt(int) {
    interrupted.store(true);
    // A second Ctrl-C ends the process the ordinary way.
    std::signal(SIGINT, SIG_DFL);
}

std::string number(double value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", value);
    return buf;
}

} // namespace

std::string outcomeLine(const SyncOutcome &outcome) {
    if (auto u = outcome.get<SyncOutcome::Updated>())
        return "updated fetched=" + std::to_string(u->fetched) + " meta=" + std::to_string(u->metaOnly) +
               " deleted=" + std::to_string(u->deleted) + " skipped=" + std::to_string(u->skipped);
    if (outcome.is<SyncOutcome::UpToDate>()) return "up-to-date";
    if (outcome.is<SyncOutcome::Cancelled>()) return "cancelled";
    if (auto f = outcome.get<SyncOutcome::Failed>()) return "failed: " + f->failure.message;
    const SyncAction &action = outcome.get<SyncOutcome::NeedsAction>()->action;
    if (action.is<SyncAction::Wipe>()) return "action: wipe";
    if (action.is<SyncAction::ReloginKeepData>()) return "action: relogin";
    if (action.is<SyncAction::Refresh>()) return "action: refresh";
    if (action.is<SyncAction::ReportFailure>()) return "action: report-failure";
    if (auto up = action.get<SyncAction::UpgradeRequired>())
        return "action: upgrade-required" + (up->minVersion ? " " + *up->minVersion : std::string());
    auto retry = action.get<SyncAction::RetryLater>();
    return "action: retry-later" + (retry->after ? " " + number(*retry->after) : std::string());
}

std::string damagedCopyNote(CliSession &session) {
    const auto copy = session.storeDirectory() / LocalStore::damagedCopyName;
    std::error_code ec;
    return std::filesystem::exists(copy, ec) ? " The damaged copy is kept as " + copy.string() + "." : std::string();
}

int exitStatus(const SyncOutcome &outcome) {
    if (outcome.is<SyncOutcome::Updated>() || outcome.is<SyncOutcome::UpToDate>()) return 0;
    if (outcome.is<SyncOutcome::Cancelled>()) return 130;
    if (outcome.is<SyncOutcome::NeedsAction>()) return 3;
    return 1;
}

int runSync(CliSession &session, const CliOptions &, CliStreams &io) {
    retryPendingRevoke(session);
    if (!session.auth().hasCredentials()) {
        io.err << "quorvel-cli: this computer is not linked; run \"quorvel-cli link\" first\n";
        return 1;
    }
    ProgressBar bar(io.err);
    bool toldRebuild = false;
    SyncEngine::ProgressHandler handler = [&](const SyncProgress &p) {
        // Said once, before the bar draws, as the run begins.
        if (p.rebuildingStore && !toldRebuild) {
            toldRebuild = true;
            io.err << "The library was damaged; downloading it again." << damagedCopyNote(session) << std::endl;
        }
        if (io.errIsTerminal) bar.update(p);
    };

    interrupted.store(false);
    auto previous = std::signal(SIGINT, onInterrupt);
    std::atomic<bool> finished{false};
    std::thread watcher([&] {
        while (!finished.load()) {
            if (interrupted.load()) {
                session.engine().cancel();
                interrupted.store(false);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    session.engine().setWaitingHandler(waitingNotice(io));
    SyncOutcome outcome = session.engine().run(handler);
    finished.store(true);
    watcher.join();
    std::signal(SIGINT, previous == SIG_ERR ? SIG_DFL : previous);
    if (io.errIsTerminal) bar.finish();

    io.out << outcomeLine(outcome) << std::endl;
    auto report = session.engine().lastReport();
    if (!report.failedImageURLs.empty())
        io.err
            << report.failedImageURLs.size()
            << " image(s) could not be downloaded; their documents show placeholders until a later sync fetches them\n";
    if (auto needs = outcome.get<SyncOutcome::NeedsAction>()) {
        if (needs->action.is<SyncAction::Wipe>()) {
            session.pendingRevoke().clear();
            io.err << "This computer was unlinked on the web; its library and link were erased.\n";
        } else if (needs->action.is<SyncAction::ReloginKeepData>()) {
            io.err << "Sign in again with \"quorvel-cli link\"; the library stays.\n";
        }
    }
    return exitStatus(outcome);
}

} // namespace quorvel::cli
