#include "views/MainWindow.hpp"

#include "views/Alerts.hpp"
#include "views/Commands.hpp"
#include "views/DetailView.hpp"
#include "views/Icons.hpp"
#include "views/MainView.hpp"
#include "views/RootView.hpp"
#include "views/SidebarView.hpp"

#include "model/Account.hpp"
#include "model/AppConfig.hpp"
#include "model/AppModel.hpp"
#include "model/DocumentLinks.hpp"
#include "model/Preferences.hpp"
#include "model/Reader.hpp"
#include "model/Stage.hpp"

#include "document/DocumentView.hpp"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QShortcut>
#include <QTimer>
#include <QToolBar>
#include <QWindow>

namespace quorvel::app {

MainWindow::MainWindow(AppModel &model, UpdateChecker &updates, QWidget *parent)
    : QMainWindow(parent), model_(model), commands_(new Commands(model, updates, this)) {
    setWindowTitle(QStringLiteral("쿼벨"));
    setObjectName(QStringLiteral("main"));
    setWindowIcon(Icons::icon(Icons::Symbol::app));
    root_ = new RootView(model_, this);
    setCentralWidget(root_);
    buildMenus();
    buildToolbar();
    if (!restoreGeometry(model_.preferences().windowGeometry())) resize(1180, 760);

    connect(commands_->print, &QAction::triggered, this, &MainWindow::printRequested);
    connect(commands_->search, &QAction::triggered, this, &MainWindow::focusSearch);
    connect(commands_->settings, &QAction::triggered, this, &MainWindow::settingsRequested);
    connect(commands_->logout, &QAction::triggered, this, &MainWindow::requestLogout);
    connect(commands_->about, &QAction::triggered, this, &MainWindow::showAbout);
    connect(root_, &RootView::mainViewCreated, this, &MainWindow::libraryShown);
    // A window opened on the library has its library screen already.
    if (MainView *view = root_->mainView()) libraryShown(view);
    DocumentLinks &links = model_.documentLinks();
    connect(&links, &DocumentLinks::arrived, this, &MainWindow::bringToFront);
    // Told once the channel's message has been taken, so no alert runs inside it.
    connect(&links, &DocumentLinks::refused, this, [this](const QString &message) {
        QTimer::singleShot(0, this, [this, message] { tellLinkRefused(message); });
    });
    connect(&model_.reader(), &Reader::linkNotStored, this,
            [this] { QTimer::singleShot(0, this, [this] { tellLinkRefused(Reader::notStoredMessage()); }); });
    // The page would take these keys for itself, and the mouse's back and forward buttons too.
    qApp->installEventFilter(this);
    // The keyboard's way between the sidebar and the document.
    for (const QKeySequence &keys : {QKeySequence(Qt::CTRL | Qt::Key_L), QKeySequence(Qt::Key_F6)}) {
        auto *shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, this, [this] {
            if (MainView *view = root_->mainView(); view && model_.stage().is(AppPhase::Kind::main))
                view->switchFocus();
        });
    }
}

void MainWindow::buildMenus() {
    const Commands &c = *commands_;
    QMenu *file = menuBar()->addMenu(QStringLiteral("파일(&F)"));
    file->addActions({c.editOnWeb, c.print});
    file->addSeparator();
    file->addActions({c.settings, c.logout});
    file->addSeparator();
    file->addAction(c.quit);
    QMenu *edit = menuBar()->addMenu(QStringLiteral("편집(&E)"));
    edit->addAction(c.search);
    edit->addSeparator();
    edit->addActions({c.findInPage, c.findNext, c.findPrevious});
    QMenu *view = menuBar()->addMenu(QStringLiteral("보기(&V)"));
    view->addActions({c.back, c.forward});
    view->addSeparator();
    view->addActions({c.zoomIn, c.zoomOut, c.actualSize});
    view->addSeparator();
    view->addAction(c.outline);
    menuBar()->addMenu(QStringLiteral("동기화(&S)"))->addAction(c.syncNow);
    menuBar()->addMenu(QStringLiteral("도움말(&H)"))->addActions({c.about, c.checkUpdates});
}

void MainWindow::buildToolbar() {
    toolbar_ = addToolBar(QStringLiteral("도구"));
    toolbar_->setObjectName(QStringLiteral("toolbar"));
    toolbar_->setMovable(false);
    toolbar_->setFloatable(false);
    toolbar_->setIconSize(QSize(20, 20));
    toolbar_->setContextMenuPolicy(Qt::PreventContextMenu);
    const Commands &c = *commands_;
    toolbar_->addActions({c.back, c.forward});
    toolbar_->addSeparator();
    toolbar_->addAction(c.syncNow);
    toolbar_->addSeparator();
    toolbar_->addActions({c.zoomOut, c.zoomIn, c.print, c.editOnWeb});
    auto showToolbar = [this] { toolbar_->setVisible(model_.stage().is(AppPhase::Kind::main)); };
    connect(&model_.stage(), &Stage::phaseChanged, toolbar_, showToolbar);
    showToolbar();
}

