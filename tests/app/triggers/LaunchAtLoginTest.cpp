#include "model/LaunchAtLogin.hpp"
#include "model/AutostartEntry.hpp"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace quorvel::app;

namespace {

const QString failureText =
    QStringLiteral("로그인 항목을 바꾸지 못했어요. 자동 시작 폴더(~/.config/autostart)에 쓸 수 있는지 확인해 주세요.");

void writeText(const QString &path, const QByteArray &bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

class LaunchAtLoginTest : public QObject {
    Q_OBJECT

    QTemporaryDir config_;
    QString entryPath() const { return config_.filePath(QStringLiteral("autostart/kr.vatsu.quorvel.desktop")); }

private Q_SLOTS:
    void init() {
        QVERIFY(config_.isValid());
        qputenv("XDG_CONFIG_HOME", config_.path().toUtf8());
        QDir(config_.path()).removeRecursively();
        QDir().mkpath(config_.path());
    }

    void onAndOffThroughTheEntry() {
        LaunchAtLogin login;
        QVERIFY(!login.isEnabled());
        QSignalSpy enabled(&login, &LaunchAtLogin::isEnabledChanged);
        login.set(true);
        QVERIFY(login.isEnabled());
        QVERIFY(login.errorMessage().isEmpty());
        QFile entry(LaunchAtLogin::defaultEntryPath());
        QCOMPARE(entry.fileName(), entryPath());
        QVERIFY(entry.open(QIODevice::ReadOnly));
        const QByteArray text = entry.readAll();
        QVERIFY(text.startsWith("[Desktop Entry]\n"));
        QVERIFY(text.contains(
            "\nExec=" +
            QByteArray::fromStdString(AutostartEntry::execArgument(LaunchAtLogin::defaultProgram().toStdString())) +
            "\n"));
        QCOMPARE(QDir(config_.filePath("autostart")).entryList(QDir::Files | QDir::Hidden).size(), 1); // no temp left
        login.set(true);
        QVERIFY(login.isEnabled());

        login.set(false);
        QVERIFY(!login.isEnabled());
        QVERIFY(!QFile::exists(entryPath()));
        login.set(false); // already off: nothing to do, nothing to report
        QVERIFY(!login.isEnabled());
        QVERIFY(login.errorMessage().isEmpty());
        QCOMPARE(enabled.size(), 2);
    }

    void stateComesFromTheEntry_data() {
        QTest::addColumn<QByteArray>("entry");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("ours") << QByteArray::fromStdString(AutostartEntry::text("quorvel")) << true;
        QTest::newRow("hidden by the user") << QByteArray("[Desktop Entry]\nExec=quorvel\nHidden=true\n") << false;
        QTest::newRow("turned off in the desktop's settings")
            << QByteArray("[Desktop Entry]\r\nExec=quorvel\r\nX-GNOME-Autostart-enabled = false\r\n") << false;
        QTest::newRow("hidden only in an action")
            << QByteArray("[Desktop Entry]\nExec=quorvel\n[Desktop Action x]\nHidden=true\n") << true;
        QTest::newRow("no Exec") << QByteArray("[Desktop Entry]\nName=Quorvel\n") << false;
        QTest::newRow("no group") << QByteArray("Exec=quorvel\n") << false;
        QTest::newRow("empty") << QByteArray() << false;
    }

    void stateComesFromTheEntry() {
        QFETCH(QByteArray, entry);
        QFETCH(bool, enabled);
        writeText(entryPath(), entry);
        LaunchAtLogin login;
        QCOMPARE(login.isEnabled(), enabled);
    }

    void failedChangeSnapsBack_data() {
        QTest::addColumn<bool>("readOnlyFolder"); // else: a file where the folder should be
        QTest::newRow("autostart is a file") << false;
        QTest::newRow("read-only autostart folder") << true;
    }

    void failedChangeSnapsBack() {
        QFETCH(bool, readOnlyFolder);
        const QString folder = config_.filePath(QStringLiteral("autostart"));
        if (readOnlyFolder) {
            if (geteuid() == 0) QSKIP("permissions do not bind root");
            QVERIFY(QDir().mkpath(folder));
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
        } else {
            writeText(folder, "not a folder");
        }
        LaunchAtLogin login;
        QSignalSpy messages(&login, &LaunchAtLogin::errorMessageChanged);
        login.set(true);
        QCOMPARE(login.errorMessage(), failureText);
        QVERIFY(!login.isEnabled());

        if (readOnlyFolder) {
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        } else {
            QVERIFY(QFile::remove(folder));
        }
        login.set(true);
        QVERIFY(login.errorMessage().isEmpty());
        QVERIFY(login.isEnabled());
        QCOMPARE(messages.size(), 2);
    }

    void failedRemovalShowsTheMessage() {
        // A folder where the entry should be cannot be removed as a file, by root either.
        LaunchAtLogin login(entryPath(), QStringLiteral("quorvel"));
        login.set(true);
        QVERIFY(login.isEnabled());
        QVERIFY(QFile::remove(entryPath()));
        QVERIFY(QDir().mkpath(entryPath() + QStringLiteral("/inside")));
        login.set(false);
        QCOMPARE(login.errorMessage(), failureText);
        QVERIFY(!login.isEnabled()); // a folder starts nothing
    }

    void execArgument_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("exec");
        QTest::newRow("installed") << "quorvel"
                                   << "quorvel";
        QTest::newRow("plain path") << "/opt/q/bin/quorvel"
                                    << "/opt/q/bin/quorvel";
        QTest::newRow("space") << "/home/a b/quorvel"
                               << "\"/home/a b/quorvel\"";
        QTest::newRow("percent") << "/tmp/100%/quorvel"
                                 << "/tmp/100%%/quorvel";
        // Escaped for Exec inside quotes, then every backslash doubled for the string value.
        QTest::newRow("quote and dollar") << "/tmp/\"$x\"/q"
                                          << "\"/tmp/\\\\\"\\\\$x\\\\\"/q\"";
        QTest::newRow("backslash") << "/tmp/a\\b/q"
                                   << "\"/tmp/a\\\\\\\\b/q\"";
        QTest::newRow("newline") << "/tmp/a\nb/q"
                                 << "\"/tmp/a\\nb/q\"";
        QTest::newRow("Korean") << "/home/사용자/quorvel"
                                << "/home/사용자/quorvel";
    }

    void execArgument() {
        QFETCH(QString, program);
        QFETCH(QString, exec);
        QCOMPARE(QString::fromStdString(AutostartEntry::execArgument(program.toStdString())), exec);
        QVERIFY(AutostartEntry::startsAtLogin(AutostartEntry::text(program.toStdString())));
    }

    void programIsTheInstalledOneWhenThisIsIt() {
        const QString self = QCoreApplication::applicationFilePath();
        QCOMPARE(LaunchAtLogin::defaultProgram(), self); // a build directory is not installed
        QTemporaryDir bin;
        QVERIFY(QFile::link(self, bin.filePath(QStringLiteral("quorvel"))));
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", bin.path().toUtf8() + ":" + path);
        const QString program = LaunchAtLogin::defaultProgram();
        qputenv("PATH", path);
        QCOMPARE(program, QStringLiteral("quorvel"));
    }
};

QTEST_MAIN(LaunchAtLoginTest)
#include "LaunchAtLoginTest.moc"
