#include "CliCommands.hpp"
#include "CliEnvironment.hpp"

#include <memory>
#include <ostream>

namespace quorvel::cli {

namespace {

// Commands that change the library or the credentials; the others only read.
bool changesLibrary(CliOptions::Command command) {
    using C = CliOptions::Command;
    return command == C::sync || command == C::link || command == C::logout || command == C::wipe;
}

} // namespace

std::function<void()> waitingNotice(CliStreams &io) {
    return [&io] { io.err << "Waiting for another sync of this library to finish...\n" << std::flush; };
}

int runCommand(const CliOptions &options, CliStreams &io) {
    using C = CliOptions::Command;
    if (options.command == C::help) {
        io.out << CliOptions::usage();
        return 0;
    }
    if (options.command == C::version) {
        io.out << "quorvel-cli " << CliEnvironment::appVersion() << "\n";
        return 0;
    }
    std::unique_ptr<CliSession> opened;
    try {
        opened = std::make_unique<CliSession>(options);
        CliSession &session = *opened;
        if (changesLibrary(options.command)) {
            if (session.bindToService(waitingNotice(io)))
                io.err << "The stored link belonged to another service; the local library was erased.\n";
        } else {
            if (auto other = session.foreignService())
                io.err << "This library belongs to " << *other << ", not " << session.baseURL()
                       << "; showing it as it is.\n";
            if (session.store().isRebuilding())
                io.err << "The library was damaged and is empty until the next sync downloads it again."
                       << damagedCopyNote(session) << "\n";
        }
        switch (options.command) {
        case C::link:
            return runLink(session, options, io);
        case C::sync:
            return runSync(session, options, io);
        case C::status:
            return runStatus(session, options, io);
        case C::tree:
            return runTree(session, options, io);
        case C::recent:
            return runRecent(session, options, io);
        case C::search:
            return runSearch(session, options, io);
        case C::show:
            return runShow(session, options, io);
        case C::open:
            return runOpen(session, options, io);
        case C::check:
            return runCheck(session, options, io);
        case C::logout:
            return runLogout(session, options, io);
        case C::wipe:
            return runWipe(session, options, io);
        case C::help:
        case C::version:
            break;
        }
    } catch (const std::exception &e) {
        io.err << "quorvel-cli: " << e.what() << "\n";
        if (opened && opened->store().isDamaged())
            io.err << "The library is damaged; the next sync downloads it again.\n";
        return 1;
    }
    return 1;
}

} // namespace quorvel::cli
