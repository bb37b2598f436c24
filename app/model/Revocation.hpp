#pragma once

#include <QFuture>
#include <QObject>
#include <QProperty>

#include <memory>

namespace quorvel {
class PendingRevokeStore;
}

namespace quorvel::app {

class Connectivity;
class Workers;
struct Environment;
struct Services;

// The revocation still owed to the service since a logout that could not send it: sent again at
// start-up and before the syncs of a launch, a network change or a wake, one try at a time.
class Revocation : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isSending READ isSending NOTIFY isSendingChanged)

public:
    Revocation(Workers &workers, const Services &services, Connectivity &connectivity, const Environment &environment,
               QObject *parent = nullptr);

    // A try is under way (the welcome screen waits for it).
    bool isSending() const { return isSending_; }

    // Sends what is owed, when online and no try is running. Resolves when the try ended (at once when
    // none was made). Kept for a later try when the network failed; dropped when the service answered.
    QFuture<void> retry();

Q_SIGNALS:
    void isSendingChanged();

private:
    Workers &workers_;
    Connectivity &connectivity_;
    const Environment &environment_;
    std::shared_ptr<PendingRevokeStore> pending_;

    Q_OBJECT_BINDABLE_PROPERTY(Revocation, bool, isSending_, &Revocation::isSendingChanged)
};

} // namespace quorvel::app
