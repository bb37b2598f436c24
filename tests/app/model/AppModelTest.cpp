#include "ModelKit.hpp"
#include "app/CaseTrace.hpp"
#include "app/EndsWithTest.hpp"

#include "model/DocumentLinks.hpp"
#include "model/InstanceMessage.hpp"
#include "model/LibraryWatch.hpp"
#include "model/LinkCoordinator.hpp"
#include "model/ReadingHistory.hpp"
#include "model/SingleInstance.hpp"
#include "model/SyncScheduler.hpp"

#include "auth/FileTokenStore.hpp"
#include "auth/PendingRevokeStore.hpp"
#include "store/LocalStore.hpp"
#include "util/DocumentLink.hpp"

#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>
#include <QtConcurrent/QtConcurrentRun>

#include <fstream>

using namespace quorvel;
using namespace quorvel::app;
using namespace quorvel::app::test;

namespace {

// The id of the document of that title in the tree, -1 if it holds none.
int64_t idOf(AppModel &model, const std::string &title) {
    std::vector<const TreeNode *> pending;
    for (const auto &top : model.library().tree())
        pending.push_back(&top);
    while (!pending.empty()) {
        const TreeNode *node = pending.back();
        pending.pop_back();
        if (node->file() && node->file()->filename == title) return node->file()->id;
        if (node->children)
            for (const auto &child : *node->children)
                pending.push_back(&child);
    }
    return -1;
}

// Runs quorvel-cli on the kit's library beside the model; `answer` turns the printed link address
// (challenge, state) into what is pasted back.
int runCli(ModelKit &kit, QStringList args,
           const std::function<std::string(const std::string &, const std::string &)> &answer = {}) {
    QProcess cli;
    quorvel::test::endsWithTest(cli);
    cli.setProcessChannelMode(QProcess::MergedChannels);
    args = QStringList{"--store", kit.dir.filePath("store"), "--base-url", QString::fromStdString(kit.baseURL)} + args;
    cli.start(QStringLiteral(QUORVEL_CLI_PATH), args);
    QString printed;
    if (answer) {
        const QRegularExpression link("challenge=([^&\\s]+)&state=([^&\\s]+)");
        QRegularExpressionMatch m;
        // Waiting without the event loop would keep the model from following.
        (void)QTest::qWaitFor([&] { return (m = link.match(printed += QString::fromUtf8(cli.readAll()))).hasMatch(); },
                              20000);
        cli.write((answer(m.captured(1).toStdString(), m.captured(2).toStdString()) + "\n").c_str());
    }
    (void)QTest::qWaitFor([&] { return cli.state() == QProcess::NotRunning; }, 20000);
    return cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
}

} // namespace

class AppModelTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void preferencesAreValidated();
    void firstPhaseFollowsWhatIsStored();
    void linkDownloadsTheLibrary();
    void automaticSyncsRespectTheirGuards();
    void outcomesBecomeStatus();
    void firstDownloadRefusedEndsOnTheRightScreen();
    void checkFetchesALostImageAgain();
    void outcomeOfARunFromBeforeALogoutIsDropped();
    void searchWaitsForTheLastKeystroke();
    void selectionOpensDocuments();
    void syncKeepsTheOpenPageUnlessItChanged();
    void historyGoesBackForwardAndForgetsDeletedDocuments();
    void signInFailuresAndCancels();
    void reloginKeepsOrReplacesTheLibrary();
    void logoutOfflineOwesARevocation();
    void channelTakesWholeMessagesOfOurScheme();
    void followsWhatAnotherProcessDoes();
    void documentLinksOpenWaitOrSayWhy();
};

