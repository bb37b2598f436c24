#include "document/AssetSchemeHandler.hpp"

#include "document/AssetHosts.hpp"

#include "store/LocalStore.hpp"
#include "sync/MIMESniffer.hpp"

#include <QBuffer>
#include <QCoreApplication>
#include <QPointer>
#include <QWebEngineUrlRequestJob>

namespace quorvel::app {

AssetSchemeHandler::AssetSchemeHandler(std::shared_ptr<LocalStore> store, QObject *parent)
    : AssetSchemeHandler([store = std::move(store)](const std::string &key) { return store->assetData(key); }, parent) {
}

AssetSchemeHandler::AssetSchemeHandler(Reader reader, QObject *parent)
    : QWebEngineUrlSchemeHandler(parent), reader_(std::move(reader)) {
    readers_.setMaxThreadCount(4);
}

const QByteArray &AssetSchemeHandler::placeholder() {
    static const QByteArray svg = QByteArrayLiteral(
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"320\" height=\"180\" viewBox=\"0 0 320 180\">"
        "<rect width=\"320\" height=\"180\" rx=\"8\" fill=\"#e5e7eb\"/><text x=\"160\" y=\"95\" "
        "font-family=\"-apple-system, Helvetica, sans-serif\" font-size=\"14\" fill=\"#6b7280\" "
        "text-anchor=\"middle\">이미지를 불러올 수 없음</text></svg>");
    return svg;
}

std::string AssetSchemeHandler::keyOf(const QUrl &url) {
    return AssetHosts::join(url.host().toLower().toStdString());
}

AssetSchemeHandler::Answer AssetSchemeHandler::answer(const std::optional<std::vector<uint8_t>> &data) {
    if (!data || data->empty()) return {placeholder(), QByteArrayLiteral("image/svg+xml")};
    return {QByteArray(reinterpret_cast<const char *>(data->data()), static_cast<qsizetype>(data->size())),
            QByteArray::fromStdString(MIMESniffer::sniff(*data))};
}

void AssetSchemeHandler::requestStarted(QWebEngineUrlRequestJob *job) {
    const QUrl url = job->requestUrl();
    if (url.scheme().compare(QLatin1String(scheme), Qt::CaseInsensitive) != 0) {
        job->fail(QWebEngineUrlRequestJob::UrlInvalid);
        return;
    }
    // The page deletes the job when it drops the request, and the view may delete this handler;
    // both are checked back on the main thread before anything is sent.
    QPointer<QWebEngineUrlRequestJob> pendingJob(job);
    QPointer<AssetSchemeHandler> self(this);
    readers_.start([reader = reader_, key = keyOf(url), url, pendingJob, self] {
        auto reply = std::make_shared<Answer>(answer(reader(key)));
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [reply, url, pendingJob, self] {
                if (!self || !pendingJob) return;
                auto *body = new QBuffer(pendingJob);
                body->setData(reply->body);
                pendingJob->reply(reply->mimeType, body);
                Q_EMIT self->answered(url, reply->mimeType);
            },
            Qt::QueuedConnection);
    });
}

} // namespace quorvel::app
