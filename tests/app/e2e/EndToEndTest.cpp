// The real program against the sample service on a port of the test's own: linked through the
// service's link page and a second process, the first download, a document, a search, settings,
// the window following what quorvel-cli does beside it, and the screen of a device unlinked on the
// web, in light and in dark. Screenshots go to
// build/screenshots/ for a person to look at.
#include "LibraryLoader.hpp"
#include "SampleService.hpp"

#include "app/EndsWithTest.hpp"
#include "store/LocalStore.hpp"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusVariant>
#include <QDir>
#include <QPixmap>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace quorvel;

namespace {

// The desktop's settings portal, saying the user prefers dark.
class DarkPortal : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")
public Q_SLOTS:
    QDBusVariant Read(const QString &group, const QString &key) {
        const bool scheme = group == "org.freedesktop.appearance" && key == "color-scheme";
        return QDBusVariant(QVariant::fromValue(QDBusVariant(scheme ? 1u : 0u)));
    }
};

QString xdotool(const QStringList &args) {
    QProcess p;
    // Window names are matched in xdotool's locale: without one it cannot read a Korean title.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LC_ALL", "C.UTF-8");
    p.setProcessEnvironment(env);
    test::endsWithTest(p);
    p.start("xdotool", args);
    p.waitForFinished(15000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

} // namespace

class EndToEndTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void linkReadSearchAndSettings();
    void followsTheCommandLine();
    void darkLibraryAndUnlinkedDevice();

private:
    QProcessEnvironment environment(const QString &bus) const;
    void startApp(const QString &bus);
    void quitApp();
    QString window(const QString &title, bool whole = true);
    void keys(const QString &window, const QStringList &keys);
    void typeText(const QString &window, const QString &text);
    void searchAndOpen(const QString &shot);
    void screenshot(const QString &window, const QString &name);
    QString privateBus(QProcess &daemon);
    int storedDocuments();
    int cli(const QStringList &args);
    int linkedDevices() const;

    std::unique_ptr<service::SampleService> service_;
    QTemporaryDir home_;
    QProcess app_;
    QProcess bus_;
    QProcess followBus_;
    QProcess darkBus_;
    std::unique_ptr<DarkPortal> portal_;
};

