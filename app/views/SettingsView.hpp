#pragma once

#include <QTabWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QStackedWidget;

namespace quorvel::app {

class AppModel;
class LaunchAtLogin;
class UpdateChecker;

// The settings window: general (start at login, updates), sync (interval, the library's figures,
// erase and download again) and account.
class SettingsView : public QTabWidget {
    Q_OBJECT
public:
    SettingsView(AppModel &model, UpdateChecker &updates, LaunchAtLogin &launch, QWidget *parent = nullptr);

    // The choices of "동기화 주기", in order: minutes (0: only when asked).
    static constexpr int intervals[] = {15, 30, 60, 0};

    // Shows the window in front of the others.
    void present();

Q_SIGNALS:
    void logoutRequested();

private:
    QWidget *general();
    QWidget *sync();
    QWidget *account();
    void refreshUpdates();
    void refreshSync();
    void refreshAccount();
    void confirmWipe();

    AppModel &model_;
    UpdateChecker &updates_;
    LaunchAtLogin &launch_;

    QCheckBox *launchAtLogin_ = nullptr;
    QLabel *launchError_ = nullptr;
    QCheckBox *autoCheck_ = nullptr;
    QPushButton *checkNow_ = nullptr;
    QLabel *updateStatus_ = nullptr;
    QPushButton *download_ = nullptr;
    QLabel *mandatory_ = nullptr;

    QComboBox *interval_ = nullptr;
    QLabel *fileCount_ = nullptr;
    QLabel *storage_ = nullptr;
    QLabel *lastSync_ = nullptr;
    QPushButton *wipe_ = nullptr;
    QPushButton *check_ = nullptr;
    QLabel *checkResult_ = nullptr;

    QStackedWidget *accountPages_ = nullptr;
    QWidget *signedOut_ = nullptr;
    QWidget *signedIn_ = nullptr;
    QLabel *email_ = nullptr;
    QWidget *expired_ = nullptr;
    QPushButton *logout_ = nullptr;
};

} // namespace quorvel::app
