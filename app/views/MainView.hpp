#pragma once

#include <QSplitter>

namespace quorvel::app {

class AppModel;
class DetailView;
class SidebarView;

// The library window's content: the sidebar beside the document.
class MainView : public QSplitter {
    Q_OBJECT
public:
    explicit MainView(AppModel &model, QWidget *parent = nullptr);
    SidebarView *sidebar() const { return sidebar_; }
    DetailView *detail() const { return detail_; }
    // Moves the keyboard between the sidebar's list and the document (Ctrl+L, F6).
    void switchFocus();

private:
    void reportFailedRelogin();

    AppModel &model_;
    SidebarView *sidebar_;
    DetailView *detail_;
};

} // namespace quorvel::app
