#include "model/LaunchAtLogin.hpp"

#include "model/AutostartEntry.hpp"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace quorvel::app {

namespace {
constexpr qint64 maxEntrySize = 1 << 20; // ours is a few lines; anything larger is not ours to read
}

LaunchAtLogin::LaunchAtLogin(QObject *parent) : LaunchAtLogin(defaultEntryPath(), defaultProgram(), parent) {}

LaunchAtLogin::LaunchAtLogin(QString entryPath, QString program, QObject *parent)
    : QObject(parent), entryPath_(std::move(entryPath)), program_(std::move(program)), enabled_(readState()) {}

QString LaunchAtLogin::defaultEntryPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/kr.vatsu.quorvel.desktop");
}

QString LaunchAtLogin::defaultProgram() {
    const QString running = QCoreApplication::applicationFilePath();
    const QString installed = QStandardPaths::findExecutable(QStringLiteral("quorvel"));
    if (!installed.isEmpty() && QFileInfo(installed).canonicalFilePath() == QFileInfo(running).canonicalFilePath()) {
        return QStringLiteral("quorvel");
    }
    return running;
}

void LaunchAtLogin::set(bool on) {
    // Our own message only: the system's error text means nothing to the user.
    const bool changed = on ? write() : remove();
    setErrorMessage(changed ? QString()
                            : QStringLiteral("로그인 항목을 바꾸지 못했어요. 자동 시작 폴더(~/.config/autostart)에 "
                                             "쓸 수 있는지 확인해 주세요."));
    const bool enabled = readState();
    if (enabled != enabled_) {
        enabled_ = enabled;
        Q_EMIT isEnabledChanged();
    }
}

bool LaunchAtLogin::write() {
    if (!QDir().mkpath(QFileInfo(entryPath_).absolutePath())) return false;
    // A temporary file renamed over the entry: the session never reads half an entry.
    QSaveFile file(entryPath_);
    if (!file.open(QIODevice::WriteOnly)) return false;
    const std::string text = AutostartEntry::text(program_.toStdString());
    if (file.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size())) return false;
    return file.commit();
}

bool LaunchAtLogin::remove() {
    const QFileInfo entry(entryPath_);
    if (!entry.exists() && !entry.isSymLink()) return true; // already off
    return QFile::remove(entryPath_);
}

bool LaunchAtLogin::readState() const {
    QFile file(entryPath_);
    if (!QFileInfo(entryPath_).isFile() || !file.open(QIODevice::ReadOnly)) return false;
    const QByteArray text = file.read(maxEntrySize);
    return AutostartEntry::startsAtLogin(std::string_view(text.constData(), static_cast<size_t>(text.size())));
}

void LaunchAtLogin::setErrorMessage(QString message) {
    if (message == errorMessage_) return;
    errorMessage_ = std::move(message);
    Q_EMIT errorMessageChanged();
}

} // namespace quorvel::app
