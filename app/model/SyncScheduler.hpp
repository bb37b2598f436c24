#pragma once

#include "model/SyncTrigger.hpp"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <optional>

namespace quorvel::app {

// Turns outside events into sync requests: a repeating timer, the network coming back, a wake from
// sleep and one of the app's windows becoming active. It decides nothing; the model's guards absorb
// repeats. Lives on the main thread; every callback runs there.
class SyncScheduler : public QObject {
    Q_OBJECT

public:
    // Where the outside events come from. start() calls each watch once with `context` (the scheduler)
    // and the handler to call on the main thread; the handler must not be called after `context` is
    // gone (connect it with `context` as the receiver). A source that cannot start (no network backend,
    // no system bus) simply never calls its handler.
    struct Sources {
        std::function<void(QObject *context, std::function<void(bool online)> changed)> network;
        std::function<void(QObject *context, std::function<void()> woke)> wake;
        std::function<void(QObject *context, std::function<void()> activated)> windowKey;
    };

    // The desktop's sources: QNetworkInformation reachability, logind's PrepareForSleep(false) on the
    // system bus, and the application's focus window.
    static Sources systemSources();

    SyncScheduler(std::function<void(SyncTrigger)> onTrigger, std::function<void(bool online)> onNetwork,
                  QObject *parent = nullptr);
    SyncScheduler(std::function<void(SyncTrigger)> onTrigger, std::function<void(bool online)> onNetwork,
                  Sources sources, QObject *parent = nullptr);

    // Starts the timer and the three watches; later calls do nothing.
    void start(int intervalMinutes);
    // Replaces the repeating timer; 0 or less: no timed syncs.
    void setInterval(int minutes);

    // The repeating timer, absent when the interval is 0 (for inspection).
    const QTimer *timer() const { return timer_; }

private:
    void networkChanged(bool online);

    std::function<void(SyncTrigger)> onTrigger_;
    std::function<void(bool)> onNetwork_;
    Sources sources_;
    QPointer<QTimer> timer_;
    std::optional<bool> lastOnline_;
    bool started_ = false;
};

} // namespace quorvel::app
