#pragma once

#include <QDBusArgument>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariantMap>

namespace quorvel::provider {

// One match of org.kde.krunner1's Match, (sssida{sv}).
struct RemoteMatch {
    QString id;
    QString text;
    QString iconName;
    int type = 0;
    double relevance = 0;
    QVariantMap properties;
};

// One action of Actions, (sss).
struct RemoteAction {
    QString id;
    QString text;
    QString iconName;
};

using RemoteMatches = QList<RemoteMatch>;
using RemoteActions = QList<RemoteAction>;

QDBusArgument &operator<<(QDBusArgument &out, const RemoteMatch &match);
const QDBusArgument &operator>>(const QDBusArgument &in, RemoteMatch &match);
QDBusArgument &operator<<(QDBusArgument &out, const RemoteAction &action);
const QDBusArgument &operator>>(const QDBusArgument &in, RemoteAction &action);

// Makes the types known to Qt D-Bus; once, before any is sent or read.
void registerKRunnerTypes();

} // namespace quorvel::provider

Q_DECLARE_METATYPE(quorvel::provider::RemoteMatch)
Q_DECLARE_METATYPE(quorvel::provider::RemoteAction)
