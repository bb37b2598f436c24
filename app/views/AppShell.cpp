#include "views/AppShell.hpp"

#include "views/DesktopAppearance.hpp"
#include "views/DialogUpdatePrompter.hpp"
#include "views/MainWindow.hpp"
#include "views/SettingsView.hpp"

#include "document/DocumentView.hpp"
#include "model/Account.hpp"
#include "model/LaunchAtLogin.hpp"
#include "model/SingleInstance.hpp"
#include "model/UpdateChecker.hpp"

#include <QApplication>
#include <QTimer>

namespace quorvel::app {

AppShell::AppShell(SingleInstance *instance, Environment environment) {
    // The viewer's pages take the palette's light or dark when the engine starts, and the engine
    // must be told before any other thread runs: both come before the model and its workers.
    appearance_ = std::make_unique<DesktopAppearance>();
    appearance_->apply();
    DocumentView::followDesktopColorScheme();

    model_ = std::make_unique<AppModel>(std::move(environment));
    UpdateChecker &updates = model_->updateChecker();
    launch_ = std::make_unique<LaunchAtLogin>();
    window_ = std::make_unique<MainWindow>(*model_, updates);
    settings_ = std::make_unique<SettingsView>(*model_, updates, *launch_);
    // The settings window alone does not keep the app running.
    settings_->setAttribute(Qt::WA_QuitOnClose, false);
    prompter_ = std::make_unique<DialogUpdatePrompter>(window_.get());
    updates.setPrompter(prompter_.get());
    updates.setUrlOpener(model_->environment().openUrl);
    if (auto home = model_->environment().webURL(QString())) updates.setWebURL(home->toString());

    Account &account = model_->account();
    connect(window_.get(), &MainWindow::settingsRequested, settings_.get(), &SettingsView::present);
    connect(settings_.get(), &SettingsView::logoutRequested, window_.get(), &MainWindow::requestLogout);
    connect(&account, &Account::browserReturned, window_.get(), &MainWindow::bringToFront);
    if (instance) {
        connect(instance, &SingleInstance::urlReceived, model_.get(), &AppModel::handleURL);
        connect(instance, &SingleInstance::activationRequested, window_.get(), &MainWindow::bringToFront);
    }
}

// The prompter goes before the window it shows over, and the windows before the model they show.
AppShell::~AppShell() {
    if (model_) model_->updateChecker().setPrompter(nullptr);
}

void AppShell::show(const QString &url) {
    window_->show();
    model_->start();
    if (!url.isEmpty()) QTimer::singleShot(0, model_.get(), [model = model_.get(), url] { model->handleURL(url); });
}

} // namespace quorvel::app
