#include "document/DocumentWebPage.hpp"

#include <QWebEngineNewWindowRequest>
#include <QWebEngineSettings>

namespace quorvel::app {

namespace {

void lockDown(QWebEngineSettings *settings) {
    settings->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    settings->setAttribute(QWebEngineSettings::HyperlinkAuditingEnabled, false);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    settings->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
    settings->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
    settings->setAttribute(QWebEngineSettings::TouchIconsEnabled, false);
    settings->setAttribute(QWebEngineSettings::DnsPrefetchEnabled, false);
    settings->setAttribute(QWebEngineSettings::NavigateOnDropEnabled, false);
    settings->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    settings->setAttribute(QWebEngineSettings::LocalStorageEnabled, false);
    settings->setAttribute(QWebEngineSettings::WebGLEnabled, false);
    settings->setAttribute(QWebEngineSettings::ScreenCaptureEnabled, false);
    // Clicked links of schemes the engine cannot load itself (mailto and the like) reach
    // acceptNavigationRequest this way; nothing else does.
    settings->setUnknownUrlSchemePolicy(QWebEngineSettings::AllowUnknownUrlSchemesFromUserInteraction);
}

} // namespace

DocumentWebPage::DocumentWebPage(QWebEngineProfile *profile, UrlOpener opener, QObject *parent)
    : QWebEnginePage(profile, parent), opener_(std::move(opener)) {
    lockDown(settings());
    connect(this, &QWebEnginePage::newWindowRequested, this, &DocumentWebPage::openWindow);
}

DocumentWebPage::DocumentWebPage(QWebEngineProfile *profile, DocumentWebPage *opener)
    : QWebEnginePage(profile, opener), windowOf_(opener) {
    lockDown(settings());
}

void DocumentWebPage::setUrlOpener(UrlOpener opener) {
    opener_ = std::move(opener);
}

void DocumentWebPage::setLibraryLinks(LibraryLinks links, DocumentOpener opener) {
    links_ = std::move(links);
    documentOpener_ = std::move(opener);
}

void DocumentWebPage::openWindow(QWebEngineNewWindowRequest &request) {
    // The request does not tell a link from a form; a hidden page receives the navigation so that
    // it is decided with its real type. Only the newest such page is kept.
    if (window_) window_->deleteLater();
    window_ = new DocumentWebPage(profile(), this);
    request.openIn(window_);
}

void DocumentWebPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString &, int, const QString &) {
    // Every refused load of a document would otherwise be printed; the app keeps no log.
}

bool DocumentWebPage::leave(NavigationPolicy::Decision decision, const QUrl &url, const LinkTarget &link) {
    using NavigationPolicy::Decision;
    if (decision == Decision::openDocument && documentOpener_ &&
        documentOpener_(link.documentID, QString::fromStdString(link.fragment)))
        return true;
    if (decision != Decision::openDocument && decision != Decision::openExternally) return false;
    if (opener_) opener_(url);
    return true;
}

bool DocumentWebPage::acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) {
    DocumentWebPage *owner = windowOf_ ? windowOf_ : this;
    const QUrl pageUrl = windowOf_ ? QUrl() : this->url();
    LinkTarget link;
    const auto decision = NavigationPolicy::decide(url, type, isMainFrame, pageUrl, owner->links_, &link);
    if (windowOf_) {
        // A new window never shows anything, whatever was decided, and has no more use.
        owner->leave(decision, url, link);
        deleteLater();
        return false;
    }
    if (leave(decision, url, link)) return false;
    return decision == NavigationPolicy::Decision::allow;
}

} // namespace quorvel::app
