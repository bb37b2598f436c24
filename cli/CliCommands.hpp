#pragma once

#include "CliOptions.hpp"
#include "CliSession.hpp"

#include <functional>
#include <iosfwd>

namespace quorvel::cli {

struct CliStreams {
    std::istream &in;
    std::ostream &out;
    std::ostream &err;
    bool errIsTerminal = false; // draw the progress bar
};

// Each command returns the process exit status and writes its errors to `err`.
int runLink(CliSession &session, const CliOptions &options, CliStreams &io);
int runSync(CliSession &session, const CliOptions &options, CliStreams &io);
int runStatus(CliSession &session, const CliOptions &options, CliStreams &io);
int runTree(CliSession &session, const CliOptions &options, CliStreams &io);
int runRecent(CliSession &session, const CliOptions &options, CliStreams &io);
int runSearch(CliSession &session, const CliOptions &options, CliStreams &io);
int runShow(CliSession &session, const CliOptions &options, CliStreams &io);
int runOpen(CliSession &session, const CliOptions &options, CliStreams &io);
int runCheck(CliSession &session, const CliOptions &options, CliStreams &io);
int runLogout(CliSession &session, const CliOptions &options, CliStreams &io);
int runWipe(CliSession &session, const CliOptions &options, CliStreams &io);

// The one line `sync` prints for its outcome, and its exit status.
std::string outcomeLine(const SyncOutcome &outcome);
int exitStatus(const SyncOutcome &outcome);

// Says on standard error that the command waits for another sync of this library.
std::function<void()> waitingNotice(CliStreams &io);

// Where a rebuilt library's damaged database was kept, said on standard error.
std::string damagedCopyNote(CliSession &session);

// Sends a revocation still owed from an earlier logout; keeps it when the service cannot be reached.
void retryPendingRevoke(CliSession &session);

// Parses nothing: runs an already parsed command line from start to finish.
int runCommand(const CliOptions &options, CliStreams &io);

} // namespace quorvel::cli
