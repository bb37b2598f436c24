#pragma once

#include <QObject>
#include <QProperty>

namespace quorvel::app {

// The last known state of the network, as the scheduler's watch reports it; online until told.
class Connectivity : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isOnline READ isOnline NOTIFY isOnlineChanged)

public:
    explicit Connectivity(QObject *parent = nullptr) : QObject(parent) {}

    bool isOnline() const { return isOnline_; }
    void setOnline(bool online) { isOnline_ = online; }

Q_SIGNALS:
    void isOnlineChanged();

private:
    Q_OBJECT_BINDABLE_PROPERTY_WITH_ARGS(Connectivity, bool, isOnline_, true, &Connectivity::isOnlineChanged)
};

} // namespace quorvel::app