// An invalid value stays stored until the user changes the setting; the address is never taken from it.
void AppModelTest::preferencesAreValidated() {
    const struct {
        const char *key, *stored, *expected;
    } cases[] = {{"SyncIntervalMinutes", "45", "15"}, {"SyncIntervalMinutes", "often", "15"},
                 {"SyncIntervalMinutes", "0", "0"},   {"SyncIntervalMinutes", "60", "60"},
                 {"DocumentZoom", "0.4", "1"},        {"DocumentZoom", "3.5", "1"},
                 {"DocumentZoom", "0.5", "0.5"},      {"DocumentZoom", "3.0", "3"},
                 {"TreeSort", "updated", "updated"},  {"TreeSort", "Name", "updated"},
                 {"TreeSort", "name", "name"}};
    for (const auto &c : cases) {
        const quorvel::test::CaseTrace trace{QByteArray(c.key) + "=" + c.stored};
        ModelKit kit;
        kit.settings.setValue(c.key, c.stored);
        kit.settings.setValue("BaseURL", "https://elsewhere.example");
        auto model = kit.makeModel();
        const QString key = c.key;
        const QString actual = key == "SyncIntervalMinutes" ? QString::number(model->sync().syncIntervalMinutes())
                               : key == "DocumentZoom"      ? QString::number(model->reader().zoom())
                               : model->library().treeSort() == TreeSort::name ? "name"
                                                                               : "updated";
        QCOMPARE(actual, c.expected);
        QVERIFY(!kit.settings.contains("BaseURL"));
        QCOMPARE(kit.settings.value(key).toString(), c.stored);
    }
}

void AppModelTest::firstPhaseFollowsWhatIsStored() {
    ModelKit kit;
    QCOMPARE(kit.makeModel()->stage().phase(), AppPhase::start());

    kit.linkedModel().reset();
    {
        // Credentials that lost their access but a library on disk: it stays readable.
        FileTokenStore(kit.environment().storeDirectory / "auth").clearCredentials();
        auto model = kit.makeModel();
        QCOMPARE(model->stage().phase(), AppPhase::main());
        QVERIFY(model->sync().needsRelogin());
        QCOMPARE(model->sync().badge(), SyncBadge::loginRequired());
        QCOMPARE(model->library().fileCount(), 3);
    }
    {
        // The credentials belong to another service: they go with the library and the owed revocation.
        PendingRevokeStore(kit.environment().storeDirectory / "auth").save({"refresh", kit.baseURL});
        FileTokenStore(kit.environment().storeDirectory / "auth").setBoundBaseURL("https://other.example");
        auto model = kit.makeModel();
        QCOMPARE(model->stage().phase(), AppPhase::start());
        QCOMPARE(model->library().fileCount(), 0);
        QVERIFY(!model->sync().needsRelogin());
        QVERIFY(!PendingRevokeStore(kit.environment().storeDirectory / "auth").load());
    }
}

void AppModelTest::linkDownloadsTheLibrary() {
    ModelKit kit;
    auto model = kit.makeModel();
    QList<AppPhase> seen;
    connect(&model->stage(), &Stage::phaseChanged, this, [&] { seen << model->stage().phase(); });
    model->start();
    model->start(); // once only: no second scheduler
    QCOMPARE(model->findChildren<SyncScheduler *>().size(), 1);
    model->account().beginLogin();
    QCOMPARE(model->stage().phase(), AppPhase::linking());
    QTRY_VERIFY_WITH_TIMEOUT(model->stage().phase().is(AppPhase::Kind::main) && !model->sync().isSyncing(), 20000);
    ModelKit::settle(*model);
    QCOMPARE(kit.opened.size(), 1);
    QCOMPARE(model->library().fileCount(), 3);
    QCOMPARE(model->account().email().value_or(QString()), "reader@quorvel.test");
    QVERIFY(model->library().lastSyncAt().has_value());
    QCOMPARE(model->sync().badge().kind, SyncBadge::Kind::upToDate);
    QCOMPARE(seen.mid(0, 2), (QList<AppPhase>{AppPhase::linking(), AppPhase::initialSync()}));
    QVERIFY(std::any_of(seen.begin(), seen.end(), [](const AppPhase &p) { return p.progress.has_value(); }));
    QCOMPARE(seen.last(), AppPhase::main());
    QCOMPARE(kit.control().devices()[0]["name"].get<std::string>(), "테스트 컴퓨터");
}

