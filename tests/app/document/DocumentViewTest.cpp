// The viewer in a real engine under a display: what a hostile document can reach, where links
// go, how pages of any size, images, keys, zoom and printing behave.
#include "CountingServer.hpp"
#include "ViewerTestSupport.hpp"

#include "document/AssetSchemeHandler.hpp"
#include "document/ContentBlocker.hpp"
#include "document/DocumentPage.hpp"
#include "document/DocumentView.hpp"
#include "store/LocalStore.hpp"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QPrinter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEngineHistory>
#include <QWebEngineHistoryItem>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineView>

#include <sys/inotify.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace quorvel;
using namespace quorvel::app;
using namespace quorvel::test;

namespace {

// Counts every open or read of the files in one directory.
class FileWatch {
public:
    explicit FileWatch(const QString &directory) {
        fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        inotify_add_watch(fd_, QFile::encodeName(directory).constData(), IN_OPEN | IN_ACCESS);
    }
    ~FileWatch() { ::close(fd_); }
    int events() {
        alignas(inotify_event) char buffer[4096];
        ssize_t n;
        while ((n = ::read(fd_, buffer, sizeof buffer)) > 0) {
            for (char *p = buffer; p < buffer + n;
                 p += sizeof(inotify_event) + reinterpret_cast<inotify_event *>(p)->len)
                ++events_;
        }
        return events_;
    }

private:
    int fd_;
    int events_ = 0;
};

const char *const fileTargets[] = {"f-img.png", "f-style.css",  "f-import.css",
                                   "f-bg.png",  "f-frame.html", "f-script.js"};

// `text` with every "{NAME}" replaced.
std::string fill(std::string text, const std::vector<std::pair<std::string, std::string>> &values) {
    for (const auto &[name, value] : values) {
        const std::string marker = "{" + name + "}";
        for (size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at + value.size()))
            text.replace(at, marker.size(), value);
    }
    return text;
}

// Every way a page could reach out without JavaScript, and scripts that would leave a trace ({PWN}
// names the title "PWNED" without spelling it). {H}, {HS} and {FTP} are the counting server's
// http, https and ftp origins, {F} a file: directory URL.
const char *const hostileTemplate = R"~(<h1>hostile</h1>
<script>{PWN};document.body.appendChild(document.createElement('pwned-marker'));new Image().src='{H}/script-image';</script>
<script src="{H}/script.js"></script>
<img src="{H}/img.png"><img src="{HS}/img-https.png"><img src="{FTP}/img-ftp.png"><img src="{F}/f-img.png">
<img src="x:" onerror="{PWN}"><svg onload="{PWN}"><image href="{H}/svg-image.png" width="10" height="10"/></svg>
<iframe src="{H}/iframe.html"></iframe><iframe src="{F}/f-frame.html"></iframe>
<iframe srcdoc="&lt;script&gt;parent.{PWN}&lt;/script&gt;&lt;img src='{H}/srcdoc.png'&gt;"></iframe>
<object data="{H}/object.html"></object><object data="{H}/object.swf" type="application/x-shockwave-flash"></object>
<embed src="{H}/embed.pdf">
<video poster="{H}/poster.png" src="{H}/video.mp4" autoplay></video><audio src="{H}/audio.mp3" autoplay></audio>
<link rel="stylesheet" href="{H}/style.css"><link rel="stylesheet" href="{F}/f-style.css">
<link rel="prefetch" href="{H}/prefetch"><link rel="preload" as="image" href="{H}/preload.png">
<link rel="prerender" href="{H}/prerender"><link rel="preconnect" href="{H}"><link rel="dns-prefetch" href="{H}">
<link rel="manifest" href="{H}/manifest.json"><link rel="icon" href="{H}/favicon.ico">
<link rel="modulepreload" href="{H}/module.js">
<meta http-equiv="refresh" content="0;url={H}/refresh">
<style>
@import url("{H}/import.css"); @import url("{HS}/import-https.css"); @import url("{F}/f-import.css");
.bg1 { background: url("{H}/bg.png"); } .bg2 { background: url("{HS}/bg-https.png"); }
.bg3 { background: url("{F}/f-bg.png"); }
@font-face { font-family: hostile; src: url("{H}/font.woff"); } .font { font-family: hostile; }
</style>
<div class="bg1">a</div><div class="bg2">b</div><div class="bg3">c</div><div class="font">d</div>
<div style="background-image: url('{H}/inline-bg.png')">e</div>
<img srcset="{H}/srcset-1x.png 1x, {H}/srcset-2x.png 2x">
<picture><source srcset="{H}/picture.png"><img src="{H}/picture-fallback.png"></picture>
<input type="image" src="{H}/input.png">
<table background="{H}/table-bg.png"><tr><td background="{H}/td-bg.png">t</td></tr></table>
<form action="{H}/form" method="post"><input name="q" value="1"></form>
<form action="{H}/autosubmit"><input autofocus onfocus="this.form.submit()"></form>
<a href="javascript:{PWN}">js</a> <a href="{H}/ping-target" ping="{H}/ping">ping</a>
<script src="{F}/f-script.js"></script>
<p id="end">end</p>)~";

