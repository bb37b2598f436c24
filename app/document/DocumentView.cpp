#include "document/DocumentView.hpp"

#include "document/AssetHosts.hpp"
#include "document/AssetSchemeHandler.hpp"
#include "document/ContentBlocker.hpp"
#include "document/DocumentPage.hpp"
#include "document/DocumentWebPage.hpp"
#include "document/PageFinder.hpp"
#include "document/PageSchemeHandler.hpp"

#include <QGuiApplication>
#include <QPalette>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QVBoxLayout>
#include <QWebEngineHistory>
#include <QWebEngineLoadingInfo>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineUrlScheme>
#include <QWebEngineView>

#include <fontconfig/fontconfig.h>

#include <algorithm>

namespace quorvel::app {

namespace {

constexpr std::string_view dataUrlPrefix = "data:text/html;charset=UTF-8,";
// Chromium refuses longer URLs (url::kMaxURLChars).
constexpr size_t longestUrl = 2 * 1024 * 1024;
// The engine's zoom range.
constexpr double smallestZoom = 0.25;
constexpr double largestZoom = 5.0;

// What QByteArray::toPercentEncoding() leaves as it is.
bool isUnreserved(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

// The family the desktop gives Korean sans-serif text, when it has one. The built-in template asks
// for the Mac's system fonts and then "sans-serif", which on Linux means a Latin-only family with
// Hangul filled in from another: digits and words in one face, Korean in the next.
QString koreanSansSerif() {
    QString family;
    FcPattern *pattern = FcNameParse(reinterpret_cast<const FcChar8 *>("sans-serif:lang=ko"));
    if (!pattern) return family;
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    if (FcPattern *match = FcFontMatch(nullptr, pattern, &result)) {
        FcChar8 *name = nullptr;
        FcCharSet *characters = nullptr;
        if (FcPatternGetString(match, FC_FAMILY, 0, &name) == FcResultMatch &&
            FcPatternGetCharSet(match, FC_CHARSET, 0, &characters) == FcResultMatch &&
            FcCharSetHasChar(characters, 0xAC00)) // 가
            family = QString::fromUtf8(reinterpret_cast<const char *>(name));
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return family;
}

bool defaultPrintDialog(QPrinter &printer, QWidget *parent) {
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

} // namespace

void DocumentView::registerSchemes() {
    if (QWebEngineUrlScheme::schemeByName(AssetSchemeHandler::scheme).name() == AssetSchemeHandler::scheme) return;
    QWebEngineUrlScheme asset(AssetSchemeHandler::scheme);
    asset.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    asset.setFlags(QWebEngineUrlScheme::SecureScheme);
    QWebEngineUrlScheme::registerScheme(asset);
    // Opaque origins, like the data: URLs smaller pages are loaded from.
    QWebEngineUrlScheme page(PageSchemeHandler::scheme);
    page.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    page.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::NoAccessAllowed);
    QWebEngineUrlScheme::registerScheme(page);
}

void DocumentView::followDesktopColorScheme() {
    static bool done = false;
    if (done) return;
    done = true;
    // The engine ignores the palette and offers no per-page switch in this Qt version; its
    // command line does, read from the environment when the first profile starts it.
    const QPalette palette = QGuiApplication::palette();
    if (palette.color(QPalette::Window).lightness() >= palette.color(QPalette::WindowText).lightness()) return;
    const QByteArray name = QByteArrayLiteral("QTWEBENGINE_CHROMIUM_FLAGS");
    const QByteArray flags = qgetenv(name.constData());
    if (!flags.contains("--force-dark-mode")) qputenv(name.constData(), flags + " --force-dark-mode");
}

bool DocumentView::fitsDataUrl(std::string_view html) {
    size_t length = dataUrlPrefix.size();
    for (char c : html) {
        length += isUnreserved(c) ? 1 : 3;
        if (length > longestUrl) return false;
    }
    return true;
}

DocumentView::DocumentView(std::shared_ptr<quorvel::LocalStore> store, QWidget *parent)
    : QWidget(parent), printDialog_(defaultPrintDialog) {
    followDesktopColorScheme();

    // No storage name: off the record, nothing written to disk, nothing shared with other viewers.
    profile_ = new QWebEngineProfile(this);
    profile_->setHttpCacheType(QWebEngineProfile::NoCache);
    profile_->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    profile_->setSpellCheckEnabled(false);
    profile_->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    static const QString korean = koreanSansSerif();
    if (!korean.isEmpty()) {
        profile_->settings()->setFontFamily(QWebEngineSettings::StandardFont, korean);
        profile_->settings()->setFontFamily(QWebEngineSettings::SansSerifFont, korean);
    }
    assets_ = new AssetSchemeHandler(std::move(store), this);
    pages_ = new PageSchemeHandler(this);
    profile_->installUrlSchemeHandler(AssetSchemeHandler::scheme, assets_);
    profile_->installUrlSchemeHandler(PageSchemeHandler::scheme, pages_);

    view_ = new QWebEngineView(this);
    page_ = new DocumentWebPage(profile_, desktopUrlOpener(), view_);
    view_->setPage(page_);
    finder_ = new PageFinder(page_, this);
    // Its menu offers back, reload, view source and saving; a drop would navigate.
    view_->setContextMenuPolicy(Qt::NoContextMenu);
    view_->setAcceptDrops(false);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);

    connect(page_, &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo &info) {
        // Navigations the page cancelled end as stopped; only the viewer's own loads succeed or fail.
        const auto status = info.status();
        if (status != QWebEngineLoadingInfo::LoadSucceededStatus && status != QWebEngineLoadingInfo::LoadFailedStatus)
            return;
        applyZoom();
        page_->history()->clear();
        Q_EMIT pageLoaded(loadingKey_, status == QWebEngineLoadingInfo::LoadSucceededStatus);
    });
    connect(page_, &QWebEnginePage::scrollPositionChanged, this,
            [this](const QPointF &at) { Q_EMIT scrolled(at.y()); });
    connect(view_, &QWebEngineView::printFinished, this, [this] {
        // The engine is done with the printer once it reports; let it go after this call returns.
        QMetaObject::invokeMethod(
            this, [this] { printer_.reset(); }, Qt::QueuedConnection);
    });

