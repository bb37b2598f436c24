#include "views/LinkingView.hpp"

#include "views/ScreenParts.hpp"

#include "model/Account.hpp"

#include <QBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace quorvel::app {

LinkingView::LinkingView(Account &account, QWidget *parent) : QWidget(parent) {
    using namespace ScreenParts;
    QBoxLayout *column = centredColumn(this);
    column->addWidget(title(QStringLiteral("브라우저에서 로그인을 마쳐 주세요…"), this, 1.3));
    column->addWidget(secondary(QStringLiteral("처음 한 번은 로그인이 필요할 수 있어요"), this));
    auto *progress = new QProgressBar(this);
    progress->setRange(0, 0);
    progress->setTextVisible(false);
    progress->setMaximumHeight(8);
    progress->setAccessibleName(QStringLiteral("로그인 기다리는 중"));
    column->addWidget(progress);
    auto *cancel = button(QStringLiteral("취소"), this);
    cancel->setObjectName(QStringLiteral("cancelSignIn"));
    column->addWidget(cancel, 0, Qt::AlignHCenter);
    column->addStretch(1);
    connect(cancel, &QPushButton::clicked, &account, &Account::cancelLogin);
}

} // namespace quorvel::app
