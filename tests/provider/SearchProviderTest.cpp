// GNOME Shell's and KRunner's calls, made as the desktop makes them, on a private session bus
// that starts the provider from its service file; what the user chooses reaches the running app
// (here this test, listening as the app does) through the real program's single-instance channel.
#include "KRunnerTypes.hpp"
#include "ProviderQuery.hpp"

#include "model/SingleInstance.hpp"
#include "store/LocalStore.hpp"
#include "support/PrivateSessionBus.hpp"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusMetaType>
#include <QDBusReply>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace quorvel;
using namespace quorvel::provider;

class SearchProviderTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        registerKRunnerTypes();
        qDBusRegisterMetaType<QList<QVariantMap>>();
        QVERIFY(dir_.isValid());
        const QString library = dir_.filePath(QStringLiteral("library"));
        {
            LocalStore store(library.toStdString(), true);
            SyncApplyBatch batch(1, "e", 1);
            batch.folders = {{1, std::nullopt, "회의", 0}, {2, 1, "2024", 0}};
            auto file = [](int64_t id, std::optional<int64_t> folder, std::string name, std::string body, double at) {
                return SyncApplyBatch::FileUpsert(id, folder, name, at, static_cast<int64_t>(body.size()), "h",
                                                  "<p>" + body + "</p>", "<p>" + body + "</p>", body, {}, false);
            };
            batch.upserts = {file(1, 2, "주간 회의록", "예산 회의에서\n정한 일", 2000),
                             file(2, std::nullopt, "메모", "회의 준비물", 1000),
                             file(3, std::nullopt, "여행", "바다", 3000)};
            store.apply(batch);
        }

        // The running app, as far as its channel goes.
        const QString runtime = dir_.filePath(QStringLiteral("runtime"));
        QVERIFY(QDir().mkpath(runtime));
        QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
        instance_ = std::make_unique<app::SingleInstance>();
        QVERIFY(instance_->listen());
        urls_ = std::make_unique<QSignalSpy>(instance_.get(), &app::SingleInstance::urlReceived);
        activations_ = std::make_unique<QSignalSpy>(instance_.get(), &app::SingleInstance::activationRequested);

        // The app the provider starts notes its arguments, then is the real program.
        const QString app = dir_.filePath(QStringLiteral("quorvel"));
        QFile script(app);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(QStringLiteral("#!/bin/sh\necho \"$*\" >> '%1'\nexec '%2' \"$@\"\n")
                         .arg(dir_.filePath(QStringLiteral("launches")), QStringLiteral(QUORVEL_APP_PATH))
                         .toUtf8());
        script.close();
        script.setPermissions(script.permissions() | QFileDevice::ExeOwner);

        bus_.addService(QStringLiteral(QUORVEL_PROVIDER_BUS_NAME),
                        QStringLiteral("%1 --store %2 --app %3 --idle-exit 5")
                            .arg(QStringLiteral(QUORVEL_PROVIDER_PATH), library, app));
        const QString address = bus_.start();
        QVERIFY(!address.isEmpty());
        QDBusConnection bus = QDBusConnection::connectToBus(address, QStringLiteral("desktop"));
        QVERIFY2(bus.isConnected(), qPrintable(bus.lastError().message()));
        connection_ = bus.name();
    }
    void cleanupTestCase() { QDBusConnection::disconnectFromBus(connection_); }
    void queriesAreBoundedAndTamed() {
        const std::pair<std::vector<std::string>, std::string> cases[] = {
            {{"회의", "예산"}, "회의 예산"},
            {{" 회의\t\n", "", "  예산 "}, "회의 예산"},
            {{"a\001b", "\177"}, "a b"},
            {{"\377x"}, "\uFFFDx"},
            {{std::string(300, 'a'), "b"}, ""},
            {{std::string(250, 'a'), "bcdefg"}, std::string(250, 'a')},
            {std::vector<std::string>(20, "w"), "w w w w w w w w w w w w w w w w"},
        };
        for (const auto &[terms, query] : cases)
            QCOMPARE(ProviderQuery::fromTerms(terms), query);
        QCOMPARE(ProviderQuery::fromText("  회의   예산 "), std::string("회의 예산"));
    }
    void gnomeShellFindsDescribesAndOpens() {
        auto shell = interface(QUORVEL_PROVIDER_GNOME_PATH, "org.gnome.Shell.SearchProvider2");
        QDBusReply<QStringList> initial =
            shell->call(QStringLiteral("GetInitialResultSet"), QStringList{QStringLiteral("회의")});
        QVERIFY2(initial.isValid(), qPrintable(initial.error().message()));
        QCOMPARE(initial.value(), (QStringList{link(1), link(2)}));

        QDBusReply<QList<QVariantMap>> metas =
            shell->call(QStringLiteral("GetResultMetas"), QStringList{link(2), link(1), link(99)});
        QVERIFY2(metas.isValid(), qPrintable(metas.error().message()));
        // In the order asked, without ids the library does not hold.
        QStringList described;
        for (const QVariantMap &meta : metas.value())
            described << meta.value(QStringLiteral("id")).toString() + QLatin1Char('|') +
                             meta.value(QStringLiteral("name")).toString() + QLatin1Char('|') +
                             meta.value(QStringLiteral("description")).toString();
        QCOMPARE(described,
                 (QStringList{link(2) + QStringLiteral("|메모|회의 준비물"),
                              link(1) + QStringLiteral("|주간 회의록|회의 › 2024 — 예산 회의에서 정한 일")}));

        QDBusReply<QStringList> narrower = shell->call(QStringLiteral("GetSubsearchResultSet"), initial.value(),
                                                       QStringList{QStringLiteral("회의"), QStringLiteral("예산")});
        QCOMPARE(narrower.value(), QStringList{link(1)});
        // Never a result the shell was not given before.
        QDBusReply<QStringList> elsewhere = shell->call(QStringLiteral("GetSubsearchResultSet"), QStringList{link(1)},
                                                        QStringList{QStringLiteral("바다")});
        QVERIFY(elsewhere.isValid());
        QVERIFY(elsewhere.value().isEmpty());

        QDBusReply<void> activated =
            shell->call(QStringLiteral("ActivateResult"), link(1), QStringList{QStringLiteral("회의")}, 0u);
        QVERIFY2(activated.isValid(), qPrintable(activated.error().message()));
        expectDelivered(link(1));

        QDBusReply<void> launched =
            shell->call(QStringLiteral("LaunchSearch"), QStringList{QStringLiteral("회의")}, 0u);
        QVERIFY(launched.isValid());
        QTRY_COMPARE_WITH_TIMEOUT(activations_->size(), 1, 15000);
        activations_->clear();
    }
    void krunnerFindsAndOpens() {
        auto runner = interface(QUORVEL_PROVIDER_KRUNNER_PATH, "org.kde.krunner1");
        QDBusReply<RemoteMatches> matches = runner->call(QStringLiteral("Match"), QStringLiteral("회의 예산"));
        QVERIFY2(matches.isValid(), qPrintable(matches.error().message()));
        QCOMPARE(matches.value().size(), 1);
        const RemoteMatch &m = matches.value().at(0);
        QCOMPARE(m.id, link(1));
        QCOMPARE(m.text, QStringLiteral("주간 회의록"));
        QCOMPARE(m.iconName, QStringLiteral("kr.vatsu.quorvel"));
        QCOMPARE(m.relevance, 1.0);
        QCOMPARE(m.properties.value(QStringLiteral("subtext")).toString(),
                 QStringLiteral("회의 › 2024 — 예산 회의에서 정한 일"));
        QCOMPARE(m.properties.value(QStringLiteral("urls")).toStringList(), QStringList{link(1)});

        QDBusReply<RemoteMatches> several = runner->call(QStringLiteral("Match"), QStringLiteral("회의"));
        QCOMPARE(several.value().size(), 2);
        QVERIFY(several.value().at(0).relevance > several.value().at(1).relevance);
        QDBusReply<RemoteActions> actions = runner->call(QStringLiteral("Actions"));
        QVERIFY(actions.isValid());
        QVERIFY(actions.value().isEmpty());

        QDBusReply<void> run = runner->call(QStringLiteral("Run"), link(2), QString());
        QVERIFY2(run.isValid(), qPrintable(run.error().message()));
        expectDelivered(link(2));
        QVERIFY(QDBusReply<void>(runner->call(QStringLiteral("Teardown"))).isValid());
    }
    void foreignIdentifiersAreRefused() {
        auto shell = interface(QUORVEL_PROVIDER_GNOME_PATH, "org.gnome.Shell.SearchProvider2");
        auto runner = interface(QUORVEL_PROVIDER_KRUNNER_PATH, "org.kde.krunner1");
        const int before = int(launches().size());
        for (const QString &id : {QStringLiteral("1"), QStringLiteral("quorvel://open?id=1&x=2"),
                                  QStringLiteral("quorvel://link?state=s&code=c"),
                                  QStringLiteral("quorvel://open?id=1;rm"), QStringLiteral("--help"), QString()}) {
            QDBusReply<void> activated = shell->call(QStringLiteral("ActivateResult"), id, QStringList(), 0u);
            QCOMPARE(activated.error().type(), QDBusError::InvalidArgs);
            QDBusReply<void> run = runner->call(QStringLiteral("Run"), id, QString());
            QCOMPARE(run.error().type(), QDBusError::InvalidArgs);
        }
        QDBusReply<void> action = runner->call(QStringLiteral("Run"), link(1), QStringLiteral("delete"));
        QCOMPARE(action.error().type(), QDBusError::InvalidArgs);
        QDBusReply<QList<QVariantMap>> metas =
            shell->call(QStringLiteral("GetResultMetas"), QStringList{QStringLiteral("1")});
        QVERIFY(metas.isValid());
        QVERIFY(metas.value().isEmpty());
        QTest::qWait(300);
        QCOMPARE(int(launches().size()), before);
        QCOMPARE(urls_->size(), 0);
    }

