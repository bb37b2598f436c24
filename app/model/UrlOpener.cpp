#include "UrlOpener.hpp"

#include <QDesktopServices>

namespace quorvel::app {

UrlOpener desktopUrlOpener() {
    return [](const QUrl &url) { return QDesktopServices::openUrl(url); };
}

} // namespace quorvel::app