void EndToEndTest::initTestCase() {
    if (QStandardPaths::findExecutable("xdotool").isEmpty()) QFAIL("xdotool is not installed");
    // On a free port, handed to the program as its development address: the run neither needs
    // 8787 nor disturbs what else listens there.
    service_ = std::make_unique<service::SampleService>(
        service::ServiceOptions{}, service::LibraryLoader::load(service::SampleService::sampleLibraryDir()));
    try {
        service_->start();
    } catch (const std::exception &e) {
        QFAIL(qPrintable("the sample service cannot start: " + QString::fromUtf8(e.what())));
    }
    for (const char *dir : {"data", "config", "cache", "runtime"})
        QVERIFY(QDir().mkpath(home_.filePath(QString::fromLatin1(dir))));
    QFile::setPermissions(home_.filePath("runtime"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

void EndToEndTest::cleanupTestCase() {
    if (app_.state() != QProcess::NotRunning) app_.kill();
    app_.waitForFinished();
    for (QProcess *daemon : {&bus_, &followBus_, &darkBus_})
        if (daemon->state() != QProcess::NotRunning) daemon->kill();
}

QString EndToEndTest::privateBus(QProcess &daemon) {
    test::endsWithTest(daemon);
    daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    if (!daemon.waitForReadyRead(10000)) return {};
    return QString::fromUtf8(daemon.readLine()).trimmed();
}

QProcessEnvironment EndToEndTest::environment(const QString &bus) const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_DATA_HOME", home_.filePath("data"));
    env.insert("XDG_CONFIG_HOME", home_.filePath("config"));
    env.insert("XDG_CACHE_HOME", home_.filePath("cache"));
    env.insert("XDG_RUNTIME_DIR", home_.filePath("runtime"));
    env.insert("DBUS_SESSION_BUS_ADDRESS", bus);
    env.insert("BROWSER", QStringLiteral(QUORVEL_FAKE_BROWSER));
    env.insert("QUORVEL_APP", QStringLiteral(QUORVEL_APP_PATH));
    env.insert("QUORVEL_DEV_BASE_URL", QString::fromStdString(service_->baseURL()));
    env.insert("QTWEBENGINE_DISABLE_SANDBOX", "1");
    env.insert("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
    env.remove("QT_QPA_PLATFORM");
    return env;
}

void EndToEndTest::startApp(const QString &bus) {
    app_.setProcessEnvironment(environment(bus));
    app_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    test::endsWithTest(app_);
    app_.start(QStringLiteral(QUORVEL_APP_PATH), {});
    QVERIFY(app_.waitForStarted());
}

void EndToEndTest::quitApp() {
    keys(window("쿼벨"), {"ctrl+q"});
    QTRY_VERIFY_WITH_TIMEOUT(app_.state() == QProcess::NotRunning, 20000);
    QCOMPARE(app_.exitCode(), 0);
}

QString EndToEndTest::window(const QString &title, bool whole) {
    // Qt keeps small helper windows under the same name: the biggest one is the window itself.
    QString best;
    (void)QTest::qWaitFor(
        [&] {
            int area = 0;
            const QString ids = xdotool({"search", "--all", "--onlyvisible", "--pid", QString::number(app_.processId()),
                                         "--name", QLatin1Char('^') + title + (whole ? "$" : QString())});
            for (const QString &id : ids.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
                const QString shell = xdotool({"getwindowgeometry", "--shell", id});
                const auto value = [&](const char *key) {
                    return QRegularExpression(QString("^%1=(\\d+)$").arg(QLatin1String(key)),
                                              QRegularExpression::MultilineOption)
                        .match(shell)
                        .captured(1)
                        .toInt();
                };
                if (const int size = value("WIDTH") * value("HEIGHT"); size > area) area = size, best = id;
            }
            return area > 10000;
        },
        30000);
    if (best.isEmpty()) qFatal("no window %s", qPrintable(title));
    return best;
}

void EndToEndTest::keys(const QString &window, const QStringList &keys) {
    xdotool({"windowfocus", "--sync", window});
    QTest::qWait(150);
    xdotool(QStringList{"key", "--delay", "80"} + keys);
    QTest::qWait(300);
}

void EndToEndTest::typeText(const QString &window, const QString &text) {
    xdotool({"windowfocus", "--sync", window});
    xdotool({"type", "--delay", "60", text});
    QTest::qWait(300);
}

void EndToEndTest::screenshot(const QString &window, const QString &name) {
    QTest::qWait(800); // let the page and the badge settle
    const QString dir = qEnvironmentVariable("QUORVEL_BINARY_DIR", ".") + "/screenshots";
    QDir().mkpath(dir);
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(window.toULongLong());
    QVERIFY2(!shot.isNull() && shot.width() > 100, qPrintable(name));
    QVERIFY(shot.save(dir + QLatin1Char('/') + name + ".png"));
}

// Searches, opens the first result and clears the search: the tree again, the document still open.
void EndToEndTest::searchAndOpen(const QString &shot) {
    // Looked up each time: the window is made anew when the document viewer's GL surface joins it.
    const auto main = [this] { return window("쿼벨"); };
    keys(main(), {"ctrl+f"});
    typeText(main(), "API");
    QTest::qWait(800);
    keys(main(), {"Return"});
    QTest::qWait(2500); // the web engine starts with the first document
    if (!shot.isEmpty()) screenshot(main(), shot);
    keys(main(), {"ctrl+f", "Escape"});
}

int EndToEndTest::storedDocuments() {
    try {
        LocalStore store(home_.filePath("data/kr.vatsu.quorvel").toStdString(), true);
        return store.isFirstSync() ? -1 : int(store.fileCount());
    } catch (const std::exception &) {
        return -1;
    }
}

int EndToEndTest::linkedDevices() const {
    const auto devices = service_->control().devices();
    return int(std::count_if(devices.begin(), devices.end(),
                             [](const auto &d) { return !d["revoked"].template get<bool>(); }));
}

int EndToEndTest::cli(const QStringList &args) {
    QProcess p;
    p.setProcessEnvironment(environment({}));
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    test::endsWithTest(p);
    p.start(QStringLiteral(QUORVEL_CLI_PATH),
            QStringList{"--base-url", QString::fromStdString(service_->baseURL())} + args);
    if (!p.waitForFinished(60000)) return -1;
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

void EndToEndTest::linkReadSearchAndSettings() {
    // A slow files answer keeps the first download on screen long enough to be seen.
    service::FaultRule slow;
    slow.endpoint = "files";
    slow.delayMs = 2500;
    service_->control().addFault(slow);
    startApp(privateBus(bus_));
    // Looked up each time: the window is made anew when the document viewer's GL surface joins it.
    auto main = [this] { return window("쿼벨"); };
    screenshot(main(), "app-start");

    // The sign-in button has the focus: Space presses it, the "browser" approves the link page and
    // the desktop starts a second quorvel with the callback, which hands it to this one.
    keys(main(), {"space"});
    QTRY_VERIFY_WITH_TIMEOUT(service_->control().requestCount("files") > 0, 30000);
    screenshot(main(), "app-first-download");
    QTRY_VERIFY_WITH_TIMEOUT(storedDocuments() > 0, 60000);
    QCOMPARE(service_->control().devices().size(), size_t(1));

    searchAndOpen("app-search");
    screenshot(main(), "app-library-light");

    keys(main(), {"ctrl+comma"});
    // "설정 — 쿼벨": the title's dash does not survive xdotool's matching, so only its start is named.
    const QString settings = window("설정", false);
    const QStringList tabs{"general", "sync", "account"};
    for (const QString &tab : tabs) {
        screenshot(settings, "app-settings-" + tab);
        keys(settings, {"ctrl+Tab"});
    }
    quitApp();
}

// The CLI syncs a new document and then logs out while the window is open: the window shows the
// new count, then the start screen, whose sign-in button links the device again.
void EndToEndTest::followsTheCommandLine() {
    startApp(privateBus(followBus_));
    auto main = [this] { return window("쿼벨"); };
    QTest::qWait(1500);
    const int before = storedDocuments();
    QVERIFY(before > 0);
    service_->control().addDocument("명령줄에서 받은 문서", std::nullopt, "<h1>명령줄에서 받은 문서</h1>");
    QCOMPARE(cli({"sync"}), 0);
    QCOMPARE(storedDocuments(), before + 1);
    QTest::qWait(2000);
    screenshot(main(), "app-followed-sync");

    QCOMPARE(cli({"logout"}), 0);
    QCOMPARE(linkedDevices(), 0);
    QTest::qWait(2000);
    screenshot(main(), "app-followed-logout");
    // Only a window that followed to the start screen links on Space.
    keys(main(), {"space"});
    QTRY_VERIFY_WITH_TIMEOUT(linkedDevices() == 1, 30000);
    QTRY_VERIFY_WITH_TIMEOUT(storedDocuments() == before + 1, 60000);
    quitApp();
}

void EndToEndTest::darkLibraryAndUnlinkedDevice() {
    const QString address = privateBus(darkBus_);
    QVERIFY(!address.isEmpty());
    QDBusConnection bus = QDBusConnection::connectToBus(address, "portal");
    portal_ = std::make_unique<DarkPortal>();
    QVERIFY(bus.registerObject("/org/freedesktop/portal/desktop", portal_.get(), QDBusConnection::ExportAllSlots));
    QVERIFY(bus.registerService("org.freedesktop.portal.Desktop"));

    startApp(address);
    auto main = [this] { return window("쿼벨"); };
    QTest::qWait(1500);
    searchAndOpen({});
    screenshot(main(), "app-library-dark");

    // Unlinked on the web: the next sync erases the copy and says why.
    service_->control().revokeAllDevices();
    keys(main(), {"ctrl+r"});
    QTRY_VERIFY_WITH_TIMEOUT(storedDocuments() <= 0, 30000);
    screenshot(main(), "app-revoked");
    quitApp();
}

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    EndToEndTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "EndToEndTest.moc"
