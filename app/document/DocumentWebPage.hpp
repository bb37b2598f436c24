#pragma once

#include "model/UrlOpener.hpp"

#include <QPointer>
#include <QWebEnginePage>

namespace quorvel::app {

// The viewer's page: decides every navigation by NavigationPolicy, hands links that leave the
// document to the URL opener, and turns a link that asks for a new window into the same decision.
class DocumentWebPage : public QWebEnginePage {
    Q_OBJECT
public:
    DocumentWebPage(QWebEngineProfile *profile, UrlOpener opener, QObject *parent = nullptr);

    void setUrlOpener(UrlOpener opener);

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message, int line,
                                  const QString &source) override;

private:
    DocumentWebPage(QWebEngineProfile *profile, DocumentWebPage *opener);
    void openWindow(QWebEngineNewWindowRequest &request);

    UrlOpener opener_;
    // Set on a page that only receives a new-window request: it never shows anything.
    DocumentWebPage *windowOf_ = nullptr;
    QPointer<DocumentWebPage> window_;
};

} // namespace quorvel::app
