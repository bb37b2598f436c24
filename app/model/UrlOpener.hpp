#pragma once

#include <QDesktopServices>
#include <QUrl>

#include <functional>

namespace quorvel::app {

// Opens a URL outside the app: the default browser for web pages, the mail client for mailto.
// Every component that leaves the app does it through one of these, so tests can stand in for the
// desktop. Answers false when nothing could be opened.
using UrlOpener = std::function<bool(const QUrl &)>;

// The desktop's handler.
inline UrlOpener desktopUrlOpener() {
    return [](const QUrl &url) { return QDesktopServices::openUrl(url); };
}

} // namespace quorvel::app
