#include "model/SyncScheduler.hpp"

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

    bool sendPrepareForSleep(QDBusConnection &login1, bool sleeping) {
        auto signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                                 QStringLiteral("org.freedesktop.login1.Manager"),
                                                 QStringLiteral("PrepareForSleep"));
        signal << sleeping;
        return login1.send(signal);
    }

private Q_SLOTS:
    void initTestCase() {
        const QString program = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (program.isEmpty()) QSKIP("dbus-daemon is not installed");
        daemon_.start(program,
                      {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        QVERIFY(daemon_.waitForStarted());
        QTRY_VERIFY(daemon_.canReadLine());
        const QByteArray address = daemon_.readLine().trimmed();
        // Before anything in this process opens the system bus.
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", address);
    }

    void cleanupTestCase() {
        daemon_.terminate();
        daemon_.waitForFinished();
    }

    void wakeFiresOnlyOnResume() {
        auto login1 =
            QDBusConnection::connectToBus(qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS"), QStringLiteral("login1"));
        QVERIFY(login1.isConnected());
        QVERIFY(login1.registerService(QStringLiteral("org.freedesktop.login1")));

        QList<SyncTrigger> triggers;
        SyncScheduler scheduler([&](SyncTrigger t) { triggers.append(t); }, [](bool) {},
                                {nullptr, SyncScheduler::systemSources().wake, nullptr});
        scheduler.start(0);

        // Going to sleep is no reason to sync; waking is, each time.
        QVERIFY(sendPrepareForSleep(login1, true));
        QVERIFY(sendPrepareForSleep(login1, false));
        QTRY_VERIFY(!triggers.isEmpty());
        QTest::qWait(200); // signals arrive in order: anything the first one fired is here by now
        QCOMPARE(triggers, QList<SyncTrigger>{SyncTrigger::wake});
        QVERIFY(sendPrepareForSleep(login1, false));
        QTRY_COMPARE(triggers, QList<SyncTrigger>(2, SyncTrigger::wake));
        QDBusConnection::disconnectFromBus(QStringLiteral("login1"));
    }
};

QTEST_MAIN(WakeSourceTest)
#include "WakeSourceTest.moc"
