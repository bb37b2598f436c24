#include "model/SyncScheduler.hpp"

#include "app/EndsWithTest.hpp"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

using namespace quorvel::app;

// The desktop's wake source against a private message bus standing in for the system bus, with this
// test owning logind's name and sending its sleep signals.
class WakeSourceTest : public QObject {
    Q_OBJECT

    QProcess daemon_;

private Q_SLOTS:
    void initTestCase() {
        const QString program = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (program.isEmpty()) QSKIP("dbus-daemon is not installed");
        quorvel::test::endsWithTest(daemon_);
        daemon_.start(program, {"--session", "--nofork", "--print-address=1"});
        QTRY_VERIFY(daemon_.canReadLine());
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", daemon_.readLine().trimmed()); // before anything opens the system bus
    }
    void cleanupTestCase() {
        daemon_.terminate();
        daemon_.waitForFinished();
    }

    void wakeFiresOnlyOnResume() {
        auto login1 = QDBusConnection::connectToBus(qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS"), "login1");
        QVERIFY(login1.registerService(QStringLiteral("org.freedesktop.login1")));
        const auto prepareForSleep = [&](bool sleeping) {
            auto signal = QDBusMessage::createSignal("/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                                                     "PrepareForSleep");
            QVERIFY(login1.send(signal << sleeping));
        };
        QList<SyncTrigger> triggers;
        SyncScheduler scheduler([&](SyncTrigger t) { triggers.append(t); }, [](bool) {},
                                {nullptr, SyncScheduler::systemSources().wake, nullptr});
        scheduler.start(0);
        // Going to sleep is no reason to sync; waking is, each time.
        prepareForSleep(true);
        prepareForSleep(false);
        QTRY_VERIFY(!triggers.isEmpty());
        QTest::qWait(200); // signals arrive in order: anything the first one fired is here by now
        QCOMPARE(triggers, QList<SyncTrigger>{SyncTrigger::wake});
        prepareForSleep(false);
        QTRY_COMPARE(triggers, QList<SyncTrigger>(2, SyncTrigger::wake));
        QDBusConnection::disconnectFromBus("login1");
    }
};

QTEST_MAIN(WakeSourceTest)
#include "WakeSourceTest.moc"
