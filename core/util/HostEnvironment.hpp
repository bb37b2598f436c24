#pragma once

#include <filesystem>
#include <string>

namespace quorvel {

// Facts about this computer that the service is told, and where the library lives. The desktop app
// and quorvel-cli read them the same way, so both open the same library and name the device alike.
namespace HostEnvironment {

// $XDG_DATA_HOME (else ~/.local/share) / "kr.vatsu.quorvel".
std::filesystem::path defaultStoreDirectory();
// $TMPDIR (else /tmp) / "kr.vatsu.quorvel.fallback", used when the default directory cannot be opened.
std::filesystem::path fallbackStoreDirectory();
// The pretty host name, else the host name, else "Linux".
std::string deviceName();
// os-release NAME and VERSION_ID ("Debian GNU/Linux 12"), else "Linux " and the kernel release.
std::string osVersion();

} // namespace HostEnvironment

} // namespace quorvel
