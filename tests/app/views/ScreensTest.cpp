#include "ModelKit.hpp"
#include "WindowQueries.hpp"

#include "document/DocumentView.hpp"
#include "model/LaunchAtLogin.hpp"
#include "model/LinkCoordinator.hpp"
#include "model/UpdateChecker.hpp"
#include "store/LocalStore.hpp"
#include "store/SQLiteDB.hpp"
#include "support/StoreDamage.hpp"
#include "views/Alerts.hpp"
#include "views/FindBar.hpp"
#include "views/Format.hpp"
#include "views/InitialSyncView.hpp"
#include "views/LinkingView.hpp"
#include "views/MainView.hpp"
#include "views/MainWindow.hpp"
#include "views/ReadingView.hpp"
#include "views/RootView.hpp"
#include "views/SearchResultsView.hpp"
#include "views/SettingsView.hpp"
#include "views/SidebarView.hpp"
#include "views/StartView.hpp"
#include "views/StatusBadgeView.hpp"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QWebEngineView>

using namespace quorvel;
using namespace quorvel::app;
using namespace quorvel::app::test;

namespace {

// Types text as a keyboard with an input method would, one character per key press.
void type(QWidget *widget, const QString &text) {
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &release);
    }
}

} // namespace

class ScreensTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void zoomSteps_data();
    void zoomSteps();
    void timesReadAsAge_data();
    void timesReadAsAge();
    void badgeLooks_data();
    void badgeLooks();
    void firstDownloadDetail_data();
    void firstDownloadDetail();
    void phasesShowTheirScreensAndCommands();
    void aDamagedLibrarySaysItIsDownloadedAgain();
    void searchAndReadWithTheKeyboardAlone();
    void readingAcrossDocuments();
    void settingsRows();

private:
    QList<Alerts::Alert> alerts_;
    QList<int> answers_;
};

void ScreensTest::initTestCase() {
    Alerts::setHandler([this](QWidget *, const Alerts::Alert &alert) {
        alerts_ << alert;
        return answers_.isEmpty() ? alert.escapeButton : answers_.takeFirst();
    });
}

void ScreensTest::zoomSteps_data() {
    QTest::addColumn<double>("from");
    QTest::addColumn<bool>("in");
    QTest::addColumn<double>("to");
    QTest::newRow("in from 2.95") << 2.95 << true << 3.0;
    QTest::newRow("in at 3.0") << 3.0 << true << 3.0;
    QTest::newRow("out from 0.55") << 0.55 << false << 0.5;
    QTest::newRow("out at 0.5") << 0.5 << false << 0.5;
    QTest::newRow("in from 1.04") << 1.04 << true << 1.1;
    QTest::newRow("out from 1.25") << 1.25 << false << 1.2;
}

void ScreensTest::zoomSteps() {
    QFETCH(double, from);
    QFETCH(bool, in);
    QFETCH(double, to);
    QCOMPARE(in ? Zoom::in(from) : Zoom::out(from), to);
}

void ScreensTest::timesReadAsAge_data() {
    QTest::addColumn<double>("elapsed");
    QTest::addColumn<QString>("text");
    QTest::newRow("59 s") << 59.0 << "방금";
    QTest::newRow("just under an hour") << 3599.0 << "59분 전";
    QTest::newRow("just under a day") << 86399.0 << "23시간 전";
}

void ScreensTest::timesReadAsAge() {
    QFETCH(double, elapsed);
    QFETCH(QString, text);
    const double now = 1'700'000'000;
    QCOMPARE(Format::ago(now - elapsed, now), text);
    // A day or more reads as the date itself.
    QCOMPARE(Format::ago(now - 86400, now), Format::dateTime(now - 86400));
    QVERIFY(Format::dateTime(now).contains(QStringLiteral("월")));
}

