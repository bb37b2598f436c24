#pragma once

#include "model/SyncBadge.hpp"

#include <QColor>
#include <QString>
#include <QTimer>
#include <QToolButton>

#include <functional>

namespace quorvel::app {

class Account;
class SyncController;

// The footer's one-line sync status; a badge that can help (a failure, a sign-in, an update)
// is a button.
class StatusBadgeView : public QToolButton {
    Q_OBJECT
public:
    struct Look {
        int symbol = 0; // Icons::Symbol
        QColor color;
        QString text;
        QString help;
        bool actionable = false;
        bool operator==(const Look &) const = default;
    };
    static Look look(const SyncBadge &badge, double now);

    StatusBadgeView(SyncController &sync, Account &account, QWidget *parent = nullptr);

private:
    void refresh();

    SyncController &sync_;
    Account &account_;
    // "최신 상태 · 3분 전" ages while the window is open.
    QTimer clock_;
};

} // namespace quorvel::app