const char *const hostileShellTemplate =
    R"~(<!doctype html><html><head><title>hostile</title><link rel="stylesheet" href="{H}/shell-style.css">)~"
    R"~(<script src="{H}/shell-script.js"></script><base href="{H}/base/"></head>)~"
    R"~(<body onload="{PWN}">{{CONTENT}}<img src="relative.png"></body></html>)~";

struct Hostile {
    std::string shell;
    std::string content;
};

Hostile hostile(const CountingServer &server, const QString &fileDirectory) {
    const std::vector<std::pair<std::string, std::string>> values = {
        {"PWN", "document.title='PW'+'NED'"},
        {"HS", server.origin("https")},
        {"H", server.origin()},
        {"FTP", server.origin("ftp")},
        {"F", QUrl::fromLocalFile(fileDirectory).toString().toStdString()},
    };
    return {fill(hostileShellTemplate, values), fill(hostileTemplate, values)};
}

std::string withoutPolicy(const Hostile &page) {
    std::string html = page.shell;
    return html.replace(html.find("{{CONTENT}}"), 11, page.content);
}

// A page laid out for clicking: every link is a 40-pixel band, from the top.
std::string clickablePage(const std::vector<std::string> &links) {
    std::string content;
    for (const auto &link : links)
        content += "<div style=\"height:40px;margin:0\">" + link + "</div>\n";
    content += "<div style=\"height:6000px\"></div><p id=\"far\">far</p>";
    const std::string style = "<style>a, button { display: block; height: 40px; width: 100%; margin: 0; }</style>";
    return DocumentPage::build("<html><head>" + style + "</head><body style=\"margin:0\">{{CONTENT}}</body></html>",
                               content);
}

QPoint band(int index) {
    return {200, 20 + 40 * index};
}

// A page whose top left is one image, 100 by 100, with nothing around it.
std::string imagePage(const std::string &src) {
    return DocumentPage::build("<html><head></head><body style=\"margin:0;background:#fff\">{{CONTENT}}</body></html>",
                               "<img src=\"" + src + "\" style=\"display:block;width:100px;height:100px\">");
}

} // namespace

class DocumentViewTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup();
    void hostileDocumentReachesNothing_data();
    void hostileDocumentReachesNothing();
    void hostileDocumentReachesOutInABareView();
    void linksFollowTheNavigationTable();
    void documentsOfAnySizeDisplay_data();
    void documentsOfAnySizeDisplay();
    void storedImagesShowThroughTheScheme();
    void droppedRequestsReceiveNothing();
    void onlyTheNewestPendingPageLoads();
    void sameKeyLoadsOnce();
    void failedBlockerShowsTheFallbackPage();
    void zoomIsLiveAndKept();
    void printsThroughTheDialog();
    void savesScreenshotOfASampleDocument();

