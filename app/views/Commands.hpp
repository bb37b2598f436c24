#pragma once

#include <QObject>

class QAction;
class QKeySequence;

namespace quorvel::app {

class AppModel;
class UpdateChecker;

// Every command of the window, one action each, shared by the menus, the toolbar and the shortcuts;
// when each can be used is decided in one place, refresh(). The model's commands run here; the
// window connects its own (print, search, the find bar, the outline, settings, logout, about).
class Commands : public QObject {
    Q_OBJECT
public:
    Commands(AppModel &model, UpdateChecker &updates, QObject *parent = nullptr);

    QAction *const editOnWeb;
    QAction *const print;
    QAction *const settings;
    QAction *const logout;
    QAction *const quit;
    QAction *const search;
    QAction *const findInPage;
    QAction *const findNext;
    QAction *const findPrevious;
    QAction *const back;
    QAction *const forward;
    QAction *const outline;
    QAction *const zoomIn;
    QAction *const zoomOut;
    QAction *const actualSize;
    QAction *const syncNow;
    QAction *const about;
    QAction *const checkUpdates;

private:
    QAction *make(const char *name, const QString &text, const QKeySequence &shortcut);
    void refresh();

    AppModel &model_;
    UpdateChecker &updates_;
};

} // namespace quorvel::app