void AppModelTest::automaticSyncsRespectTheirGuards() {
    ModelKit kit;
    auto model = kit.linkedModel();
    auto manifests = [&] { return kit.control().requestCount("manifest"); };
    auto trigger = [&](SyncTrigger t) {
        const auto before = manifests();
        model->sync().requestSync(t);
        if (!QTest::qWaitFor([&] { return !model->sync().isSyncing(); }, 20000)) qFatal("the sync did not end");
        ModelKit::settle(*model);
        return manifests() > before;
    };

    // A busy server asks for two hours; automatic syncs wait an hour at most, a manual one never.
    auto busy = service::FaultRule::answer("manifest", 503);
    busy.retryAfter = "7200";
    kit.control().addFault(busy);
    QVERIFY(trigger(SyncTrigger::manual));
    QCOMPARE(model->sync().lastFailureMessage().value_or(QString()),
             "서버에 연결하지 못했어요. 잠시 후 다시 시도할게요.");
    QVERIFY(!trigger(SyncTrigger::timer));
    kit.clockOffset += 3599;
    QVERIFY(!trigger(SyncTrigger::wake));
    kit.clockOffset += 2;
    QVERIFY(trigger(SyncTrigger::timer));
    QVERIFY(!model->sync().lastFailureMessage());

    // Window activation: at most once per 300 s after the last attempt of any kind.
    kit.clockOffset += 100;
    QVERIFY(!trigger(SyncTrigger::windowKey));
    kit.clockOffset += 201;
    QVERIFY(trigger(SyncTrigger::windowKey));

    model->connectivity().setOnline(false);
    QCOMPARE(model->sync().badge().kind, SyncBadge::Kind::offline);
    QVERIFY(!trigger(SyncTrigger::network));
    QVERIFY(trigger(SyncTrigger::manual));
}

// An image file lost on disk: the check says so, and the sync it asks for fetches the image again.
// (A damaged database and its rebuild are walked through by the screens test.)
void AppModelTest::checkFetchesALostImageAgain() {
    ModelKit kit;
    auto model = kit.linkedModel();
    auto store = model->services().store;
    std::vector<std::filesystem::path> images;
    for (const auto &entry : std::filesystem::directory_iterator(store->assetsDirectory()))
        if (LocalStore::isAssetHash(entry.path().filename().string())) images.push_back(entry.path());
    QCOMPARE(images.size(), size_t(1));
    std::filesystem::remove(images[0]);
    const auto manifests = kit.control().requestCount("manifest");
    model->library().check();
    QTRY_VERIFY_WITH_TIMEOUT(model->library().checkMessage().has_value(), 20000);
    QCOMPARE(*model->library().checkMessage(),
             "이미지 1개가 손상되었거나 없어요. 다음 동기화에서 문서 1개의 이미지를 다시 받아요.");
    QTRY_VERIFY_WITH_TIMEOUT(kit.control().requestCount("manifest") > manifests && !model->sync().isSyncing(), 20000);
    QVERIFY(std::filesystem::exists(images[0]));
}

// Nothing of the library is lost, whatever the server answers.
void AppModelTest::outcomesBecomeStatus() {
    using K = SyncBadge::Kind;
    const QString unreachable = "서버에 연결하지 못했어요. 잠시 후 다시 시도할게요.";
    const struct {
        int status;
        const char *reason;
        bool drop;
        K badge;
        QString message;
    } cases[] = {{500, "", false, K::failed, unreachable},
                 {0, "", true, K::failed, unreachable}, // a cut connection
                 {418, "teapot", false, K::failed, "동기화에 실패했어요."},
                 {426, "upgrade_required", false, K::upgradeRequired, ""},
                 {401, "password_changed", false, K::loginRequired, ""}};
    for (const auto &c : cases) {
        const quorvel::test::CaseTrace trace{QByteArray::number(c.status)};
        ModelKit kit;
        auto model = kit.linkedModel();
        auto rule = service::FaultRule::answer("manifest", c.status, c.reason);
        rule.drop = c.drop;
        if (c.drop) rule.remaining = -1; // the transport may try a cut connection again
        rule.message = "서버가 보낸 메시지";
        if (c.status == 426) rule.minVersion = "9.9.9";
        kit.control().addFault(rule);
        ModelKit::syncAndWait(*model);
        QTRY_COMPARE(int(model->sync().badge().kind), int(c.badge));
        QCOMPARE(model->sync().lastFailureMessage().value_or(QString()), c.message);
        if (c.status == 426) QCOMPARE(model->sync().badge(), SyncBadge::upgradeRequired("9.9.9"));
        QCOMPARE(model->library().fileCount(), 3);
        QCOMPARE(model->stage().phase(), AppPhase::main());
    }
}

