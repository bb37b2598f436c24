#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QPoint>
#include <QString>

#include <memory>
#include <string>

class QWebEnginePage;
class QWidget;

namespace quorvel {
class LocalStore;
}

namespace quorvel::app {
class DocumentView;
}

namespace quorvel::test {

// A store in a fresh temporary directory, removed with it.
struct ScratchStore {
    ScratchStore();
    ~ScratchStore();
    // Stores the bytes as an image and returns their hash.
    std::string addAsset(const QByteArray &bytes);

    std::string directory;
    std::shared_ptr<LocalStore> store;
};

// A solid PNG image.
QByteArray pngImage(const QColor &color, int width, int height);
// "quorvel-asset://<hash>".
std::string assetUrl(const std::string &hash);

// Shows the page and waits until the view reports it loaded; false on a time-out or a failed load.
bool showAndWait(app::DocumentView &view, const std::string &key, const std::string &html, int timeoutMs = 20000);
// The DOM of the page as the engine serialises it (works with JavaScript off).
QString pageDom(QWebEnginePage *page);
// What the widget shows now; the engine paints a little after a load, so poll it.
QImage screen(QWidget *widget);
// Whether two colours differ by at most `tolerance` in every channel.
bool near(const QColor &a, const QColor &b, int tolerance = 8);

} // namespace quorvel::test
