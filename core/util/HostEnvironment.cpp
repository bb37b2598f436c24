#include "util/HostEnvironment.hpp"

#include <sys/utsname.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>

namespace fs = std::filesystem;

namespace quorvel::HostEnvironment {

namespace {

// KEY=value lines with optional double or single quotes, as in os-release and machine-info.
std::map<std::string, std::string> readKeyValues(const fs::path &path) {
    std::map<std::string, std::string> values;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        auto eq = line.find('=');
        if (eq == std::string::npos || line[0] == '#') continue;
        std::string value = line.substr(eq + 1);
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        values[line.substr(0, eq)] = value;
    }
    return values;
}

std::string env(const char *name) {
    const char *v = std::getenv(name);
    return v ? v : "";
}

} // namespace

fs::path defaultStoreDirectory() {
    fs::path base = env("XDG_DATA_HOME");
    if (base.empty() || !base.is_absolute()) {
        std::string home = env("HOME");
        base = home.empty() ? fs::path("/tmp") : fs::path(home) / ".local" / "share";
    }
    return base / "kr.vatsu.quorvel";
}

fs::path fallbackStoreDirectory() {
    std::string tmp = env("TMPDIR");
    return (tmp.empty() ? fs::path("/tmp") : fs::path(tmp)) / "kr.vatsu.quorvel.fallback";
}

std::string deviceName() {
    auto info = readKeyValues("/etc/machine-info");
    if (auto it = info.find("PRETTY_HOSTNAME"); it != info.end() && !it->second.empty()) return it->second;
    char host[256] = {0};
    if (gethostname(host, sizeof host - 1) == 0 && host[0]) return host;
    return "Linux";
}

std::string osVersion() {
    auto release = readKeyValues("/etc/os-release");
    if (release.empty()) release = readKeyValues("/usr/lib/os-release");
    std::string name = release["NAME"], version = release["VERSION_ID"];
    if (!name.empty()) return version.empty() ? name : name + " " + version;
    struct utsname u {};
    if (uname(&u) == 0) return std::string("Linux ") + u.release;
    return "Linux";
}

} // namespace quorvel::HostEnvironment