void AppModelTest::firstDownloadRefusedEndsOnTheRightScreen() {
    {
        // Sign-in refused before anything was stored: back to the welcome screen with a message.
        ModelKit kit;
        kit.control().addFault(service::FaultRule::answer("manifest", 401, "password_changed"));
        auto model = kit.makeModel();
        model->account().beginLogin();
        QTRY_VERIFY_WITH_TIMEOUT(model->stage().phase() == AppPhase::start() && !model->sync().isSyncing(), 20000);
        QCOMPARE(model->stage().startError().value_or(QString()), "다시 로그인해 주세요.");
    }
    {
        // The device was unlinked on the web during the first download.
        ModelKit kit;
        kit.control().addFault(service::FaultRule::answer("files", 401, "revoked"));
        auto model = kit.makeModel();
        model->account().beginLogin();
        QTRY_VERIFY_WITH_TIMEOUT(model->stage().phase() == AppPhase::revoked(), 20000);
        QCOMPARE(model->library().fileCount(), 0);
        QVERIFY(model->services().store->isFirstSync());
        QVERIFY(!FileTokenStore(kit.environment().storeDirectory / "auth").refreshToken());
    }
}

void AppModelTest::outcomeOfARunFromBeforeALogoutIsDropped() {
    // A first download stuck where cancelling cannot reach (a token refresh) outlasts the logout's
    // five-second wait. Its outcome arrives while the logout is finishing: it belongs to the
    // signed-out account and must not move the model to the library, not even for a moment.
    ModelKit kit;
    auto model = kit.linkedModel();
    kit.clockOffset += 7200; // the access token has expired as the model sees it
    auto slow = service::FaultRule::answer("token", 0);
    slow.delayMs = 7000;
    kit.control().addFault(slow);
    model->account().wipeAndResync();
    QTRY_VERIFY(model->sync().isSyncing());
    model->connectivity().setOnline(false);
    QList<AppPhase> seen;
    connect(&model->stage(), &Stage::phaseChanged, this, [&] { seen << model->stage().phase(); });
    model->account().logout();
    QTRY_VERIFY_WITH_TIMEOUT(!model->sync().isSyncing() && !model->account().isLoggingOut(), 15000);
    QTest::qWait(200);
    QCOMPARE(seen, QList<AppPhase>{AppPhase::start()});
    QVERIFY(!model->sync().lastFailureMessage());
}

void AppModelTest::searchWaitsForTheLastKeystroke() {
    ModelKit kit;
    auto model = kit.linkedModel();
    QSignalSpy answered(&model->search(), &Search::searchedQueryChanged);
    model->search().setSearchText("회");
    model->search().setSearchText("회의");
    model->search().setSearchText("회의록 ");
    QTRY_COMPARE(model->search().searchedQuery(), "회의록");
    QTest::qWait(300);
    QCOMPARE(answered.count(), 1);
    QCOMPARE(model->search().results().size(), size_t(1));
    QCOMPARE(model->search().results()[0].title, "회의록");

    // A sync brings the word into a second document: the results follow without a keystroke.
    kit.control().editDocument(idOf(*model, "메모"), "<p>회의록 사본</p>");
    ModelKit::syncAndWait(*model);
    QTRY_COMPARE(model->search().results().size(), size_t(2));

    model->reader().selectSearchResult(model->search().results()[0].fileId);
    QTRY_VERIFY(model->reader().page().has_value());
    model->search().setSearchText("  \n");
    QVERIFY(model->search().results().empty()); // at once, without waiting
    QVERIFY(!model->reader().searchSelection());
    QVERIFY(model->search().searchedQuery().isEmpty());
}

void AppModelTest::selectionOpensDocuments() {
    ModelKit kit;
    auto model = kit.linkedModel();
    const int64_t memo = idOf(*model, "메모");
    for (const char *id : {"f", "fx12", "d1", "r"}) {
        model->reader().select(QString::fromLatin1(id));
        ModelKit::settle(*model);
        QVERIFY2(!model->reader().currentFileID(), id);
    }
    model->reader().select(QString("f%1").arg(memo));
    QTRY_COMPARE(model->reader().currentFileID().value_or(-1), memo);
    QVERIFY(model->reader().page()->key.starts_with(std::to_string(memo) + "|"));
    ModelKit::settle(*model);
    QCOMPARE(model->library().recent().size(), size_t(1));

    // From the recent list the row stays the recent one; from search the tree row is selected.
    const int64_t report = idOf(*model, "보고서");
    model->reader().open(report);
    QTRY_COMPARE(model->reader().currentFileID().value_or(-1), report);
    ModelKit::settle(*model);
    model->reader().select(QString("r%1").arg(memo));
    QTRY_COMPARE(model->reader().currentFileID().value_or(-1), memo);
    QCOMPARE(model->reader().sidebarSelection().value_or(QString()), QString("r%1").arg(memo));
    model->reader().selectSearchResult(report);
    QTRY_COMPARE(model->reader().currentFileID().value_or(-1), report);
    QCOMPARE(model->reader().sidebarSelection().value_or(QString()), QString("f%1").arg(report));
    QVERIFY(model->reader().canEditOnWeb());
    model->reader().editInWeb();
    QCOMPARE(kit.opened.last(), QUrl(QString::fromStdString(kit.baseURL) + QString("/editor/%1").arg(report)));
}

