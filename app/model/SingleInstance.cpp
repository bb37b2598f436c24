#include "model/SingleInstance.hpp"

#include "model/InstanceMessage.hpp"

#include "util/FileLock.hpp"

#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <sys/stat.h>
#include <unistd.h>

#include <system_error>

namespace quorvel::app {

namespace {

constexpr char delivered = 1;

// An owner-only directory of our own for the socket when there is no runtime directory.
QString privateTemporaryDirectory() {
    const QString path = QDir::tempPath() + QStringLiteral("/kr.vatsu.quorvel-") + QString::number(getuid());
    ::mkdir(QFile::encodeName(path).constData(), 0700);
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid() ||
        (info.st_mode & 077) != 0)
        return {};
    return path;
}

bool someoneAnswers(const QString &name) {
    QLocalSocket probe;
    probe.connectToServer(name);
    return probe.waitForConnected(1000);
}

} // namespace

QString SingleInstance::defaultServerName() {
    QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (dir.isEmpty() || !QFileInfo(dir).isDir()) dir = privateTemporaryDirectory();
    if (dir.isEmpty()) return QDir::tempPath() + QStringLiteral("/kr.vatsu.quorvel-%1.instance").arg(getuid());
    return dir + QStringLiteral("/kr.vatsu.quorvel.instance");
}

SingleInstance::SingleInstance(QString serverName, QObject *parent)
    : QObject(parent), serverName_(std::move(serverName)) {
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::accept);
}

SingleInstance::~SingleInstance() {
    server_.close();
}

bool SingleInstance::listen() {
    // While a process decides whether it is the first, no other one may: both could take over the socket.
    std::optional<FileLock> deciding;
    try {
        deciding = FileLock::acquire(QFile::encodeName(serverName_ + QStringLiteral(".lock")).toStdString());
    } catch (const std::system_error &) {
        // Without the lock file the race is merely possible; the channel still works.
    }
    // Listening replaces whatever is at the path (Qt binds elsewhere and renames), so look first.
    if (someoneAnswers(serverName_)) return false;
    // Left behind by an instance that died without closing it.
    QLocalServer::removeServer(serverName_);
    return server_.listen(serverName_);
}

bool SingleInstance::acceptable(const QString &url) {
    const QUrl parsed(url, QUrl::StrictMode);
    return parsed.isValid() && parsed.scheme().compare(QLatin1String("quorvel"), Qt::CaseInsensitive) == 0;
}

void SingleInstance::accept() {
    while (QLocalSocket *socket = server_.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // A peer that never finishes its message is dropped rather than kept forever.
        QTimer::singleShot(5000, socket, [socket] { socket->abort(); });
        auto buffer = std::make_shared<std::string>();
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, buffer] {
            buffer->append(socket->readAll().toStdString());
            bool bad = false;
            const auto decoded = InstanceMessage::decode(*buffer, bad);
            if (bad) {
                socket->abort();
                return;
            }
            if (!decoded) return;
            socket->write(&delivered, 1);
            socket->flush();
            socket->disconnectFromServer();
            const QString message = QString::fromStdString(*decoded);
            if (message.isEmpty())
                Q_EMIT activationRequested();
            else if (acceptable(message))
                Q_EMIT urlReceived(message);
        });
    }
}

bool SingleInstance::forward(const QString &serverName, const QString &url, int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(serverName);
    if (!socket.waitForConnected(timeoutMs)) return false;
    socket.write(QByteArray::fromStdString(InstanceMessage::encode(url.toStdString())));
    if (!socket.waitForBytesWritten(timeoutMs)) return false;
    while (socket.bytesAvailable() < 1)
        if (!socket.waitForReadyRead(timeoutMs)) return false;
    char answer = 0;
    return socket.read(&answer, 1) == 1 && answer == delivered;
}

} // namespace quorvel::app
