#pragma once

#include "store/LibraryCheckReport.hpp"
#include "store/LocalStore.hpp"

#include <functional>
#include <stop_token>

namespace quorvel::LibraryCheck {

// Checks the whole library: the database with PRAGMA integrity_check, every image file's bytes
// against its name, and that every image a document shows has a file. Marks what it finds for
// repair (LocalStore::markDamaged, LocalStore::repairImages). The database is read on a connection
// of its own and the images without the store's lock, so the store serves other callers meanwhile;
// the library lock (LibraryLock) is held while the database is read and while repairs are marked,
// so a sync waits for those. A stop request ends the check early, with `complete` false.
// Throws SQLiteError when the database cannot be read for another reason than damage.
// On a large library the database's checks take seconds; `step` hears as each part begins.
enum class Step { database, images };
LibraryCheckReport run(LocalStore &store, std::stop_token stop = {}, const std::function<void(Step)> &step = {});

} // namespace quorvel::LibraryCheck