    QPointer<DocumentView> self(this);
    ContentBlocker::shared().load([self](ContentBlocker *blocker) {
        if (self) self->rulesArrived(blocker);
    });
}

DocumentView::~DocumentView() {
    // The engine wants the page gone before its profile.
    delete view_;
    view_ = nullptr;
    page_ = nullptr;
    delete profile_;
    profile_ = nullptr;
}

void DocumentView::rulesArrived(ContentBlocker *blocker) {
    if (blocker) {
        profile_->setUrlRequestInterceptor(blocker);
        rulesReady_ = true;
    } else {
        rulesFailed_ = true;
    }
    flush();
}

void DocumentView::showPage(const std::string &key, const std::string &html) {
    if (pending_ && pending_->key == key) return;
    if (loadedKey_ == key) return;
    pending_ = Pending{key, html};
    flush();
}

void DocumentView::flush() {
    if (!pending_) return;
    if (rulesReady_) {
        load(pending_->key, pending_->html);
    } else if (rulesFailed_) {
        load(pending_->key, DocumentPage::fallbackPage);
    } else {
        return; // loaded when the blocker answers
    }
    pending_.reset();
}

void DocumentView::load(const std::string &key, std::string_view html) {
    loadedKey_ = key;
    loadingKey_ = QString::fromStdString(key);
    const std::string page = AssetHosts::split(html);
    QByteArray bytes(page.data(), static_cast<qsizetype>(page.size()));
    if (fitsDataUrl(page)) {
        pages_->clear();
        page_->setContent(bytes, QStringLiteral("text/html;charset=UTF-8"));
    } else {
        page_->load(pages_->publish(std::move(bytes)));
    }
}

void DocumentView::scrollToAnchor(const QString &anchor) {
    if (!loadedKey_ || pending_ || page_->url().isEmpty()) return;
    QUrl url = page_->url();
    url.setFragment(anchor);
    page_->setUrl(url);
}

void DocumentView::scrollTo(double y) {
    if (!loadedKey_ || pending_) return;
    page_->runJavaScript(QStringLiteral("window.scrollTo(0, %1)").arg(y, 0, 'f', 1),
                         QWebEngineScript::ApplicationWorld);
}

double DocumentView::scrollY() const {
    return page_->scrollPosition().y();
}

void DocumentView::setZoom(double zoom) {
    zoom_ = zoom;
    applyZoom();
}

void DocumentView::applyZoom() {
    const double wanted = std::clamp(zoom_, smallestZoom, largestZoom);
    if (!qFuzzyCompare(view_->zoomFactor(), wanted)) view_->setZoomFactor(wanted);
}

void DocumentView::setUrlOpener(UrlOpener opener) {
    page_->setUrlOpener(std::move(opener));
}

void DocumentView::setLibraryLinks(std::string_view baseURL, DocumentOpener opener) {
    page_->setLibraryLinks(LibraryLinks(baseURL), std::move(opener));
}

void DocumentView::setPrintDialog(PrintDialog dialog) {
    printDialog_ = std::move(dialog);
}

void DocumentView::print() {
    if (printer_) return; // the engine prints one page at a time
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    if (!printDialog_(*printer, this)) return;
    printer_ = std::move(printer);
    view_->print(printer_.get());
}

} // namespace quorvel::app
