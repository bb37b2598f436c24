#pragma once

#include <QWidget>

class QLabel;

namespace quorvel::app {

class AppModel;
class StatusBadgeView;

// The foot of the sidebar: how many documents the library holds and their size, when one last
// changed, and the sync status badge.
class FooterView : public QWidget {
    Q_OBJECT
public:
    explicit FooterView(AppModel &model, QWidget *parent = nullptr);

    StatusBadgeView *badge() const { return badge_; }

private:
    void refresh();

    AppModel &model_;
    QLabel *figures_;
    QLabel *changed_;
    QLabel *rebuilding_;
    StatusBadgeView *badge_;
};

} // namespace quorvel::app
