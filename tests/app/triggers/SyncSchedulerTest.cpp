#include "model/SyncScheduler.hpp"

#include <QNetworkInformation>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWindow>

using namespace quorvel::app;

namespace {

// Sources whose handlers the test calls itself.
struct FakeSources {
    QPointer<QObject> context;
    std::function<void(bool)> network;
    std::function<void()> wake;
    std::function<void()> windowKey;

    SyncScheduler::Sources sources() {
        return {[this](QObject *c, std::function<void(bool)> h) { context = c, network = std::move(h); },
                [this](QObject *, std::function<void()> h) { wake = std::move(h); },
                [this](QObject *, std::function<void()> h) { windowKey = std::move(h); }};
    }
};

struct Recorder {
    QList<SyncTrigger> triggers;
    QList<bool> network;

    std::unique_ptr<SyncScheduler> make(SyncScheduler::Sources sources) {
        return std::make_unique<SyncScheduler>([this](SyncTrigger t) { triggers.append(t); },
                                               [this](bool online) { network.append(online); }, std::move(sources));
    }
};

} // namespace

class SyncSchedulerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void networkEdges_data() {
        QTest::addColumn<QList<bool>>("reports");
        QTest::addColumn<int>("networkTriggers");
        QTest::newRow("first report online") << QList<bool>{true} << 0;
        QTest::newRow("first report offline") << QList<bool>{false} << 0;
        QTest::newRow("offline then online") << QList<bool>{false, true} << 1;
        QTest::newRow("online twice") << QList<bool>{true, true} << 0;
        QTest::newRow("online, offline, online") << QList<bool>{true, false, true} << 1;
        QTest::newRow("offline twice, online twice") << QList<bool>{false, false, true, true} << 1;
        QTest::newRow("two outages") << QList<bool>{true, false, true, false, false, true} << 2;
    }

    void networkEdges() {
        QFETCH(QList<bool>, reports);
        QFETCH(int, networkTriggers);
        FakeSources fake;
        Recorder recorder;
        auto scheduler = recorder.make(fake.sources());
        scheduler->start(0);
        QCOMPARE(fake.context.data(), static_cast<QObject *>(scheduler.get()));
        for (bool online : reports)
            fake.network(online);
        QCoreApplication::processEvents();
        QCOMPARE(recorder.network, reports); // every report, repeats too
        QCOMPARE(recorder.triggers, QList<SyncTrigger>(networkTriggers, SyncTrigger::network));
    }

    void intervalReplacesTimer() {
        FakeSources fake;
        Recorder recorder;
        auto scheduler = recorder.make(fake.sources());
        scheduler->start(15);
        QVERIFY(scheduler->timer() && scheduler->timer()->isActive());
        QCOMPARE(scheduler->timer()->intervalAsDuration(), std::chrono::minutes(15));
        QCOMPARE(scheduler->timer()->timerType(), Qt::VeryCoarseTimer);
        QVERIFY(QMetaObject::invokeMethod(const_cast<QTimer *>(scheduler->timer()), "timeout"));
        QCOMPARE(recorder.triggers, QList<SyncTrigger>{SyncTrigger::timer});

        scheduler->setInterval(60);
        QCOMPARE(scheduler->findChildren<QTimer *>().size(), 1);
        QCOMPARE(scheduler->timer()->intervalAsDuration(), std::chrono::minutes(60));
        QVERIFY(scheduler->timer()->isActive());

        scheduler->setInterval(0);
        QVERIFY(!scheduler->timer());
        QVERIFY(scheduler->findChildren<QTimer *>().isEmpty());
        scheduler->setInterval(-5);
        QVERIFY(!scheduler->timer());
        scheduler->setInterval(std::numeric_limits<int>::max()); // a damaged preference
        QVERIFY(scheduler->timer()->interval() > 0);

        // A second start changes nothing.
        scheduler->start(15);
        QVERIFY(scheduler->timer()->interval() > std::chrono::milliseconds(std::chrono::minutes(15)).count());
    }

    void otherSourcesWithoutTimer() {
        FakeSources fake;
        Recorder recorder;
        auto scheduler = recorder.make(fake.sources());
        scheduler->start(0);
        QVERIFY(!scheduler->timer());
        fake.wake();
        fake.windowKey();
        fake.windowKey();
        QVERIFY(recorder.triggers.isEmpty()); // delivered outside the source's own call
        QCoreApplication::processEvents();
        QCOMPARE(recorder.triggers,
                 (QList<SyncTrigger>{SyncTrigger::wake, SyncTrigger::windowKey, SyncTrigger::windowKey}));

        // Nothing queued is delivered after the scheduler is gone.
        fake.wake();
        scheduler.reset();
        QCoreApplication::processEvents();
        QCOMPARE(recorder.triggers.size(), 3);
    }

    // The desktop's focus-window source, on the offscreen platform's real windows.
    void windowBecomingActive() {
        Recorder recorder;
        auto scheduler = recorder.make({nullptr, nullptr, SyncScheduler::systemSources().windowKey});
        scheduler->start(0);
        QWindow first, second;
        for (QWindow *window : {&first, &second, &first}) {
            window->show();
            window->requestActivate();
            QVERIFY(QTest::qWaitForWindowActive(window));
        }
        QTRY_COMPARE(recorder.triggers.size(), 3);
        QCOMPARE(recorder.triggers, QList<SyncTrigger>(3, SyncTrigger::windowKey));
    }

    // The desktop's network source: whether or not a backend loads here, one first report arrives
    // and it fires no trigger.
    void systemNetworkFirstReport() {
        Recorder recorder;
        auto scheduler = recorder.make({SyncScheduler::systemSources().network, nullptr, nullptr});
        scheduler->start(0);
        QTRY_COMPARE(recorder.network.size(), 1);
        auto *information = QNetworkInformation::instance();
        qInfo() << "network backend:" << (information ? information->backendName() : QStringLiteral("none"))
                << "reachability:" << (information ? information->reachability() : QNetworkInformation::Reachability{})
                << "online:" << recorder.network.first();
        QVERIFY(recorder.triggers.isEmpty());
    }
};

QTEST_MAIN(SyncSchedulerTest)
#include "SyncSchedulerTest.moc"
