#pragma once

#include <QWidget>

class QLabel;

namespace quorvel::app {

class Account;
class Library;
class StatusBadgeView;
class SyncController;

// The foot of the sidebar: how many documents the library holds and their size, when one last
// changed, and the sync status badge.
class FooterView : public QWidget {
    Q_OBJECT
public:
    FooterView(Library &library, SyncController &sync, Account &account, QWidget *parent = nullptr);

    StatusBadgeView *badge() const { return badge_; }

private:
    void refresh();

    Library &library_;
    SyncController &sync_;
    QLabel *figures_;
    QLabel *changed_;
    QLabel *rebuilding_;
    StatusBadgeView *badge_;
};

} // namespace quorvel::app
