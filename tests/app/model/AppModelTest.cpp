#include "ModelKit.hpp"
#include "app/EndsWithTest.hpp"

#include "model/DocumentLinks.hpp"
#include "model/InstanceMessage.hpp"
#include "model/LibraryWatch.hpp"
#include "model/LinkCoordinator.hpp"
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

#include <httplib.h>

#include <fstream>

using namespace quorvel;
using namespace quorvel::app;
using namespace quorvel::app::test;

namespace {

int64_t idOf(AppModel &model, const std::string &title) {
    for (const auto &row : model.library().recent())
        if (row.filename == title) return row.id;
    for (const auto &top : model.library().tree()) {
        std::vector<const TreeNode *> pending{&top};
        while (!pending.empty()) {
            const TreeNode *node = pending.back();
            pending.pop_back();
            if (node->file() && node->file()->filename == title) return node->file()->id;
            if (node->children)
                for (const auto &child : *node->children)
                    pending.push_back(&child);
        }
    }
    qFatal("no document %s", title.c_str());
}

bool shows(AppModel &model, const std::string &title) {
    std::vector<const TreeNode *> pending;
    for (const auto &top : model.library().tree())
        pending.push_back(&top);
    while (!pending.empty()) {
        const TreeNode *node = pending.back();
        pending.pop_back();
        if (node->file() && node->file()->filename == title) return true;
        if (node->children)
            for (const auto &child : *node->children)
                pending.push_back(&child);
    }
    return false;
}

// Runs quorvel-cli on the kit's library beside the model; `answer` turns the printed link address
// (challenge, state) into what is pasted back.
int runCli(ModelKit &kit, QStringList args,
           const std::function<std::string(const std::string &, const std::string &)> &answer = {}) {
    QProcess cli;
    quorvel::test::endsWithTest(cli);
    cli.setProcessChannelMode(QProcess::MergedChannels);
    args.prepend(QString::fromStdString(kit.baseURL));
    args.prepend(QStringLiteral("--base-url"));
    args.prepend(kit.dir.filePath(QStringLiteral("store")));
    args.prepend(QStringLiteral("--store"));
    cli.start(QStringLiteral(QUORVEL_CLI_PATH), args);
    QString printed;
    if (answer) {
        const QRegularExpression link(QStringLiteral("challenge=([^&\\s]+)&state=([^&\\s]+)"));
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
    void preferencesAreValidated_data();
    void preferencesAreValidated();
    void firstPhaseFollowsWhatIsStored();
    void linkDownloadsTheLibrary();
    void automaticSyncsRespectTheirGuards();
    void outcomesBecomeStatus_data();
    void outcomesBecomeStatus();
    void firstDownloadRefusedEndsOnTheRightScreen();
    void checkFetchesALostImageAgain();
    void outcomeOfARunFromBeforeALogoutIsDropped();
    void searchWaitsForTheLastKeystroke();
    void selectionOpensDocuments();
    void syncKeepsTheOpenPageUnlessItChanged();
    void signInFailuresAndCancels();
    void reloginKeepsOrReplacesTheLibrary();
    void logoutOfflineOwesARevocation();
    void channelTakesWholeMessagesOfOurScheme();
    void linkThroughTheLinkPageAndASecondProcess();
    void followsWhatAnotherProcessDoes();
    void documentLinksOpenWaitOrSayWhy();
};

void AppModelTest::preferencesAreValidated_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("expected");
    QTest::newRow("interval 45") << "SyncIntervalMinutes"
                                 << "45"
                                 << "15";
    QTest::newRow("interval text") << "SyncIntervalMinutes"
                                   << "often"
                                   << "15";
    QTest::newRow("interval 0") << "SyncIntervalMinutes"
                                << "0"
                                << "0";
    QTest::newRow("interval 60") << "SyncIntervalMinutes"
                                 << "60"
                                 << "60";
    QTest::newRow("zoom 0.4") << "DocumentZoom"
                              << "0.4"
                              << "1";
    QTest::newRow("zoom 3.5") << "DocumentZoom"
                              << "3.5"
                              << "1";
    QTest::newRow("zoom 0.5") << "DocumentZoom"
                              << "0.5"
                              << "0.5";
    QTest::newRow("zoom 3.0") << "DocumentZoom"
                              << "3.0"
                              << "3";
    QTest::newRow("sort updated") << "TreeSort"
                                  << "updated"
                                  << "updated";
    QTest::newRow("sort Name") << "TreeSort"
                               << "Name"
                               << "updated";
    QTest::newRow("sort name") << "TreeSort"
                               << "name"
                               << "name";
}

void AppModelTest::preferencesAreValidated() {
    QFETCH(QString, key);
    QFETCH(QString, stored);
    QFETCH(QString, expected);
    ModelKit kit;
    kit.settings.setValue(key, stored);
    kit.settings.setValue(QStringLiteral("BaseURL"), QStringLiteral("https://elsewhere.example"));
    auto model = kit.makeModel();
    const QString actual =
        key == QLatin1String("SyncIntervalMinutes") ? QString::number(model->sync().syncIntervalMinutes())
        : key == QLatin1String("DocumentZoom")
            ? QString::number(model->reader().zoom())
            : (model->library().treeSort() == TreeSort::name ? QStringLiteral("name") : QStringLiteral("updated"));
    QCOMPARE(actual, expected);
    QVERIFY(!kit.settings.contains(QStringLiteral("BaseURL")));
    // An invalid value stays stored until the user changes the setting.
    QCOMPARE(kit.settings.value(key).toString(), stored);
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
    QCOMPARE(kit.opened[0].path(), QStringLiteral("/app/link"));
    QCOMPARE(model->library().fileCount(), 3);
    QCOMPARE(model->account().email().value_or(QString()), QStringLiteral("reader@quorvel.test"));
    QVERIFY(model->library().lastSyncAt().has_value());
    QCOMPARE(model->sync().badge().kind, SyncBadge::Kind::upToDate);
    QCOMPARE(seen.first(), AppPhase::linking());
    QCOMPARE(seen[1], AppPhase::initialSync());
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
             QStringLiteral("서버에 연결하지 못했어요. 잠시 후 다시 시도할게요."));
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
             QStringLiteral("이미지 1개가 손상되었거나 없어요. 다음 동기화에서 문서 1개의 이미지를 다시 받아요."));
    QTRY_VERIFY_WITH_TIMEOUT(kit.control().requestCount("manifest") > manifests && !model->sync().isSyncing(), 20000);
    QVERIFY(std::filesystem::exists(images[0]));
}

