#include "model/SchemeRegistration.hpp"

#include "model/AppConfig.hpp"
#include "model/AutostartEntry.hpp"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

namespace quorvel::app::SchemeRegistration {

namespace {

QString dataHome() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}

QString entryName() {
    return QString::fromLatin1(AppConfig::applicationID) + QStringLiteral(".desktop");
}

bool writeAtomically(const QString &path, const QByteArray &bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(bytes);
    return file.commit();
}

// Adds the scheme's default to mimeapps.list unless the user already chose one.
bool makeDefault(const QString &path) {
    QFile file(path);
    QString text;
    if (file.open(QIODevice::ReadOnly)) text = QString::fromUtf8(file.readAll());
    file.close();
    const QString key = QString::fromLatin1(mimeType) + QLatin1Char('=');
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!text.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    int group = lines.indexOf(QStringLiteral("[Default Applications]"));
    if (group < 0) {
        lines << QStringLiteral("[Default Applications]");
        group = int(lines.size()) - 1;
    }
    int end = group + 1;
    while (end < lines.size() && !lines[end].startsWith(QLatin1Char('['))) {
        if (lines[end].startsWith(key)) return true;
        ++end;
    }
    lines.insert(end, key + entryName());
    return writeAtomically(path, (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
}

} // namespace

QStringList applicationDirectories() {
    QStringList dirs{dataHome() + QStringLiteral("/applications")};
    for (const QString &dir : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        if (!dirs.contains(dir + QStringLiteral("/applications"))) dirs << dir + QStringLiteral("/applications");
    return dirs;
}

bool declaresScheme(const QString &entryText) {
    for (const QString &line : entryText.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (!trimmed.startsWith(QStringLiteral("MimeType="))) continue;
        for (const QString &type : trimmed.mid(9).split(QLatin1Char(';')))
            if (type.trimmed() == QLatin1String(mimeType)) return true;
    }
    return false;
}

bool isRegistered() {
    for (const QString &dir : applicationDirectories()) {
        for (const QString &name : QDir(dir).entryList({QStringLiteral("*.desktop")}, QDir::Files)) {
            QFile file(dir + QLatin1Char('/') + name);
            if (file.size() < 64 * 1024 && file.open(QIODevice::ReadOnly) &&
                declaresScheme(QString::fromUtf8(file.readAll())))
                return true;
        }
    }
    return false;
}

bool ensure(const QString &program) {
    if (isRegistered()) return true;
    const QString applications = dataHome() + QStringLiteral("/applications");
    const std::string exec = AutostartEntry::execArgument(program.toStdString());
    // Only a handler: the build is not installed, so it stays out of the application menus.
    const QString entry = QStringLiteral("[Desktop Entry]\nType=Application\nName=쿼벨\nExec=%1 -- %u\n"
                                         "MimeType=%2;\nNoDisplay=true\nTerminal=false\n")
                              .arg(QString::fromStdString(exec), QLatin1String(mimeType));
    if (!writeAtomically(applications + QLatin1Char('/') + entryName(), entry.toUtf8())) return false;
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    makeDefault(config + QStringLiteral("/mimeapps.list"));
    const QString update = QStandardPaths::findExecutable(QStringLiteral("update-desktop-database"));
    if (!update.isEmpty()) QProcess::startDetached(update, {applications});
    return true;
}

} // namespace quorvel::app::SchemeRegistration
