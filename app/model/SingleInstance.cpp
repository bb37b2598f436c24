#include "model/SingleInstance.hpp"

#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QPointer>
#include <QStringDecoder>
#include <QTimer>
#include <QUrl>
#include <QtEndian>

#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>

namespace quorvel::app {

namespace {

constexpr int headerBytes = 4;
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

// Holds an exclusive lock on a file beside the socket while a process decides whether it is the
// first, so two starting at once cannot both take over the socket.
class StartLock {
public:
    explicit StartLock(const QString &socketPath) {
        fd_ = ::open(QFile::encodeName(socketPath + QStringLiteral(".lock")).constData(), O_RDWR | O_CREAT | O_CLOEXEC,
                     0600);
        if (fd_ >= 0) ::flock(fd_, LOCK_EX);
    }
    ~StartLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    StartLock(const StartLock &) = delete;
    StartLock &operator=(const StartLock &) = delete;

private:
    int fd_ = -1;
};

bool someoneAnswers(const QString &name) {
    QLocalSocket probe;
    probe.connectToServer(name);
    return probe.waitForConnected(1000);
}

} // namespace

QString SingleInstance::defaultServerName() {
    QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (dir.isEmpty() || !QFileInfo(dir).isDir()) dir = privateTemporaryDirectory();
    if (dir.isEmpty()) return QStringLiteral("kr.vatsu.quorvel.instance-") + QString::number(getuid());
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
    StartLock lock(serverName_);
    if (server_.listen(serverName_)) return true;
    if (server_.serverError() != QAbstractSocket::AddressInUseError) return false;
    if (someoneAnswers(serverName_)) return false;
    // Left behind by an instance that died without closing it.
    QLocalServer::removeServer(serverName_);
    return server_.listen(serverName_);
}

QByteArray SingleInstance::encode(const QString &message) {
    const QByteArray body = message.toUtf8();
    QByteArray out(headerBytes, '\0');
    qToBigEndian<quint32>(static_cast<quint32>(body.size()), out.data());
    return out + body;
}

std::optional<QString> SingleInstance::decode(QByteArray &buffer, bool &bad) {
    bad = false;
    if (buffer.size() < headerBytes) return std::nullopt;
    const quint32 length = qFromBigEndian<quint32>(buffer.constData());
    if (length > maxMessageBytes) {
        bad = true;
        return std::nullopt;
    }
    if (buffer.size() - headerBytes < static_cast<qsizetype>(length)) return std::nullopt;
    const QByteArray body = buffer.mid(headerBytes, length);
    buffer.remove(0, headerBytes + length);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(body);
    if (utf8.hasError()) {
        bad = true;
        return std::nullopt;
    }
    return text;
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
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, buffer] {
            buffer->append(socket->readAll());
            bool bad = false;
            auto message = decode(*buffer, bad);
            if (bad) {
                socket->abort();
                return;
            }
            if (!message) return;
            socket->write(&delivered, 1);
            socket->flush();
            socket->disconnectFromServer();
            if (message->isEmpty())
                Q_EMIT activationRequested();
            else if (acceptable(*message))
                Q_EMIT urlReceived(*message);
        });
    }
}

bool SingleInstance::forward(const QString &serverName, const QString &url, int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(serverName);
    if (!socket.waitForConnected(timeoutMs)) return false;
    socket.write(encode(url));
    if (!socket.waitForBytesWritten(timeoutMs)) return false;
    while (socket.bytesAvailable() < 1)
        if (!socket.waitForReadyRead(timeoutMs)) return false;
    char answer = 0;
    return socket.read(&answer, 1) == 1 && answer == delivered;
}

} // namespace quorvel::app
