#include "model/UpdateChecker.hpp"

#include "app/CaseTrace.hpp"

#include <QPromise>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace quorvel;
using namespace quorvel::app;
using Action = UpdateAlert::Action;

namespace {

AppRelease release(std::string latest, std::optional<std::string> minimum = std::nullopt) {
    return {std::move(latest), std::move(minimum), "고친 점", std::nullopt, "https://example.com/download", ""};
}

const QString failed = "업데이트를 확인하지 못했어요. 인터넷 연결을 확인해 주세요.|확인";
const QString offer = "새 버전 1.10.0이(가) 나왔어요|다운로드,나중에";

enum Mode { automatic, settings, menu };

// The checker with a fake fetch, clock and prompter. The prompter answers from a queue; without an
// answer the alert stays on screen until answerNow().
struct Harness : UpdatePrompter {
    QTemporaryDir dir;
    QSettings prefs{dir.filePath("prefs.ini"), QSettings::IniFormat};
    Preferences preferences{&prefs};
    double now = 1'700'000'000;
    int fetches = 0;
    std::optional<AppRelease> answer = release("1.2.3");        // nullopt: the fetch fails
    std::optional<QPromise<std::optional<AppRelease>>> pending; // set: the next fetch waits for it
    bool presentable = true;
    QList<Action> answers;
    QStringList shown; // "title|button,button"
    UpdateAlert last;
    std::function<void(Action)> onScreen;
    QList<QUrl> opened;
    UpdateChecker checker{"1.2.3", preferences,
                          [this] {
                              ++fetches;
                              return pending ? pending->future() : QtFuture::makeReadyFuture(answer);
                          },
                          nullptr, [this] { return now; }};

    Harness() {
        checker.setPrompter(this);
        checker.setUrlOpener([this](const QUrl &url) { return opened.append(url), true; });
    }
    bool canPresent() const override { return presentable; }
    void present(const UpdateAlert &alert, std::function<void(Action)> answered) override {
        QStringList buttons;
        for (const auto &button : alert.buttons)
            buttons << button.text;
        shown << alert.title + "|" + buttons.join(',');
        last = alert;
        if (answers.isEmpty())
            onScreen = std::move(answered);
        else
            answered(answers.takeFirst());
    }
    void answerNow(Action action) { std::exchange(onScreen, {})(action); }
    // Runs one check and lets its result arrive.
    void run(Mode mode) {
        if (mode == automatic) checker.noteTrigger();
        if (mode == settings) checker.checkFromSettings();
        if (mode == menu) checker.checkFromMenu();
        QTRY_VERIFY(!checker.isChecking());
    }
};

} // namespace

class UpdateCheckerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void automaticCheckIsDue() {
        const struct {
            const char *name;
            std::optional<double> lastCheckAgo; // seconds
            bool autoCheck, online;
            int fetches;
        } cases[] = {{"never checked", {}, true, true, 1},
                     {"an hour ago", 3600, true, true, 0},
                     {"a day ago", 86400, true, true, 1},
                     {"automatic checks off", {}, false, true, 0},
                     {"offline", {}, true, false, 0}};
        for (const auto &c : cases) {
            Harness h;
            if (c.lastCheckAgo) h.prefs.setValue("LastUpdateCheckAt", h.now - *c.lastCheckAgo);
            h.checker.setAutoCheck(c.autoCheck);
            h.checker.setOnlineTest([&] { return c.online; });
            h.run(automatic);
            QVERIFY2(h.fetches == c.fetches, c.name);
            if (c.fetches) QCOMPARE(h.prefs.value("LastUpdateCheckAt").toDouble(), h.now);
            QCOMPARE(h.prefs.value("AutoUpdateCheck").toBool(), c.autoCheck);
        }
    }

    void automaticAttemptsAreTenMinutesApart() {
        Harness h;
        h.answer.reset(); // failing checks leave no LastUpdateCheckAt behind
        // The last step: the clock went back, the attempt is in the future.
        for (const auto &[step, fetches] : {std::pair(0, 1), {599, 1}, {1, 2}, {-3600, 3}}) {
            h.now += step;
            h.run(automatic);
            QCOMPARE(h.fetches, fetches);
        }
        QVERIFY(h.shown.isEmpty()); // automatic failures stay silent
    }

    // After a check that found this version current, what each way of checking shows.
    void outcomePerMode() {
        using K = UpdateStatus::Kind;
        const auto row = [](Mode mode, const char *what, const QStringList &answer, K status,
                            const QStringList &alerts) {
            const quorvel::test::CaseTrace trace{QByteArray::number(mode) + ", " + what};
            Harness h;
            h.run(settings);
            QCOMPARE(h.checker.status(), UpdateStatus::upToDate("1.2.3"));
            h.now += 2 * 86400;
            h.answer.reset(); // no answer, else the latest and the minimum version
            if (!answer.isEmpty())
                h.answer = release(answer[0].toStdString(),
                                   answer.size() > 1 ? std::optional(answer[1].toStdString()) : std::nullopt);
            h.answers = {Action::later};
            QSignalSpy statuses(&h.checker, &UpdateChecker::statusChanged);
            h.run(mode);
            QCOMPARE(h.fetches, 2);
            QCOMPARE(statuses.size(), 2); // checking, then the outcome
            QCOMPARE(h.checker.status().kind, status);
            QCOMPARE(h.shown, alerts);
            QVERIFY(h.opened.isEmpty() && !h.prefs.contains("SkippedUpdateVersion")); // "later" does neither
            if (status != K::available) return;
            const bool mandatory = answer.size() > 1;
            QCOMPARE(h.checker.status(), UpdateStatus::available(*h.answer, mandatory));
            QCOMPARE(h.last.style, mandatory ? UpdateAlert::Style::warning : UpdateAlert::Style::informational);
            QCOMPARE(h.last.escape, Action::later);
            QCOMPARE(h.last.text,
                     (mandatory ? "이 버전은 더 이상 동기화되지 않아요. 새 버전을 받아 주세요.\n\n" : QString()) +
                         "고친 점\n\n지금 쓰는 버전: 1.2.3");
        };
        for (const QStringList &answer : {QStringList(), QStringList{"1.3"}}) { // no answer; an invalid one
            row(automatic, "failed", answer, K::upToDate, {});
            row(settings, "failed", answer, K::failed, {});
            row(menu, "failed", answer, K::failed, {failed});
        }
        row(settings, "up to date", {"1.2.3", "1.0.0"}, K::upToDate, {});
        row(menu, "up to date", {"1.2.3", "1.0.0"}, K::upToDate, {"최신 버전을 쓰고 있어요 (1.2.3)|확인"});
        for (Mode mode : {automatic, settings, menu})
            row(mode, "newer", {"1.10.0"}, K::available, {offer + ",이 버전 건너뛰기"});
        row(automatic, "mandatory", {"1.10.0", "1.5.0"}, K::available, {offer});
        row(menu, "mandatory", {"1.10.0", "1.5.0"}, K::available, {offer});
    }

    void checkingWhileTheFetchRuns() {
        Harness h;
        h.pending.emplace();
        h.pending->start();
        h.checker.checkFromSettings();
        QVERIFY(h.checker.isChecking());
        QCOMPARE(h.checker.status(), UpdateStatus::checking());
        h.checker.checkFromMenu(); // refused while one runs
        h.checker.noteTrigger();
        QCOMPARE(h.fetches, 1);
        h.pending->addResult(release("1.3.0"));
        h.pending->finish();
        QTRY_VERIFY(!h.checker.isChecking());
        QCOMPARE(h.checker.status(), UpdateStatus::available(release("1.3.0"), false));
    }

    void skipHidesTheReleaseFromAutomaticChecksOnly() {
        Harness h;
        h.answer = release("1.3.0");
        h.answers = {Action::skip, Action::download};
        h.run(menu);
        QCOMPARE(h.prefs.value("SkippedUpdateVersion").toString(), "1.3.0");
        h.now += 86400;
        h.run(automatic);
        QCOMPARE(h.fetches, 2);
        QCOMPARE(h.shown.size(), 1);                                                    // skipped: silent
        QCOMPARE(h.checker.status(), UpdateStatus::available(release("1.3.0"), false)); // as before
        h.run(settings);
        QCOMPARE(h.shown.size(), 2);
        QCOMPARE(h.opened, QList<QUrl>{QUrl("https://example.com/download")});
    }

    // An alert without a window waits for one; one on screen holds back the next until it closes.
    void deferredPrompt() {
        Harness h;
        h.answer = release("1.3.0");
        h.presentable = false;
        h.run(automatic);
        QVERIFY(h.shown.isEmpty());
        h.presentable = true;
        h.checker.noteTrigger(); // shows the waiting alert; no new check within the day
        QCOMPARE(h.fetches, 1);
        QCOMPARE(h.shown.size(), 1);
        h.answer = std::nullopt;
        h.run(menu);
        QCOMPARE(h.shown.size(), 1);
        h.answerNow(Action::later);
        h.checker.noteTrigger();
        QCOMPARE(h.shown, (QStringList{h.shown[0], failed}));
        h.answerNow(Action::ok);
        h.checker.noteTrigger();
        QCOMPARE(h.shown.size(), 2); // shown once only
    }

    void loopStartsOnce() {
        Harness h;
        h.checker.start();
        h.checker.start();
        const auto loops = h.checker.findChildren<QTimer *>("updateLoop");
        QCOMPARE(loops.size(), 1);
        QCOMPARE(loops[0]->intervalAsDuration(), std::chrono::seconds(15));
        QVERIFY(QMetaObject::invokeMethod(loops[0], "timeout"));
        QTRY_COMPARE(h.fetches, 1);
        QCOMPARE(loops[0]->intervalAsDuration(), std::chrono::hours(1));
    }

    void blankNotesLeaveNoParagraph() {
        AppRelease r = release("2.0.0");
        r.releaseNotes = " \n";
        QCOMPARE(UpdateChecker::message(r, "1.2.3", false), "지금 쓰는 버전: 1.2.3");
    }
};

QTEST_MAIN(UpdateCheckerTest)
#include "UpdateCheckerTest.moc"
