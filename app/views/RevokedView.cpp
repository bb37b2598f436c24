#include "views/RevokedView.hpp"

#include "views/Icons.hpp"
#include "views/ScreenParts.hpp"

#include "model/Account.hpp"

#include <QBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace quorvel::app {

RevokedView::RevokedView(Account &account, QWidget *parent) : QWidget(parent) {
    using namespace ScreenParts;
    QBoxLayout *column = centredColumn(this);
    auto *symbol = new QLabel(this);
    symbol->setPixmap(Icons::tinted(Icons::Symbol::warning, QColor(0xf5, 0x9e, 0x0b)).pixmap(56, 56));
    symbol->setAlignment(Qt::AlignCenter);
    column->addWidget(symbol);
    column->addWidget(text(QStringLiteral("웹에서 이 컴퓨터의 연결이 해제되어 저장된 문서를 지웠어요."), this));
    auto *login = button(QStringLiteral("다시 로그인"), this, true);
    login->setObjectName(QStringLiteral("signInAgain"));
    column->addWidget(login, 0, Qt::AlignHCenter);
    column->addStretch(1);
    connect(login, &QPushButton::clicked, &account, &Account::beginLogin);
}

} // namespace quorvel::app
