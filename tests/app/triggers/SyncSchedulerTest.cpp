#include "model/SyncScheduler.hpp"

#include <QTest>
#include <QTimer>
#include <QWindow>

using namespace quorvel::app;

// The scheduler, by default with sources whose handlers the test calls itself.
struct Harness {
    QObject *context = nullptr;
    std::function<void(bool)> network;
    std::function<void()> wake, windowKey;
    QList<SyncTrigger> triggers;
    QList<bool> reports;
    std::unique_ptr<SyncScheduler> scheduler;

    explicit Harness(std::optional<SyncScheduler::Sources> sources = std::nullopt) {
        if (!sources)
            sources = {[this](QObject *c, std::function<void(bool)> h) { context = c, network = std::move(h); },
                       [this](QObject *, std::function<void()> h) { wake = std::move(h); },
                       [this](QObject *, std::function<void()> h) { windowKey = std::move(h); }};
        scheduler = std::make_unique<SyncScheduler>([this](SyncTrigger t) { triggers.append(t); },
                                                    [this](bool online) { reports.append(online); }, *sources);
    }
};

class SyncSchedulerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Only coming back online syncs; the first report, whatever it says, does not.
    void networkEdges() {
        const std::pair<QList<bool>, int> cases[] = {{{true}, 0},
                                                     {{false}, 0},
                                                     {{false, true}, 1},
                                                     {{true, true}, 0},
                                                     {{true, false, false, true, true, false, true}, 2}};
        for (const auto &[reports, networkTriggers] : cases) {
            Harness h;
            h.scheduler->start(0);
            QCOMPARE(h.context, h.scheduler.get()); // the source's connections end with the scheduler
            for (bool online : reports)
                h.network(online);
            QCoreApplication::processEvents();
            QCOMPARE(h.reports, reports); // every report, repeats too
            QCOMPARE(h.triggers, QList<SyncTrigger>(networkTriggers, SyncTrigger::network));
        }
    }

    void intervalReplacesTimer() {
        Harness h;
        h.scheduler->start(15);
        QCOMPARE(h.scheduler->timer()->intervalAsDuration(), std::chrono::minutes(15));
        QVERIFY(QMetaObject::invokeMethod(const_cast<QTimer *>(h.scheduler->timer()), "timeout"));
        QCOMPARE(h.triggers, QList<SyncTrigger>{SyncTrigger::timer});
        h.scheduler->setInterval(60);
        QCOMPARE(h.scheduler->findChildren<QTimer *>().size(), 1);
        QCOMPARE(h.scheduler->timer()->intervalAsDuration(), std::chrono::minutes(60));
        QVERIFY(h.scheduler->timer()->isActive());
        h.scheduler->setInterval(-5);
        QVERIFY(h.scheduler->findChildren<QTimer *>().isEmpty());
        h.scheduler->setInterval(std::numeric_limits<int>::max()); // a damaged preference must not wrap
        QVERIFY(h.scheduler->timer()->interval() > 0);
        h.scheduler->start(15); // a second start changes nothing
        QVERIFY(h.scheduler->timer()->interval() > 60 * 60'000);
    }

    // Delivered outside the source's own call, and never after the scheduler is gone.
    void otherSourcesAreQueued() {
        Harness h;
        h.scheduler->start(0);
        QVERIFY(!h.scheduler->timer());
        h.wake();
        h.windowKey();
        QVERIFY(h.triggers.isEmpty());
        QCoreApplication::processEvents();
        QCOMPARE(h.triggers, (QList<SyncTrigger>{SyncTrigger::wake, SyncTrigger::windowKey}));
        h.wake();
        h.scheduler.reset();
        QCoreApplication::processEvents();
        QCOMPARE(h.triggers.size(), 2);
    }

    // The desktop's focus-window source, on the offscreen platform's real windows.
    void windowBecomingActive() {
        Harness h(SyncScheduler::Sources{nullptr, nullptr, SyncScheduler::systemSources().windowKey});
        h.scheduler->start(0);
        QWindow first, second;
        for (QWindow *window : {&first, &second, &first}) {
            window->show();
            window->requestActivate();
            QVERIFY(QTest::qWaitForWindowActive(window));
        }
        QTRY_COMPARE(h.triggers, QList<SyncTrigger>(3, SyncTrigger::windowKey));
    }

    // The desktop's network source: with or without a backend here, one first report and no trigger.
    void systemNetworkFirstReport() {
        Harness h(SyncScheduler::Sources{SyncScheduler::systemSources().network, nullptr, nullptr});
        h.scheduler->start(0);
        QTRY_COMPARE(h.reports.size(), 1);
        QVERIFY(h.triggers.isEmpty());
    }
};

QTEST_MAIN(SyncSchedulerTest)
#include "SyncSchedulerTest.moc"
