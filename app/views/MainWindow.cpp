#include "views/MainWindow.hpp"

#include "views/Format.hpp"
#include "views/Icons.hpp"
#include "views/MainView.hpp"
#include "views/RootView.hpp"
#include "views/SidebarView.hpp"

#include "model/AppConfig.hpp"
#include "model/AppModel.hpp"
#include "model/UpdateChecker.hpp"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QSettings>
#include <QShortcut>
#include <QToolBar>

namespace quorvel::app {

MainWindow::MainWindow(AppModel &model, UpdateChecker &updates, QWidget *parent)
    : QMainWindow(parent), model_(model), updates_(updates) {
    setWindowTitle(QString::fromUtf8(title));
    setObjectName(QStringLiteral("main"));
    setWindowIcon(Icons::icon(Icons::Symbol::app));
    root_ = new RootView(model_, this);
    setCentralWidget(root_);
    buildMenus();
    buildToolbar();
    if (!restoreGeometry(model_.settings().value(QStringLiteral("WindowGeometry")).toByteArray())) resize(1180, 760);

    for (auto signal :
         {&AppModel::phaseChanged, &AppModel::canEditOnWebChanged, &AppModel::pageChanged, &AppModel::isOnlineChanged,
          &AppModel::isSyncingChanged, &AppModel::isLoggingOutChanged, &AppModel::needsReloginChanged})
        connect(&model_, signal, this, &MainWindow::refreshCommands);
    connect(&updates_, &UpdateChecker::isCheckingChanged, this, &MainWindow::refreshCommands);
    connect(&model_, &AppModel::activationRequested, this, &MainWindow::bringToFront);
    connect(root_, &RootView::mainViewCreated, this, [this](MainView *view) {
        connect(view->sidebar(), &SidebarView::settingsRequested, this, &MainWindow::settingsRequested);
    });
    // The keyboard's way between the sidebar and the document.
    for (const QKeySequence &keys : {QKeySequence(Qt::CTRL | Qt::Key_L), QKeySequence(Qt::Key_F6)}) {
        auto *shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, this, [this] {
            if (MainView *view = library(); view && model_.phase().is(AppPhase::Kind::main)) view->switchFocus();
        });
    }
    refreshCommands();
}

QAction *MainWindow::add(QMenu *menu, const QString &text, const QKeySequence &shortcut, std::function<void()> run) {
    QAction *action = menu->addAction(text);
    action->setShortcut(shortcut);
    action->setShortcutContext(Qt::ApplicationShortcut);
    connect(action, &QAction::triggered, this, [run = std::move(run)] { run(); });
    commands_ << action;
    return action;
}

void MainWindow::buildMenus() {
    QMenu *file = menuBar()->addMenu(QStringLiteral("파일(&F)"));
    editOnWeb_ = add(file, QStringLiteral("웹에서 편집"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E),
                     [this] { model_.editInWeb(); });
    print_ = add(file, QStringLiteral("인쇄…"), QKeySequence::Print, [this] { model_.printDocument(); });
    file->addSeparator();
    add(file, QStringLiteral("설정…"), QKeySequence(Qt::CTRL | Qt::Key_Comma), [this] { Q_EMIT settingsRequested(); });
    logout_ = add(file, QStringLiteral("로그아웃…"), {}, [this] { model_.requestLogout(); });
    file->addSeparator();
    add(file, QStringLiteral("끝내기"), QKeySequence::Quit, [] { QApplication::quit(); });

    QMenu *edit = menuBar()->addMenu(QStringLiteral("편집(&E)"));
    search_ = add(edit, QStringLiteral("검색"), QKeySequence::Find, [this] { focusSearch(); });

    QMenu *view = menuBar()->addMenu(QStringLiteral("보기(&V)"));
    zoomIn_ = add(view, QStringLiteral("확대"), QKeySequence(Qt::CTRL | Qt::Key_Plus),
                  [this] { model_.setZoom(Zoom::in(model_.zoom())); });
    // Ctrl+= is where + sits on most keyboards without Shift.
    zoomIn_->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    zoomOut_ = add(view, QStringLiteral("축소"), QKeySequence(Qt::CTRL | Qt::Key_Minus),
                   [this] { model_.setZoom(Zoom::out(model_.zoom())); });
    actualSize_ = add(view, QStringLiteral("실제 크기"), QKeySequence(Qt::CTRL | Qt::Key_0),
                      [this] { model_.setZoom(Zoom::actualSize); });

    QMenu *sync = menuBar()->addMenu(QStringLiteral("동기화(&S)"));
    syncNow_ =
        add(sync, QStringLiteral("지금 동기화"), QKeySequence(Qt::CTRL | Qt::Key_R), [this] { model_.syncNow(); });

    QMenu *help = menuBar()->addMenu(QStringLiteral("도움말(&H)"));
    add(help, QStringLiteral("쿼벨 정보"), {}, [this] {
        QMessageBox::about(this, QStringLiteral("쿼벨 정보"),
                           QStringLiteral("<b>쿼벨</b> %1 (%2)<br>인터넷이 없어도 내 문서를 볼 수 있어요.")
                               .arg(QString::fromStdString(AppConfig::appVersion()),
                                    QString::fromStdString(AppConfig::buildNumber())));
    });
    checkUpdates_ = add(help, QStringLiteral("업데이트 확인…"), {}, [this] { updates_.checkFromMenu(); });
}