private:
    std::unique_ptr<DocumentView> makeView(std::shared_ptr<LocalStore> store);
    std::function<void(bool)> heldSetUp_;
};

std::unique_ptr<DocumentView> DocumentViewTest::makeView(std::shared_ptr<LocalStore> store) {
    auto view = std::make_unique<DocumentView>(std::move(store));
    view->resize(900, 700);
    view->show();
    if (!QTest::qWaitForWindowExposed(view.get())) return nullptr;
    return view;
}

void DocumentViewTest::cleanup() {
    if (heldSetUp_) std::exchange(heldSetUp_, nullptr)(true);
    ContentBlocker::shared().setSetUp([](std::function<void(bool)> finish) { finish(true); });
}

void DocumentViewTest::hostileDocumentReachesNothing_data() {
    QTest::addColumn<bool>("withPolicy");
    QTest::newRow("built page, with its policy") << true;
    QTest::newRow("raw page: the blocker and the engine settings alone") << false;
}

void DocumentViewTest::hostileDocumentReachesNothing() {
    QFETCH(bool, withPolicy);
    CountingServer server;
    QTemporaryDir files;
    for (const char *name : fileTargets)
        QVERIFY(QFile(files.filePath(name)).open(QIODevice::WriteOnly));
    FileWatch watch(files.path());
    const Hostile page = hostile(server, files.path());
    const std::string html = withPolicy ? DocumentPage::build(page.shell, page.content) : withoutPolicy(page);

    ScratchStore scratch;
    auto view = makeView(scratch.store);
    QVERIFY(view);
    QList<QUrl> opened;
    view->setUrlOpener([&](const QUrl &url) {
        opened.append(url);
        return true;
    });
    QSignalSpy blocked(&ContentBlocker::shared(), &ContentBlocker::blocked);
    QSignalSpy loaded(view.get(), &DocumentView::pageLoaded);
    QVERIFY(showAndWait(*view, "hostile", html));
    // Refreshes, autofocus and media start after the load; give them time to try.
    QTest::qWait(2000);

    QStringList blockedUrls;
    for (const auto &call : blocked)
        blockedUrls << call.at(0).toUrl().toString();
    qInfo().noquote() << "blocked by the interceptor:" << blockedUrls.join(' ');
    QCOMPARE(server.connections(), 0);
    QCOMPARE(watch.events(), 0);
    QCOMPARE(view->webView()->page()->title(), QString("hostile"));
    const QString dom = pageDom(view->webView()->page());
    QVERIFY(dom.contains("id=\"end\""));
    QVERIFY(!dom.contains("PWNED"));
    QVERIFY(!dom.contains("<pwned-marker"));
    QVERIFY(opened.isEmpty());
    QCOMPARE(loaded.size(), 1);
    QCOMPARE(view->webView()->page()->url().scheme(), QString("data"));
}

void DocumentViewTest::hostileDocumentReachesOutInABareView() {
    // The same document in an engine left as it comes, scripts on: every detector above sees it.
    CountingServer server;
    QTemporaryDir files;
    for (const char *name : fileTargets)
        QVERIFY(QFile(files.filePath(name)).open(QIODevice::WriteOnly));
    FileWatch watch(files.path());
    const std::string html = withoutPolicy(hostile(server, files.path()));

    QWebEngineProfile profile;
    auto page = std::make_unique<QWebEnginePage>(&profile);
    page->setHtml(QString::fromStdString(html));
    QTRY_COMPARE_WITH_TIMEOUT(page->title(), QString("PWNED"), 20000);
    const QStringList expected = {"/script.js",        "/shell-script.js", "/script-image", "/img.png",
                                  "/style.css",        "/import.css",      "/bg.png",       "/iframe.html",
                                  "/srcset-1x.png",    "/poster.png",      "/video.mp4",    "/srcdoc.png",
                                  "/base/relative.png"};
    QStringList paths;
    const auto sawAll = [&] {
        paths.clear();
        for (const auto &line : server.requests())
            paths << (line.starts_with("GET ") ? QString::fromStdString(line).section(' ', 1, 1)
                                               : QString("(not HTTP)"));
        return std::all_of(expected.begin(), expected.end(), [&](const QString &p) { return paths.contains(p); });
    };
    QTRY_VERIFY2_WITH_TIMEOUT(sawAll(), qPrintable(paths.join(' ')), 30000);
    qInfo().noquote() << server.connections() << "connections; requests:" << paths.join(' ');

    // From a file: page the engine reads file: URLs, and the watch sees it.
    QFile local(files.filePath("page.html"));
    QVERIFY(local.open(QIODevice::WriteOnly));
    local.write(QByteArray::fromStdString(html));
    local.close();
    watch.events();
    const int before = watch.events();
    page->load(QUrl::fromLocalFile(local.fileName()));
    QTRY_VERIFY_WITH_TIMEOUT(watch.events() > before + 1, 20000);
}

