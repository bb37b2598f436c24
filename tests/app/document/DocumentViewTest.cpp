// The viewer in a real engine under a display: what a hostile document can reach, where links
// go, how pages of any size, images, keys, zoom and printing behave.
#include "ViewerTestSupport.hpp"

#include "document/AssetSchemeHandler.hpp"
#include "document/ContentBlocker.hpp"
#include "document/DocumentPage.hpp"

#include <QApplication>
#include <QDir>
#include <QPrinter>
#include <QSemaphore>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWebEngineHistory>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineView>

#include <sys/inotify.h>
#include <unistd.h>

#include <thread>

using namespace quorvel;
using namespace quorvel::app;
using namespace quorvel::test;

namespace {

// Counts every connection made to it, whatever speaks over it (HTTP, TLS or a bare preconnect),
// and keeps the path of each HTTP request.
class CountingServer : public QTcpServer {
public:
    CountingServer() {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                ++connections;
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    if (!socket->canReadLine()) return;
                    disconnect(socket, &QTcpSocket::readyRead, socket, nullptr);
                    paths << QString::fromLatin1(socket->readLine()).section(' ', 1, 1);
                    socket->write("HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
                    socket->disconnectFromHost();
                });
            }
        });
    }
    std::string origin(const char *scheme = "http") const {
        return scheme + std::string("://127.0.0.1:") + std::to_string(serverPort());
    }
    int connections = 0;
    QStringList paths;
};

// Counts every open or read of the files in one directory.
class FileWatch {
public:
    explicit FileWatch(const QString &directory) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        inotify_add_watch(fd_, QFile::encodeName(directory).constData(), IN_OPEN | IN_ACCESS);
    }
    ~FileWatch() { ::close(fd_); }
    int events() {
        alignas(inotify_event) char buffer[4096];
        for (ssize_t n; (n = ::read(fd_, buffer, sizeof buffer)) > 0;)
            for (char *p = buffer; p < buffer + n;
                 p += sizeof(inotify_event) + reinterpret_cast<inotify_event *>(p)->len)
                ++events_;
        return events_;
    }

private:
    int fd_;
    int events_ = 0;
};

// One element for each way a page could reach out, and scripts that would leave a trace ({PWN}
// names the title "PWNED" without spelling it). {H}, {HS} and {FTP} are the counting server's
// http, https and ftp origins, {F} a file: directory URL holding fileTargets.
const char *const fileTargets[] = {"f-img.png", "f-style.css", "f-bg.png", "f-frame.html", "f-script.js"};
const char *const hostileShell = R"~(<!doctype html><html><head><title>hostile</title>
<script src="{H}/shell-script.js"></script><base href="{H}/base/"></head>
<body>{{CONTENT}}<img src="relative.png"></body></html>)~";
const char *const hostileContent = R"~(<h1>hostile</h1>
<script>{PWN};document.body.appendChild(document.createElement('pwned-marker'));new Image().src='{H}/script-image';</script>
<script src="{H}/script.js"></script><script src="{F}/f-script.js"></script><img src="x:" onerror="{PWN}">
<img src="{H}/img.png"><img src="{HS}/img.png"><img src="{FTP}/img.png"><img src="{F}/f-img.png">
<img srcset="{H}/srcset-1x.png 1x, {H}/srcset-2x.png 2x">
<iframe src="{H}/iframe.html"></iframe><iframe src="{F}/f-frame.html"></iframe>
<iframe srcdoc="&lt;script&gt;parent.{PWN}&lt;/script&gt;&lt;img src='{H}/srcdoc.png'&gt;"></iframe>
<object data="{H}/object.html"></object><video poster="{H}/poster.png" src="{H}/video.mp4" autoplay></video>
<link rel="stylesheet" href="{H}/style.css"><link rel="stylesheet" href="{F}/f-style.css">
<link rel="prefetch" href="{H}/prefetch"><link rel="preconnect" href="{H}"><link rel="icon" href="{H}/icon.ico">
<meta http-equiv="refresh" content="0;url={H}/refresh">
<style>@import url("{H}/import.css"); .bg { background: url("{H}/bg.png"), url("{F}/f-bg.png"); }
@font-face { font-family: hostile; src: url("{H}/font.woff"); } .bg { font-family: hostile; }</style>
<div class="bg">a</div><form action="{H}/autosubmit"><input autofocus onfocus="this.form.submit()"></form>
<p id="end">end</p>)~";

