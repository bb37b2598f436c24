// quorvel: the desktop reader. One instance per user: a second start (the browser handing back a
// sign-in, or the user) gives its URL to the running one and exits.
#include "document/DocumentView.hpp"
#include "document/ViewerSandbox.hpp"
#include "model/AppConfig.hpp"
#include "model/AppModel.hpp"
#include "model/SchemeRegistration.hpp"
#include "model/SingleInstance.hpp"
#include "views/AppShell.hpp"
#include "views/Icons.hpp"

#include <QApplication>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTranslator>

#include <langinfo.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace quorvel::app;

namespace {

constexpr const char *usage = R"(usage: quorvel [-- URL]

Reads and searches your documents without a network: the desktop app of Quorvel.
It keeps one window per user; a second start hands its URL to the running app and exits.

  URL          a quorvel: link, as the browser and the desktop hand it over:
               quorvel://link?... (the answer to "브라우저로 로그인"),
               quorvel://open?id=N (a document)
  -h, --help   show this help and exit
  --version    show the version and exit

The library is kept in ~/.local/share/kr.vatsu.quorvel; quorvel-cli(1) reads the same one.
)";

// --help and --version, before anything else starts. False when neither was asked for.
bool answeredInformation(int argc, char **argv) {
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(usage, stdout);
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("quorvel %s (%s)\n", AppConfig::appVersion().c_str(), AppConfig::buildNumber().c_str());
            return true;
        }
    }
    return false;
}

// "quorvel -- URL" (how the desktop entry passes it) or a lone quorvel: URL.
QString urlArgument(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) return i + 1 < argc ? QString::fromLocal8Bit(argv[i + 1]) : QString();
        if (std::strncmp(argv[i], "quorvel:", 8) == 0) return QString::fromLocal8Bit(argv[i]);
    }
    return {};
}

// Minimal systems and containers often set no locale. Qt and the window system's text need UTF-8
// (without it the Korean window title is written to WM_NAME as mislabelled bytes), so such a start
// takes C.UTF-8's character handling, for this process and the viewer's.
void ensureUTF8Locale() {
    std::setlocale(LC_ALL, "");
    if (std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0) return;
    ::setenv(std::getenv("LC_ALL") && *std::getenv("LC_ALL") ? "LC_ALL" : "LC_CTYPE", "C.UTF-8", 1);
    std::setlocale(LC_ALL, "");
}

} // namespace

int main(int argc, char **argv) {
    if (answeredInformation(argc, argv)) return 0;
    ensureUTF8Locale();
    const QString url = urlArgument(argc, argv);
    const QString channel = SingleInstance::defaultServerName();
    if (SingleInstance::forward(channel, url, 2000)) return 0;
    if (const std::string line = ViewerSandbox::decide(); !line.empty()) std::fprintf(stderr, "%s\n", line.c_str());

    DocumentView::registerSchemes();
    QApplication::setOrganizationName(QStringLiteral("kr.vatsu"));
    QApplication::setApplicationName(QStringLiteral("quorvel"));
    QApplication::setApplicationDisplayName(QStringLiteral("쿼벨"));
    QApplication::setDesktopFileName(QString::fromLatin1(AppConfig::applicationID));
    QApplication app(argc, argv);
    QApplication::setWindowIcon(Icons::icon(Icons::Symbol::app));
    QTranslator qtKorean;
    if (qtKorean.load(QLocale(QLocale::Korean), QStringLiteral("qtbase"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtKorean);

    SingleInstance instance(channel);
    if (!instance.listen() && SingleInstance::forward(channel, url, 2000)) return 0;
    SchemeRegistration::ensure(QApplication::applicationFilePath());

    std::unique_ptr<AppShell> shell;
    try {
        shell = std::make_unique<AppShell>(&instance);
    } catch (const AppModel::StoreUnavailable &e) {
        std::fprintf(stderr, "quorvel: %s\n", e.what());
        QMessageBox::critical(nullptr, QStringLiteral("쿼벨"), QString::fromUtf8(e.what()));
        return 1;
    }
    // A link callback and a document link (quorvel://open?id=N) both go to the model from here and,
    // from later starts, through the channel (AppModel::handleURL).
    shell->show(url);
    return app.exec();
}
