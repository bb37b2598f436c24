#include "ViewerTestSupport.hpp"

#include "document/DocumentView.hpp"
#include "store/LocalStore.hpp"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QEventLoop>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QUuid>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <filesystem>

namespace quorvel::test {

ScratchStore::ScratchStore() {
    directory =
        (QDir::tempPath() + "/quorvel-viewer-" + QUuid::createUuid().toString(QUuid::WithoutBraces)).toStdString();
    store = std::make_shared<LocalStore>(directory, false);
}

ScratchStore::~ScratchStore() {
    store.reset();
    std::error_code ec;
    std::filesystem::remove_all(directory, ec);
}

std::string ScratchStore::addAsset(const QByteArray &bytes) {
    const std::string hash = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().toStdString();
    store->stageAsset(hash, std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
    return hash;
}

QByteArray pngImage(const QColor &color, int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

std::string assetUrl(const std::string &hash) {
    return "quorvel-asset://" + hash;
}

bool showAndWait(app::DocumentView &view, const std::string &key, const std::string &html, int timeoutMs) {
    QSignalSpy loaded(&view, &app::DocumentView::pageLoaded);
    view.showPage(key, html);
    if (loaded.isEmpty() && !loaded.wait(timeoutMs)) return false;
    return loaded.last().at(0).toString() == QString::fromStdString(key) && loaded.last().at(1).toBool();
}

QString pageDom(QWebEnginePage *page) {
    QString dom;
    bool done = false;
    QEventLoop loop;
    page->toHtml([&](const QString &html) {
        dom = html;
        done = true;
        loop.quit();
    });
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    if (!done) loop.exec();
    return dom;
}

QImage screen(QWidget *widget) {
    return widget->grab().toImage();
}

bool near(const QColor &a, const QColor &b, int tolerance) {
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

} // namespace quorvel::test
