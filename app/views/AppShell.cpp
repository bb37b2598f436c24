#include "views/AppShell.hpp"

#include "views/DesktopAppearance.hpp"
#include "views/DialogUpdatePrompter.hpp"
#include "views/MainWindow.hpp"
#include "views/SettingsView.hpp"

#include "document/DocumentView.hpp"
#include "model/LaunchAtLogin.hpp"
#include "model/SingleInstance.hpp"
#include "model/UpdateChecker.hpp"

#include <QApplication>
#include <QTimer>

namespace quorvel::app {

AppShell::AppShell(SingleInstance *instance, AppModel::Environment environment) {
    // The viewer's pages take the palette's light or dark when the engine starts, and the engine
    // must be told before any other thread runs: both come before the model and its workers.
    appearance_ = std::make_unique<DesktopAppearance>();
    appearance_->apply();
    DocumentView::followDesktopColorScheme();

    model_ = std::make_unique<AppModel>(std::move(environment));
    UpdateChecker &updates = model_->updateChecker();
    prompter_ = std::make_unique<DialogUpdatePrompter>();
    updates.setPrompter(prompter_.get());
    updates.setUrlOpener(model_->environment().openUrl);
    if (auto home = model_->webURL(QString())) updates.setWebURL(home->toString());
    launch_ = std::make_unique<LaunchAtLogin>();

    window_ = std::make_unique<MainWindow>(*model_, updates);
    settings_ = std::make_unique<SettingsView>(*model_, updates, *launch_);
    // The settings window alone does not keep the app running.
    settings_->setAttribute(Qt::WA_QuitOnClose, false);
    connect(window_.get(), &MainWindow::settingsRequested, settings_.get(), &SettingsView::present);
    if (instance) {
        connect(instance, &SingleInstance::urlReceived, model_.get(), &AppModel::handleCallbackURL);
        connect(instance, &SingleInstance::activationRequested, window_.get(), &MainWindow::bringToFront);
    }
}

AppShell::~AppShell() = default;

void AppShell::show(const QString &callbackURL) {
    window_->show();
    if (!callbackURL.isEmpty())
        QTimer::singleShot(0, model_.get(),
                           [model = model_.get(), callbackURL] { model->handleCallbackURL(callbackURL); });
}

} // namespace quorvel::app
