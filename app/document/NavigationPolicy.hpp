#pragma once

#include <QUrl>
#include <QWebEnginePage>

namespace quorvel::app {

// What the viewer does with a navigation the page asks for. Only the viewer's own loads replace
// the page; links that leave it go to the desktop's browser or mail client.
namespace NavigationPolicy {

enum class Decision { allow, cancel, openExternally };

// `pageUrl` is the URL of the page shown (without its fragment it names the document).
Decision decide(const QUrl &url, QWebEnginePage::NavigationType type, bool isMainFrame, const QUrl &pageUrl);

} // namespace NavigationPolicy

} // namespace quorvel::app