void AppModelTest::syncKeepsTheOpenPageUnlessItChanged() {
    ModelKit kit;
    auto model = kit.linkedModel();
    const int64_t minutes = idOf(*model, "회의록");
    model->reader().open(minutes);
    QTRY_VERIFY(model->reader().page().has_value());
    const std::string key = model->reader().page()->key;
    QVERIFY(key.find("|1|") != std::string::npos); // the stored shell's version
    QSignalSpy pages(&model->reader(), &Reader::pageChanged);

    kit.control().editDocument(idOf(*model, "메모"), "<p>다른 문서만 바뀜</p>");
    ModelKit::syncAndWait(*model);
    QCOMPARE(model->reader().page()->key, key);
    QCOMPARE(pages.count(), 0);

    kit.control().bumpShell();
    ModelKit::syncAndWait(*model);
    QTRY_VERIFY(model->reader().page()->key != key);
    QVERIFY(model->reader().page()->key.find("|2|") != std::string::npos);

    kit.control().deleteDocument(minutes);
    ModelKit::syncAndWait(*model);
    QTRY_VERIFY(!model->reader().page());
    QVERIFY(!model->reader().currentFileID());
}

void AppModelTest::historyGoesBackForwardAndForgetsDeletedDocuments() {
    ModelKit kit;
    auto model = kit.linkedModel();
    Reader &reader = model->reader();
    const int64_t memo = idOf(*model, "메모"), report = idOf(*model, "보고서"), minutes = idOf(*model, "회의록");
    const auto at = [&](int64_t id) { return reader.currentFileID() == id && reader.page(); };
    for (int64_t id : {memo, report, minutes, report}) {
        reader.open(id);
        QTRY_VERIFY(at(id));
    }
    reader.noteScroll(420);
    reader.back();
    QTRY_VERIFY(at(minutes));
    QCOMPARE(reader.arrival()->scrollY.value_or(-1), 0.0);
    QVERIFY(reader.canGoBack() && reader.canGoForward());
    reader.forward();
    QTRY_VERIFY(at(report));
    QCOMPARE(reader.arrival()->scrollY.value_or(-1), 420.0);
    QCOMPARE(reader.arrival()->key, reader.page()->key);
    QVERIFY(!reader.canGoForward());

    // A deleted document leaves the way back, and the places it stood between merge.
    kit.control().deleteDocument(minutes);
    ModelKit::syncAndWait(*model);
    QTRY_COMPARE(reader.history().places().size(), size_t(2));
    QCOMPARE(reader.history().places()[1], (ReadingHistory::Place{report, 420}));
    reader.back();
    QTRY_VERIFY(at(memo));
    QVERIFY(!reader.canGoBack());

    // The document read itself deleted: back leads to the one before it, forward to the one after.
    ReadingHistory history;
    for (int64_t id : {1, 2, 3, 2, 4})
        history.visit(id);
    history.back();
    history.back(); // at 3
    history.retain([](int64_t id) { return id != 3; });
    QVERIFY(!history.current());
    QCOMPARE(history.places().size(), size_t(3)); // 1, 2 (merged), 4
    QCOMPARE(history.forward().value_or(ReadingHistory::Place{}).fileID, 4);
    history.retain([](int64_t id) { return id != 4; });
    QCOMPARE(history.back().value_or(ReadingHistory::Place{}).fileID, 2);
    history.visit(5); // from the middle: what was ahead goes
    QCOMPARE(history.places().size(), size_t(3));
    QVERIFY(history.canGoBack() && !history.canGoForward());

    // Links: a stored document opens at the place it names (the window test covers the rest).
    QVERIFY(reader.followLink(report, QStringLiteral("%EC%A0%9C")));
    QTRY_VERIFY(at(report));
    QCOMPARE(reader.arrival()->fragment, QStringLiteral("%EC%A0%9C"));
}

