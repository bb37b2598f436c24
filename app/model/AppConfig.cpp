#include "model/AppConfig.hpp"

#include "util/HostEnvironment.hpp"

namespace quorvel::app::AppConfig {

std::string baseURL() {
    std::string base = QUORVEL_COMPILED_BASE_URL;
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    return base;
}

std::filesystem::path storeDirectory() {
    return HostEnvironment::defaultStoreDirectory();
}

std::filesystem::path fallbackDirectory() {
    return HostEnvironment::fallbackStoreDirectory();
}

std::string deviceName() {
    static const std::string name = HostEnvironment::deviceName();
    return name;
}

std::string appVersion() {
    return QUORVEL_APP_VERSION;
}

std::string buildNumber() {
    return QUORVEL_BUILD_NUMBER;
}

std::string osVersion() {
    static const std::string version = HostEnvironment::osVersion();
    return version;
}

} // namespace quorvel::app::AppConfig
