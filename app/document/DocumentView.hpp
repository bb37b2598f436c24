#pragma once

#include "document/DocumentWebPage.hpp"
#include "model/UrlOpener.hpp"

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class QPrinter;
class QWebEngineProfile;
class QWebEngineView;

namespace quorvel {
class LocalStore;
}

namespace quorvel::app {

class AssetSchemeHandler;
class ContentBlocker;
class PageFinder;
class PageSchemeHandler;

// Shows one stored page in a web view that cannot reach the network or the file system: no
// JavaScript, nothing kept after it closes, images only from the store, every other request
// blocked, and links that leave the page opened on the desktop. No document is loaded before the
// shared content blocker is installed; if it cannot be, the fallback page is shown instead.
class DocumentView : public QWidget {
    Q_OBJECT
public:
    // Asks whether to print and sets the printer up; answers false when the user cancelled.
    using PrintDialog = std::function<bool(QPrinter &printer, QWidget *parent)>;

    explicit DocumentView(std::shared_ptr<quorvel::LocalStore> store, QWidget *parent = nullptr);
    ~DocumentView() override;

    // Call once in main() before QApplication exists: registers quorvel-asset and the page scheme.
    static void registerSchemes();
    // Makes pages see the application palette's dark or light scheme (prefers-color-scheme). The
    // engine reads it once, when it starts: call after QApplication exists and before any other
    // thread runs; the first viewer calls it too.
    static void followDesktopColorScheme();

    // Shows the page unless it is the one shown already or waiting to be (same key).
    void showPage(const std::string &key, const std::string &html);
    // Scrolls the page shown to the element whose id is `anchor` (an outline's heading), without
    // scripts: a move to that fragment of the page. Nothing happens before a page has loaded.
    void scrollToAnchor(const QString &anchor);
    // Scrolls the page shown to `y` (CSS pixels from its top), as it was when left. The page's own
    // scripts stay off: this runs in the application's isolated world, which the page cannot reach.
    void scrollTo(double y);
    // Where the page shown is scrolled to.
    double scrollY() const;
    // The key of the page shown or being loaded.
    const std::optional<std::string> &shownKey() const { return loadedKey_; }
    // Applied at once and kept for every later page.
    void setZoom(double zoom);
    double zoom() const { return zoom_; }
    // Opens http, https and mailto links; defaults to desktopUrlOpener().
    void setUrlOpener(UrlOpener opener);
    // Links to documents of the service at `baseURL` go to `opener` (until then they are web links).
    void setLibraryLinks(std::string_view baseURL, DocumentOpener opener);
    QWebEngineView *webView() const { return view_; }
    // Marks words in the page shown.
    PageFinder *finder() const { return finder_; }
    // Asks through the print dialog, then prints the page shown.
    void print();
    // Replaces the print dialog (tests answer it without a window).
    void setPrintDialog(PrintDialog dialog);

    // Whether the page can go to the engine as a data: URL, which it takes up to 2 MB long.
    static bool fitsDataUrl(std::string_view html);

Q_SIGNALS:
    // The page for `key` (or the fallback shown in its place) finished loading.
    void pageLoaded(const QString &key, bool ok);
    // The reader scrolled the page (or it was scrolled for them) to `y`.
    void scrolled(double y);

private:
    struct Pending {
        std::string key;
        std::string html;
    };

    void rulesArrived(ContentBlocker *blocker);
    void flush();
    void load(const std::string &key, std::string_view html);
    void applyZoom();

    QWebEngineProfile *profile_ = nullptr;
    AssetSchemeHandler *assets_ = nullptr;
    PageSchemeHandler *pages_ = nullptr;
    DocumentWebPage *page_ = nullptr;
    QWebEngineView *view_ = nullptr;
    PageFinder *finder_ = nullptr;
    PrintDialog printDialog_;
    std::unique_ptr<QPrinter> printer_;

    bool rulesReady_ = false;
    bool rulesFailed_ = false;
    std::optional<std::string> loadedKey_;
    std::optional<Pending> pending_;
    QString loadingKey_;
    double zoom_ = 1.0;
};

} // namespace quorvel::app
