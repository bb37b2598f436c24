#include "views/SidebarView.hpp"

#include "views/FooterView.hpp"
#include "views/Icons.hpp"
#include "views/SearchResultsView.hpp"
#include "views/TreeListView.hpp"

#include "model/Account.hpp"
#include "model/AppModel.hpp"
#include "model/Search.hpp"
#include "model/SyncController.hpp"

#include <QAction>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace quorvel::app {

namespace {

void describe(QAction *action, const QString &name, const QString &description) {
    action->setText(name);
    action->setToolTip(name);
    for (QObject *object : action->associatedObjects())
        if (auto *button = qobject_cast<QToolButton *>(object)) {
            button->setAccessibleName(name);
            button->setAccessibleDescription(description);
        }
}

} // namespace

SidebarView::SidebarView(AppModel &model, QWidget *parent) : QWidget(parent), model_(model), search_(model.search()) {
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(6);
    layout->addWidget(accountRow());

    field_ = new QLineEdit(this);
    field_->setObjectName(QStringLiteral("searchField"));
    field_->setPlaceholderText(QStringLiteral("검색"));
    field_->setClearButtonEnabled(true);
    QAction *mark = field_->addAction(Icons::icon(Icons::Symbol::search), QLineEdit::LeadingPosition);
    connect(mark, &QAction::triggered, field_, [this] { field_->setFocus(Qt::OtherFocusReason); });
    field_->setAccessibleName(QStringLiteral("검색"));
    // The field's icon buttons are buttons to a screen reader too, and would be read out as nothing.
    describe(mark, QStringLiteral("검색"), QStringLiteral("제목이나 내용에 이 말이 들어간 문서를 찾아요"));
    if (auto *clear = field_->findChild<QAction *>(QStringLiteral("_q_qlineeditclearaction")))
        describe(clear, QStringLiteral("검색어 지우기"), QStringLiteral("검색어를 지우고 문서 목록으로 돌아가요"));
    field_->installEventFilter(this);
    layout->addWidget(field_);

    lists_ = new QStackedWidget(this);
    tree_ = new TreeListView(model_.library(), model_.reader(), lists_);
    results_ = new SearchResultsView(search_, model_.reader(), lists_);
    lists_->addWidget(tree_);
    lists_->addWidget(results_);
    layout->addWidget(lists_, 1);

    layout->addWidget(new FooterView(model_.library(), model_.sync(), model_.account(), this));

    connect(field_, &QLineEdit::textEdited, &search_, &Search::setSearchText);
    // The clear button does not count as an edit.
    connect(field_, &QLineEdit::textChanged, &search_, [this](const QString &text) {
        if (text.isEmpty() && !search_.searchText().isEmpty()) search_.setSearchText(text);
    });
    connect(&search_, &Search::searchTextChanged, this, [this] {
        if (field_->text() != search_.searchText()) field_->setText(search_.searchText());
        lists_->setCurrentWidget(search_.isActive() ? static_cast<QWidget *>(results_) : tree_);
    });
    connect(&model_.account(), &Account::emailChanged, this, &SidebarView::refreshAccount);
    connect(&model_.account(), &Account::isLoggingOutChanged, this, &SidebarView::refreshAccount);
    connect(&model_.sync(), &SyncController::needsReloginChanged, this, &SidebarView::refreshAccount);
    refreshAccount();
}

QToolButton *SidebarView::accountRow() {
    account_ = new QToolButton(this);
    account_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    account_->setPopupMode(QToolButton::InstantPopup);
    account_->setAutoRaise(true);
    account_->setIconSize(QSize(28, 28));
    account_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    account_->setToolTip(QStringLiteral("계정"));
    account_->setMenu(new QMenu(QStringLiteral("계정"), account_));
    return account_;
}

void SidebarView::refreshAccount() {
    Account &account = model_.account();
    const bool relogin = model_.sync().needsRelogin();
    account_->setIcon(relogin ? Icons::tinted(Icons::Symbol::warning, QColor(0xef, 0x8a, 0x00))
                              : Icons::icon(Icons::Symbol::account));
    const QString email = account.email().value_or(QString());
    const QString second = relogin ? QStringLiteral("다시 로그인 필요") : QStringLiteral("내 계정");
    account_->setText(email.isEmpty() ? second : email + QLatin1Char('\n') + second);
    account_->setAccessibleName(QStringLiteral("계정: ") +
                                (email.isEmpty() ? second : email + QStringLiteral(", ") + second));

    QMenu *menu = account_->menu();
    menu->clear();
    if (relogin) menu->addAction(QStringLiteral("다시 로그인"), &account, &Account::beginLogin);
    menu->addAction(QStringLiteral("웹에서 내 계정 열기"), this,
                    [this] { model_.environment().openWebPage(QStringLiteral("/profile")); });
    menu->addAction(QStringLiteral("설정…"), this, &SidebarView::settingsRequested);
    QAction *logout = menu->addAction(QStringLiteral("로그아웃…"), this, &SidebarView::logoutRequested);
    logout->setEnabled(!account.isLoggingOut());
}

QWidget *SidebarView::currentList() const {
    return search_.isActive() ? static_cast<QWidget *>(results_->list()) : tree_;
}

bool SidebarView::eventFilter(QObject *watched, QEvent *event) {
    if (watched == field_ && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Escape && !field_->text().isEmpty()) {
            field_->clear();
            search_.setSearchText(QString());
            return true;
        }
        if (key->key() == Qt::Key_Down || key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            // From the field straight into the list: Down moves there, Enter opens the first hit.
            QAbstractItemView *list = search_.isActive() ? results_->list() : static_cast<QAbstractItemView *>(tree_);
            if (!list->model() || list->model()->rowCount() == 0) return false;
            list->setFocus(Qt::ShortcutFocusReason);
            if (!list->currentIndex().isValid()) list->setCurrentIndex(list->model()->index(0, 0));
            if (key->key() != Qt::Key_Down) Q_EMIT list->activated(list->currentIndex());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace quorvel::app
