#include "document/AssetSchemeHandler.hpp"

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

namespace {

constexpr std::string_view assetPrefix = "quorvel-asset://";
constexpr size_t hashLength = 64;

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool isHostChar(char c) {
    return isHexDigit(c) || (c >= 'g' && c <= 'z') || (c >= 'G' && c <= 'Z') || c == '-' || c == '_' || c == '.';
}

bool startsWithPrefix(std::string_view text, size_t at) {
    if (text.size() - at < assetPrefix.size()) return false;
    for (size_t i = 0; i < assetPrefix.size(); ++i) {
        char c = text[at + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != assetPrefix[i]) return false;
    }
    return true;
}

} // namespace

std::string AssetSchemeHandler::splitAssetHosts(std::string_view html) {
    std::string out;
    out.reserve(html.size() + html.size() / 64);
    size_t copied = 0;
    for (size_t at = html.find_first_of("qQ"); at != std::string_view::npos; at = html.find_first_of("qQ", at + 1)) {
        if (!startsWithPrefix(html, at)) continue;
        const size_t host = at + assetPrefix.size();
        if (html.size() - host < hashLength) break;
        size_t end = host;
        while (end < html.size() && end - host < hashLength && isHexDigit(html[end]))
            ++end;
        if (end - host != hashLength || (end < html.size() && isHostChar(html[end]))) continue;
        out.append(html.substr(copied, host + hashLength / 2 - copied)).push_back('.');
        copied = host + hashLength / 2;
        at = end - 1;
    }
    out.append(html.substr(copied));
    return out;
}

std::string AssetSchemeHandler::keyOf(const QUrl &url) {
    QString host = url.host().toLower();
    host.remove(QLatin1Char('.'));
    return host.toStdString();
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
