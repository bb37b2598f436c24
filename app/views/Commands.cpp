#include "views/Commands.hpp"

#include "views/Format.hpp"
#include "views/Icons.hpp"

#include "model/Account.hpp"
#include "model/AppModel.hpp"
#include "model/Connectivity.hpp"
#include "model/Reader.hpp"
#include "model/Stage.hpp"
#include "model/SyncController.hpp"
#include "model/UpdateChecker.hpp"

#include <QAction>
#include <QCoreApplication>

namespace quorvel::app {

namespace {

void decorate(QAction *action, Icons::Symbol symbol) {
    action->setIcon(Icons::icon(symbol));
    action->setIconVisibleInMenu(false); // the toolbar shows the symbol, the menu the words
}

} // namespace

Commands::Commands(AppModel &model, UpdateChecker &updates, QObject *parent)
    : QObject(parent),
      editOnWeb(make("editOnWeb", QStringLiteral("웹에서 편집"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E))),
      print(make("print", QStringLiteral("인쇄…"), QKeySequence::Print)),
      settings(make("settings", QStringLiteral("설정…"), QKeySequence(Qt::CTRL | Qt::Key_Comma))),
      logout(make("logout", QStringLiteral("로그아웃…"), {})),
      quit(make("quit", QStringLiteral("끝내기"), QKeySequence::Quit)),
      search(make("search", QStringLiteral("검색"), QKeySequence::Find)),
      findInPage(
          make("findInPage", QStringLiteral("페이지에서 찾기…"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F))),
      findNext(make("findNext", QStringLiteral("다음 찾기"), QKeySequence(Qt::Key_F3))),
      findPrevious(make("findPrevious", QStringLiteral("이전 찾기"), QKeySequence(Qt::SHIFT | Qt::Key_F3))),
      back(make("back", QStringLiteral("뒤로"), QKeySequence(Qt::ALT | Qt::Key_Left))),
      forward(make("forward", QStringLiteral("앞으로"), QKeySequence(Qt::ALT | Qt::Key_Right))),
      outline(make("outline", QStringLiteral("목차로 이동"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O))),
      zoomIn(make("zoomIn", QStringLiteral("확대"), QKeySequence(Qt::CTRL | Qt::Key_Plus))),
      zoomOut(make("zoomOut", QStringLiteral("축소"), QKeySequence(Qt::CTRL | Qt::Key_Minus))),
      actualSize(make("actualSize", QStringLiteral("실제 크기"), QKeySequence(Qt::CTRL | Qt::Key_0))),
      syncNow(make("syncNow", QStringLiteral("지금 동기화"), QKeySequence(Qt::CTRL | Qt::Key_R))),
      about(make("about", QStringLiteral("쿼벨 정보"), {})),
      checkUpdates(make("checkUpdates", QStringLiteral("업데이트 확인…"), {})), model_(model), updates_(updates) {
    // Ctrl+= is where + sits on most keyboards without Shift.
    zoomIn->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    decorate(syncNow, Icons::Symbol::sync);
    decorate(zoomOut, Icons::Symbol::zoomOut);
    decorate(zoomIn, Icons::Symbol::zoomIn);
    decorate(print, Icons::Symbol::print);
    decorate(editOnWeb, Icons::Symbol::edit);
    decorate(back, Icons::Symbol::back);
    decorate(forward, Icons::Symbol::forward);
    back->setToolTip(QStringLiteral("뒤로 (Alt+←)"));
    forward->setToolTip(QStringLiteral("앞으로 (Alt+→)"));
    print->setIconText(QStringLiteral("인쇄"));
    print->setToolTip(QStringLiteral("인쇄"));
    zoomOut->setToolTip(QStringLiteral("축소 (Ctrl+−)"));
    zoomIn->setToolTip(QStringLiteral("확대 (Ctrl++)"));

    Reader &reader = model_.reader();
    connect(editOnWeb, &QAction::triggered, &reader, &Reader::editInWeb);
    connect(back, &QAction::triggered, &reader, &Reader::back);
    connect(forward, &QAction::triggered, &reader, &Reader::forward);
    connect(zoomIn, &QAction::triggered, &reader, [&reader] { reader.setZoom(Zoom::in(reader.zoom())); });
    connect(zoomOut, &QAction::triggered, &reader, [&reader] { reader.setZoom(Zoom::out(reader.zoom())); });
    connect(actualSize, &QAction::triggered, &reader, [&reader] { reader.setZoom(Zoom::actualSize); });
    connect(syncNow, &QAction::triggered, &model_.sync(), &SyncController::syncNow);
    connect(checkUpdates, &QAction::triggered, &updates_, &UpdateChecker::checkFromMenu);
    connect(quit, &QAction::triggered, this, [] { QCoreApplication::quit(); });

    connect(&model_.stage(), &Stage::phaseChanged, this, &Commands::refresh);
    connect(&model_.connectivity(), &Connectivity::isOnlineChanged, this, &Commands::refresh);
    for (auto changed : {&Reader::pageChanged, &Reader::canEditOnWebChanged, &Reader::canGoBackChanged,
                         &Reader::canGoForwardChanged, &Reader::marksChanged})
        connect(&reader, changed, this, &Commands::refresh);
    connect(&model_.sync(), &SyncController::isSyncingChanged, this, &Commands::refresh);
    connect(&model_.account(), &Account::isLoggingOutChanged, this, &Commands::refresh);
    connect(&updates_, &UpdateChecker::isCheckingChanged, this, &Commands::refresh);
    refresh();
}

QAction *Commands::make(const char *name, const QString &text, const QKeySequence &shortcut) {
    auto *action = new QAction(text, this);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(shortcut);
    action->setShortcutContext(Qt::ApplicationShortcut);
    return action;
}

void Commands::refresh() {
    const bool library = model_.stage().is(AppPhase::Kind::main);
    const bool document = library && model_.reader().page().has_value();
    const bool online = model_.connectivity().isOnline();
    const SyncController &sync = model_.sync();

    editOnWeb->setEnabled(model_.reader().canEditOnWeb());
    editOnWeb->setToolTip(online ? QStringLiteral("웹에서 편집") : QStringLiteral("인터넷 연결 후 편집할 수 있어요"));
    print->setEnabled(document);
    search->setEnabled(library);
    findInPage->setEnabled(document);
    findNext->setEnabled(document && !model_.reader().marks().isEmpty());
    findPrevious->setEnabled(findNext->isEnabled());
    back->setEnabled(library && model_.reader().canGoBack());
    forward->setEnabled(library && model_.reader().canGoForward());
    outline->setEnabled(document && model_.reader().page()->outline.size() >= 2);
    // The magnification is kept for the next document, so it can be set before one is open.
    for (QAction *zoom : {zoomIn, zoomOut, actualSize})
        zoom->setEnabled(library);
    syncNow->setEnabled(library && !sync.isSyncing() && !model_.account().isLoggingOut() && online);
    syncNow->setToolTip(online ? QStringLiteral("지금 동기화 (Ctrl+R)")
                               : QStringLiteral("인터넷에 연결되어 있지 않아요"));
    logout->setEnabled(model_.account().canLogOut());
    checkUpdates->setEnabled(!updates_.isChecking());
}

} // namespace quorvel::app
