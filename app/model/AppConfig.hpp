#pragma once

#include <filesystem>
#include <string>

namespace quorvel::app {

// What this build and this computer are; fixed for the life of the process.
namespace AppConfig {

inline constexpr const char *applicationID = "kr.vatsu.quorvel";

// The service base URL compiled into the program (-DQUORVEL_BASE_URL=…), without trailing "/".
// A development build (-DQUORVEL_DEV_BASE_URL_OVERRIDE=ON) takes $QUORVEL_DEV_BASE_URL instead.
std::string baseURL();
// $XDG_DATA_HOME (else ~/.local/share) / "kr.vatsu.quorvel", shared with quorvel-cli.
std::filesystem::path storeDirectory();
// $TMPDIR (else /tmp) / "kr.vatsu.quorvel.fallback".
std::filesystem::path fallbackDirectory();
std::string deviceName();
std::string appVersion();
std::string buildNumber();
std::string osVersion();

} // namespace AppConfig

} // namespace quorvel::app
