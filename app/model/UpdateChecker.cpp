#include "model/UpdateChecker.hpp"

#include "update/ReleaseOperations.hpp"
#include "update/UpdatePolicy.hpp"

#include <QDateTime>
#include <QFutureWatcher>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include <chrono>

namespace quorvel::app {

namespace {

constexpr double checkInterval = 86400; // at most one automatic check a day…
constexpr double attemptInterval = 600; // …and one attempt per 10 minutes while they fail
constexpr auto firstLoopDelay = std::chrono::seconds(15);
constexpr auto loopInterval = std::chrono::hours(1);

double systemNow() {
    return static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
}

using Action = UpdateAlert::Action;

UpdateAlert notice(QString title) {
    return {
        UpdateAlert::Style::informational, std::move(title), {}, {{Action::ok, QStringLiteral("확인")}}, Action::ok};
}

} // namespace

UpdateChecker::UpdateChecker(QString currentVersion, Preferences &preferences, Fetch fetch, QObject *parent, Clock now)
    : QObject(parent), currentVersion_(std::move(currentVersion)), preferences_(preferences), fetch_(std::move(fetch)),
      now_(now ? std::move(now) : Clock(systemNow)), isOnline_([] { return true; }), openUrl_(desktopUrlOpener()),
      webURL_(QStringLiteral(QUORVEL_COMPILED_BASE_URL)), autoCheck_(preferences_.autoUpdateCheck()) {}

void UpdateChecker::setOnlineTest(std::function<bool()> isOnline) {
    isOnline_ = isOnline ? std::move(isOnline) : [] { return true; };
}

void UpdateChecker::setPrompter(UpdatePrompter *prompter) {
    prompter_ = prompter;
}

void UpdateChecker::setUrlOpener(UrlOpener opener) {
    openUrl_ = std::move(opener);
}

void UpdateChecker::setWebURL(QString url) {
    webURL_ = std::move(url);
}

void UpdateChecker::setAutoCheck(bool on) {
    preferences_.setAutoUpdateCheck(on);
    if (autoCheck_ == on) return;
    autoCheck_ = on;
    Q_EMIT autoCheckChanged();
}

void UpdateChecker::start() {
    if (loop_) return;
    loop_ = new QTimer(this);
    loop_->setObjectName(QStringLiteral("updateLoop"));
    loop_->setInterval(firstLoopDelay);
    connect(loop_, &QTimer::timeout, this, [this] {
        loop_->setInterval(loopInterval);
        automaticCheckIfDue();
    });
    loop_->start();
}

void UpdateChecker::noteTrigger() {
    automaticCheckIfDue();
}

void UpdateChecker::checkFromMenu() {
    check(Mode::menu);
}

void UpdateChecker::checkFromSettings() {
    check(Mode::settings);
}

void UpdateChecker::automaticCheckIfDue() {
    showDeferredPrompt();
    if (!autoCheck_ || checking_ || !isOnline_()) return;
    const double now = now_();
    const auto last = preferences_.lastUpdateCheckAt();
    if (last && !UpdatePolicy::isAutomaticCheckDue(*last, now, checkInterval)) return;
    // An attempt "in the future" (the clock was set back) does not hold the next one off.
    if (lastAutoAttempt_ && !UpdatePolicy::isAutomaticCheckDue(lastAutoAttempt_, now, attemptInterval)) return;
    lastAutoAttempt_ = now;
    check(Mode::automatic);
}

void UpdateChecker::check(Mode mode) {
    if (checking_) return;
    const UpdateStatus before = status_;
    setChecking(true);
    setStatus(UpdateStatus::checking());
    QFuture<std::optional<AppRelease>> future;
    try {
        future = fetch_();
    } catch (...) {
        finish(mode, std::nullopt, before);
        return;
    }
    auto *watcher = new QFutureWatcher<std::optional<AppRelease>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, mode, before] {
        watcher->deleteLater();
        std::optional<AppRelease> release;
        try {
            if (!watcher->isCanceled() && watcher->future().resultCount() > 0) release = watcher->result();
        } catch (...) { // a fetch that threw is a failed one
        }
        finish(mode, release, before);
    });
    watcher->setFuture(future);
}

