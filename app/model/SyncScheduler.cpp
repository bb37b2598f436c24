#include "model/SyncScheduler.hpp"

#include <QDBusConnection>
#include <QGuiApplication>
#include <QNetworkInformation>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <limits>

namespace quorvel::app {

namespace {

// logind announces sleep with PrepareForSleep(true) and the wake with PrepareForSleep(false).
class SleepWatcher : public QObject {
    Q_OBJECT

public:
    SleepWatcher(std::function<void()> woke, QObject *parent) : QObject(parent), woke_(std::move(woke)) {}

public Q_SLOTS:
    void prepareForSleep(bool sleeping) {
        if (!sleeping) woke_();
    }

private:
    std::function<void()> woke_;
};

void watchNetwork(QObject *context, std::function<void(bool)> changed) {
    using Reachability = QNetworkInformation::Reachability;
    // Without a backend the app behaves as online, and the network never triggers a sync.
    if (!QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability)) {
        QMetaObject::invokeMethod(
            context, [changed] { changed(true); }, Qt::QueuedConnection);
        return;
    }
    auto *information = QNetworkInformation::instance();
    // Only a known disconnection is offline: a local-only network may still reach the service (a
    // development service on this machine), and an unknown state must not stop syncing.
    auto online = [](Reachability reachability) { return reachability != Reachability::Disconnected; };
    QObject::connect(information, &QNetworkInformation::reachabilityChanged, context,
                     [changed, online](Reachability reachability) { changed(online(reachability)); });
    // The first report is the state as it stands.
    QMetaObject::invokeMethod(
        context, [changed, online] { changed(online(QNetworkInformation::instance()->reachability())); },
        Qt::QueuedConnection);
}

void watchWake(QObject *context, std::function<void()> woke) {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) return;
    auto *watcher = new SleepWatcher(std::move(woke), context);
    if (!bus.connect(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                     QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"), watcher,
                     SLOT(prepareForSleep(bool)))) {
        delete watcher;
    }
}

void watchWindowKey(QObject *context, std::function<void()> activated) {
    auto *application = qobject_cast<QGuiApplication *>(QCoreApplication::instance());
    if (!application) return;
    // Only real windows count: menus and tool tips never become the active window of the app.
    QObject::connect(application, &QGuiApplication::focusWindowChanged, context, [activated](QWindow *window) {
        if (window && (window->type() == Qt::Window || window->type() == Qt::Dialog)) activated();
    });
}

} // namespace

SyncScheduler::Sources SyncScheduler::systemSources() {
    return {watchNetwork, watchWake, watchWindowKey};
}

SyncScheduler::SyncScheduler(std::function<void(SyncTrigger)> onTrigger, std::function<void(bool)> onNetwork,
                             QObject *parent)
    : SyncScheduler(std::move(onTrigger), std::move(onNetwork), systemSources(), parent) {}

SyncScheduler::SyncScheduler(std::function<void(SyncTrigger)> onTrigger, std::function<void(bool)> onNetwork,
                             Sources sources, QObject *parent)
    : QObject(parent), onTrigger_(std::move(onTrigger)), onNetwork_(std::move(onNetwork)),
      sources_(std::move(sources)) {}

void SyncScheduler::start(int intervalMinutes) {
    if (started_) return;
    started_ = true;
    setInterval(intervalMinutes);
    auto later = [this](SyncTrigger trigger) {
        // Like every trigger, outside the emitting source's call stack.
        return [this, trigger] {
            QMetaObject::invokeMethod(
                this, [this, trigger] { onTrigger_(trigger); }, Qt::QueuedConnection);
        };
    };
    if (sources_.network) sources_.network(this, [this](bool online) { networkChanged(online); });
    if (sources_.wake) sources_.wake(this, later(SyncTrigger::wake));
    if (sources_.windowKey) sources_.windowKey(this, later(SyncTrigger::windowKey));
}

void SyncScheduler::setInterval(int minutes) {
    delete timer_;
    if (minutes <= 0) return;
    timer_ = new QTimer(this);
    timer_->setTimerType(Qt::VeryCoarseTimer); // the system may pick the moment; wake-ups stay cheap
    // QTimer counts in int milliseconds: a damaged preference must not wrap around.
    constexpr int maxMinutes = std::numeric_limits<int>::max() / 60'000;
    timer_->setInterval(std::chrono::minutes(std::min(minutes, maxMinutes)));
    connect(timer_, &QTimer::timeout, this, [this] { onTrigger_(SyncTrigger::timer); });
    timer_->start();
}

void SyncScheduler::networkChanged(bool online) {
    std::optional<bool> previous = lastOnline_;
    lastOnline_ = online;
    onNetwork_(online); // every report, repeats too: the model ignores them
    // Only a real offline → online edge; never the first report.
    if (online && previous == false) {
        QMetaObject::invokeMethod(
            this, [this] { onTrigger_(SyncTrigger::network); }, Qt::QueuedConnection);
    }
}

} // namespace quorvel::app

#include "SyncScheduler.moc"
