#include "document/NavigationPolicy.hpp"

#include "document/PageSchemeHandler.hpp"

namespace quorvel::app::NavigationPolicy {

namespace {

bool schemeIs(const QUrl &url, const char *scheme) {
    return url.scheme().compare(QLatin1String(scheme), Qt::CaseInsensitive) == 0;
}

std::string text(const QUrl &url) {
    return url.isEmpty() ? std::string() : url.toString(QUrl::FullyEncoded).toStdString();
}

} // namespace

Decision decide(const QUrl &url, QWebEnginePage::NavigationType type, bool isMainFrame, const QUrl &pageUrl,
                const LibraryLinks &links, LinkTarget *link) {
    switch (type) {
    case QWebEnginePage::NavigationTypeLinkClicked: {
        LinkTarget target = links.classify(text(url), text(pageUrl));
        const auto kind = target.kind;
        if (link) *link = std::move(target);
        switch (kind) {
        case LinkTarget::Kind::document:
            return Decision::openDocument;
        case LinkTarget::Kind::web:
        case LinkTarget::Kind::mail:
            return Decision::openExternally;
        case LinkTarget::Kind::anchor:
            // The engine scrolls to most of these without asking.
            return isMainFrame ? Decision::allow : Decision::cancel;
        case LinkTarget::Kind::other:
            return Decision::cancel;
        }
        return Decision::cancel;
    }
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
