#include "views/MainView.hpp"

#include "views/Alerts.hpp"
#include "views/DetailView.hpp"
#include "views/SidebarView.hpp"

#include "document/DocumentView.hpp"
#include "model/AppModel.hpp"

#include <QApplication>
#include <QSettings>
#include <QTimer>
#include <QWebEngineView>

namespace quorvel::app {

namespace {
const QString sidebarKey = QStringLiteral("SidebarWidth");
}

MainView::MainView(AppModel &model, QWidget *parent) : QSplitter(Qt::Horizontal, parent), model_(model) {
    sidebar_ = new SidebarView(model_, this);
    detail_ = new DetailView(model_, this);
    addWidget(sidebar_);
    addWidget(detail_);
    setChildrenCollapsible(false);
    setStretchFactor(1, 1);
    sidebar_->setMinimumWidth(220);
    const int width = model_.settings().value(sidebarKey, 290).toInt();
    setSizes({std::clamp(width, 220, 600), 900});
    connect(this, &QSplitter::splitterMoved, this,
            [this] { model_.settings().setValue(sidebarKey, sizes().value(0)); });
    // A failed re-login from the library shows its reason once; the library stays on screen.
    connect(&model_, &AppModel::startErrorChanged, this, [this] {
        if (model_.startError() && isVisible()) QTimer::singleShot(0, this, &MainView::reportFailedRelogin);
    });
}

void MainView::reportFailedRelogin() {
    if (!model_.startError() || !model_.phase().is(AppPhase::Kind::main)) return;
    Alerts::Alert alert;
    alert.icon = QMessageBox::Warning;
    alert.title = QStringLiteral("로그인하지 못했어요");
    alert.text = *model_.startError();
    alert.buttons = {{QStringLiteral("확인"), QMessageBox::AcceptRole, false}};
    Alerts::ask(window(), alert);
    model_.clearStartError();
}

void MainView::switchFocus() {
    QWidget *list = sidebar_->currentList();
    DocumentView *document = detail_->document();
    QWidget *focused = QApplication::focusWidget();
    const bool inSidebar = focused && sidebar_->isAncestorOf(focused);
    if (inSidebar && document && detail_->currentWidget() == document)
        document->webView()->setFocus(Qt::ShortcutFocusReason);
    else
        list->setFocus(Qt::ShortcutFocusReason);
}

} // namespace quorvel::app
