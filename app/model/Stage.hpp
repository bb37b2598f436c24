#pragma once

#include "model/AppPhase.hpp"

#include <QObject>
#include <QProperty>
#include <QString>

#include <optional>

namespace quorvel::app {

// Where the app stands: which top-level screen the window shows, and why the last sign-in failed
// (what the welcome screen, or the library after a failed re-login, tells the user).
class Stage : public QObject {
    Q_OBJECT
    Q_PROPERTY(quorvel::app::AppPhase phase READ phase NOTIFY phaseChanged)
    Q_PROPERTY(std::optional<QString> startError READ startError NOTIFY startErrorChanged)

public:
    explicit Stage(QObject *parent = nullptr) : QObject(parent) {}

    const AppPhase &phase() const { return phase_.value(); }
    bool is(AppPhase::Kind kind) const { return phase_.value().is(kind); }
    const std::optional<QString> &startError() const { return startError_.value(); }

    void setPhase(AppPhase phase) { phase_ = std::move(phase); }
    void setStartError(std::optional<QString> message) { startError_ = std::move(message); }
    void clearStartError() { startError_ = std::nullopt; }

Q_SIGNALS:
    void phaseChanged();
    void startErrorChanged();

private:
    Q_OBJECT_BINDABLE_PROPERTY_WITH_ARGS(Stage, AppPhase, phase_, AppPhase::start(), &Stage::phaseChanged)
    Q_OBJECT_BINDABLE_PROPERTY(Stage, std::optional<QString>, startError_, &Stage::startErrorChanged)
};

} // namespace quorvel::app
