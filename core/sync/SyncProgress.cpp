#include "sync/SyncProgress.hpp"

namespace quorvel {

const char *phaseName(SyncProgress::Phase phase) {
    switch (phase) {
    case SyncProgress::Phase::starting:
        return "starting";
    case SyncProgress::Phase::manifest:
        return "manifest";
    case SyncProgress::Phase::shell:
        return "shell";
    case SyncProgress::Phase::documents:
        return "documents";
    case SyncProgress::Phase::images:
        return "images";
    case SyncProgress::Phase::applying:
        return "applying";
    case SyncProgress::Phase::done:
        return "done";
    }
    return "unknown";
}

} // namespace quorvel
