#pragma once

#include "model/SyncBadge.hpp"
#include "model/SyncTrigger.hpp"

#include "sync/SyncProgress.hpp"

#include <QObject>
#include <QProperty>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

namespace quorvel {
class AuthSession;
class LocalStore;
class SyncEngine;
} // namespace quorvel

namespace quorvel::app {

class Connectivity;
class Library;
class Preferences;
class Revocation;
class Stage;
class Workers;
struct Environment;
struct Services;

// Runs the syncs: decides which requests are honoured (the phase, a run already going, credentials,
// the network, a retry time the service asked for, one window activation per 300 s), runs the
// engine on a worker and shows its progress, and turns its outcome into the status the footer and
// the first-download screen show, a retry time, or an account action. One run at a time; the
// outcome of a run that began before the account changed is dropped.
class SyncController : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isSyncing READ isSyncing NOTIFY isSyncingChanged)
    Q_PROPERTY(std::optional<quorvel::SyncProgress> progress READ progress NOTIFY progressChanged)
    Q_PROPERTY(std::optional<QString> lastFailureMessage READ lastFailureMessage NOTIFY lastFailureMessageChanged)
    Q_PROPERTY(std::optional<QString> initialSyncError READ initialSyncError NOTIFY initialSyncErrorChanged)
    Q_PROPERTY(bool needsRelogin READ needsRelogin NOTIFY needsReloginChanged)
    Q_PROPERTY(bool upgradeRequired READ upgradeRequired NOTIFY upgradeRequiredChanged)
    Q_PROPERTY(std::optional<QString> upgradeMinVersion READ upgradeMinVersion NOTIFY upgradeMinVersionChanged)
    Q_PROPERTY(
        int syncIntervalMinutes READ syncIntervalMinutes WRITE setSyncIntervalMinutes NOTIFY syncIntervalMinutesChanged)
    Q_PROPERTY(quorvel::app::SyncBadge badge READ badge NOTIFY badgeChanged)

public:
    SyncController(Workers &workers, const Services &services, Stage &stage, Connectivity &connectivity,
                   Library &library, Revocation &revocation, Preferences &preferences, const Environment &environment,
                   QObject *parent = nullptr);
    ~SyncController() override;

    bool isSyncing() const { return isSyncing_; }
    // A run, from its start to the reload after its outcome, is writing the library (and, for some
    // outcomes, the credentials).
    bool isWriting() const { return writing_ > 0; }
    const std::optional<SyncProgress> &progress() const { return progress_.value(); }
    const std::optional<QString> &lastFailureMessage() const { return lastFailureMessage_.value(); }
    // Why the first download stopped (shown with its retry button).
    const std::optional<QString> &initialSyncError() const { return initialSyncError_.value(); }
    // The stored library stays readable, but syncing needs a new sign-in.
    bool needsRelogin() const { return needsRelogin_; }
    bool upgradeRequired() const { return upgradeRequired_; }
    const std::optional<QString> &upgradeMinVersion() const { return upgradeMinVersion_.value(); }
    int syncIntervalMinutes() const { return syncIntervalMinutes_; }
    // The footer's one-line status.
    const SyncBadge &badge() const { return badge_.value(); }

    // A trigger's request; refused silently by the guards.
    void requestSync(SyncTrigger trigger);
    // The user's command: a sync now, or the sign-in it needs first.
    void syncNow();
    // The first download, on its own screen; waits up to a minute for a run still going.
    void runInitialSync();
    void cancelInitialSync();
    // A damaged library asks for a sync once, until a sync succeeds.
    void healDamage();
    void openDownloadPage();
    void setSyncIntervalMinutes(int minutes);

    // For the account's steps.
    // One run now, without a request's guards (the account has just signed in).
    void runNow();
    // Asks the engine to stop the run in flight.
    void cancel();
    // The account changes: the outcome and the progress of the run in flight belong to no one.
    void dropRunInFlight();
    // Signed in again: the status of a refused sign-in, a refused version or a failure goes.
    void noteSignedIn();
    // A library is stored but no credentials are: show it, and ask for a sign-in.
    void requireSignIn();
    // The library was erased: no status of it stays.
    void clearStatus();

Q_SIGNALS:
    void isSyncingChanged();
    void isWritingChanged();
    void progressChanged();
    void lastFailureMessageChanged();
    void initialSyncErrorChanged();
    void needsReloginChanged();
    void upgradeRequiredChanged();
    void upgradeMinVersionChanged();
    void syncIntervalMinutesChanged();
    void badgeChanged();
    // The user asked for a sync that needs a sign-in first.
    void reloginRequested();
    // An outcome erased the library (the device was unlinked) or found nothing to keep.
    void libraryErased();

private:
    struct Flow; // the coroutines of a run, in the .cpp
    template <class>
    friend class OwnWork;
    bool admits(SyncTrigger trigger) const;
    void receive(const SyncProgress &progress, uint64_t run);
    void commonFailure(bool initial);
    void markSuccess();
    void refreshBadge();

    Workers &workers_;
    Stage &stage_;
    Connectivity &connectivity_;
    Library &library_;
    Revocation &revocation_;
    Preferences &preferences_;
    const Environment &environment_;
    std::shared_ptr<LocalStore> store_;
    std::shared_ptr<AuthSession> auth_;
    std::shared_ptr<SyncEngine> engine_;

    std::optional<double> lastAttemptAt_;
    std::optional<double> retryNotBefore_;
    bool healRequested_ = false; // a sync was asked for the damage the library last showed
    int64_t generation_ = 0;     // moves when the account changes
    uint64_t run_ = 0;           // the run whose progress counts
    int writing_ = 0;

    Q_OBJECT_BINDABLE_PROPERTY(SyncController, bool, isSyncing_, &SyncController::isSyncingChanged)
    Q_OBJECT_BINDABLE_PROPERTY(SyncController, std::optional<SyncProgress>, progress_, &SyncController::progressChanged)
    Q_OBJECT_BINDABLE_PROPERTY(SyncController, std::optional<QString>, lastFailureMessage_,
                               &SyncController::lastFailureMessageChanged)
    Q_OBJECT_BINDABLE_PROPERTY(SyncController, std::optional<QString>, initialSyncError_,
                               &SyncController::initialSyncErrorChanged)
    Q_OBJECT_BINDABLE_PROPERTY(SyncController, bool, needsRelogin_, &SyncController::needsReloginChanged)
    Q_OBJECT_BINDABLE_PROPERTY(SyncController, bool, upgradeRequired_, &SyncController::upgradeRequiredChanged)
    Q_OBJECT_BINDABLE_PROPERTY(SyncController, std::optional<QString>, upgradeMinVersion_,
                               &SyncController::upgradeMinVersionChanged)
    Q_OBJECT_BINDABLE_PROPERTY_WITH_ARGS(SyncController, int, syncIntervalMinutes_, 15,
                                         &SyncController::syncIntervalMinutesChanged)
    Q_OBJECT_BINDABLE_PROPERTY(SyncController, SyncBadge, badge_, &SyncController::badgeChanged)
};

} // namespace quorvel::app
