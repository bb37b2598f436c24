#include "model/UpdateChecker.hpp"

#include <QPromise>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <deque>

using namespace quorvel;
using namespace quorvel::app;
using Action = UpdateAlert::Action;

namespace {

// Answers from a queue; without an answer the alert stays on screen until answerNow().
class FakePrompter : public UpdatePrompter {
public:
    bool presentable = true;
    std::deque<Action> answers;
    QList<UpdateAlert> shown;
    std::function<void(Action)> onScreen;

    bool canPresent() const override { return presentable; }
    void present(const UpdateAlert &alert, std::function<void(Action)> answered) override {
        shown.append(alert);
        if (answers.empty()) {
            onScreen = std::move(answered);
            return;
        }
        Action answer = answers.front();
        answers.pop_front();
        answered(answer);
    }
    void answerNow(Action action) { std::exchange(onScreen, {})(action); }
};

AppRelease release(std::string latest, std::optional<std::string> minimum = std::nullopt) {
    AppRelease r;
    r.latestVersion = std::move(latest);
    r.minVersion = std::move(minimum);
    r.releaseNotes = "고친 점";
    r.downloadPage = "https://example.com/download";
    return r;
}

const QString failedText = QStringLiteral("업데이트를 확인하지 못했어요. 인터넷 연결을 확인해 주세요.");

struct Harness {
    QTemporaryDir dir;
    QSettings settings{dir.filePath(QStringLiteral("prefs.ini")), QSettings::IniFormat};
    double now = 1'700'000'000;
    int fetches = 0;
    std::optional<AppRelease> answer = release("1.2.3");        // nullopt: the fetch fails
    std::optional<QPromise<std::optional<AppRelease>>> pending; // set: the next fetch waits for it
    FakePrompter prompter;
    QList<QUrl> opened;
    std::unique_ptr<UpdateChecker> checker;

    Harness() {
        checker = std::make_unique<UpdateChecker>(
            QStringLiteral("1.2.3"), &settings,
            [this] {
                ++fetches;
                if (pending) return pending->future();
                return QtFuture::makeReadyFuture(answer);
            },
            nullptr, [this] { return now; });
        checker->setPrompter(&prompter);
        checker->setUrlOpener([this](const QUrl &url) { return opened.append(url), true; });
    }
    // Runs one check and lets its result arrive.
    void run(const std::function<void()> &check) {
        check();
        QTRY_VERIFY(!checker->isChecking());
    }
};

} // namespace

class UpdateCheckerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void automaticCheckIsDue_data() {
        QTest::addColumn<QVariant>("lastCheckOffset"); // seconds before now; invalid: never checked
        QTest::addColumn<bool>("autoCheck");
        QTest::addColumn<bool>("online");
        QTest::addColumn<int>("fetches");
        QTest::newRow("never checked") << QVariant() << true << true << 1;
        QTest::newRow("an hour ago") << QVariant(3600.0) << true << true << 0;
        QTest::newRow("a day ago") << QVariant(86400.0) << true << true << 1;
        QTest::newRow("last check in the future") << QVariant(-3600.0) << true << true << 1;
        QTest::newRow("automatic checks off") << QVariant() << false << true << 0;
        QTest::newRow("offline") << QVariant() << true << false << 0;
    }

    void automaticCheckIsDue() {
        QFETCH(QVariant, lastCheckOffset);
        QFETCH(bool, autoCheck);
        QFETCH(bool, online);
        QFETCH(int, fetches);
        Harness h;
        if (lastCheckOffset.isValid()) h.settings.setValue("LastUpdateCheckAt", h.now - lastCheckOffset.toDouble());
        h.checker->setAutoCheck(autoCheck);
        h.checker->setOnlineTest([online] { return online; });
        h.run([&] { h.checker->noteTrigger(); });
        QCOMPARE(h.fetches, fetches);
        if (fetches) QCOMPARE(h.settings.value("LastUpdateCheckAt").toDouble(), h.now);
        QCOMPARE(h.settings.value("AutoUpdateCheck").toBool(), autoCheck);
    }

    void automaticAttemptsAreTenMinutesApart() {
        Harness h;
        h.answer.reset(); // failing checks leave no LastUpdateCheckAt behind
        h.run([&] { h.checker->noteTrigger(); });
        h.now += 599;
        h.run([&] { h.checker->noteTrigger(); });
        QCOMPARE(h.fetches, 1);
        h.now += 1;
        h.run([&] { h.checker->noteTrigger(); });
        QCOMPARE(h.fetches, 2);
        h.now -= 3600; // the clock went back: the last attempt is in the future
        h.run([&] { h.checker->noteTrigger(); });
        QCOMPARE(h.fetches, 3);
        QVERIFY(h.prompter.shown.isEmpty()); // automatic failures stay silent
    }

    void failedCheckPerMode_data() {
        QTest::addColumn<int>("mode"); // 0 automatic, 1 settings, 2 menu
        QTest::addColumn<bool>("invalidRelease");
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("alerts");
        const int upToDate = int(UpdateStatus::Kind::upToDate), failed = int(UpdateStatus::Kind::failed);
        QTest::newRow("automatic") << 0 << false << upToDate << QStringList();
        QTest::newRow("settings") << 1 << false << failed << QStringList();
        QTest::newRow("menu") << 2 << false << failed << QStringList{failedText};
        QTest::newRow("automatic, invalid") << 0 << true << upToDate << QStringList();
        QTest::newRow("settings, invalid") << 1 << true << failed << QStringList();
        QTest::newRow("menu, invalid") << 2 << true << failed << QStringList{failedText};
    }

    void failedCheckPerMode() {
        QFETCH(int, mode);
        QFETCH(bool, invalidRelease);
        QFETCH(int, status);
        QFETCH(QStringList, alerts);
        Harness h;
        h.run([&] { h.checker->checkFromSettings(); });
        QCOMPARE(h.checker->status(), UpdateStatus::upToDate("1.2.3"));
        h.now += 2 * 86400;
        h.answer = invalidRelease ? std::optional(release("1.3")) : std::nullopt;
        QSignalSpy statuses(h.checker.get(), &UpdateChecker::statusChanged);
        h.run([&] {
            if (mode == 0) h.checker->noteTrigger();
            if (mode == 1) h.checker->checkFromSettings();
            if (mode == 2) h.checker->checkFromMenu();
        });
        QCOMPARE(h.fetches, 2);
        QCOMPARE(statuses.size(), 2); // checking, then the outcome
        QCOMPARE(int(h.checker->status().kind), status);
        QStringList titles;
        for (const auto &alert : h.prompter.shown) {
            titles << alert.title;
            QCOMPARE(alert.buttons, (QList<UpdateAlert::Button>{{Action::ok, QStringLiteral("확인")}}));
        }
        QCOMPARE(titles, alerts);
    }

    void upToDateFromMenuSaysSo() {
        Harness h;
        h.answer = release("1.2.3", "1.0.0");
        h.run([&] { h.checker->checkFromMenu(); });
        QCOMPARE(h.prompter.shown.size(), 1);
        QCOMPARE(h.prompter.shown[0].title, QStringLiteral("최신 버전을 쓰고 있어요 (1.2.3)"));
        h.run([&] { h.checker->checkFromSettings(); });
        QCOMPARE(h.prompter.shown.size(), 1); // the settings row says it instead
        QCOMPARE(h.checker->status(), UpdateStatus::upToDate("1.2.3"));
    }

    void checkingWhileTheFetchRuns() {
        Harness h;
        h.pending.emplace();
        h.pending->start();
        QSignalSpy checking(h.checker.get(), &UpdateChecker::isCheckingChanged);
        h.checker->checkFromSettings();
        QVERIFY(h.checker->isChecking());
        QCOMPARE(h.checker->status(), UpdateStatus::checking());
        h.checker->checkFromMenu(); // refused while one runs
        h.checker->noteTrigger();
        QCOMPARE(h.fetches, 1);
        h.pending->addResult(release("1.3.0"));
        h.pending->finish();
        QTRY_VERIFY(!h.checker->isChecking());
        QCOMPARE(checking.size(), 2);
        QCOMPARE(h.checker->status(), UpdateStatus::available(release("1.3.0"), false));
    }

    void availabilityPrompt_data() {
        QTest::addColumn<int>("mode"); // 0 automatic, 1 settings, 2 menu
        QTest::addColumn<bool>("mandatory");
        QTest::addColumn<QStringList>("buttons");
        const QStringList all{"다운로드", "나중에", "이 버전 건너뛰기"};
        const QStringList noSkip{"다운로드", "나중에"};
        QTest::newRow("automatic") << 0 << false << all;
        QTest::newRow("settings") << 1 << false << all;
        QTest::newRow("menu") << 2 << false << all;
        QTest::newRow("menu, mandatory") << 2 << true << noSkip;
        QTest::newRow("automatic, mandatory") << 0 << true << noSkip;
    }

    void availabilityPrompt() {
        QFETCH(int, mode);
        QFETCH(bool, mandatory);
        QFETCH(QStringList, buttons);
        Harness h;
        h.answer = release("1.10.0", mandatory ? std::optional<std::string>("1.5.0") : std::nullopt);
        h.prompter.answers = {Action::later};
        h.run([&] {
            if (mode == 0) h.checker->noteTrigger();
            if (mode == 1) h.checker->checkFromSettings();
            if (mode == 2) h.checker->checkFromMenu();
        });
        QCOMPARE(h.checker->status(), UpdateStatus::available(*h.answer, mandatory));
        QCOMPARE(h.prompter.shown.size(), 1);
        const UpdateAlert &alert = h.prompter.shown[0];
        QCOMPARE(alert.title, QStringLiteral("새 버전 1.10.0이(가) 나왔어요"));
        QCOMPARE(alert.text, UpdateChecker::message(*h.answer, "1.2.3", mandatory));
        QCOMPARE(alert.style, mandatory ? UpdateAlert::Style::warning : UpdateAlert::Style::informational);
        QCOMPARE(alert.escape, Action::later);
        QStringList texts;
        for (const auto &button : alert.buttons)
            texts << button.text;
        QCOMPARE(texts, buttons);
        QVERIFY(h.opened.isEmpty());
        QVERIFY(!h.settings.contains("SkippedUpdateVersion"));
    }

    void skipHidesTheReleaseFromAutomaticChecksOnly() {
        Harness h;
        h.answer = release("1.3.0");
        h.prompter.answers = {Action::skip, Action::download};
        h.run([&] { h.checker->checkFromMenu(); });
        QCOMPARE(h.settings.value("SkippedUpdateVersion").toString(), QStringLiteral("1.3.0"));

        h.now += 86400;
        h.run([&] { h.checker->noteTrigger(); });
        QCOMPARE(h.fetches, 2);
        QCOMPARE(h.prompter.shown.size(), 1);                                            // skipped: silent
        QCOMPARE(h.checker->status(), UpdateStatus::available(release("1.3.0"), false)); // as before

        h.run([&] { h.checker->checkFromSettings(); });
        QCOMPARE(h.prompter.shown.size(), 2);
        QCOMPARE(h.opened, QList<QUrl>{QUrl("https://example.com/download")});
    }

    void deferredPrompt() {
        Harness h;
        h.answer = release("1.3.0");
        h.prompter.presentable = false; // no window yet
        h.run([&] { h.checker->noteTrigger(); });
        QVERIFY(h.prompter.shown.isEmpty());
        h.prompter.presentable = true;
        h.checker->noteTrigger(); // shows the waiting alert; no new check within the day
        QCOMPARE(h.fetches, 1);
        QCOMPARE(h.prompter.shown.size(), 1);

        // While that alert is on screen, the menu's answer waits for it to close.
        h.answer = std::nullopt;
        h.run([&] { h.checker->checkFromMenu(); });
        QCOMPARE(h.prompter.shown.size(), 1);
        h.prompter.answerNow(Action::later);
        h.checker->noteTrigger();
        QCOMPARE(h.prompter.shown.size(), 2);
        QCOMPARE(h.prompter.shown[1].title, failedText);
        h.prompter.answerNow(Action::ok);
        h.checker->noteTrigger();
        QCOMPARE(h.prompter.shown.size(), 2); // shown once only
    }

    void loopStartsOnce() {
        Harness h;
        h.checker->start();
        h.checker->start();
        const auto loops = h.checker->findChildren<QTimer *>("updateLoop");
        QCOMPARE(loops.size(), 1);
        QCOMPARE(loops[0]->intervalAsDuration(), std::chrono::seconds(15));
        QVERIFY(QMetaObject::invokeMethod(loops[0], "timeout"));
        QTRY_COMPARE(h.fetches, 1);
        QCOMPARE(loops[0]->intervalAsDuration(), std::chrono::hours(1));
        QVERIFY(loops[0]->isActive());
    }

    void message() {
        AppRelease r = release("2.0.0");
        r.releaseNotes = "\n  고친 점\n";
        QCOMPARE(UpdateChecker::message(r, "1.2.3", true),
                 QStringLiteral("이 버전은 더 이상 동기화되지 않아요. 새 버전을 받아 주세요.\n\n고친 점\n\n"
                                "지금 쓰는 버전: 1.2.3"));
        r.releaseNotes = " \n";
        QCOMPARE(UpdateChecker::message(r, "1.2.3", false), QStringLiteral("지금 쓰는 버전: 1.2.3"));
        r.releaseNotes = std::string(601, 'a');
        QCOMPARE(UpdateChecker::message(r, "1.2.3", false),
                 QString(600, 'a') + QStringLiteral("…\n\n지금 쓰는 버전: 1.2.3"));
    }
};

QTEST_MAIN(UpdateCheckerTest)
#include "UpdateCheckerTest.moc"