void MainWindow::buildToolbar() {
    toolbar_ = addToolBar(QStringLiteral("도구"));
    toolbar_->setObjectName(QStringLiteral("toolbar"));
    toolbar_->setMovable(false);
    toolbar_->setFloatable(false);
    toolbar_->setIconSize(QSize(20, 20));
    toolbar_->setContextMenuPolicy(Qt::PreventContextMenu);
    auto tool = [this](Icons::Symbol symbol, const QString &text, std::function<void()> run) {
        QAction *action = toolbar_->addAction(Icons::icon(symbol), text);
        connect(action, &QAction::triggered, this, [run = std::move(run)] { run(); });
        return action;
    };
    barSync_ = tool(Icons::Symbol::sync, QStringLiteral("지금 동기화"), [this] { model_.syncNow(); });
    toolbar_->addSeparator();
    barZoomOut_ =
        tool(Icons::Symbol::zoomOut, QStringLiteral("축소"), [this] { model_.setZoom(Zoom::out(model_.zoom())); });
    barZoomIn_ =
        tool(Icons::Symbol::zoomIn, QStringLiteral("확대"), [this] { model_.setZoom(Zoom::in(model_.zoom())); });
    barPrint_ = tool(Icons::Symbol::print, QStringLiteral("인쇄"), [this] { model_.printDocument(); });
    barEdit_ = tool(Icons::Symbol::edit, QStringLiteral("웹에서 편집"), [this] { model_.editInWeb(); });
    barZoomOut_->setToolTip(QStringLiteral("축소 (Ctrl+−)"));
    barZoomIn_->setToolTip(QStringLiteral("확대 (Ctrl++)"));
}

void MainWindow::refreshCommands() {
    const bool library = model_.phase().is(AppPhase::Kind::main);
    const bool document = model_.page().has_value();
    const bool online = model_.isOnline();
    editOnWeb_->setEnabled(model_.canEditOnWeb());
    print_->setEnabled(library && document);
    search_->setEnabled(library);
    for (QAction *zoom : {zoomIn_, zoomOut_, actualSize_})
        zoom->setEnabled(library);
    const bool canSync = library && !model_.isSyncing() && !model_.isLoggingOut() && online;
    syncNow_->setEnabled(canSync);
    logout_->setEnabled(!model_.phase().is(AppPhase::Kind::start) && !model_.phase().is(AppPhase::Kind::revoked) &&
                        !model_.isLoggingOut());
    checkUpdates_->setEnabled(!updates_.isChecking());

    toolbar_->setVisible(library);
    barSync_->setEnabled(canSync);
    barSync_->setToolTip(online ? QStringLiteral("지금 동기화 (Ctrl+R)")
                                : QStringLiteral("인터넷에 연결되어 있지 않아요"));
    barZoomOut_->setEnabled(library && document);
    barZoomIn_->setEnabled(library && document);
    barPrint_->setEnabled(library && document);
    barEdit_->setEnabled(model_.canEditOnWeb());
    barEdit_->setToolTip(online ? QStringLiteral("웹에서 편집") : QStringLiteral("인터넷 연결 후 편집할 수 있어요"));
}

QAction *MainWindow::command(const QString &text) const {
    for (QAction *action : commands_)
        if (action->text() == text) return action;
    return nullptr;
}

MainView *MainWindow::library() const {
    return root_->mainView();
}

void MainWindow::focusSearch() {
    if (MainView *view = library(); view && model_.phase().is(AppPhase::Kind::main)) {
        view->sidebar()->searchField()->setFocus(Qt::ShortcutFocusReason);
        view->sidebar()->searchField()->selectAll();
    }
}

void MainWindow::bringToFront() {
    if (isMinimized()) showNormal();
    show();
    raise();
    activateWindow();
}

MainWindow *MainWindow::find() {
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (auto *window = qobject_cast<MainWindow *>(widget);
            window && window->windowTitle() == QString::fromUtf8(title))
            return window;
    return nullptr;
}

void MainWindow::closeEvent(QCloseEvent *event) {
    model_.settings().setValue(QStringLiteral("WindowGeometry"), saveGeometry());
    QMainWindow::closeEvent(event);
}

} // namespace quorvel::app