void DocumentViewTest::linksFollowTheNavigationTable() {
    CountingServer server;
    const std::string h = server.origin();
    const std::vector<std::string> links = {
        "<a href=\"javascript:document.title='PW'+'NED'\">javascript</a>",
        "<a href=\"file:///etc/hostname\">file</a>",
        "<a href=\"data:text/html,PWNED\">data</a>",
        "<a href=\"quorvel-asset://missing\">asset</a>",
        "<a href=\"ftp://127.0.0.1:" + std::to_string(server.port()) + "/x\">ftp</a>",
        "<form action=\"" + h + "/form\" method=\"post\"><button name=\"q\" value=\"1\">post</button></form>",
        "<form action=\"" + h + "/blank-form\" target=\"_blank\"><button name=\"q\" value=\"2\">get</button></form>",
        "<a href=\"" + h + "/http?x=1\" ping=\"" + h + "/ping\">http</a>",
        "<a href=\"https://127.0.0.1:" + std::to_string(server.port()) + "/https\">https</a>",
        "<a href=\"mailto:reader@example.com?subject=%ED%95%9C\">mailto</a>",
        "<a href=\"" + h + "/new-window\" target=\"_blank\">new window</a>",
        "<a href=\"#far\">anchor</a>",
    };
    ScratchStore scratch;
    auto view = makeView(scratch.store);
    QVERIFY(view);
    QList<QUrl> opened;
    view->setUrlOpener([&](const QUrl &url) {
        opened.append(url);
        return true;
    });
    QVERIFY(showAndWait(*view, "links", clickablePage(links)));
    QWebEnginePage *page = view->webView()->page();
    const QUrl shown = page->url();
    QSignalSpy loaded(view.get(), &DocumentView::pageLoaded);
    auto click = [&](int index) {
        // The engine replaces its input widget when it changes process; ask for it each time.
        QTest::mouseClick(view->webView()->focusProxy(), Qt::LeftButton, {}, band(index));
    };

    // Nothing to see for these; the link opened next proves they were all decided before it.
    for (int i = 0; i <= 6; ++i)
        click(i);
    const QList<QUrl> expected = {
        QUrl(QString::fromStdString(h + "/http?x=1")), QUrl(QString::fromStdString(server.origin("https") + "/https")),
        QUrl("mailto:reader@example.com?subject=%ED%95%9C"), QUrl(QString::fromStdString(h + "/new-window"))};
    for (int i = 0; i < expected.size(); ++i) {
        click(7 + i);
        QTRY_COMPARE_WITH_TIMEOUT(opened.size(), i + 1, 10000);
        QCOMPARE(opened.at(i), expected.at(i));
    }
    QCOMPARE(page->scrollPosition().y(), 0.0);
    click(11);
    QTRY_VERIFY_WITH_TIMEOUT(page->scrollPosition().y() > 1000, 10000);

    QCOMPARE(opened.size(), expected.size());
    QCOMPARE(page->url().adjusted(QUrl::RemoveFragment), shown);
    QVERIFY(page->title() != "PWNED");
    QVERIFY(loaded.isEmpty());
    // The history holds this document only (the anchor adds a place in it).
    for (const QWebEngineHistoryItem &item : page->history()->items())
        QCOMPARE(item.url().adjusted(QUrl::RemoveFragment), shown);
    QCOMPARE(server.connections(), 0);
}

