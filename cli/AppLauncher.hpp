#pragma once

#include <optional>
#include <string>

namespace quorvel::cli::AppLauncher {

// The desktop app installed beside this program, else "quorvel" looked up on PATH.
std::string appProgram();

// Hands `url` to the desktop app as its desktop entry does ("quorvel -- URL"): a running app takes
// it over its single-instance channel and the started process exits at once; otherwise that
// process is the app, in a session of its own so it outlives this one. Waits up to `waitMs` to
// tell the two apart. Absent on success, else what went wrong.
std::optional<std::string> open(const std::string &url, int waitMs = 2000);

} // namespace quorvel::cli::AppLauncher
