#pragma once

#include "store/LocalStore.hpp"

#include <string>

namespace quorvel::test {

// Every row of every table (and of the full-text index), in a fixed order: equal dumps mean equal
// libraries. Without `withSyncTimes` the two meta keys that only say when a sync ran are left out, so
// libraries synced at different moments compare equal.
std::string dumpStore(LocalStore &store, bool withSyncTimes = true);

} // namespace quorvel::test