void ScreensTest::badgeLooks_data() {
    QTest::addColumn<SyncBadge>("badge");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("help");
    QTest::addColumn<bool>("actionable");
    const double at = 1'700'000'000;
    QTest::newRow("syncing without counts") << SyncBadge::syncing(0, 0) << "동기화 중"
                                            << "문서를 동기화하고 있어요" << false;
    QTest::newRow("syncing") << SyncBadge::syncing(3, 7) << "동기화 중 3/7"
                             << "문서를 동기화하고 있어요" << false;
    QTest::newRow("rebuilding") << SyncBadge::rebuilding(3, 7) << "다시 내려받는 중 3/7"
                                << "보관소가 손상되어 처음부터 다시 내려받고 있어요." << false;
    QTest::newRow("offline") << SyncBadge::offline(std::nullopt) << "오프라인"
                             << "인터넷에 연결되면 자동으로 동기화해요" << false;
    QTest::newRow("offline since") << SyncBadge::offline(at)
                                   << QStringLiteral("오프라인 · ") + Format::dateTime(at) + QStringLiteral(" 기준")
                                   << "인터넷에 연결되면 자동으로 동기화해요" << false;
    QTest::newRow("failed") << SyncBadge::failed(QStringLiteral("서버에 연결하지 못했어요."))
                            << "동기화 실패 · 다시 시도"
                            << "서버에 연결하지 못했어요." << true;
    QTest::newRow("login") << SyncBadge::loginRequired() << "다시 로그인 필요"
                           << "눌러서 다시 로그인하세요. 저장된 문서는 그대로 볼 수 있어요" << true;
    QTest::newRow("upgrade") << SyncBadge::upgradeRequired(QStringLiteral("2.0.0")) << "업데이트 필요"
                             << "동기화하려면 2.0.0 이상으로 업데이트해야 해요" << true;
    QTest::newRow("up to date") << SyncBadge::upToDate(at - 120) << "최신 상태 · 2분 전"
                                << "문서가 최신 상태예요" << false;
}

void ScreensTest::badgeLooks() {
    QFETCH(SyncBadge, badge);
    QFETCH(QString, text);
    QFETCH(QString, help);
    QFETCH(bool, actionable);
    const auto look = StatusBadgeView::look(badge, 1'700'000'000);
    QCOMPARE(look.text, text);
    QCOMPARE(look.help, help);
    QCOMPARE(look.actionable, actionable);
}

void ScreensTest::firstDownloadDetail_data() {
    QTest::addColumn<int>("phase");
    QTest::addColumn<int>("docs");
    QTest::addColumn<int>("images");
    QTest::addColumn<QString>("detail");
    QTest::addColumn<double>("fraction"); // -1: of unknown length
    using P = SyncProgress::Phase;
    QTest::newRow("none yet") << -1 << 0 << 0 << "준비하는 중…" << -1.0;
    QTest::newRow("manifest") << int(P::manifest) << 0 << 0 << "문서 목록을 확인하는 중…" << -1.0;
    QTest::newRow("shell") << int(P::shell) << 0 << 0 << "문서 모양을 내려받는 중…" << -1.0;
    QTest::newRow("documents") << int(P::documents) << 3 << 1 << "문서 3/10 · 이미지 1/10" << 0.2;
    QTest::newRow("empty library applying") << int(P::applying) << 0 << 0 << "저장하는 중…" << -1.0;
    QTest::newRow("empty library done") << int(P::done) << 0 << 0 << "저장하는 중…" << 1.0;
}

void ScreensTest::firstDownloadDetail() {
    QFETCH(int, phase);
    QFETCH(int, docs);
    QFETCH(int, images);
    QFETCH(QString, detail);
    QFETCH(double, fraction);
    std::optional<SyncProgress> progress;
    if (phase >= 0) {
        const int total = docs || images ? 10 : 0;
        progress = SyncProgress{SyncProgress::Phase(phase), docs, total, images, total};
    }
    QCOMPARE(InitialSyncView::detail(progress), detail);
    QCOMPARE(InitialSyncView::fraction(progress).value_or(-1.0), fraction);
}

void ScreensTest::phasesShowTheirScreensAndCommands() {
    ModelKit kit;
    kit.autoApprove = false;
    auto model = kit.makeModel();
    MainWindow window(*model, model->updateChecker());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.windowTitle(), QStringLiteral("쿼벨"));
    QVERIFY(showing<StartView>(window));
    QVERIFY(shows(&window, QStringLiteral("쿼벨 for Linux")));
    QVERIFY(shows(&window, QStringLiteral("브라우저로 로그인")));
    auto enabled = [&](const char *name) { return named<QAction>(&window, name)->isEnabled(); };
    for (const char *command : {"search", "zoomIn", "zoomOut", "actualSize", "syncNow", "print", "logout", "editOnWeb"})
        QVERIFY2(!enabled(command), command);
    screenshot(&window, QStringLiteral("start"));

    named<QPushButton>(window.findChild<StartView *>(), "signIn")->click();
    QTRY_VERIFY(showing<LinkingView>(window));
    for (const char *command : {"search", "zoomIn", "syncNow"})
        QVERIFY2(!enabled(command), command);
    // The browser comes back: the link page approved, the first download, then the library.
    kit.autoApprove = true;
    model->account().cancelLogin();
    QTRY_VERIFY(showing<StartView>(window));
    model->account().beginLogin();
    QTRY_VERIFY_WITH_TIMEOUT(showing<MainView>(window) && !model->sync().isSyncing(), 20000);
    for (const char *command : {"search", "syncNow", "logout", "zoomIn", "zoomOut", "actualSize"})
        QVERIFY2(enabled(command), command);
    QVERIFY(!enabled("print")); // nothing open yet
    QTRY_VERIFY(shows(&window, QStringLiteral("왼쪽에서 문서를 골라 주세요")));
    QVERIFY(shows(&window, QStringLiteral("문서 3개 · ") + Format::bytes(model->library().storageBytes()) +
                               QStringLiteral(" 보관 중")));

    // Logging out asks first; "취소" keeps everything.
    answers_ = {0};
    const qsizetype asked = alerts_.size();
    named<QAction>(&window, "logout")->trigger();
    QTRY_COMPARE(alerts_.size(), asked + 1);
    QCOMPARE(alerts_.last().title, QStringLiteral("로그아웃할까요?"));
    QVERIFY(alerts_.last().buttons[1].destructive);
    QVERIFY(showing<MainView>(window));
}

