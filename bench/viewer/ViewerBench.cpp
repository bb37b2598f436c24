// The document viewer beside its floor: the time from showing a page to its load finishing, for a
// typical 30 KB sample document and a 1 MB one, against the same HTML in a bare QWebEngineView
// with none of our machinery (a data: URL when it fits, else the smallest scheme handler); the time
// the asset handler takes to answer a stored image; and the memory one open viewer adds.
#include "BenchClock.hpp"
#include "document/AssetHosts.hpp"
#include "document/AssetSchemeHandler.hpp"
#include "document/DocumentPage.hpp"
#include "document/DocumentView.hpp"
#include "store/LocalStore.hpp"

#include <QApplication>
#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QTimer>
#include <QUuid>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <QWebEngineView>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <vector>

using namespace quorvel;
using namespace quorvel::app;

namespace {

constexpr int runs = 20;
constexpr const char *floorScheme = "bench-page";

using bench::median;

// Proportional set size of this process and every process under it (the engine's helpers), in MiB.
double treePssMiB() {
    std::map<int, int> parents;
    for (const auto &entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        // pid (comm) state ppid ...
        const auto close = line.rfind(')');
        if (close == std::string::npos) continue;
        int ppid = 0;
        char state = 0;
        if (std::sscanf(line.c_str() + close + 1, " %c %d", &state, &ppid) == 2) parents[std::stoi(name)] = ppid;
    }
    std::vector<int> tree{getpid()};
    for (size_t i = 0; i < tree.size(); ++i)
        for (const auto &[pid, ppid] : parents)
            if (ppid == tree[i]) tree.push_back(pid);
    double kib = 0;
    for (int pid : tree) {
        std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
        std::string line;
        while (std::getline(rollup, line))
            if (line.starts_with("Pss:")) kib += std::stod(line.substr(4));
    }
    return kib / 1024.0;
}

// The sample library's report bodies, repeated to `bytes`, without their images.
std::string sampleContent(size_t bytes) {
    const QString library = QStringLiteral(QUORVEL_SOURCE_DIR) + "/service/sample-library/";
    QString body;
    for (const char *name :
         {"업무/보고서/2024/2024 1분기 실적 보고서.html", "업무/보고서/2024/2024 2분기 실적 보고서.html",
          "개인/여행/제주 여행 계획.html", "개발/용어집.html"}) {
        QFile file(library + QString::fromUtf8(name));
        if (file.open(QIODevice::ReadOnly)) body += QString::fromUtf8(file.readAll());
    }
    body.remove(QRegularExpression("<img[^>]*>"));
    body.remove(QRegularExpression("/images/_media/[^\"') ]*"));
    const std::string unit = body.toStdString();
    std::string content;
    while (content.size() + unit.size() <= bytes)
        content += unit;
    content += unit.substr(0, bytes - content.size());
    return content;
}

bool waitFor(const std::function<bool()> &done, int timeoutMs = 60000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// The floor's only machinery when a page is too long for a data: URL.
class BarePages : public QWebEngineUrlSchemeHandler {
public:
    QByteArray html;
    void requestStarted(QWebEngineUrlRequestJob *job) override {
        auto *body = new QBuffer(job);
        body->setData(html);
        job->reply("text/html;charset=utf-8", body);
    }
};

struct Floor {
    QWebEngineProfile profile;
    BarePages pages;
    QWebEngineView view;
    bool finished = false;
    int serial = 0;
    Floor() {
        profile.installUrlSchemeHandler(floorScheme, &pages);
        view.setPage(new QWebEnginePage(&profile, &view));
        view.resize(1000, 800);
        view.show();
        QObject::connect(&view, &QWebEngineView::loadFinished, [this](bool) { finished = true; });
    }
    ~Floor() { delete view.page(); }
    // Milliseconds to load finished.
    double load(const std::string &html) {
        finished = false;
        QElapsedTimer timer;
        timer.start();
        if (DocumentView::fitsDataUrl(html)) {
            view.setHtml(QString::fromStdString(html));
        } else {
            pages.html = QByteArray::fromStdString(html);
            view.load(QUrl(QStringLiteral("%1://page/%2").arg(floorScheme).arg(++serial)));
        }
        waitFor([this] { return finished; });
        return static_cast<double>(timer.nsecsElapsed()) / 1e6;
    }
};

struct Viewer {
    DocumentView view;
    QString loaded;
    int serial = 0;
    explicit Viewer(std::shared_ptr<LocalStore> store) : view(std::move(store)) {
        view.resize(1000, 800);
        view.show();
        QObject::connect(&view, &DocumentView::pageLoaded, [this](const QString &key, bool) { loaded = key; });
    }
    double show(const std::string &html) {
        const std::string key = "page-" + std::to_string(++serial);
        QElapsedTimer timer;
        timer.start();
        view.showPage(key, html);
        waitFor([&] { return loaded == QString::fromStdString(key); });
        return static_cast<double>(timer.nsecsElapsed()) / 1e6;
    }
};

// Times each request from its arrival to its answer.
class TimedAssets : public AssetSchemeHandler {
public:
    explicit TimedAssets(std::shared_ptr<LocalStore> store) : AssetSchemeHandler(std::move(store)) {
        connect(this, &AssetSchemeHandler::answered, this, [this](const QUrl &url, const QByteArray &) {
            auto it = started_.find(url.toString());
            if (it == started_.end()) return;
            millis.push_back(static_cast<double>(it->second.nsecsElapsed()) / 1e6);
            started_.erase(it);
        });
    }
    void requestStarted(QWebEngineUrlRequestJob *job) override {
        started_[job->requestUrl().toString()].start();
        AssetSchemeHandler::requestStarted(job);
    }
    std::vector<double> millis;

private:
    std::map<QString, QElapsedTimer> started_;
};

QByteArray photo(int seed) {
    QImage image(800, 500, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb((x * seed) & 255, (y + seed) & 255, (x ^ y) & 255));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 85);
    return bytes;
}

} // namespace