void DocumentViewTest::documentsOfAnySizeDisplay_data() {
    // Bytes the engine would take as a data: URL: 2 MiB less its "data:text/html;charset=UTF-8," prefix.
    const int room = 2 * 1024 * 1024 - 29;
    QTest::addColumn<int>("encodedLength");
    QTest::addColumn<bool>("korean");
    QTest::newRow("just fits a data: URL") << room << false;
    QTest::newRow("just too long for one") << room + 1 << false;
    QTest::newRow("5 MB of Korean text") << 5 * 1024 * 1024 << true;
}

void DocumentViewTest::documentsOfAnySizeDisplay() {
    QFETCH(int, encodedLength);
    QFETCH(bool, korean);
    const std::string head = "<!doctype html><html><head><meta charset=\"utf-8\"></head><body style=\"margin:0\">";
    const std::string tail = "<div id=\"end\" style=\"height:300px;background:#00ff00\"></div></body></html>";
    auto encoded = [](const std::string &s) {
        size_t n = 0;
        for (char c : s)
            n += std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_' || c == '~' ? 1 : 3;
        return n;
    };
    // Paragraphs of text fill the room between the two ends.
    const std::string paragraph = korean
                                      ? "<p>다람쥐 헌 쳇바퀴에 타고파. 키스의 고유 조건은 입술끼리 만나야 하고.</p>\n"
                                      : "<p>The quick brown fox jumps over the lazy dog again and again.</p>\n";
    const size_t target = size_t(encodedLength);
    size_t length = encoded(head) + encoded(tail);
    int paragraphs = 0;
    std::string html = head;
    while (length + encoded(paragraph) <= target) {
        html += paragraph;
        length += encoded(paragraph);
        ++paragraphs;
    }
    html.append(target - length, 'x');
    html += tail;
    QCOMPARE(encoded(html), target);
    QCOMPARE(DocumentView::fitsDataUrl(html), encodedLength <= 2 * 1024 * 1024 - 29);

    ScratchStore scratch;
    auto view = makeView(scratch.store);
    QVERIFY(view);
    QVERIFY(showAndWait(*view, "large", html, 120000));
    QWebEnginePage *page = view->webView()->page();
    const QString dom = pageDom(page);
    QVERIFY(dom.contains("<div id=\"end\""));
    QCOMPARE(dom.count(QString::fromStdString(paragraph).trimmed()), paragraphs);
    // The end of the document is laid out and painted.
    QTest::keyClick(view->webView()->focusProxy(), Qt::Key_End);
    QTRY_VERIFY_WITH_TIMEOUT(near(screen(view.get()).pixelColor(450, 650), QColor(0, 255, 0)), 20000);
}