// A library found damaged is downloaded again, and the window says so: on the first-download
// screen when the damage showed as the app opened it, in the footer when it showed later.
void ScreensTest::aDamagedLibrarySaysItIsDownloadedAgain() {
    ModelKit kit;
    kit.linkedModel().reset();
    const auto database = kit.environment().storeDirectory / LocalStore::databaseFileName;
    QFile garbage(QString::fromStdString(database.string()));
    QVERIFY(garbage.open(QIODevice::WriteOnly | QIODevice::Truncate));
    garbage.write(QByteArray(20000, 'Z'));
    garbage.close();

    auto model = kit.makeModel();
    MainWindow window(*model, model->updateChecker());
    window.resize(1000, 640);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QString message = SyncBadge::rebuildingMessage();
    bool firstScreenSaid = false, footerSaid = false;
    connect(&model->stage(), &Stage::phaseChanged, this, [&] {
        if (firstScreenSaid || !showing<InitialSyncView>(window) || !shows(&window, message)) return;
        firstScreenSaid = true;
        screenshot(&window, QStringLiteral("rebuilding-first-download"), false);
    });
    model->start();
    QTRY_VERIFY_WITH_TIMEOUT(showing<MainView>(window) && !model->sync().isSyncing(), 20000);
    QVERIFY(firstScreenSaid);
    // The sync ends before the library it wrote has been read back.
    QTRY_COMPARE(model->library().fileCount(), 3);
    ModelKit::settle(*model);

    auto store = model->services().store;
    store->withDB([](SQLiteDB &db) { db.exec("PRAGMA wal_checkpoint(TRUNCATE)"); });
    quorvel::test::damageTable(database, "files");
    store->withDB([](SQLiteDB &db) { db.exec("PRAGMA shrink_memory"); });
    connect(&model->sync(), &SyncController::badgeChanged, this, [&] {
        if (footerSaid || !shows(&window, message)) return;
        footerSaid = true;
        screenshot(&window, QStringLiteral("rebuilding-footer"), false);
    });
    model->library().reload();
    QTRY_VERIFY_WITH_TIMEOUT(footerSaid && !model->sync().isSyncing(), 20000);
    QTRY_COMPARE(model->library().fileCount(), 3);
    QCOMPARE(model->sync().badge().kind, SyncBadge::Kind::upToDate);
}