int main(int argc, char **argv) {
    if (!std::getenv("DISPLAY") && !std::getenv("QUORVEL_BENCH_DISPLAY")) {
        // The engine needs a display: run again on a private X server.
        setenv("QUORVEL_BENCH_DISPLAY", "1", 1);
        execl(QUORVEL_WITH_DISPLAY, QUORVEL_WITH_DISPLAY, argv[0], static_cast<char *>(nullptr));
        std::perror("with-display.sh");
        return 1;
    }
    // Chromium refuses its sandbox as root; the GPU process has nothing to draw on here.
    setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu", 0);
    DocumentView::registerSchemes();
    QWebEngineUrlScheme floorPages(floorScheme);
    floorPages.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    QWebEngineUrlScheme::registerScheme(floorPages);
    QApplication app(argc, argv);
    // The floor's page prints every load its policy refuses.
    QLoggingCategory::setFilterRules(QStringLiteral("js=false"));

    const std::string directory =
        (QDir::tempPath() + "/quorvel-bench-viewer-" + QUuid::createUuid().toString(QUuid::WithoutBraces))
            .toStdString();
    auto store = std::make_shared<LocalStore>(directory, false);
    std::vector<std::string> hashes;
    for (int i = 0; i < 40; ++i) {
        const QByteArray bytes = photo(i + 1);
        hashes.push_back(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().toStdString());
        store->stageAsset(hashes.back(), std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
    }

    const std::string typical = DocumentPage::build(std::nullopt, sampleContent(30 * 1024));
    const std::string large = DocumentPage::build(std::nullopt, sampleContent(1024 * 1024));

    // Memory first, before the timing runs have grown anything.
    const double before = treePssMiB();
    auto first = std::make_unique<Viewer>(store);
    first->show(typical);
    waitFor([] { return false; }, 1000);
    const double withOne = treePssMiB();
    auto second = std::make_unique<Viewer>(store);
    second->show(typical);
    waitFor([] { return false; }, 1000);
    const double withTwo = treePssMiB();
    Floor floor;
    floor.load(typical);
    waitFor([] { return false; }, 1000);
    const double withBare = treePssMiB();
    second.reset();

    std::printf("viewer load time beside a bare QWebEngineView (median of %d, ms)\n", runs);
    std::printf("%-22s %10s %10s %8s  %s\n", "page", "viewer", "floor", "ratio", "floor path");
    for (const auto &[name, html] : {std::pair<const char *, const std::string &>{"typical 30 KB", typical},
                                     std::pair<const char *, const std::string &>{"1 MB", large}}) {
        // One of each first: the engine warms its caches and processes.
        first->show(html);
        floor.load(html);
        std::vector<double> ours, bare;
        for (int i = 0; i < runs; ++i) {
            ours.push_back(first->show(html));
            bare.push_back(floor.load(html));
        }
        std::printf("%-22s %10.1f %10.1f %8.2f  %s (%zu bytes)\n", name, median(ours), median(bare),
                    median(ours) / median(bare), DocumentView::fitsDataUrl(html) ? "data: URL" : "scheme handler",
                    html.size());
    }

    {
        // Stored images answered by the handler, in a page of 40 (each about 100 KB).
        QWebEngineProfile profile;
        TimedAssets assets(store);
        profile.installUrlSchemeHandler(AssetSchemeHandler::scheme, &assets);
        QWebEngineView view;
        view.setPage(new QWebEnginePage(&profile, &view));
        view.resize(1000, 800);
        view.show();
        std::string images;
        for (const auto &hash : hashes)
            images += "<img width=\"80\" height=\"50\" src=\"quorvel-asset://" + hash + "\">";
        const QString page = QString::fromStdString(AssetHosts::split(DocumentPage::build(std::nullopt, images)));
        for (int i = 0; i < 3; ++i) {
            bool done = false;
            auto connection = QObject::connect(&view, &QWebEngineView::loadFinished, [&](bool) { done = true; });
            view.setHtml(page);
            waitFor([&] { return done; });
            QObject::disconnect(connection);
        }
        std::printf("%-34s %8.2f ms  (median of %zu requests, 90th percentile %.2f ms)\n",
                    "stored image, request to answer", median(assets.millis), assets.millis.size(), [&] {
                        auto sorted = assets.millis;
                        std::sort(sorted.begin(), sorted.end());
                        return sorted.empty() ? 0.0 : sorted[sorted.size() * 9 / 10];
                    }());
        delete view.page();
    }

    std::printf("%-34s %8.1f MiB  (engine start, profile, renderer, page)\n", "first viewer adds (PSS)",
                withOne - before);
    std::printf("%-34s %8.1f MiB\n", "each further viewer adds (PSS)", withTwo - withOne);
    std::printf("%-34s %8.1f MiB\n", "a bare QWebEngineView adds (PSS)", withBare - withTwo);

    first.reset();
    store.reset();
    std::error_code ec;
    std::filesystem::remove_all(directory, ec);
    return 0;
}