void DocumentViewTest::storedImagesShowThroughTheScheme() {
    ScratchStore scratch;
    const QByteArray png = pngImage(QColor(255, 0, 0), 100, 100);
    const std::string pngHash = scratch.addAsset(png);
    const QByteArray svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"100\" height=\"100\">"
                           "<rect width=\"100\" height=\"100\" fill=\"#0000ff\"/></svg>";
    const std::string svgHash = scratch.addAsset(svg);
    auto view = makeView(scratch.store);
    QVERIFY(view);
    auto *handler = view->findChild<AssetSchemeHandler *>();
    QVERIFY(handler);
    QSignalSpy answered(handler, &AssetSchemeHandler::answered);

    const QColor placeholder(0xe5, 0xe7, 0xeb);
    struct Case {
        const char *name;
        std::string src;
        QByteArray mimeType;
        QColor color;
    };
    QString upper = QString::fromStdString(assetUrl(pngHash)).toUpper();
    const Case cases[] = {
        {"png", assetUrl(pngHash), "image/png", QColor(255, 0, 0)},
        {"svg", assetUrl(svgHash), "image/svg+xml", QColor(0, 0, 255)},
        {"upper case", upper.toStdString(), "image/png", QColor(255, 0, 0)},
        {"missing", "quorvel-asset://missing", "image/svg+xml", placeholder},
        {"unknown hash", assetUrl(std::string(64, 'a')), "image/svg+xml", placeholder},
        {"malformed", "quorvel-asset://not-a-hash", "image/svg+xml", placeholder},
    };
    for (const Case &c : cases) {
        answered.clear();
        QVERIFY2(showAndWait(*view, c.name, imagePage(c.src)), c.name);
        QTRY_COMPARE(answered.size(), 1);
        QCOMPARE(answered.at(0).at(1).toByteArray(), c.mimeType);
        // Left of the placeholder's caption, inside its letterboxed rectangle.
        QTRY_VERIFY2_WITH_TIMEOUT(near(screen(view.get()).pixelColor(8, 40), c.color), c.name, 10000);
        QVERIFY(near(screen(view.get()).pixelColor(150, 50), QColor(255, 255, 255)));
    }
}

namespace {

// Keeps an eye on the job of the last request it was handed.
class WatchedHandler : public AssetSchemeHandler {
public:
    using AssetSchemeHandler::AssetSchemeHandler;
    void requestStarted(QWebEngineUrlRequestJob *job) override {
        lastJob = job;
        AssetSchemeHandler::requestStarted(job);
    }
    QPointer<QWebEngineUrlRequestJob> lastJob;
};

// A reader that holds every read until it is let go.
struct HeldReader {
    std::mutex lock;
    std::condition_variable wake;
    bool open = false;
    std::atomic<int> reads{0};
    std::atomic<int> returned{0};
    QByteArray bytes = pngImage(Qt::red, 4, 4);

    AssetSchemeHandler::Reader reader() {
        return [this](const std::string &) -> std::optional<std::vector<uint8_t>> {
            ++reads;
            std::unique_lock guard(lock);
            wake.wait(guard, [&] { return open; });
            ++returned;
            return std::vector<uint8_t>(bytes.begin(), bytes.end());
        };
    }
    void letGo() {
        std::lock_guard guard(lock);
        open = true;
        wake.notify_all();
    }
};

} // namespace

void DocumentViewTest::droppedRequestsReceiveNothing() {
    const QString html = QString::fromStdString(imagePage("quorvel-asset://abc"));
    // Answered while the page still waits: the control for the two cases below.
    {
        HeldReader held;
        QWebEngineProfile profile;
        WatchedHandler handler(held.reader());
        profile.installUrlSchemeHandler(AssetSchemeHandler::scheme, &handler);
        QSignalSpy answered(&handler, &AssetSchemeHandler::answered);
        QWebEnginePage page(&profile);
        page.setHtml(html);
        QTRY_COMPARE(held.reads.load(), 1);
        held.letGo();
        QTRY_COMPARE(answered.size(), 1);
    }
    // The page drops the request while the bytes are read: its job goes, and nothing is sent.
    {
        HeldReader held;
        QWebEngineProfile profile;
        WatchedHandler handler(held.reader());
        profile.installUrlSchemeHandler(AssetSchemeHandler::scheme, &handler);
        QSignalSpy answered(&handler, &AssetSchemeHandler::answered);
        auto page = std::make_unique<QWebEnginePage>(&profile);
        page->setHtml(html);
        QTRY_COMPARE(held.reads.load(), 1);
        QVERIFY(handler.lastJob);
        page.reset();
        QTRY_VERIFY(!handler.lastJob);
        held.letGo();
        QTRY_COMPARE(held.returned.load(), 1);
        QTest::qWait(300);
        QVERIFY(answered.isEmpty());
    }
    // The handler goes while the bytes are read: it waits for the read, whose answer goes nowhere.
    {
        HeldReader held;
        QWebEngineProfile profile;
        auto *handler = new WatchedHandler(held.reader());
        profile.installUrlSchemeHandler(AssetSchemeHandler::scheme, handler);
        QWebEnginePage page(&profile);
        page.setHtml(html);
        QTRY_COMPARE(held.reads.load(), 1);
        std::thread later([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            held.letGo();
        });
        delete handler;
        later.join();
        QCOMPARE(held.returned.load(), 1);
        QTest::qWait(300);
    }
}

