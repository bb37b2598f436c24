#include "views/SidebarView.hpp"

#include "views/FooterView.hpp"
#include "views/Icons.hpp"
#include "views/SearchResultsView.hpp"
#include "views/TreeListView.hpp"

#include "model/AppModel.hpp"

#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace quorvel::app {

SidebarView::SidebarView(AppModel &model, QWidget *parent) : QWidget(parent), model_(model) {
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(6);
    layout->addWidget(accountRow());

    search_ = new QLineEdit(this);
    search_->setPlaceholderText(QStringLiteral("검색"));
    search_->setClearButtonEnabled(true);
    search_->addAction(Icons::icon(Icons::Symbol::search), QLineEdit::LeadingPosition);
    search_->setAccessibleName(QStringLiteral("검색"));
    search_->installEventFilter(this);
    layout->addWidget(search_);

    lists_ = new QStackedWidget(this);
    tree_ = new TreeListView(model_, lists_);
    results_ = new SearchResultsView(model_, lists_);
    lists_->addWidget(tree_);
    lists_->addWidget(results_);
    layout->addWidget(lists_, 1);

    layout->addWidget(new FooterView(model_, this));

    connect(search_, &QLineEdit::textEdited, &model_, [this](const QString &text) { model_.setSearchText(text); });
    // The clear button does not count as an edit.
    connect(search_, &QLineEdit::textChanged, &model_, [this](const QString &text) {
        if (text.isEmpty() && !model_.searchText().isEmpty()) model_.setSearchText(text);
    });
    connect(&model_, &AppModel::searchTextUpdated, this, [this] {
        if (search_->text() != model_.searchText()) search_->setText(model_.searchText());
        lists_->setCurrentWidget(model_.isSearchActive() ? static_cast<QWidget *>(results_) : tree_);
    });
    for (auto signal : {&AppModel::accountEmailChanged, &AppModel::needsReloginChanged, &AppModel::isLoggingOutChanged})
        connect(&model_, signal, this, &SidebarView::refreshAccount);
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
    const bool relogin = model_.needsRelogin();
    account_->setIcon(relogin ? Icons::tinted(Icons::Symbol::warning, QColor(0xef, 0x8a, 0x00))
                              : Icons::icon(Icons::Symbol::account));
    const QString email = model_.accountEmail().value_or(QString());
    const QString second = relogin ? QStringLiteral("다시 로그인 필요") : QStringLiteral("내 계정");
    account_->setText(email.isEmpty() ? second : email + QLatin1Char('\n') + second);
    account_->setAccessibleName(QStringLiteral("계정: ") +
                                (email.isEmpty() ? second : email + QStringLiteral(", ") + second));

    QMenu *menu = account_->menu();
    menu->clear();
    if (relogin) menu->addAction(QStringLiteral("다시 로그인"), &model_, [this] { model_.beginLogin(); });
    menu->addAction(QStringLiteral("웹에서 내 계정 열기"), &model_, [this] {
        if (auto url = model_.webURL(QStringLiteral("/profile"))) model_.environment().openUrl(*url);
    });
    menu->addAction(QStringLiteral("설정…"), this, [this] { Q_EMIT settingsRequested(); });
    QAction *logout = menu->addAction(QStringLiteral("로그아웃…"), &model_, [this] { model_.requestLogout(); });
    logout->setEnabled(!model_.isLoggingOut());
}

QWidget *SidebarView::currentList() const {
    return model_.isSearchActive() ? static_cast<QWidget *>(results_->list()) : tree_;
}

bool SidebarView::eventFilter(QObject *watched, QEvent *event) {
    if (watched == search_ && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Escape && !search_->text().isEmpty()) {
            search_->clear();
            model_.setSearchText(QString());
            return true;
        }
        if (key->key() == Qt::Key_Down || key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            // From the field straight into the list: Down moves there, Enter opens the first hit.
            QAbstractItemView *list =
                model_.isSearchActive() ? results_->list() : static_cast<QAbstractItemView *>(tree_);
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