void AppModelTest::signInFailuresAndCancels() {
    ModelKit kit;
    auto model = kit.makeModel();
    QVERIFY(!model->account().canLogOut()); // nothing to log out of on the welcome screen

    kit.autoApprove = false;
    model->account().beginLogin();
    QCOMPARE(model->stage().phase(), AppPhase::linking());
    model->account().cancelLogin();
    QCOMPARE(model->stage().phase(), AppPhase::start());
    QVERIFY(!model->stage().startError());

    kit.browserWorks = false;
    model->account().beginLogin();
    QCOMPARE(model->stage().startError().value_or(QString()), "로그인 창을 열 수 없어요. 잠시 후 다시 시도해 주세요.");
    QCOMPARE(model->stage().phase(), AppPhase::start());

    kit.browserWorks = true;
    kit.autoApprove = true;
    kit.control().addFault(service::FaultRule::answer("token", 429, "rate_limited"));
    model->account().beginLogin();
    QTRY_COMPARE(model->stage().startError().value_or(QString()), "시도가 너무 많아요. 잠시 후 다시 시도해 주세요.");
    QCOMPARE(model->stage().phase(), AppPhase::start());
}

void AppModelTest::reloginKeepsOrReplacesTheLibrary() {
    ModelKit kit;
    auto model = kit.linkedModel();
    model->reader().open(idOf(*model, "메모"));
    QTRY_VERIFY(model->reader().page().has_value());

    // The same account again: the library stays and an ordinary sync runs.
    kit.control().addFault(service::FaultRule::answer("manifest", 401, "password_changed"));
    ModelKit::syncAndWait(*model);
    QTRY_VERIFY(model->sync().needsRelogin());
    const auto syncsBefore = kit.control().requestCount("manifest");
    model->sync().syncNow(); // signs in instead of syncing
    QVERIFY(model->account().isRelinking());
    QTRY_VERIFY_WITH_TIMEOUT(kit.control().requestCount("manifest") > syncsBefore && !model->sync().isSyncing() &&
                                 !model->sync().needsRelogin(),
                             20000);
    QCOMPARE(model->stage().phase(), AppPhase::main());
    ModelKit::settle(*model);
    QCOMPARE(model->library().recent().size(), size_t(1));

    // Another account: the old library goes before the new one downloads.
    kit.control().setUser({8, "other@quorvel.test", std::nullopt});
    kit.control().addFault(service::FaultRule::answer("manifest", 401, "password_changed"));
    ModelKit::syncAndWait(*model);
    QTRY_VERIFY(model->sync().needsRelogin());
    QList<AppPhase> phases;
    connect(&model->stage(), &Stage::phaseChanged, this, [&] { phases << model->stage().phase(); });
    model->account().beginLogin();
    // Through the first download, back to the library.
    QTRY_VERIFY_WITH_TIMEOUT(phases.contains(AppPhase::initialSync()) &&
                                 model->stage().phase().is(AppPhase::Kind::main) && !model->sync().isSyncing(),
                             20000);
    ModelKit::settle(*model);
    QCOMPARE(model->account().email().value_or(QString()), "other@quorvel.test");
    QVERIFY(model->library().recent().empty());
    QCOMPARE(model->library().fileCount(), 3);
}

void AppModelTest::logoutOfflineOwesARevocation() {
    ModelKit kit;
    const auto authDir = kit.environment().storeDirectory / "auth";
    {
        auto model = kit.linkedModel();
        model->connectivity().setOnline(false);
        QVERIFY(model->account().canLogOut());
        model->account().logout();
        QTRY_COMPARE(model->stage().phase(), AppPhase::start());
        QCOMPARE(model->library().fileCount(), 0);
        QVERIFY(!model->account().email());
        QCOMPARE(PendingRevokeStore(authDir).load()->baseURL, kit.baseURL);
        QVERIFY(FileTokenStore(authDir).deviceUUID().has_value()); // the installation stays known
    }
    auto model = kit.makeModel();
    model->start();
    QTRY_VERIFY(!PendingRevokeStore(authDir).load());
    QTRY_COMPARE(kit.control().requestCount("logout"), 1);
}

