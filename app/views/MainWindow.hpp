#pragma once

#include <QMainWindow>

class QAction;
class QToolBar;

namespace quorvel::app {

class AppModel;
class MainView;
class RootView;
class UpdateChecker;

// The window "쿼벨": the phase screens, the commands in menus and a toolbar, with their shortcuts
// and the rules for when each can be used. Size, place and the sidebar width are remembered.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr const char *title = "쿼벨";

    MainWindow(AppModel &model, UpdateChecker &updates, QWidget *parent = nullptr);

    RootView *root() const { return root_; }
    QAction *command(const QString &title) const;
    // Brings the window to the front, even when another application is active.
    void bringToFront();
    // The window "쿼벨" among the application's windows.
    static MainWindow *find();

Q_SIGNALS:
    void settingsRequested();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QAction *add(QMenu *menu, const QString &title, const QKeySequence &shortcut, std::function<void()> run);
    void buildMenus();
    void buildToolbar();
    void refreshCommands();
    void focusSearch();
    MainView *library() const;

    AppModel &model_;
    UpdateChecker &updates_;
    RootView *root_;
    QToolBar *toolbar_ = nullptr;
    QList<QAction *> commands_;
    QAction *editOnWeb_ = nullptr, *print_ = nullptr, *search_ = nullptr, *zoomIn_ = nullptr, *zoomOut_ = nullptr,
            *actualSize_ = nullptr, *syncNow_ = nullptr, *logout_ = nullptr, *checkUpdates_ = nullptr;
    QAction *barSync_ = nullptr, *barZoomOut_ = nullptr, *barZoomIn_ = nullptr, *barPrint_ = nullptr,
            *barEdit_ = nullptr;
};

} // namespace quorvel::app