void ScreensTest::searchAndReadWithTheKeyboardAlone() {
    ModelKit kit;
    auto model = kit.linkedModel();
    MainWindow window(*model, model->updateChecker());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTRY_VERIFY(showing<MainView>(window));
    auto *sidebar = window.findChild<SidebarView *>();

    QTest::keyClick(&window, Qt::Key_F, Qt::ControlModifier);
    QTRY_VERIFY(sidebar->searchField()->hasFocus());
    type(sidebar->searchField(), QStringLiteral("없는말"));
    QTRY_VERIFY(shows(&window, QStringLiteral("‘없는말’에 맞는 문서가 없어요")));
    QTest::keyClick(sidebar->searchField(), Qt::Key_Escape);
    QVERIFY(sidebar->searchField()->text().isEmpty());
    QVERIFY(!model->search().isActive());

    type(sidebar->searchField(), QStringLiteral("회의록"));
    QTRY_COMPARE(sidebar->results()->list()->model()->rowCount(), 1);
    screenshot(&window, QStringLiteral("search"));
    QTest::keyClick(sidebar->searchField(), Qt::Key_Return);
    QTRY_VERIFY(model->reader().page().has_value());
    QCOMPARE(model->reader().openDocument()->summary.filename, "회의록");
    auto *viewer = window.findChild<DocumentView *>();
    QVERIFY(viewer);
    QTRY_VERIFY(named<QAction>(&window, "print")->isEnabled());
    // Ctrl+L moves between the list and the document. (Xvfb has no window manager to give the
    // window back its activation once the web engine has started.)
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    sidebar->results()->list()->setFocus();
    QTest::keyClick(&window, Qt::Key_L, Qt::ControlModifier);
    QTRY_VERIFY(viewer->isAncestorOf(QApplication::focusWidget()) || viewer->webView()->hasFocus());
    QTest::keyClick(&window, Qt::Key_Equal, Qt::ControlModifier);
    QCOMPARE(model->reader().zoom(), 1.1);
}

