#pragma once

#include <QByteArray>
#include <QThreadPool>
#include <QUrl>
#include <QWebEngineUrlSchemeHandler>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorvel {
class LocalStore;
}

namespace quorvel::app {

// Serves "quorvel-asset://<sha256>" images from the store. Unknown, malformed and "missing" keys
// get a placeholder picture instead, so no broken-image error reaches the page.
class AssetSchemeHandler : public QWebEngineUrlSchemeHandler {
    Q_OBJECT
public:
    static constexpr const char *scheme = "quorvel-asset";

    // The stored bytes for a key, or none. Runs on a worker thread.
    using Reader = std::function<std::optional<std::vector<uint8_t>>(const std::string &key)>;

    struct Answer {
        QByteArray body;
        QByteArray mimeType;
    };

    explicit AssetSchemeHandler(std::shared_ptr<LocalStore> store, QObject *parent = nullptr);
    explicit AssetSchemeHandler(Reader reader, QObject *parent = nullptr);

    // Reads off the main thread and answers later; a request the page dropped meanwhile gets nothing.
    void requestStarted(QWebEngineUrlRequestJob *job) override;

    // The store key an asset URL names: its host, lower-cased, its labels joined (AssetHosts).
    static std::string keyOf(const QUrl &url);
    // What to send for the bytes read: them with their sniffed type, or the placeholder.
    static Answer answer(const std::optional<std::vector<uint8_t>> &data);
    static const QByteArray &placeholder();

Q_SIGNALS:
    // A request received its answer.
    void answered(const QUrl &url, const QByteArray &mimeType);

private:
    Reader reader_;
    // Its own threads, so long work elsewhere in the app never holds images back; waits for
    // the reads in flight when the handler goes.
    QThreadPool readers_;
};

} // namespace quorvel::app
