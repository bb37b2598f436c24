#include "views/StartView.hpp"

#include "views/Icons.hpp"
#include "views/ScreenParts.hpp"

#include "model/Account.hpp"
#include "model/Environment.hpp"
#include "model/Revocation.hpp"
#include "model/Stage.hpp"

#include <QBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace quorvel::app {

StartView::StartView(Account &account, Stage &stage, Revocation &revocation, const Environment &environment,
                     QWidget *parent)
    : QWidget(parent), stage_(stage), revocation_(revocation) {
    using namespace ScreenParts;
    QBoxLayout *column = centredColumn(this);
    auto *logo = new QLabel(this);
    logo->setPixmap(Icons::icon(Icons::Symbol::app).pixmap(96, 96));
    logo->setAlignment(Qt::AlignCenter);
    logo->setAccessibleName(QStringLiteral("쿼벨"));
    column->addWidget(logo);
    column->addWidget(title(QStringLiteral("쿼벨 for Linux"), this));
    column->addWidget(secondary(QStringLiteral("인터넷이 없어도 내 보고서를 볼 수 있어요"), this));
    column->addSpacing(16);

    login_ = button(QStringLiteral("브라우저로 로그인"), this, true);
    login_->setObjectName(QStringLiteral("signIn"));
    column->addWidget(login_, 0, Qt::AlignHCenter);
    busy_ = secondary(QStringLiteral("확인하는 중…"), this);
    column->addWidget(busy_);
    error_ = text(QString(), this);
    error_->setStyleSheet(QStringLiteral("color: #d32f2f;"));
    error_->setAccessibleName(QStringLiteral("로그인 오류"));
    column->addWidget(error_);
    column->addSpacing(16);

    auto *website = link(QStringLiteral("웹사이트 열기 ↗"), this);
    column->addWidget(website, 0, Qt::AlignHCenter);
    auto *signupRow = new QHBoxLayout;
    signupRow->addStretch(1);
    QLabel *firstTime = secondary(QStringLiteral("처음이신가요? 웹에서 가입 후 연결하세요"), this);
    firstTime->setWordWrap(false);
    signupRow->addWidget(firstTime);
    auto *signup = link(QStringLiteral("가입하기 ↗"), this);
    signupRow->addWidget(signup);
    signupRow->addStretch(1);
    column->addLayout(signupRow);
    column->addStretch(1);

    connect(login_, &QPushButton::clicked, &account, &Account::beginLogin);
    connect(website, &QPushButton::clicked, this, [&environment] { environment.openWebPage(QString()); });
    connect(signup, &QPushButton::clicked, this,
            [&environment] { environment.openWebPage(QStringLiteral("/signup")); });

    // A start-up step shorter than a blink would only flicker.
    busyDelay_.setSingleShot(true);
    busyDelay_.setInterval(250);
    connect(&busyDelay_, &QTimer::timeout, this, &StartView::refresh);
    connect(&revocation_, &Revocation::isSendingChanged, this, [this] {
        if (revocation_.isSending())
            busyDelay_.start();
        else
            refresh();
    });
    connect(&stage_, &Stage::startErrorChanged, this, &StartView::refresh);
    refresh();
}

void StartView::refresh() {
    const bool busy = revocation_.isSending() && !busyDelay_.isActive();
    login_->setVisible(!busy);
    busy_->setVisible(busy);
    error_->setText(stage_.startError().value_or(QString()));
    error_->setVisible(stage_.startError().has_value());
}

} // namespace quorvel::app