// The library screen is made the first time it is shown; what it asks for is answered here.
void MainWindow::libraryShown(MainView *view) {
    connect(view->sidebar(), &SidebarView::settingsRequested, this, &MainWindow::settingsRequested);
    connect(view->sidebar(), &SidebarView::logoutRequested, this, &MainWindow::requestLogout);
    connect(this, &MainWindow::printRequested, view->detail(), &DetailView::print);
    DetailView *detail = view->detail();
    connect(commands_->findInPage, &QAction::triggered, detail, &DetailView::openFindBar);
    connect(commands_->findNext, &QAction::triggered, detail, &DetailView::findNext);
    connect(commands_->findPrevious, &QAction::triggered, detail, &DetailView::findPrevious);
    connect(commands_->outline, &QAction::triggered, detail, &DetailView::focusOutline);
}

void MainWindow::focusSearch() {
    if (MainView *view = root_->mainView(); view && model_.stage().is(AppPhase::Kind::main)) {
        view->sidebar()->searchField()->setFocus(Qt::ShortcutFocusReason);
        view->sidebar()->searchField()->selectAll();
    }
}

void MainWindow::requestLogout() {
    if (!model_.account().canLogOut()) return;
    bringToFront();
    // Asked once the request that led here has returned, so no alert runs inside it.
    QTimer::singleShot(0, this, &MainWindow::confirmLogout);
}

void MainWindow::confirmLogout() {
    if (!model_.account().canLogOut()) return;
    Alerts::Alert alert;
    alert.icon = QMessageBox::Warning;
    alert.title = QStringLiteral("로그아웃할까요?");
    alert.text = QStringLiteral("이 컴퓨터에 저장된 문서가 모두 지워집니다. 다시 로그인하면 새로 내려받아요.");
    alert.buttons = {{QStringLiteral("취소"), QMessageBox::RejectRole, false},
                     {QStringLiteral("로그아웃"), QMessageBox::DestructiveRole, true}};
    alert.defaultButton = 0;
    alert.escapeButton = 0;
    if (Alerts::ask(this, alert) == 1) model_.account().logout();
}

void MainWindow::tellLinkRefused(const QString &message) {
    Alerts::Alert alert;
    alert.icon = QMessageBox::Information;
    alert.title = QStringLiteral("문서를 열지 못했어요");
    alert.text = message;
    alert.buttons = {{QStringLiteral("확인"), QMessageBox::AcceptRole, false}};
    Alerts::ask(this, alert);
}

void MainWindow::showAbout() {
    QMessageBox::about(
        this, QStringLiteral("쿼벨 정보"),
        QStringLiteral("<b>쿼벨</b> %1 (%2)<br>인터넷이 없어도 내 문서를 볼 수 있어요.")
            .arg(QString::fromStdString(AppConfig::appVersion()), QString::fromStdString(AppConfig::buildNumber())));
}

void MainWindow::bringToFront() {
    if (isMinimized()) showNormal();
    show();
    raise();
    activateWindow();
}

// Only pointers are compared until the receiver is known to be ours: the engine hands events on
// to objects of its own that carry no type information.
bool MainWindow::eventFilter(QObject *watched, QEvent *event) {
    const auto type = event->type();
    if ((type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease) && watched == windowHandle()) {
        const Qt::MouseButton button = static_cast<QMouseEvent *>(event)->button();
        QAction *action = button == Qt::BackButton      ? commands_->back
                          : button == Qt::ForwardButton ? commands_->forward
                                                        : nullptr;
        if (!action) return false;
        // The release too: the engine would take it for a move in the page's own history.
        if (type == QEvent::MouseButtonPress && action->isEnabled()) action->trigger();
        return true;
    }
    if (type != QEvent::ShortcutOverride || watched != QApplication::focusWidget()) return false;
    // Only inside the page: elsewhere a widget that wants the key (a text field) keeps it.
    MainView *view = root_->mainView();
    DocumentView *document = view ? view->detail()->document() : nullptr;
    if (!document || !document->isAncestorOf(QApplication::focusWidget())) return false;
    const QKeySequence keys(static_cast<QKeyEvent *>(event)->keyCombination());
    bool ours = keys == QKeySequence(Qt::Key_Escape) || keys == QKeySequence(Qt::Key_F6) ||
                keys == QKeySequence(Qt::CTRL | Qt::Key_L);
    for (const QAction *action : commands_->findChildren<QAction *>())
        ours = ours || action->shortcuts().contains(keys);
    if (!ours) return false;
    event->ignore(); // left to the shortcut
    return true;
}

void MainWindow::closeEvent(QCloseEvent *event) {
    model_.preferences().setWindowGeometry(saveGeometry());
    QMainWindow::closeEvent(event);
}

} // namespace quorvel::app
