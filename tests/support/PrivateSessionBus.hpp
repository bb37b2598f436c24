#pragma once

#include "app/EndsWithTest.hpp"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace quorvel::test {

// A session bus of its own (dbus-daemon with the session policy) that starts services from the
// files written into its service directory, as a desktop session's bus does. Header-only, for the
// Qt tests and benchmarks alike.
class PrivateSessionBus {
public:
    ~PrivateSessionBus() {
        if (daemon_.state() != QProcess::NotRunning) daemon_.kill();
        daemon_.waitForFinished();
    }

    // The service `name`, started by running `command`.
    void addService(const QString &name, const QString &command) {
        QDir().mkpath(dir_.filePath(QStringLiteral("services")));
        QFile file(dir_.filePath(QStringLiteral("services/") + name + QStringLiteral(".service")));
        if (file.open(QIODevice::WriteOnly))
            file.write(QStringLiteral("[D-BUS Service]\nName=%1\nExec=%2\n").arg(name, command).toUtf8());
    }

    // Starts the daemon; its address, or empty when it did not start.
    QString start() {
        QDir().mkpath(dir_.filePath(QStringLiteral("services")));
        QFile config(dir_.filePath(QStringLiteral("bus.conf")));
        if (!config.open(QIODevice::WriteOnly)) return {};
        config.write(QStringLiteral("<busconfig><type>session</type><listen>unix:tmpdir=%1</listen>"
                                    "<auth>EXTERNAL</auth><servicedir>%2</servicedir><policy context=\"default\">"
                                    "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                                    "<allow own=\"*\"/></policy></busconfig>")
                         .arg(dir_.path(), dir_.filePath(QStringLiteral("services")))
                         .toUtf8());
        config.close();
        endsWithTest(daemon_);
        daemon_.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--config-file=") + config.fileName(),
                                                      QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        if (!daemon_.waitForReadyRead(10000)) return {};
        return QString::fromUtf8(daemon_.readLine()).trimmed();
    }

private:
    QTemporaryDir dir_;
    QProcess daemon_;
};

} // namespace quorvel::test
