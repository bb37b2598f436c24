#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

namespace quorvel::app {

// Keeps one running app per user. The first process listens on a per-user local socket; a later one
// (started by the browser with a quorvel://link?… callback, or by the user) hands its URL over and
// exits. Messages are InstanceMessage's; an empty message asks the running app to come to the front.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // $XDG_RUNTIME_DIR/kr.vatsu.quorvel.instance, else a socket in an owner-only directory under
    // the temporary directory.
    static QString defaultServerName();

    explicit SingleInstance(QString serverName = defaultServerName(), QObject *parent = nullptr);
    ~SingleInstance() override;

    // Listens, replacing a socket left behind by a crashed instance. False when another instance
    // answers on it (this process should forward and exit) or the socket cannot be made.
    bool listen();
    const QString &serverName() const { return serverName_; }

    // Hands `url` (empty: "come to the front") to the instance listening on `serverName`. True once
    // the running instance confirmed it.
    static bool forward(const QString &serverName, const QString &url, int timeoutMs = 3000);

    // Only callbacks of our own scheme are taken from the channel.
    static bool acceptable(const QString &url);

Q_SIGNALS:
    // A quorvel: URL from another process.
    void urlReceived(const QString &url);
    void activationRequested();

private:
    void accept();

    QString serverName_;
    QLocalServer server_;
};

} // namespace quorvel::app