void AppModelTest::channelTakesWholeMessagesOfOurScheme() {
    bool bad = false;
    std::string buffer = InstanceMessage::encode("quorvel://link?a=1").substr(0, 9);
    QVERIFY(!InstanceMessage::decode(buffer, bad) && !bad && buffer.size() == 9); // not all there yet
    std::string tooLong("\x00\x00\x20\x01", 4);
    QVERIFY(!InstanceMessage::decode(tooLong, bad) && bad);
    std::string notText = InstanceMessage::encode("\xff\xfe");
    QVERIFY(!InstanceMessage::decode(notText, bad) && bad);
    for (const char *url : {"quorvel://link?state=s&code=c", "QUORVEL://LINK?state=s"})
        QVERIFY2(SingleInstance::acceptable(QString::fromLatin1(url)), url);
    for (const char *url : {"https://example.com/", "javascript:alert(1)", "file:///etc/passwd", "quorvel"})
        QVERIFY2(!SingleInstance::acceptable(QString::fromLatin1(url)), url);

    // A socket left by a crashed instance is taken over; a live one is not.
    QTemporaryDir dir;
    const QString name = dir.filePath("instance");
    {
        QFile stale(name);
        QVERIFY(stale.open(QIODevice::WriteOnly));
    }
    SingleInstance first(name);
    QVERIFY(first.listen());
    SingleInstance second(name);
    QVERIFY(!second.listen());
    QSignalSpy urls(&first, &SingleInstance::urlReceived);
    QSignalSpy raise(&first, &SingleInstance::activationRequested);
    auto forward = [&](const QString &url) {
        bool delivered = false;
        auto task = QtConcurrent::run([&] { delivered = SingleInstance::forward(name, url); });
        return QTest::qWaitFor([&] { return task.isFinished(); }, 5000) && delivered;
    };
    QVERIFY(forward("https://not.ours/"));
    QVERIFY(forward(QString()));
    QVERIFY(forward("quorvel://link?state=s&code=c"));
    QTRY_COMPARE(urls.count(), 1);
    QCOMPARE(urls[0][0].toString(), "quorvel://link?state=s&code=c");
    QCOMPARE(raise.count(), 1);
}

