#include "model/AppConfig.hpp"

#include "api/ServiceAddress.hpp"
#include "util/HostEnvironment.hpp"

#include <cstdio>
#include <cstdlib>

namespace quorvel::app::AppConfig {

std::string baseURL() {
#ifdef QUORVEL_DEV_BASE_URL_OVERRIDE
    // Development builds may be pointed at a service on another address (tests pick a free port);
    // release builds are compiled without this and always use their own address.
    if (const char *dev = std::getenv("QUORVEL_DEV_BASE_URL"); dev && *dev) {
        if (auto base = ServiceAddress::normalized(dev)) return *base;
        std::fprintf(stderr, "quorvel: QUORVEL_DEV_BASE_URL is not a service address; using the built-in one\n");
    }
#endif
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