void DocumentViewTest::onlyTheNewestPendingPageLoads() {
    ContentBlocker::shared().setSetUp([this](std::function<void(bool)> finish) { heldSetUp_ = std::move(finish); });
    ScratchStore scratch;
    auto view = makeView(scratch.store);
    QVERIFY(view);
    QSignalSpy loaded(view.get(), &DocumentView::pageLoaded);
    const auto page = [](const char *title) {
        return DocumentPage::build(std::nullopt, std::string("<title>") + title + "</title>");
    };
    view->showPage("A", page("A"));
    view->showPage("B", page("B"));
    view->showPage("B", page("B, sent again")); // already waiting: ignored
    QTest::qWait(500);
    QVERIFY(loaded.isEmpty());
    QVERIFY(heldSetUp_);
    std::exchange(heldSetUp_, nullptr)(true);
    QTRY_COMPARE(loaded.size(), 1);
    QCOMPARE(loaded.at(0).at(0).toString(), QString("B"));
    QCOMPARE(view->webView()->page()->title(), QString("B"));
    // A is never loaded afterwards: the next page follows B directly.
    QVERIFY(showAndWait(*view, "C", page("C")));
    QCOMPARE(loaded.size(), 2);
}

void DocumentViewTest::sameKeyLoadsOnce() {
    ScratchStore scratch;
    auto view = makeView(scratch.store);
    QVERIFY(view);
    QSignalSpy loaded(view.get(), &DocumentView::pageLoaded);
    QVERIFY(showAndWait(*view, "K", DocumentPage::build(std::nullopt, "<title>first</title>")));
    view->showPage("K", DocumentPage::build(std::nullopt, "<title>second</title>"));
    QVERIFY(showAndWait(*view, "L", DocumentPage::build(std::nullopt, "<title>other</title>")));
    QCOMPARE(loaded.size(), 2);
    QCOMPARE(loaded.at(0).at(0).toString(), QString("K"));
    QCOMPARE(loaded.at(1).at(0).toString(), QString("L"));
    // Back to K after another page: a new load.
    QVERIFY(showAndWait(*view, "K", DocumentPage::build(std::nullopt, "<title>again</title>")));
    QCOMPARE(view->webView()->page()->title(), QString("again"));
}

void DocumentViewTest::failedBlockerShowsTheFallbackPage() {
    ContentBlocker::shared().setSetUp([](std::function<void(bool)> finish) { finish(false); });
    ScratchStore scratch;
    auto view = makeView(scratch.store);
    QVERIFY(view);
    QVERIFY(showAndWait(*view, "doc", DocumentPage::build(std::nullopt, "<p>secret content</p>")));
    const QString dom = pageDom(view->webView()->page());
    QVERIFY(dom.contains("문서를 안전하게 표시할 수 없어요. 앱을 다시 실행해 주세요."));
    QVERIFY(!dom.contains("secret content"));
    // Every later page too.
    QVERIFY(showAndWait(*view, "next", DocumentPage::build(std::nullopt, "<p>more content</p>")));
    QVERIFY(!pageDom(view->webView()->page()).contains("more content"));
}

