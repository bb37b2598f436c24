#pragma once

#include "model/UrlOpener.hpp"

#include <QString>
#include <QUrl>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

class QSettings;

namespace quorvel::app {

// Everything the model takes from its surroundings; desktop() is the real desktop, tests and
// benchmarks build their own.
struct Environment {
    using Clock = std::function<double()>; // seconds since 1970

    std::string baseURL;
    std::filesystem::path storeDirectory;
    std::filesystem::path fallbackDirectory;
    QSettings *settings = nullptr; // not owned; null: the application's own preferences
    std::string deviceName;
    std::string appVersion;
    std::string osVersion;
    Clock now;
    UrlOpener openUrl;

    static Environment desktop();

    // A page of the service's web site: the base URL without its trailing "/", then `path`.
    std::optional<QUrl> webURL(const QString &path) const;
    // Opens that page in the browser; nothing when the address does not parse.
    void openWebPage(const QString &path) const;
};

} // namespace quorvel::app
