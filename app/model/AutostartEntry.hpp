#pragma once

#include <string>
#include <string_view>

// The XDG autostart entry that starts the app at login. Plain C++, so the reader can be fuzzed
// without Qt.
namespace quorvel::app::AutostartEntry {

// The whole entry for starting `program` (a bare name found on PATH, or an absolute path).
std::string text(std::string_view program);

// `program` as one argument of an Exec key, quoted and escaped as desktop entries require.
std::string execArgument(std::string_view program);

// Whether the session would start the entry at login: it has a [Desktop Entry] group with an Exec
// key, and neither Hidden=true nor X-GNOME-Autostart-enabled=false (how desktops record an entry the
// user turned off).
bool startsAtLogin(std::string_view text);

} // namespace quorvel::app::AutostartEntry