private:
    std::unique_ptr<QDBusInterface> interface(const char *path, const char *name) {
        auto i = std::make_unique<QDBusInterface>(QStringLiteral(QUORVEL_PROVIDER_BUS_NAME), QString::fromLatin1(path),
                                                  QString::fromLatin1(name), QDBusConnection(connection_));
        // The first call waits for the bus to start the provider.
        i->setTimeout(20000);
        return i;
    }
    QString link(int id) const { return QStringLiteral("quorvel://open?id=%1").arg(id); }
    // The app's arguments at each start, and what reached this test's instance.
    QStringList launches() const {
        QFile f(dir_.filePath(QStringLiteral("launches")));
        if (!f.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    void expectDelivered(const QString &url) {
        QTRY_COMPARE_WITH_TIMEOUT(urls_->size(), 1, 15000);
        QCOMPARE(urls_->takeFirst().at(0).toString(), url);
        QCOMPARE(launches().last(), QStringLiteral("-- ") + url);
    }

    QTemporaryDir dir_;
    test::PrivateSessionBus bus_;
    std::unique_ptr<app::SingleInstance> instance_;
    std::unique_ptr<QSignalSpy> urls_;
    std::unique_ptr<QSignalSpy> activations_;
    QString connection_;
};

QTEST_GUILESS_MAIN(SearchProviderTest)
#include "SearchProviderTest.moc"