void AppModelTest::followsWhatAnotherProcessDoes() {
    ModelKit kit;
    auto model = kit.linkedModel();
    const std::filesystem::path authDir = kit.environment().storeDirectory / "auth";
    QSignalSpy reloads(&model->library(), &Library::reloaded);

    // The app's own sync is read once, not again when the watch sees its writes.
    kit.control().addDocument("첫 문서", std::nullopt, "<p>하나</p>");
    ModelKit::syncAndWait(*model);
    QTest::qWait(LibraryWatch::pauseMs * 3);
    ModelKit::settle(*model);
    QCOMPARE(reloads.count(), 1);

    model->search().setSearchText("새 문서");
    QTRY_COMPARE(model->search().searchedQuery(), "새 문서");
    QVERIFY(model->search().results().empty());
    const int64_t memo = idOf(*model, "메모");
    model->reader().open(memo);
    QTRY_COMPARE(model->reader().currentFileID().value_or(-1), memo);

    struct Step {
        const char *name;
        std::function<void()> change; // on the service, before the command
        QStringList command;
        std::function<bool()> shown;
        int exitCode = 0;
    };
    const std::function<std::string(const std::string &, const std::string &)> answer =
        [&](const std::string &challenge, const std::string &state) {
            return "quorvel://link?state=" + state + "&code=" + kit.control().approveLink(challenge, "cli");
        };
    const std::optional<double> ownSync = model->library().lastSyncAt();
    std::filesystem::path chart;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(kit.environment().storeDirectory / "assets"))
        if (entry.is_regular_file()) chart = entry.path();
    const std::vector<Step> steps{
        {"nothing new",
         {},
         {QStringLiteral("sync")},
         [&] { return model->library().lastSyncAt() > ownSync && reloads.count() == 1; }},
        {"altered image",
         [&] { std::ofstream(chart, std::ios::trunc) << "altered"; },
         {QStringLiteral("check")},
         [&] {
             // The check marks the image for the next sync, which the app starts and which heals it.
             std::ifstream in(chart, std::ios::binary);
             return !model->sync().isSyncing() &&
                    std::string(std::istreambuf_iterator<char>(in), {}).starts_with("\x89PNG");
         },
         4},
        {"new document",
         [&] { kit.control().addDocument("새 문서", std::nullopt, "<p>새 문서입니다</p>"); },
         {"sync"},
         [&] {
             return idOf(*model, "새 문서") != -1 && model->library().fileCount() == 5 &&
                    !model->search().results().empty();
         }},
        {"deleted document",
         [&] { kit.control().deleteDocument(memo); },
         {"sync"},
         [&] { return idOf(*model, "메모") == -1 && !model->reader().currentFileID() && !model->reader().page(); }},
        {"wipe",
         {},
         {"wipe"},
         [&] {
             return model->library().fileCount() == 0 && model->library().tree().empty() &&
                    model->library().recent().empty() && model->search().results().empty() &&
                    model->stage().is(AppPhase::Kind::main);
         }},
        {"logout", {}, {"logout"}, [&] { return model->stage().is(AppPhase::Kind::start); }},
        {"link",
         {},
         {"link"},
         [&] {
             return model->stage().is(AppPhase::Kind::main) && !model->sync().isSyncing() &&
                    model->library().fileCount() == 4;
         }},
    };
    for (const Step &step : steps) {
        if (step.change) step.change();
        QCOMPARE(runCli(kit, step.command, step.command[0] == QLatin1String("link") ? answer : decltype(answer)()),
                 step.exitCode);
        QTRY_VERIFY2_WITH_TIMEOUT(step.shown(), step.name, 2000);
    }

    // Credentials of another service are dropped with the library, as at start-up.
    ModelKit::settle(*model);
    FileTokenStore(authDir).setBoundBaseURL("https://elsewhere.example");
    QTRY_VERIFY_WITH_TIMEOUT(model->stage().is(AppPhase::Kind::start) && !FileTokenStore(authDir).refreshToken(), 2000);
    QCOMPARE(model->library().fileCount(), 0);
}

void AppModelTest::documentLinksOpenWaitOrSayWhy() {
    std::map<std::string, int64_t> ids;
    const service::Library library = ModelKit::smallLibrary();
    for (const auto &[id, document] : library.documents())
        ids[document.filename] = id;
    auto link = [](int64_t id) { return QString::fromStdString(DocumentLink::make(id)); };
    ModelKit kit;
    auto model = kit.makeModel();
    QSignalSpy refused(&model->documentLinks(), &DocumentLinks::refused);
    QSignalSpy arrived(&model->documentLinks(), &DocumentLinks::arrived);
    auto lastRefusal = [&] { return refused.isEmpty() ? QString() : refused.last()[0].toString(); };

    model->handleURL(link(ids["메모"]));
    QCOMPARE(lastRefusal(), DocumentLinks::noLibraryMessage()); // nothing stored, nothing coming

    // The browser answers the sign-in after these links: they leave it alone, and the newest waits
    // for the library.
    model->account().beginLogin();
    model->handleURL(link(ids["회의록"]));
    model->handleURL("QUORVEL://OPEN?id=07");
    QCOMPARE(lastRefusal(), DocumentLinks::unreadableMessage());
    model->handleURL(link(ids["메모"]));
    QCOMPARE(model->stage().phase(), AppPhase::linking());
    QTRY_VERIFY_WITH_TIMEOUT(model->stage().is(AppPhase::Kind::main) && !model->sync().isSyncing(), 20000);
    QTRY_COMPARE(model->reader().currentFileID().value_or(-1), ids["메모"]);
    QVERIFY(!model->stage().startError());
    QVERIFY(!model->documentLinks().waiting());

    // In the library a link opens at once; an id it does not hold is said.
    model->handleURL(link(ids["보고서"]));
    QTRY_COMPARE(model->reader().currentFileID().value_or(-1), ids["보고서"]);
    model->handleURL(link(9999));
    QTRY_COMPARE(lastRefusal(), DocumentLinks::notFoundMessage());
    QCOMPARE(model->reader().currentFileID().value_or(-1), ids["보고서"]);
    QCOMPARE(refused.count(), 3);
    QCOMPARE(arrived.count(), 6);
}

QTEST_GUILESS_MAIN(AppModelTest)
#include "AppModelTest.moc"