// The hostile document, as the viewer builds it or (raw) the shell filled in with nothing added.
std::string hostile(const CountingServer &server, const QString &fileDirectory, bool raw) {
    const std::pair<std::string, std::string> values[] = {
        {"{PWN}", "document.title='PW'+'NED'"},
        {"{HS}", server.origin("https")},
        {"{H}", server.origin()},
        {"{FTP}", server.origin("ftp")},
        {"{F}", QUrl::fromLocalFile(fileDirectory).toString().toStdString()}};
    std::string shell = hostileShell, content = hostileContent;
    for (std::string *text : {&shell, &content})
        for (const auto &[marker, value] : values)
            for (size_t at = text->find(marker); at != std::string::npos; at = text->find(marker, at + value.size()))
                text->replace(at, marker.size(), value);
    return raw ? shell.replace(shell.find("{{CONTENT}}"), 11, content) : DocumentPage::build(shell, content);
}

// A directory holding fileTargets, watched once they are there.
struct WatchedFiles {
    QTemporaryDir directory;
    bool made = std::all_of(std::begin(fileTargets), std::end(fileTargets), [this](const char *name) {
        return QFile(directory.filePath(name)).open(QIODevice::WriteOnly);
    });
    FileWatch watch{directory.path()};
};

// A page whose top left is one image, 100 by 100, on white.
std::string imagePage(const std::string &src) {
    return DocumentPage::build("<html><head></head><body style=\"margin:0;background:#fff\">{{CONTENT}}</body></html>",
                               "<img src=\"" + src + "\" style=\"display:block;width:100px;height:100px\">");
}

std::string titled(const std::string &title) {
    return DocumentPage::build(std::nullopt, "<title>" + title + "</title>");
}

// Reads that block until the gate opens; keeps an eye on the job of the last request.
class HeldHandler : public AssetSchemeHandler {
public:
    explicit HeldHandler(QSemaphore &gate, std::atomic<int> &reads)
        : AssetSchemeHandler([&](const std::string &) -> std::optional<std::vector<uint8_t>> {
              ++reads;
              gate.acquire(); // a read, and then its return
              return std::vector<uint8_t>(4, 0);
          }) {}
    void requestStarted(QWebEngineUrlRequestJob *job) override {
        lastJob = job;
        AssetSchemeHandler::requestStarted(job);
    }
    QPointer<QWebEngineUrlRequestJob> lastJob;
};

} // namespace

class DocumentViewTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ScratchStore> scratch_;
    std::unique_ptr<DocumentView> view_;
    QList<QUrl> opened_;
    std::function<void(bool)> heldSetUp_;

    // A shown view on a fresh store, handing the links it opens to opened_.
    DocumentView &makeView() {
        scratch_ = std::make_unique<ScratchStore>();
        view_ = std::make_unique<DocumentView>(scratch_->store);
        view_->resize(900, 700);
        view_->show();
        if (!QTest::qWaitForWindowExposed(view_.get())) QTest::qFail("never exposed", __FILE__, __LINE__);
        view_->setUrlOpener([this](const QUrl &url) { return opened_.append(url), true; });
        return *view_;
    }
    QWebEnginePage *page() { return view_->webView()->page(); }
    QColor pixel(int x, int y) { return screen(view_.get()).pixelColor(x, y); }

