#pragma once

#include "document/DocumentView.hpp"
#include "store/LocalStore.hpp"

#include <QBuffer>
#include <QCryptographicHash>
#include <QEventLoop>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWebEnginePage>

namespace quorvel::test {

// A store in a fresh temporary directory, removed with it.
struct ScratchStore {
    QTemporaryDir directory;
    std::shared_ptr<LocalStore> store = std::make_shared<LocalStore>(directory.path().toStdString(), false);

    // Stores the bytes as an image; returns its "quorvel-asset://<hash>" URL.
    std::string addAsset(const QByteArray &bytes) {
        const std::string hash = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().toStdString();
        store->stageAsset(hash, std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
        return "quorvel-asset://" + hash;
    }
};

inline QByteArray pngImage(const QColor &color, int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// Shows the page and waits until the view reports it loaded; false on a time-out or a failed load.
inline bool showAndWait(app::DocumentView &view, const std::string &key, const std::string &html,
                        int timeoutMs = 20000) {
    QSignalSpy loaded(&view, &app::DocumentView::pageLoaded);
    view.showPage(key, html);
    if (loaded.isEmpty() && !loaded.wait(timeoutMs)) return false;
    return loaded.last().at(0).toString() == QString::fromStdString(key) && loaded.last().at(1).toBool();
}

// The DOM as the engine serialises it (works with JavaScript off).
inline QString pageDom(QWebEnginePage *page) {
    QString dom;
    QEventLoop loop;
    page->toHtml([&](const QString &html) { dom = html, loop.quit(); });
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    if (dom.isNull()) loop.exec();
    return dom;
}

// What the widget shows now; the engine paints a little after a load, so poll it.
inline QImage screen(QWidget *widget) {
    return widget->grab().toImage();
}

inline bool near(const QColor &a, const QColor &b, int tolerance = 8) {
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

} // namespace quorvel::test
