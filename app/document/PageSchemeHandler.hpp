#pragma once

#include <QByteArray>
#include <QUrl>
#include <QWebEngineUrlSchemeHandler>

namespace quorvel::app {

// Serves one viewer's current page when it is too large to be handed over as a data: URL.
class PageSchemeHandler : public QWebEngineUrlSchemeHandler {
    Q_OBJECT
public:
    static constexpr const char *scheme = "quorvel-page";

    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;

    // Makes `html` the page served, at a URL never used before, which it returns.
    QUrl publish(QByteArray html);
    // Serves nothing any more and lets the page's bytes go.
    void clear();

    void requestStarted(QWebEngineUrlRequestJob *job) override;

private:
    QUrl url_;
    QByteArray html_;
    quint64 serial_ = 0;
};

} // namespace quorvel::app
