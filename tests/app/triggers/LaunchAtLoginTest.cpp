#include "model/LaunchAtLogin.hpp"
#include "model/AutostartEntry.hpp"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace quorvel::app;

const QString failureText =
    "로그인 항목을 바꾸지 못했어요. 자동 시작 폴더(~/.config/autostart)에 쓸 수 있는지 확인해 주세요.";

class LaunchAtLoginTest : public QObject {
    Q_OBJECT

    QTemporaryDir config_;
    QString folder() const { return config_.filePath("autostart"); }
    QString entryPath() const { return folder() + "/kr.vatsu.quorvel.desktop"; }

private Q_SLOTS:
    void init() {
        qputenv("XDG_CONFIG_HOME", config_.path().toUtf8());
        QDir(config_.path()).removeRecursively();
        QVERIFY(QDir().mkpath(config_.path()));
    }

    void onAndOffThroughTheEntry() {
        LaunchAtLogin login;
        QVERIFY(!login.isEnabled());
        QSignalSpy enabled(&login, &LaunchAtLogin::isEnabledChanged);
        for (int i = 0; i < 2; ++i) { // twice: a second time changes nothing
            login.set(true);
            QVERIFY(login.isEnabled() && login.errorMessage().isEmpty());
        }
        QFile entry(entryPath());
        QVERIFY(entry.open(QIODevice::ReadOnly));
        QCOMPARE(entry.readAll().toStdString(), AutostartEntry::text(LaunchAtLogin::defaultProgram().toStdString()));
        QCOMPARE(QDir(folder()).entryList(QDir::Files | QDir::Hidden).size(), 1); // no temporary file left
        for (int i = 0; i < 2; ++i) { // already off: nothing to do, nothing to report
            login.set(false);
            QVERIFY(!login.isEnabled() && login.errorMessage().isEmpty());
            QVERIFY(!QFile::exists(entryPath()));
        }
        QCOMPARE(enabled.size(), 2);
    }

    // Whether an entry starts the app, and the program quoted for Exec.
    void entryText() {
        const std::pair<const char *, bool> entries[] = {
            {"[Desktop Entry]\nExec=quorvel\nHidden=true\n", false},
            {"[Desktop Entry]\r\nExec=quorvel\r\nX-GNOME-Autostart-enabled = false\r\n", false},
            {"[Desktop Entry]\nExec=quorvel\n[Desktop Action x]\nHidden=true\n", true},
            {"[Desktop Entry]\nName=Quorvel\n", false},
            {"Exec=quorvel\n", false},
            {"", false},
        };
        for (const auto &[text, starts] : entries)
            QVERIFY2(AutostartEntry::startsAtLogin(text) == starts, text);
        // Escaped for Exec inside quotes, then every backslash doubled for the string value.
        const std::pair<const char *, const char *> programs[] = {
            {"/opt/q/bin/quorvel", "/opt/q/bin/quorvel"},
            {"/home/사용자/quorvel", "/home/사용자/quorvel"},
            {"/home/a b/quorvel", "\"/home/a b/quorvel\""},
            {"/tmp/100%/quorvel", "/tmp/100%%/quorvel"},
            {"/tmp/\"$x\"/q", "\"/tmp/\\\\\"\\\\$x\\\\\"/q\""},
            {"/tmp/a\\b/q", "\"/tmp/a\\\\\\\\b/q\""},
            {"/tmp/a\nb/q", "\"/tmp/a\\nb/q\""},
        };
        for (const auto &[program, exec] : programs)
            QCOMPARE(QString::fromStdString(AutostartEntry::execArgument(program)), QString::fromUtf8(exec));
    }

    // A file where the folder should be, or a read-only folder: nothing changes, then it works; an
    // entry that cannot be removed says so.
    void failedChangeSnapsBack() {
        for (bool readOnlyFolder : {false, geteuid() != 0}) { // permissions do not bind root
            init();
            QFile blocker(folder());
            QVERIFY(readOnlyFolder
                        ? QDir().mkpath(folder()) && blocker.setPermissions(QFile::ReadOwner | QFile::ExeOwner)
                        : blocker.open(QIODevice::WriteOnly));
            LaunchAtLogin login;
            QSignalSpy messages(&login, &LaunchAtLogin::errorMessageChanged);
            login.set(true);
            QCOMPARE(login.errorMessage(), failureText);
            QVERIFY(!login.isEnabled());
            QVERIFY(readOnlyFolder ? blocker.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)
                                   : blocker.remove());
            login.set(true);
            QVERIFY(login.errorMessage().isEmpty() && login.isEnabled());
            QCOMPARE(messages.size(), 2);
        }
        // A folder where the entry should be cannot be removed as a file, by root either.
        LaunchAtLogin login;
        login.set(true);
        QVERIFY(QFile::remove(entryPath()) && QDir().mkpath(entryPath() + "/inside"));
        login.set(false);
        QCOMPARE(login.errorMessage(), failureText);
        QVERIFY(!login.isEnabled()); // a folder starts nothing
    }

    void programIsTheInstalledOneWhenThisIsIt() {
        const QString self = QCoreApplication::applicationFilePath();
        QCOMPARE(LaunchAtLogin::defaultProgram(), self); // a build directory is not installed
        QTemporaryDir bin;
        QVERIFY(QFile::link(self, bin.filePath("quorvel")));
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", bin.path().toUtf8() + ":" + path);
        const QString program = LaunchAtLogin::defaultProgram();
        qputenv("PATH", path);
        QCOMPARE(program, "quorvel");
    }
};

QTEST_MAIN(LaunchAtLoginTest)
#include "LaunchAtLoginTest.moc"
