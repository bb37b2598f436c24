#pragma once

#include "api/WireRecords.hpp"
#include "model/Preferences.hpp"
#include "model/UpdatePrompter.hpp"
#include "model/UpdateStatus.hpp"
#include "model/UrlOpener.hpp"

#include <QFuture>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>

namespace quorvel::app {

// Checks the service for a newer release of the app: automatically, at most once a day in the
// background, and when the user asks from the menu or the settings. Lives on the main thread.
class UpdateChecker : public QObject {
    Q_OBJECT
    Q_PROPERTY(quorvel::app::UpdateStatus status READ status NOTIFY statusChanged)
    Q_PROPERTY(bool isChecking READ isChecking NOTIFY isCheckingChanged)
    Q_PROPERTY(bool autoCheck READ autoCheck WRITE setAutoCheck NOTIFY autoCheckChanged)

public:
    // Called on the main thread; the future resolves to the release, or to nullopt when the fetch failed.
    using Fetch = std::function<QFuture<std::optional<quorvel::AppRelease>>()>;
    using Clock = std::function<double()>; // seconds since 1970

    // `preferences` keeps the last check, the skipped version and the automatic checks, and must
    // outlive the checker. Without `now`, the system clock.
    UpdateChecker(QString currentVersion, Preferences &preferences, Fetch fetch, QObject *parent = nullptr,
                  Clock now = {});

    // Whether the network is up; automatic checks wait for it. Online until set.
    void setOnlineTest(std::function<bool()> isOnline);
    // Where alerts appear; must outlive the checker or be replaced first. Without one, alerts wait.
    void setPrompter(UpdatePrompter *prompter);
    void setUrlOpener(UrlOpener opener);
    // The service's web address, the last resort for a download; the compiled-in base URL by default.
    void setWebURL(QString url);

    // Starts the background loop (15 s, then hourly) once.
    void start();
    // A sync trigger fired: offers a waiting alert and runs an automatic check if one is due.
    void noteTrigger();
    void checkFromMenu();
    void checkFromSettings();
    // Opens the release's download address in the browser.
    void openDownload(const quorvel::AppRelease &release);

    // The informative text of the availability alert.
    static QString message(const quorvel::AppRelease &release, const QString &current, bool mandatory);

    UpdateStatus status() const { return status_; }
    bool isChecking() const { return checking_; }
    bool autoCheck() const { return autoCheck_; }
    void setAutoCheck(bool on);

Q_SIGNALS:
    void statusChanged();
    void isCheckingChanged();
    void autoCheckChanged();

private:
    enum class Mode { automatic, menu, settings };
    struct Prompt {
        UpdateAlert alert;
        std::function<void(UpdateAlert::Action)> answered;
    };

    void automaticCheckIfDue();
    void check(Mode mode);
    void finish(Mode mode, const std::optional<quorvel::AppRelease> &release, const UpdateStatus &before);
    void fail(Mode mode, const UpdateStatus &before);
    void showAvailable(const quorvel::AppRelease &release, bool mandatory, bool allowSkip);
    void prompt(Prompt prompt);
    void showDeferredPrompt();
    void present(Prompt prompt);
    void setStatus(UpdateStatus status);
    void setChecking(bool checking);

    QString currentVersion_;
    Preferences &preferences_;
    Fetch fetch_;
    Clock now_;
    std::function<bool()> isOnline_;
    UpdatePrompter *prompter_ = nullptr;
    UrlOpener openUrl_;
    QString webURL_;

    UpdateStatus status_;
    bool checking_ = false;
    bool autoCheck_ = true;
    QPointer<QTimer> loop_;
    std::optional<double> lastAutoAttempt_;
    std::optional<Prompt> deferredPrompt_;
    bool isPresenting_ = false;
};

} // namespace quorvel::app