void UpdateChecker::finish(Mode mode, const std::optional<AppRelease> &release, const UpdateStatus &before) {
    if (!release) return fail(mode, before);
    preferences_.setLastUpdateCheckAt(now_());
    const auto verdict = UpdatePolicy::evaluate(*release, currentVersion_.toStdString(),
                                                preferences_.skippedUpdateVersion(), mode == Mode::automatic);
    if (const auto *available = verdict.get<UpdateVerdict::Available>()) {
        setStatus(UpdateStatus::available(available->release, available->mandatory));
        setChecking(false);
        showAvailable(available->release, available->mandatory, true);
    } else if (verdict.is<UpdateVerdict::UpToDate>()) {
        setStatus(UpdateStatus::upToDate(currentVersion_));
        setChecking(false);
        if (mode == Mode::menu) {
            prompt({notice(QStringLiteral("최신 버전을 쓰고 있어요 (") + currentVersion_ + QStringLiteral(")")), {}});
        }
    } else if (verdict.is<UpdateVerdict::Skipped>()) {
        // Nothing new to say: the row shows what it showed before.
        setStatus(before);
        setChecking(false);
    } else {
        fail(mode, before);
    }
}

void UpdateChecker::fail(Mode mode, const UpdateStatus &before) {
    setStatus(mode == Mode::automatic ? before : UpdateStatus::failed());
    setChecking(false);
    if (mode == Mode::menu) {
        prompt({notice(QStringLiteral("업데이트를 확인하지 못했어요. 인터넷 연결을 확인해 주세요.")), {}});
    }
}

void UpdateChecker::showAvailable(const AppRelease &release, bool mandatory, bool allowSkip) {
    UpdateAlert alert;
    alert.style = mandatory ? UpdateAlert::Style::warning : UpdateAlert::Style::informational;
    alert.title =
        QStringLiteral("새 버전 ") + QString::fromStdString(release.latestVersion) + QStringLiteral("이(가) 나왔어요");
    alert.text = message(release, currentVersion_, mandatory);
    alert.buttons = {{Action::download, QStringLiteral("다운로드")}, {Action::later, QStringLiteral("나중에")}};
    if (allowSkip && !mandatory) alert.buttons.append({Action::skip, QStringLiteral("이 버전 건너뛰기")});
    alert.escape = Action::later;
    prompt({std::move(alert), [this, release](Action action) {
                if (action == Action::download) {
                    openDownload(release);
                } else if (action == Action::skip) {
                    preferences_.setSkippedUpdateVersion(release.latestVersion);
                }
            }});
}

void UpdateChecker::prompt(Prompt prompt) {
    if (isPresenting_ || !prompter_ || !prompter_->canPresent()) {
        deferredPrompt_ = std::move(prompt); // the newest news replaces older news
        return;
    }
    present(std::move(prompt));
}

void UpdateChecker::showDeferredPrompt() {
    if (!deferredPrompt_ || isPresenting_ || !prompter_ || !prompter_->canPresent()) return;
    Prompt waiting = std::move(*deferredPrompt_);
    deferredPrompt_.reset();
    present(std::move(waiting));
}

void UpdateChecker::present(Prompt prompt) {
    isPresenting_ = true;
    // The prompter may answer before returning (a modal box runs its own loop) or much later.
    prompter_->present(prompt.alert, [self = QPointer(this), answered = std::move(prompt.answered)](Action action) {
        if (!self) return;
        self->isPresenting_ = false;
        if (answered) answered(action);
    });
}

void UpdateChecker::openDownload(const AppRelease &release) {
    if (auto url = preferredDownloadURL(release, webURL_.toStdString())) {
        openUrl_(QUrl(QString::fromStdString(*url)));
    }
}

QString UpdateChecker::message(const AppRelease &release, const QString &current, bool mandatory) {
    QStringList paragraphs;
    if (mandatory) paragraphs << QStringLiteral("이 버전은 더 이상 동기화되지 않아요. 새 버전을 받아 주세요.");
    if (QString notes = QString::fromStdString(trimmedNotes(release, 600)); !notes.isEmpty()) paragraphs << notes;
    paragraphs << QStringLiteral("지금 쓰는 버전: ") + current;
    return paragraphs.join(QStringLiteral("\n\n"));
}

void UpdateChecker::setStatus(UpdateStatus status) {
    if (status_ == status) return;
    status_ = std::move(status);
    Q_EMIT statusChanged();
}

void UpdateChecker::setChecking(bool checking) {
    if (checking_ == checking) return;
    checking_ = checking;
    Q_EMIT isCheckingChanged();
}

} // namespace quorvel::app
