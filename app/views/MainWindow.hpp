#pragma once

#include <QMainWindow>

class QToolBar;

namespace quorvel::app {

class AppModel;
class Commands;
class MainView;
class RootView;
class UpdateChecker;

// The window "쿼벨": the phase screens, the commands in menus and a toolbar, and the confirmation
// before a logout. Size, place and the sidebar width are remembered.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    MainWindow(AppModel &model, UpdateChecker &updates, QWidget *parent = nullptr);

    RootView *root() const { return root_; }
    Commands &commands() const { return *commands_; }
    // Brings the window to the front, even when another application is active.
    void bringToFront();
    // Asks whether to log out, over this window; the account logs out when the user confirms.
    void requestLogout();

Q_SIGNALS:
    void settingsRequested();
    // The open document should be printed.
    void printRequested();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildMenus();
    void buildToolbar();
    void libraryShown(MainView *view);
    void focusSearch();
    void confirmLogout();
    void tellLinkRefused(const QString &message);
    void showAbout();

    AppModel &model_;
    Commands *commands_;
    RootView *root_;
    QToolBar *toolbar_ = nullptr;
};

} // namespace quorvel::app
