#include "CliEnvironment.hpp"

#include "util/HostEnvironment.hpp"

namespace quorvel::cli::CliEnvironment {

std::string appVersion() {
    return QUORVEL_APP_VERSION;
}

std::string compiledBaseURL() {
    return QUORVEL_COMPILED_BASE_URL;
}

std::filesystem::path defaultStoreDirectory() {
    return HostEnvironment::defaultStoreDirectory();
}

std::filesystem::path fallbackStoreDirectory() {
    return HostEnvironment::fallbackStoreDirectory();
}

std::string deviceName() {
    return HostEnvironment::deviceName();
}

std::string osVersion() {
    return HostEnvironment::osVersion();
}

} // namespace quorvel::cli::CliEnvironment