void DocumentViewTest::zoomIsLiveAndKept() {
    ScratchStore scratch;
    auto view = makeView(scratch.store);
    QVERIFY(view);
    // A 100-pixel green square: at 1.3 it covers x = 120.
    const auto square = [](const char *title) {
        return DocumentPage::build(
            "<html><head></head><body style=\"margin:0;background:#fff\">{{CONTENT}}</body></html>",
            std::string("<title>") + title +
                "</title><div style=\"width:100px;height:100px;background:#00ff00\"></div>");
    };
    QVERIFY(showAndWait(*view, "one", square("one")));
    QTRY_VERIFY(near(screen(view.get()).pixelColor(50, 50), QColor(0, 255, 0)));
    QVERIFY(near(screen(view.get()).pixelColor(120, 50), QColor(255, 255, 255)));
    view->setZoom(1.3);
    QCOMPARE(view->zoom(), 1.3);
    QCOMPARE(view->webView()->zoomFactor(), 1.3);
    QTRY_VERIFY(near(screen(view.get()).pixelColor(120, 50), QColor(0, 255, 0)));
    QVERIFY(showAndWait(*view, "two", square("two")));
    QCOMPARE(view->webView()->zoomFactor(), 1.3);
    QTRY_VERIFY(near(screen(view.get()).pixelColor(120, 50), QColor(0, 255, 0)));
}

void DocumentViewTest::printsThroughTheDialog() {
    ScratchStore scratch;
    auto view = makeView(scratch.store);
    QVERIFY(view);
    QVERIFY(showAndWait(*view, "print", DocumentPage::build(std::nullopt, "<h1>인쇄할 문서</h1>")));
    QTemporaryDir out;
    const QString pdf = out.filePath("page.pdf");
    int asked = 0;
    view->setPrintDialog([&](QPrinter &printer, QWidget *) {
        ++asked;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        return asked > 1; // the first time the user cancels
    });
    QSignalSpy finished(view->webView(), &QWebEngineView::printFinished);
    view->print();
    view->print();
    QVERIFY(finished.wait(60000));
    QCOMPARE(asked, 2);
    QCOMPARE(finished.size(), 1);
    QVERIFY(finished.at(0).at(0).toBool());
    QFile file(pdf);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.read(5) == "%PDF-");
}

void DocumentViewTest::savesScreenshotOfASampleDocument() {
    const QString library = qEnvironmentVariable("QUORVEL_SOURCE_DIR") + "/service/sample-library";
    QFile sample(library + "/업무/보고서/2024/2024 1분기 실적 보고서.html");
    QVERIFY(sample.open(QIODevice::ReadOnly));
    QString content = QString::fromUtf8(sample.readAll());
    ScratchStore scratch;
    // Made self-contained the way a sync stores it: images through the private scheme.
    const QDir media(library + "/_media");
    for (const QString &name : media.entryList(QDir::Files)) {
        QFile image(media.filePath(name));
        QVERIFY(image.open(QIODevice::ReadOnly));
        content.replace("/images/_media/" + name, QString::fromStdString(assetUrl(scratch.addAsset(image.readAll()))));
    }
    content += "<p>내려받지 못한 그림:</p><p><img src=\"quorvel-asset://missing\" alt=\"\"></p>";
    QVERIFY(!content.contains("/images/"));

    auto view = makeView(scratch.store);
    QVERIFY(view);
    view->resize(1000, 1400);
    auto *handler = view->findChild<AssetSchemeHandler *>();
    QSignalSpy answered(handler, &AssetSchemeHandler::answered);
    QVERIFY(showAndWait(*view, "sample", DocumentPage::build(std::nullopt, content.toStdString())));
    QTRY_VERIFY(answered.size() >= 3);
    QTest::qWait(500);
    const QString directory = qEnvironmentVariable("QUORVEL_BINARY_DIR") + "/screenshots";
    QVERIFY(QDir().mkpath(directory));
    QVERIFY(screen(view.get()).save(directory + "/viewer.png"));
}

int main(int argc, char **argv) {
    DocumentView::registerSchemes();
    QApplication app(argc, argv);
    DocumentViewTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "DocumentViewTest.moc"
