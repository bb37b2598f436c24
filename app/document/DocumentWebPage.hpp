#pragma once

#include "document/LibraryLinks.hpp"
#include "document/NavigationPolicy.hpp"
#include "model/UrlOpener.hpp"

#include <QPointer>
#include <QWebEnginePage>

#include <functional>

namespace quorvel::app {

// Shows the library's document `id` (at `fragment`, percent-encoded, when not empty) for a link
// that names it; answers false when it does not, and the link then opens like any web link.
using DocumentOpener = std::function<bool(int64_t id, const QString &fragment)>;

// The viewer's page: decides every navigation by NavigationPolicy, hands links to documents of the
// library to the document opener and other links that leave the document to the URL opener, and
// turns a link that asks for a new window into the same decision.
class DocumentWebPage : public QWebEnginePage {
    Q_OBJECT
public:
    DocumentWebPage(QWebEngineProfile *profile, UrlOpener opener, QObject *parent = nullptr);

    void setUrlOpener(UrlOpener opener);
    void setLibraryLinks(LibraryLinks links, DocumentOpener opener);

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message, int line,
                                  const QString &source) override;

private:
    DocumentWebPage(QWebEngineProfile *profile, DocumentWebPage *opener);
    void openWindow(QWebEngineNewWindowRequest &request);
    // Carries out a decision to leave the page; false when it stays.
    bool leave(NavigationPolicy::Decision decision, const QUrl &url, const LinkTarget &link);

    UrlOpener opener_;
    LibraryLinks links_;
    DocumentOpener documentOpener_;
    // Set on a page that only receives a new-window request: it never shows anything.
    DocumentWebPage *windowOf_ = nullptr;
    QPointer<DocumentWebPage> window_;
};

} // namespace quorvel::app
