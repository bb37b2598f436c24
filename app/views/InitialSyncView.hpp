#pragma once

#include "sync/SyncProgress.hpp"

#include <QWidget>

#include <optional>

class QLabel;
class QProgressBar;
class QPushButton;
class QWidget;

namespace quorvel::app {

class Stage;
class SyncController;

// The first download of the library, with its progress, or the reason it stopped.
class InitialSyncView : public QWidget {
    Q_OBJECT
public:
    InitialSyncView(Stage &stage, SyncController &sync, QWidget *parent = nullptr);

    // What the detail line says for a progress report (none yet: preparing).
    static QString detail(const std::optional<SyncProgress> &progress);
    // The bar's fraction; absent when the bar should show work of unknown length.
    static std::optional<double> fraction(const std::optional<SyncProgress> &progress);

private:
    void refresh();

    Stage &stage_;
    SyncController &sync_;
    QLabel *rebuilding_;
    QProgressBar *bar_;
    QLabel *detail_;
    QWidget *working_;
    QWidget *failed_;
    QLabel *error_;
    QPushButton *cancel_;
};

} // namespace quorvel::app