void AppModelTest::outcomesBecomeStatus_data() {
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<bool>("drop");
    QTest::addColumn<int>("badge");
    QTest::addColumn<QString>("message");
    using K = SyncBadge::Kind;
    const QString unreachable = QStringLiteral("서버에 연결하지 못했어요. 잠시 후 다시 시도할게요.");
    QTest::newRow("server error") << 500 << "" << false << int(K::failed) << unreachable;
    QTest::newRow("connection cut") << 0 << "" << true << int(K::failed) << unreachable;
    QTest::newRow("refused request") << 418 << "teapot" << false << int(K::failed)
                                     << QStringLiteral("동기화에 실패했어요.");
    QTest::newRow("too old") << 426 << "upgrade_required" << false << int(K::upgradeRequired) << "";
    QTest::newRow("password changed") << 401 << "password_changed" << false << int(K::loginRequired) << "";
}

void AppModelTest::outcomesBecomeStatus() {
    QFETCH(int, status);
    QFETCH(QString, reason);
    QFETCH(bool, drop);
    QFETCH(int, badge);
    QFETCH(QString, message);
    ModelKit kit;
    auto model = kit.linkedModel();
    auto rule = service::FaultRule::answer("manifest", status, reason.toStdString());
    rule.drop = drop;
    if (drop) rule.remaining = -1; // the transport may try a cut connection again
    rule.message = "서버가 보낸 메시지";
    if (status == 426) rule.minVersion = "9.9.9";
    kit.control().addFault(rule);
    ModelKit::syncAndWait(*model);
    QTRY_COMPARE(int(model->sync().badge().kind), badge);
    QCOMPARE(model->sync().lastFailureMessage().value_or(QString()), message);
    if (status == 426) QCOMPARE(model->sync().badge(), SyncBadge::upgradeRequired(QStringLiteral("9.9.9")));
    QCOMPARE(model->library().fileCount(), 3); // nothing of the library is lost
    QCOMPARE(model->stage().phase(), AppPhase::main());
}

