#pragma once

#include <filesystem>
#include <string>

namespace quorvel::cli {

// Facts about this computer and this build that the service is told or the library is kept under.
namespace CliEnvironment {

std::string appVersion();
std::string compiledBaseURL();
// $XDG_DATA_HOME (else ~/.local/share) / "kr.vatsu.quorvel", where the desktop app keeps its library.
std::filesystem::path defaultStoreDirectory();
// $TMPDIR (else /tmp) / "kr.vatsu.quorvel.fallback", used when the default directory cannot be opened.
std::filesystem::path fallbackStoreDirectory();
// The pretty host name, else the host name, else "Linux".
std::string deviceName();
// os-release NAME and VERSION_ID ("Debian GNU/Linux 12"), else "Linux " and the kernel release.
std::string osVersion();

} // namespace CliEnvironment

} // namespace quorvel::cli
