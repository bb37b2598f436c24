#include "views/RootView.hpp"

#include "views/Alerts.hpp"
#include "views/InitialSyncView.hpp"
#include "views/LinkingView.hpp"
#include "views/MainView.hpp"
#include "views/RevokedView.hpp"
#include "views/StartView.hpp"

#include "model/AppModel.hpp"

#include <QTimer>

namespace quorvel::app {

RootView::RootView(AppModel &model, QWidget *parent) : QStackedWidget(parent), model_(model) {
    connect(&model_, &AppModel::phaseChanged, this, &RootView::showPhase);
    connect(&model_, &AppModel::logoutConfirmPresentedChanged, this, [this] {
        if (model_.logoutConfirmPresented()) QTimer::singleShot(0, this, &RootView::confirmLogout);
    });
    showPhase();
}

void RootView::showEvent(QShowEvent *event) {
    QStackedWidget::showEvent(event);
    if (!startedModel_) {
        startedModel_ = true;
        model_.start();
    }
}

void RootView::showPhase() {
    using K = AppPhase::Kind;
    const K kind = model_.phase().kind;
    if (current_ && current_->property("phase").toInt() == int(kind)) return;
    QWidget *next = nullptr;
    if (kind == K::main) {
        if (!main_) {
            main_ = new MainView(model_, this);
            main_->setProperty("phase", int(K::main));
            addWidget(main_);
            Q_EMIT mainViewCreated(main_);
        }
        next = main_;
    } else {
        // The other screens are small and hold nothing: made fresh each time they are needed.
        switch (kind) {
        case K::start:
            next = new StartView(model_, this);
            break;
        case K::linking:
            next = new LinkingView(model_, this);
            break;
        case K::initialSync:
            next = new InitialSyncView(model_, this);
            break;
        case K::revoked:
            next = new RevokedView(model_, this);
            break;
        case K::main:
            break;
        }
        next->setProperty("phase", int(kind));
        addWidget(next);
    }
    QWidget *previous = current_;
    setCurrentWidget(next);
    current_ = next;
    if (previous && previous != main_) previous->deleteLater();
}

void RootView::confirmLogout() {
    if (!model_.logoutConfirmPresented()) return;
    Alerts::Alert alert;
    alert.icon = QMessageBox::Warning;
    alert.title = QStringLiteral("로그아웃할까요?");
    alert.text = QStringLiteral("이 컴퓨터에 저장된 문서가 모두 지워집니다. 다시 로그인하면 새로 내려받아요.");
    alert.buttons = {{QStringLiteral("취소"), QMessageBox::RejectRole, false},
                     {QStringLiteral("로그아웃"), QMessageBox::DestructiveRole, true}};
    alert.defaultButton = 0;
    alert.escapeButton = 0;
    const int answer = Alerts::ask(window(), alert);
    model_.setLogoutConfirmPresented(false);
    if (answer == 1) {
        [[maybe_unused]] auto task = model_.logout();
    }
}

} // namespace quorvel::app
