#include "document/PageSchemeHandler.hpp"

#include <QBuffer>
#include <QWebEngineUrlRequestJob>

namespace quorvel::app {

QUrl PageSchemeHandler::publish(QByteArray html) {
    html_ = std::move(html);
    url_ = QUrl(QStringLiteral("%1://page/%2").arg(QLatin1String(scheme)).arg(++serial_));
    return url_;
}

void PageSchemeHandler::clear() {
    url_.clear();
    html_.clear();
}

void PageSchemeHandler::requestStarted(QWebEngineUrlRequestJob *job) {
    const QUrl asked = job->requestUrl().adjusted(QUrl::RemoveFragment);
    if (url_.isEmpty() || asked != url_) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    auto *body = new QBuffer(job);
    body->setData(html_);
    job->reply(QByteArrayLiteral("text/html;charset=utf-8"), body);
}

} // namespace quorvel::app
