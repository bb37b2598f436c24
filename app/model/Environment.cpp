#include "model/Environment.hpp"

#include "model/AppConfig.hpp"

#include "sync/SyncEngine.hpp"

namespace quorvel::app {

Environment Environment::desktop() {
    Environment env;
    env.baseURL = AppConfig::baseURL();
    env.storeDirectory = AppConfig::storeDirectory();
    env.fallbackDirectory = AppConfig::fallbackDirectory();
    env.deviceName = AppConfig::deviceName();
    env.appVersion = AppConfig::appVersion();
    env.osVersion = AppConfig::osVersion();
    env.now = &SyncEngine::systemClock;
    env.openUrl = desktopUrlOpener();
    return env;
}

std::optional<QUrl> Environment::webURL(const QString &path) const {
    QString base = QString::fromStdString(baseURL);
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    QUrl url(base + path, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty()) return std::nullopt;
    return url;
}

void Environment::openWebPage(const QString &path) const {
    if (auto url = webURL(path)) openUrl(*url);
}

} // namespace quorvel::app