void ScreensTest::readingAcrossDocuments() {
    // A document with a link to another on the service's origin and one to a document the library
    // does not hold, each a 40-pixel row below the built-in template's margin, and three headings.
    service::Library library;
    const int64_t meeting = library.addDocument("회의록", std::nullopt,
                                                "<p>회의 시작</p><div style=\"height:1500px\"></div><p>두 번째 회의</p>"
                                                "<div style=\"height:1500px\"></div><p>마지막 회의 본문</p>",
                                                1'700'000'000);
    const std::string band = "<p style=\"margin:0;height:40px\">";
    const int64_t guide = library.addDocument(
        "안내", std::nullopt,
        band + "<a href=\"{{ORIGIN}}/docs/" + std::to_string(meeting) + "\">다음 문서</a></p>" + band +
            "<a href=\"{{ORIGIN}}/editor/999\">없는 문서</a></p><h2>첫째</h2><div style=\"height:1500px\"></div>"
            "<h2>둘째</h2><div style=\"height:1500px\"></div><h2>셋째</h2><div style=\"height:1500px\"></div>",
        1'700'000'100);
    ModelKit kit(std::move(library));
    auto model = kit.linkedModel();
    MainWindow window(*model, model->updateChecker());
    window.resize(1100, 700);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTRY_VERIFY(showing<MainView>(window));
    Reader &reader = model->reader();
    QAction *back = named<QAction>(&window, "back");
    QAction *forward = named<QAction>(&window, "forward");
    QVERIFY(!back->isEnabled() && !forward->isEnabled());

    reader.open(guide);
    QTRY_VERIFY(window.findChild<ReadingView *>() && window.findChild<ReadingView *>()->isSettled());
    auto *reading = window.findChild<ReadingView *>();
    DocumentView *viewer = reading->document();
    auto *outline = named<QListWidget>(&window, "outline");
    QTRY_VERIFY(outline->isVisible());
    QCOMPARE(outline->count(), 3);
    QCOMPARE(outline->item(2)->text().trimmed(), QStringLiteral("셋째"));
    screenshot(&window, QStringLiteral("reading-outline"));
    const auto page = [&] { return viewer->webView()->focusProxy(); };
    const auto click = [&](int row) { QTest::mouseClick(page(), Qt::LeftButton, {}, QPoint(60, 46 + 40 * row)); };
    const auto openedOutside = [&](const QString &path) {
        return std::count_if(kit.opened.begin(), kit.opened.end(), [&](const QUrl &url) { return url.path() == path; });
    };
    const auto settledOn = [&](int64_t id) { return reader.currentFileID() == id && reading->isSettled(); };
    // Keys reach shortcuts in the active window only, and the keyboard is in the page. (Xvfb has no
    // window manager to give the window back its activation once the web engine has started.)
    const auto intoPage = [&] {
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        viewer->webView()->setFocus();
        QTRY_VERIFY(viewer->isAncestorOf(QApplication::focusWidget()));
    };

    // A link to a stored document opens it in the app, online and offline alike.
    click(0);
    QTRY_VERIFY_WITH_TIMEOUT(settledOn(meeting), 10000);
    QCOMPARE(openedOutside(QStringLiteral("/docs/%1").arg(meeting)), 0);
    QVERIFY(!outline->isVisible()); // no headings
    QTRY_VERIFY(back->isEnabled());
    intoPage();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left, Qt::AltModifier);
    QTRY_VERIFY_WITH_TIMEOUT(settledOn(guide), 10000);
    QVERIFY(forward->isEnabled());
    model->connectivity().setOnline(false);
    click(0);
    QTRY_VERIFY_WITH_TIMEOUT(settledOn(meeting), 10000);
    // As the mouse does it: to the window, which hands it to the widget under the pointer.
    QTest::mouseClick(window.windowHandle(), Qt::BackButton, {}, viewer->mapTo(&window, QPoint(200, 200)));
    QTRY_VERIFY_WITH_TIMEOUT(settledOn(guide), 10000);

    // Offline, a document the library does not hold opens nothing and says why; online it is the
    // browser's.
    alerts_.clear();
    click(1);
    QTRY_COMPARE(alerts_.size(), 1);
    QCOMPARE(alerts_[0].text, Reader::notStoredMessage());
    QVERIFY(settledOn(guide));
    QCOMPARE(openedOutside(QStringLiteral("/editor/999")), 0);
    model->connectivity().setOnline(true);
    click(1);
    QTRY_COMPARE(openedOutside(QStringLiteral("/editor/999")), 1);

    // The outline takes the page to a heading, and the way back returns to it.
    intoPage();
    QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
    QTRY_VERIFY(outline->hasFocus());
    QTest::keyClick(outline, Qt::Key_End);
    QTest::keyClick(outline, Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(viewer->scrollY() > 3000, 10000);
    const double left = viewer->scrollY();
    QTest::keyClick(&window, Qt::Key_Right, Qt::AltModifier);
    QTRY_VERIFY_WITH_TIMEOUT(settledOn(meeting), 10000);
    QTRY_COMPARE(viewer->scrollY(), 0.0);
    back->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(settledOn(guide) && std::abs(viewer->scrollY() - left) < 2, 10000);

    // Opened from the search, the words are marked and F3 steps through them; Escape clears them.
    auto *sidebar = window.findChild<SidebarView *>();
    intoPage();
    QTest::keyClick(&window, Qt::Key_F, Qt::ControlModifier);
    type(sidebar->searchField(), QStringLiteral("회의"));
    QTRY_COMPARE(sidebar->results()->list()->model()->rowCount(), 1);
    QTest::keyClick(sidebar->searchField(), Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(settledOn(meeting), 10000);
    auto *count = named<QLabel>(&window, "findCount");
    QTRY_COMPARE_WITH_TIMEOUT(count->text(), QStringLiteral("1 / 3"), 10000);
    QVERIFY(named<FindBar>(&window, "findBar")->isVisible());
    screenshot(&window, QStringLiteral("reading-marks"));
    intoPage();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F3);
    QTRY_COMPARE(count->text(), QStringLiteral("2 / 3"));
    QTRY_VERIFY(viewer->scrollY() > 1000);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F3, Qt::ShiftModifier);
    QTRY_COMPARE(count->text(), QStringLiteral("1 / 3"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QTRY_VERIFY(!named<FindBar>(&window, "findBar")->isVisible());
    QVERIFY(reader.marks().isEmpty());

    // The find bar marks any words; clearing the search clears them too.
    intoPage();
    QTest::keyClick(&window, Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
    auto *field = named<QLineEdit>(&window, "findField");
    QTRY_VERIFY(field->hasFocus());
    type(field, QStringLiteral("마지막"));
    QTRY_COMPARE_WITH_TIMEOUT(count->text(), QStringLiteral("1 / 1"), 10000);
    QTRY_VERIFY(viewer->scrollY() > 2500);
    screenshot(&window, QStringLiteral("reading-find"));
    sidebar->searchField()->setFocus();
    QTest::keyClick(sidebar->searchField(), Qt::Key_Escape);
    QTRY_VERIFY(reader.marks().isEmpty());
}

void ScreensTest::settingsRows() {
    ModelKit kit;
    service::ReleaseInfo release;
    release.latestVersion = "9.0.0";
    release.minVersion = "0.1.0";
    kit.control().setRelease(release);
    auto model = kit.linkedModel();
    const QString autostart = kit.dir.filePath(QStringLiteral("autostart/kr.vatsu.quorvel.desktop"));
    LaunchAtLogin launch(autostart, QStringLiteral("/usr/bin/quorvel"));
    SettingsView settings(*model, model->updateChecker(), launch);
    settings.show();
    QVERIFY(QTest::qWaitForWindowExposed(&settings));

    // "수동" stores 0; the sync picker's other choices come back.
    settings.setCurrentIndex(1);
    auto *interval = named<QComboBox>(&settings, "syncInterval");
    QCOMPARE(interval->count(), 4);
    QCOMPARE(interval->itemText(3), QStringLiteral("수동"));
    QTest::keyClick(interval, Qt::Key_End);
    QCOMPARE(model->sync().syncIntervalMinutes(), 0);
    QCOMPARE(kit.settings.value(QStringLiteral("SyncIntervalMinutes")).toInt(), 0);
    screenshot(&settings, QStringLiteral("settings-sync"));
    QPushButton *wipe = named<QPushButton>(&settings, "wipeAndResync");
    QVERIFY(wipe->isEnabled());
    model->connectivity().setOnline(false);
    QVERIFY(!wipe->isEnabled());
    model->connectivity().setOnline(true);

    // A release the running version must take: the availability line and the mandatory note.
    answers_ = {1}; // "나중에" in the alert that comes with it
    release.minVersion = "9.0.0";
    kit.control().setRelease(release);
    settings.setCurrentIndex(0);
    named<QPushButton>(&settings, "checkForUpdates")->click();
    QTRY_VERIFY(shows(&settings, QStringLiteral("새 버전 9.0.0이(가) 나왔어요")));
    QVERIFY(shows(&settings, QStringLiteral("이 버전은 더 이상 동기화되지 않아요. 새 버전을 받아 주세요.")));
    QVERIFY(shows(&settings, QStringLiteral("다운로드")));
    screenshot(&settings, QStringLiteral("settings-general"));

    settings.setCurrentIndex(2);
    QVERIFY(shows(&settings, QStringLiteral("reader@quorvel.test")));
    QVERIFY(shows(&settings, QStringLiteral("로그아웃…")));
    screenshot(&settings, QStringLiteral("settings-account"));
}

int main(int argc, char **argv) {
    DocumentView::registerSchemes();
    QApplication app(argc, argv);
    ScreensTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "ScreensTest.moc"
