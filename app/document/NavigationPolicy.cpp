#include "document/NavigationPolicy.hpp"

#include "document/PageSchemeHandler.hpp"

namespace quorvel::app::NavigationPolicy {

namespace {

bool schemeIs(const QUrl &url, const char *scheme) {
    return url.scheme().compare(QLatin1String(scheme), Qt::CaseInsensitive) == 0;
}

} // namespace

Decision decide(const QUrl &url, QWebEnginePage::NavigationType type, bool isMainFrame, const QUrl &pageUrl) {
    switch (type) {
    case QWebEnginePage::NavigationTypeLinkClicked:
        if (schemeIs(url, "http") || schemeIs(url, "https") || schemeIs(url, "mailto")) return Decision::openExternally;
        // An anchor of the page shown; the engine scrolls to most of these without asking.
        if (isMainFrame && url.hasFragment() && !pageUrl.isEmpty() &&
            url.adjusted(QUrl::RemoveFragment) == pageUrl.adjusted(QUrl::RemoveFragment))
            return Decision::allow;
        return Decision::cancel;
    case QWebEnginePage::NavigationTypeTyped:
        // Only the viewer's own setContent() and load() produce these; a page cannot.
        if (isMainFrame && (schemeIs(url, "data") || schemeIs(url, PageSchemeHandler::scheme))) return Decision::allow;
        return Decision::cancel;
    case QWebEnginePage::NavigationTypeFormSubmitted:
    case QWebEnginePage::NavigationTypeBackForward:
    case QWebEnginePage::NavigationTypeReload:
    case QWebEnginePage::NavigationTypeOther:
    case QWebEnginePage::NavigationTypeRedirect:
        // A document that reloads or refreshes itself would otherwise flicker in a loop or leave.
        return Decision::cancel;
    }
    return Decision::cancel;
}

} // namespace quorvel::app::NavigationPolicy
