#include "views/MainView.hpp"

#include "views/Alerts.hpp"
#include "views/DetailView.hpp"
#include "views/ReadingView.hpp"
#include "views/SidebarView.hpp"

#include "document/DocumentView.hpp"
#include "model/AppModel.hpp"
#include "model/Preferences.hpp"
#include "model/Stage.hpp"

#include <QApplication>
#include <QTimer>
#include <QWebEngineView>

namespace quorvel::app {

MainView::MainView(AppModel &model, QWidget *parent) : QSplitter(Qt::Horizontal, parent), model_(model) {
    sidebar_ = new SidebarView(model_, this);
    detail_ = new DetailView(model_, this);
    addWidget(sidebar_);
    addWidget(detail_);
    setChildrenCollapsible(false);
    setStretchFactor(1, 1);
    sidebar_->setMinimumWidth(220);
    setSizes({model_.preferences().sidebarWidth(), 900});
    connect(this, &QSplitter::splitterMoved, this, [this] { model_.preferences().setSidebarWidth(sizes().value(0)); });
    // A failed re-login from the library shows its reason once; the library stays on screen.
    connect(&model_.stage(), &Stage::startErrorChanged, this, [this] {
        if (model_.stage().startError() && isVisible()) QTimer::singleShot(0, this, &MainView::reportFailedRelogin);
    });
}

void MainView::reportFailedRelogin() {
    Stage &stage = model_.stage();
    if (!stage.startError() || !stage.is(AppPhase::Kind::main)) return;
    Alerts::Alert alert;
    alert.icon = QMessageBox::Warning;
    alert.title = QStringLiteral("로그인하지 못했어요");
    alert.text = *stage.startError();
    alert.buttons = {{QStringLiteral("확인"), QMessageBox::AcceptRole, false}};
    Alerts::ask(window(), alert);
    stage.clearStartError();
}

void MainView::switchFocus() {
    QWidget *list = sidebar_->currentList();
    DocumentView *document = detail_->document();
    QWidget *focused = QApplication::focusWidget();
    const bool inSidebar = focused && sidebar_->isAncestorOf(focused);
    if (inSidebar && document && detail_->currentWidget() == detail_->reading())
        document->webView()->setFocus(Qt::ShortcutFocusReason);
    else
        list->setFocus(Qt::ShortcutFocusReason);
}

} // namespace quorvel::app
