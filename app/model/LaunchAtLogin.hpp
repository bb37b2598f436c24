#pragma once

#include <QObject>
#include <QString>

namespace quorvel::app {

// Whether the app starts when the user logs in, kept as an XDG autostart entry
// ($XDG_CONFIG_HOME/autostart/kr.vatsu.quorvel.desktop). The entry is the only truth: the state is
// read back from it after every change.
class LaunchAtLogin : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isEnabled READ isEnabled NOTIFY isEnabledChanged)
    Q_PROPERTY(QString errorMessage READ errorMessage NOTIFY errorMessageChanged)

public:
    explicit LaunchAtLogin(QObject *parent = nullptr);
    // An entry at `entryPath` that starts `program`.
    LaunchAtLogin(QString entryPath, QString program, QObject *parent = nullptr);

    bool isEnabled() const { return enabled_; }
    // The text shown under the toggle after a failed change; empty otherwise.
    QString errorMessage() const { return errorMessage_; }

    // Writes the entry (on) or removes it (off).
    void set(bool on);

    // Where the entry lives for this user.
    static QString defaultEntryPath();
    // What the entry starts: the installed `quorvel` when this is it, else this program's absolute path.
    static QString defaultProgram();

Q_SIGNALS:
    void isEnabledChanged();
    void errorMessageChanged();

private:
    bool write();
    bool remove();
    bool readState() const;
    void setErrorMessage(QString message);

    QString entryPath_;
    QString program_;
    bool enabled_ = false;
    QString errorMessage_;
};

} // namespace quorvel::app