private Q_SLOTS:
    void init() { opened_.clear(); }
    void cleanup() {
        view_.reset();
        scratch_.reset();
        if (heldSetUp_) std::exchange(heldSetUp_, nullptr)(true);
        ContentBlocker::shared().setSetUp([](std::function<void(bool)> finish) { finish(true); });
    }

    void hostileDocumentReachesNothing_data() {
        QTest::addColumn<bool>("raw");
        QTest::newRow("built page, with its policy") << false;
        QTest::newRow("raw page: the blocker and the engine settings alone") << true;
    }
    void hostileDocumentReachesNothing() {
        QFETCH(bool, raw);
        CountingServer server;
        WatchedFiles files;
        QVERIFY(files.made);
        DocumentView &view = makeView();
        QSignalSpy loaded(&view, &DocumentView::pageLoaded);
        QVERIFY(showAndWait(view, "hostile", hostile(server, files.directory.path(), raw)));
        QTest::qWait(2000); // refreshes, autofocus and media start after the load; give them time to try
        QCOMPARE(server.connections, 0);
        QCOMPARE(files.watch.events(), 0);
        QCOMPARE(page()->title(), QString("hostile"));
        const QString dom = pageDom(page());
        QVERIFY(dom.contains("id=\"end\""));
        QVERIFY(!dom.contains("PWNED") && !dom.contains("<pwned-marker"));
        QVERIFY(opened_.isEmpty());
        QCOMPARE(loaded.size(), 1);
        QCOMPARE(page()->url().scheme(), QString("data"));
    }

    // The control: in an engine left as it comes, scripts on, every detector above sees the document.
    void hostileDocumentReachesOutInABareView() {
        CountingServer server;
        WatchedFiles files;
        QVERIFY(files.made);
        const std::string html = hostile(server, files.directory.path(), true);
        QWebEngineProfile profile;
        QWebEnginePage page(&profile);
        page.setHtml(QString::fromStdString(html));
        QTRY_COMPARE_WITH_TIMEOUT(page.title(), QString("PWNED"), 20000);
        const QStringList expected = {"/script.js",        "/shell-script.js", "/script-image", "/img.png",
                                      "/style.css",        "/import.css",      "/bg.png",       "/iframe.html",
                                      "/srcset-1x.png",    "/poster.png",      "/video.mp4",    "/srcdoc.png",
                                      "/base/relative.png"};
        const auto sawAll = [&] {
            return std::all_of(expected.begin(), expected.end(),
                               [&](const QString &p) { return server.paths.contains(p); });
        };
        QTRY_VERIFY2_WITH_TIMEOUT(sawAll(), qPrintable(server.paths.join(' ')), 30000);
        // From a file: page the engine reads file: URLs, and the watch sees it.
        QFile local(files.directory.filePath("page.html"));
        QVERIFY(local.open(QIODevice::WriteOnly) && local.write(html.data(), qint64(html.size())) > 0);
        local.close();
        const int before = files.watch.events();
        page.load(QUrl::fromLocalFile(local.fileName()));
        QTRY_VERIFY_WITH_TIMEOUT(files.watch.events() > before + 1, 20000);
    }

    // Links are decided before anything loads: some go nowhere, some to the opener outside, a stored
    // document to the document opener with its fragment as the engine encodes it (one the opener does
    // not show, and a link that is not a document's address, go out as web links).
    void linksFollowTheNavigationTable() {
        CountingServer server;
        const std::string h = server.origin(), port = std::to_string(server.serverPort());
        const std::vector<std::string> links = {
            // Nothing to see for these; the links opened next prove they were all decided before.
            "<a href=\"javascript:document.title='PW'+'NED'\">javascript</a>",
            "<a href=\"file:///etc/hostname\">file</a>",
            "<a href=\"data:text/html,PWNED\">data</a>",
            "<a href=\"quorvel-asset://missing\">asset</a>",
            "<a href=\"ftp://127.0.0.1:" + port + "/x\">ftp</a>",
            "<form action=\"" + h + "/form\" method=\"post\"><button name=\"q\" value=\"1\">post</button></form>",
            "<form action=\"" + h +
                "/blank-form\" target=\"_blank\"><button name=\"q\" value=\"2\">get</button></form>",
            // Opened outside, or as documents.
            "<a href=\"" + h + "/http?x=1\" ping=\"" + h + "/ping\">http</a>",
            "<a href=\"https://127.0.0.1:" + port + "/https\">https</a>",
            "<a href=\"mailto:reader@example.com?subject=%ED%95%9C\">mailto</a>",
            "<a href=\"" + h + "/new-window\" target=\"_blank\">new window</a>",
            "<a href=\"" + h + "/docs/5#제목\">stored</a>",
            "<a href=\"" + h + "/editor/6\">not stored</a>",
            "<a href=\"" + h + "/docs/7\" target=\"_blank\">document in a new window</a>",
            "<a href=\"" + h + "/docs/5?x=1\">query</a>",
            "<a href=\"#far\">anchor</a>",
        };
        // Every link a 40-pixel band from the top.
        std::string content;
        for (const auto &link : links)
            content += "<div style=\"height:40px\">" + link + "</div>\n";
        content += "<div style=\"height:6000px\"></div><p id=\"far\">far</p>";
        DocumentView &view = makeView();
        QList<QPair<qint64, QString>> documents;
        view.setLibraryLinks(h, [&](int64_t id, const QString &fragment) {
            documents.append({id, fragment});
            return id != 6;
        });
        QVERIFY(showAndWait(view, "links",
                            DocumentPage::build("<html><head><style>a, button { display: block; height: 40px; "
                                                "width: 100%; margin: 0; }</style></head><body style=\"margin:0\">"
                                                "{{CONTENT}}</body></html>",
                                                content)));
        const QUrl shown = page()->url();
        QSignalSpy loaded(&view, &DocumentView::pageLoaded);
        // The engine replaces its input widget when it changes process; ask for it each time.
        const auto click = [&](int i) {
            QTest::mouseClick(view.webView()->focusProxy(), Qt::LeftButton, {}, QPoint(200, 20 + 40 * i));
        };
        for (int i = 0; i <= 6; ++i)
            click(i);
        for (int i = 7; i <= 14; ++i) { // one answer each, two for the document not shown
            const qsizetype before = documents.size() + opened_.size();
            click(i);
            QTRY_COMPARE_WITH_TIMEOUT(documents.size() + opened_.size(), before + (i == 12 ? 2 : 1), 10000);
        }
        const auto url = [](const std::string &text) { return QUrl(QString::fromStdString(text)); };
        QCOMPARE(opened_, (QList<QUrl>{url(h + "/http?x=1"), url(server.origin("https") + "/https"),
                                       QUrl("mailto:reader@example.com?subject=%ED%95%9C"), url(h + "/new-window"),
                                       url(h + "/editor/6"), url(h + "/docs/5?x=1")}));
        QCOMPARE(documents, (QList<QPair<qint64, QString>>{{5, "%EC%A0%9C%EB%AA%A9"}, {6, ""}, {7, ""}}));
        QCOMPARE(page()->scrollPosition().y(), 0.0);
        click(15);
        QTRY_VERIFY_WITH_TIMEOUT(page()->scrollPosition().y() > 1000, 10000);
        QCOMPARE(page()->url().adjusted(QUrl::RemoveFragment), shown);
        QVERIFY(page()->title() != "PWNED");
        QVERIFY(loaded.isEmpty());
        // The history holds this document only (the anchor adds a place in it).
        for (const QWebEngineHistoryItem &item : page()->history()->items())
            QCOMPARE(item.url().adjusted(QUrl::RemoveFragment), shown);
        QCOMPARE(server.connections, 0);
    }

    void outlineAnchorsScrollWithoutScripts_data() {
        QTest::addColumn<int>("padding");
        QTest::newRow("data: URL") << 0;
        QTest::newRow("page scheme") << 800000; // spaces the data: URL would take as 2.4 MB
    }
    void outlineAnchorsScrollWithoutScripts() {
        QFETCH(int, padding);
        std::string content;
        for (int k = 0; k < 4; ++k)
            content += "<h2>장 " + std::to_string(k) + "</h2><div style=\"height:2000px\"></div>";
        content.append(size_t(padding), ' ');
        const auto page = DocumentPage::buildOutlined(std::nullopt, content);
        QCOMPARE(page.outline.size(), size_t(4));
        QCOMPARE(DocumentView::fitsDataUrl(page.html), padding == 0);
        DocumentView &view = makeView();
        QVERIFY(showAndWait(view, "outline", page.html));
        QSignalSpy loaded(&view, &DocumentView::pageLoaded);
        std::map<int, double> at;
        for (int k : {2, 1, 3}) {
            const double before = this->page()->scrollPosition().y();
            view.scrollToAnchor(QString::fromStdString(page.outline[size_t(k)].anchor));
            QTRY_VERIFY_WITH_TIMEOUT(this->page()->scrollPosition().y() != before, 10000);
            at[k] = this->page()->scrollPosition().y();
        }
        // Each heading a block of 2000 pixels and its own height below the one before.
        QVERIFY(at[1] > 2000 && at[2] > at[1] && at[3] > at[2]);
        QVERIFY(std::abs((at[3] - at[2]) - (at[2] - at[1])) < 2);
        QVERIFY(loaded.isEmpty());
    }

    void documentsOfAnySizeDisplay_data() {
        // What the engine takes as a data: URL: 2 MiB less its "data:text/html;charset=UTF-8," prefix.
        const int room = 2 * 1024 * 1024 - 29;
        QTest::addColumn<int>("encodedLength");
        QTest::addColumn<QString>("paragraph");
        const QString latin = "<p>The quick brown fox jumps over the lazy dog again and again.</p>\n";
        QTest::newRow("just fits a data: URL") << room << latin;
        QTest::newRow("just too long for one") << room + 1 << latin;
        QTest::newRow("5 MB of Korean text")
            << 5 * 1024 * 1024 << "<p>다람쥐 헌 쳇바퀴에 타고파. 키스의 고유 조건은 입술끼리 만나야 하고.</p>\n";
    }
    void documentsOfAnySizeDisplay() {
        QFETCH(int, encodedLength);
        QFETCH(QString, paragraph);
        const auto encoded = [](const std::string &s) {
            return size_t(QByteArray::fromStdString(s).toPercentEncoding().size());
        };
        const std::string head = "<!doctype html><html><head><meta charset=\"utf-8\"></head><body style=\"margin:0\">";
        const std::string tail = "<div id=\"end\" style=\"height:300px;background:#00ff00\"></div></body></html>";
        const std::string text = paragraph.toStdString();
        std::string html = head;
        size_t length = encoded(head) + encoded(tail);
        int paragraphs = 0;
        for (; length + encoded(text) <= size_t(encodedLength); ++paragraphs)
            html += text, length += encoded(text);
        html.append(encodedLength - length, 'x').append(tail);
        QCOMPARE(DocumentView::fitsDataUrl(html), encodedLength <= 2 * 1024 * 1024 - 29);

        DocumentView &view = makeView();
        QVERIFY(showAndWait(view, "large", html, 120000));
        const QString dom = pageDom(page());
        QVERIFY(dom.contains("<div id=\"end\""));
        QCOMPARE(dom.count(paragraph.trimmed()), paragraphs);
        // The end of the document is laid out and painted.
        QTest::keyClick(view.webView()->focusProxy(), Qt::Key_End);
        QTRY_VERIFY_WITH_TIMEOUT(near(pixel(450, 650), QColor(0, 255, 0)), 20000);
    }

    void storedImagesShowThroughTheScheme() {
        DocumentView &view = makeView();
        const std::string png = scratch_->addAsset(pngImage(QColor(255, 0, 0), 100, 100));
        const std::string svg =
            scratch_->addAsset("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"100\" "
                               "height=\"100\"><rect width=\"100\" height=\"100\" fill=\"#00f\"/></svg>");
        QSignalSpy answered(view.findChild<AssetSchemeHandler *>(), &AssetSchemeHandler::answered);
        const struct {
            std::string src;
            QByteArray mimeType;
            QColor color;
        } cases[] = {
            {png, "image/png", Qt::red},
            {svg, "image/svg+xml", Qt::blue},
            {QString::fromStdString(png).toUpper().toStdString() + "/x.png", "image/png", Qt::red},
            {"quorvel-asset://missing", "image/svg+xml", QColor(0xe5, 0xe7, 0xeb)}, // the placeholder
        };
        for (const auto &c : cases) {
            answered.clear();
            QVERIFY2(showAndWait(view, c.src, imagePage(c.src)), c.src.c_str());
            QTRY_COMPARE(answered.size(), 1);
            QCOMPARE(answered.at(0).at(1).toByteArray(), c.mimeType);
            // Left of the placeholder's caption, inside its letterboxed rectangle.
            QTRY_VERIFY2_WITH_TIMEOUT(near(pixel(8, 40), c.color), c.src.c_str(), 10000);
            QVERIFY(near(pixel(150, 50), Qt::white));
        }
    }

    // Answered while the page waits (the control); dropped by the page, or the handler gone, while
    // the bytes are read: nothing is sent.
    void droppedRequestsReceiveNothing() {
        for (int drop = 0; drop < 3; ++drop) {
            QSemaphore gate;
            std::atomic<int> reads = 0;
            QWebEngineProfile profile;
            auto handler = std::make_unique<HeldHandler>(gate, reads);
            profile.installUrlSchemeHandler(AssetSchemeHandler::scheme, handler.get());
            QSignalSpy answered(handler.get(), &AssetSchemeHandler::answered);
            auto page = std::make_unique<QWebEnginePage>(&profile);
            page->setHtml(QString::fromStdString(imagePage("quorvel-asset://abc")));
            QTRY_COMPARE(reads.load(), 1);
            if (drop == 1) {
                QVERIFY(handler->lastJob);
                page.reset();
                QTRY_VERIFY(!handler->lastJob);
            }
            std::thread later([&] { // the handler, if it goes, waits for the read, whose answer goes nowhere
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                gate.release();
            });
            if (drop == 2) handler.reset();
            later.join();
            if (drop == 0) QTRY_COMPARE(answered.size(), 1);
            QTRY_COMPARE(gate.available(), 0); // the read has returned
            QTest::qWait(300);
            QCOMPARE(answered.size(), drop == 0 ? 1 : 0);
        }
    }

    // Of the pages sent while the engine is not ready only the newest loads; the page shown, sent
    // again, loads no more; a page shown before loads anew after another.
    void pagesLoadOnceAndOnlyTheNewest() {
        ContentBlocker::shared().setSetUp([this](std::function<void(bool)> finish) { heldSetUp_ = std::move(finish); });
        DocumentView &view = makeView();
        QSignalSpy loaded(&view, &DocumentView::pageLoaded);
        view.showPage("A", titled("A"));
        view.showPage("B", titled("B"));
        view.showPage("B", titled("B, sent again")); // already waiting: ignored
        QTest::qWait(500);
        QVERIFY(loaded.isEmpty() && heldSetUp_);
        std::exchange(heldSetUp_, nullptr)(true);
        QTRY_COMPARE(loaded.size(), 1);
        QCOMPARE(loaded.at(0).at(0).toString(), QString("B"));
        QCOMPARE(page()->title(), QString("B"));
        view.showPage("B", titled("second"));
        QTest::qWait(500); // ample for a page this small; the next load would abort it unseen
        QCOMPARE(loaded.size(), 1);
        QCOMPARE(page()->title(), QString("B"));
        // A is never loaded afterwards: the next page follows B directly.
        QVERIFY(showAndWait(view, "C", titled("C")));
        QVERIFY(showAndWait(view, "B", titled("again")));
        QCOMPARE(loaded.size(), 3);
        QCOMPARE(page()->title(), QString("again"));
    }

    void failedBlockerShowsTheFallbackPage() {
        ContentBlocker::shared().setSetUp([](std::function<void(bool)> finish) { finish(false); });
        DocumentView &view = makeView();
        for (const char *key : {"doc", "next"}) { // every page
            QVERIFY(showAndWait(view, key, DocumentPage::build(std::nullopt, "<p>secret content</p>")));
            const QString dom = pageDom(page());
            QVERIFY(dom.contains("문서를 안전하게 표시할 수 없어요. 앱을 다시 실행해 주세요."));
            QVERIFY(!dom.contains("secret content"));
        }
    }

    void zoomIsLiveAndKept() {
        DocumentView &view = makeView();
        // A 100-pixel green square: at 1.3 it covers x = 120.
        const auto square = [](const char *title) {
            return DocumentPage::build(
                "<html><head></head><body style=\"margin:0;background:#fff\">{{CONTENT}}</body></html>",
                std::string("<title>") + title +
                    "</title><div style=\"width:100px;height:100px;background:#0f0\"></div>");
        };
        QVERIFY(showAndWait(view, "one", square("one")));
        QTRY_VERIFY(near(pixel(50, 50), Qt::green));
        QVERIFY(near(pixel(120, 50), Qt::white));
        view.setZoom(1.3);
        QTRY_VERIFY(near(pixel(120, 50), Qt::green));
        QVERIFY(showAndWait(view, "two", square("two")));
        QCOMPARE(view.webView()->zoomFactor(), 1.3);
        QTRY_VERIFY(near(pixel(120, 50), Qt::green));
    }

    void printsThroughTheDialog() {
        DocumentView &view = makeView();
        QVERIFY(showAndWait(view, "print", DocumentPage::build(std::nullopt, "<h1>인쇄할 문서</h1>")));
        QTemporaryDir out;
        int asked = 0;
        view.setPrintDialog([&](QPrinter &printer, QWidget *) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(out.filePath("page.pdf"));
            return ++asked > 1; // the first time the user cancels
        });
        QSignalSpy finished(view.webView(), &QWebEngineView::printFinished);
        view.print();
        view.print();
        QVERIFY(finished.wait(60000));
        QCOMPARE(asked, 2);
        QCOMPARE(finished.size(), 1);
        QVERIFY(finished.at(0).at(0).toBool());
        QFile pdf(out.filePath("page.pdf"));
        QVERIFY(pdf.open(QIODevice::ReadOnly) && pdf.read(5) == "%PDF-");
    }

    void savesScreenshotOfASampleDocument() {
        const QString library = qEnvironmentVariable("QUORVEL_SOURCE_DIR") + "/service/sample-library";
        QFile sample(library + "/업무/보고서/2024/2024 1분기 실적 보고서.html");
        QVERIFY(sample.open(QIODevice::ReadOnly));
        QString content = QString::fromUtf8(sample.readAll());
        DocumentView &view = makeView();
        view.resize(1000, 1400);
        // Made self-contained the way a sync stores it: images through the private scheme.
        const QDir media(library + "/_media");
        for (const QString &name : media.entryList(QDir::Files)) {
            QFile image(media.filePath(name));
            QVERIFY(image.open(QIODevice::ReadOnly));
            content.replace("/images/_media/" + name, QString::fromStdString(scratch_->addAsset(image.readAll())));
        }
        content += "<p>내려받지 못한 그림:</p><p><img src=\"quorvel-asset://missing\" alt=\"\"></p>";
        QSignalSpy answered(view.findChild<AssetSchemeHandler *>(), &AssetSchemeHandler::answered);
        QVERIFY(showAndWait(view, "sample", DocumentPage::build(std::nullopt, content.toStdString())));
        QTRY_VERIFY(answered.size() >= 3);
        QTest::qWait(500);
        const QString directory = qEnvironmentVariable("QUORVEL_BINARY_DIR") + "/screenshots";
        QVERIFY(QDir().mkpath(directory) && screen(view_.get()).save(directory + "/viewer.png"));
    }
};

int main(int argc, char **argv) {
    DocumentView::registerSchemes();
    QApplication app(argc, argv);
    DocumentViewTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "DocumentViewTest.moc"
