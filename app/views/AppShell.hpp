#pragma once

#include "model/AppModel.hpp"

#include <QObject>
#include <QString>

#include <memory>

namespace quorvel::app {

class DesktopAppearance;
class DialogUpdatePrompter;
class LaunchAtLogin;
class MainWindow;
class SettingsView;
class SingleInstance;

// What the program runs once its application object exists: the desktop's light or dark, the
// model, the window "쿼벨" and the settings window, update prompts, and the single-instance channel
// feeding browser callbacks and document links to the model. The windows say what they want; this connects them.
class AppShell : public QObject {
    Q_OBJECT
public:
    // Throws AppModel::StoreUnavailable when no library can be opened.
    explicit AppShell(SingleInstance *instance, Environment environment = Environment::desktop());
    ~AppShell() override;

    // Shows the window and starts the model; a URL the program was started with (a sign-in's callback
    // or a document link) goes to the model after that.
    void show(const QString &url = {});

    AppModel &model() { return *model_; }
    MainWindow &window() { return *window_; }

private:
    std::unique_ptr<DesktopAppearance> appearance_;
    std::unique_ptr<AppModel> model_;
    std::unique_ptr<LaunchAtLogin> launch_;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<SettingsView> settings_;
    std::unique_ptr<DialogUpdatePrompter> prompter_;
};

} // namespace quorvel::app