void AppModelTest::firstDownloadRefusedEndsOnTheRightScreen() {
    {
        // Sign-in refused before anything was stored: back to the welcome screen with a message.
        ModelKit kit;
        kit.control().addFault(service::FaultRule::answer("manifest", 401, "password_changed"));
        auto model = kit.makeModel();
        model->account().beginLogin();
        QTRY_VERIFY_WITH_TIMEOUT(model->stage().phase() == AppPhase::start() && !model->sync().isSyncing(), 20000);
        QCOMPARE(model->stage().startError().value_or(QString()), QStringLiteral("다시 로그인해 주세요."));
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
    model->search().setSearchText(QStringLiteral("회"));
    model->search().setSearchText(QStringLiteral("회의"));
    model->search().setSearchText(QStringLiteral("회의록 "));
    QTRY_COMPARE(model->search().searchedQuery(), QStringLiteral("회의록"));
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
    model->search().setSearchText(QStringLiteral("  \n"));
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
    model->reader().select(QStringLiteral("f%1").arg(memo));
    QTRY_COMPARE(model->reader().currentFileID().value_or(-1), memo);
    QVERIFY(model->reader().page()->key.starts_with(std::to_string(memo) + "|"));
    QVERIFY(model->reader().page()->html.find("Content-Security-Policy") != std::string::npos);
    ModelKit::settle(*model);
    QCOMPARE(model->library().recent().size(), size_t(1));

    // From the recent list the row stays the recent one; from search the tree row is selected.
    const int64_t report = idOf(*model, "보고서");
    model->reader().open(report);
    QTRY_COMPARE(model->reader().currentFileID().value_or(-1), report);
    ModelKit::settle(*model);
    model->reader().select(QStringLiteral("r%1").arg(memo));
    QTRY_COMPARE(model->reader().currentFileID().value_or(-1), memo);
    QCOMPARE(model->reader().sidebarSelection().value_or(QString()), QStringLiteral("r%1").arg(memo));
    model->reader().selectSearchResult(report);
    QTRY_COMPARE(model->reader().currentFileID().value_or(-1), report);
    QCOMPARE(model->reader().sidebarSelection().value_or(QString()), QStringLiteral("f%1").arg(report));
    QVERIFY(model->reader().canEditOnWeb());
    model->reader().editInWeb();
    QCOMPARE(kit.opened.last(), QUrl(QString::fromStdString(kit.baseURL) + QStringLiteral("/editor/%1").arg(report)));
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
    QCOMPARE(model->stage().startError().value_or(QString()),
             QStringLiteral("로그인 창을 열 수 없어요. 잠시 후 다시 시도해 주세요."));
    QCOMPARE(model->stage().phase(), AppPhase::start());

    kit.browserWorks = true;
    kit.autoApprove = true;
    kit.control().addFault(service::FaultRule::answer("token", 429, "rate_limited"));
    model->account().beginLogin();
    QTRY_COMPARE(model->stage().startError().value_or(QString()),
                 QStringLiteral("시도가 너무 많아요. 잠시 후 다시 시도해 주세요."));
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
    QCOMPARE(model->account().email().value_or(QString()), QStringLiteral("other@quorvel.test"));
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
    const QString name = dir.filePath(QStringLiteral("instance"));
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
    QVERIFY(forward(QStringLiteral("https://not.ours/")));
    QVERIFY(forward(QString()));
    QVERIFY(forward(QStringLiteral("quorvel://link?state=s&code=c")));
    QTRY_COMPARE(urls.count(), 1);
    QCOMPARE(urls[0][0].toString(), QStringLiteral("quorvel://link?state=s&code=c"));
    QCOMPARE(raise.count(), 1);
}

void AppModelTest::linkThroughTheLinkPageAndASecondProcess() {
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    SingleInstance instance;
    QVERIFY(instance.listen());
    ModelKit kit;
    kit.autoApprove = false;
    auto model = kit.makeModel();
    connect(&instance, &SingleInstance::urlReceived, &model->account(), &Account::handleCallbackURL);
    model->account().beginLogin();
    QCOMPARE(kit.opened.size(), 1);

    // The browser: the link page, its approve button, and the redirect to quorvel://link?…
    httplib::Client web(kit.baseURL);
    const QUrl page = kit.opened[0];
    auto form = web.Get((page.path() + QLatin1Char('?') + page.query(QUrl::FullyEncoded)).toStdString());
    QVERIFY(form && form->status == 200);
    const auto request = QRegularExpression(QStringLiteral("name=\"request\" value=\"([^\"]+)\""))
                             .match(QString::fromStdString(form->body));
    QVERIFY(request.hasMatch());
    const httplib::Params approve{{"request", request.captured(1).toStdString()}, {"decision", "approve"}};
    auto decision = web.Post("/app/link/decision", approve);
    QVERIFY(decision && decision->status == 302);
    const QString callback = QString::fromStdString(decision->get_header_value("Location"));
    QVERIFY(callback.startsWith(QStringLiteral("quorvel://link?")));

    // The desktop starts the program with the callback; it finds this one running and hands it over.
    QProcess second;
    quorvel::test::endsWithTest(second);
    second.start(QStringLiteral(QUORVEL_APP_PATH), {QStringLiteral("--"), callback});
    // (Waiting without the event loop would keep this process from taking the URL.)
    QTRY_VERIFY_WITH_TIMEOUT(second.state() == QProcess::NotRunning, 20000);
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(model->stage().phase().is(AppPhase::Kind::main) && !model->sync().isSyncing(), 20000);
    ModelKit::settle(*model);
    QCOMPARE(model->library().fileCount(), 3);
    qunsetenv("XDG_RUNTIME_DIR");
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

    model->search().setSearchText(QStringLiteral("새 문서"));
    QTRY_COMPARE(model->search().searchedQuery(), QStringLiteral("새 문서"));
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
         {QStringLiteral("sync")},
         [&] {
             return shows(*model, "새 문서") && model->library().fileCount() == 5 && !model->search().results().empty();
         }},
        {"deleted document",
         [&] { kit.control().deleteDocument(memo); },
         {QStringLiteral("sync")},
         [&] { return !shows(*model, "메모") && !model->reader().currentFileID() && !model->reader().page(); }},
        {"wipe",
         {},
         {QStringLiteral("wipe")},
         [&] {
             return model->library().fileCount() == 0 && model->library().tree().empty() &&
                    model->library().recent().empty() && model->search().results().empty() &&
                    model->stage().is(AppPhase::Kind::main);
         }},
        {"logout", {}, {QStringLiteral("logout")}, [&] { return model->stage().is(AppPhase::Kind::start); }},
        {"link",
         {},
         {QStringLiteral("link")},
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
    model->handleURL(QStringLiteral("QUORVEL://OPEN?id=07"));
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
