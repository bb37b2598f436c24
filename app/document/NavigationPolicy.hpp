#pragma once

#include "document/LibraryLinks.hpp"

#include <QUrl>
#include <QWebEnginePage>

namespace quorvel::app {

// What the viewer does with a navigation the page asks for. Only the viewer's own loads replace
// the page; links that leave it go to the desktop's browser or mail client, or, when they name a
// document of the library, to whoever shows documents.
namespace NavigationPolicy {

enum class Decision { allow, cancel, openExternally, openDocument };

// `pageUrl` is the URL of the page shown (without its fragment it names the document); `links`
// tells the documents of the library. For openDocument, `link` (when given) receives which one.
Decision decide(const QUrl &url, QWebEnginePage::NavigationType type, bool isMainFrame, const QUrl &pageUrl,
                const LibraryLinks &links, LinkTarget *link = nullptr);

} // namespace NavigationPolicy

} // namespace quorvel::app
