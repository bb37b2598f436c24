#include "views/StartView.hpp"

#include "views/Icons.hpp"
#include "views/ScreenParts.hpp"

#include "model/AppModel.hpp"

#include <QBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace quorvel::app {

StartView::StartView(AppModel &model, QWidget *parent) : QWidget(parent), model_(model) {
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

    connect(login_, &QPushButton::clicked, this, [this] { model_.beginLogin(); });
    auto openPage = [this](const QString &path) {
        if (auto url = model_.webURL(path)) model_.environment().openUrl(*url);
    };
    connect(website, &QPushButton::clicked, this, [openPage] { openPage(QString()); });
    connect(signup, &QPushButton::clicked, this, [openPage] { openPage(QStringLiteral("/signup")); });

    // A start-up step shorter than a blink would only flicker.
    busyDelay_.setSingleShot(true);
    busyDelay_.setInterval(250);
    connect(&busyDelay_, &QTimer::timeout, this, &StartView::refresh);
    connect(&model_, &AppModel::isSendingRevocationChanged, this, [this] {
        if (model_.isSendingRevocation())
            busyDelay_.start();
        else
            refresh();
    });
    connect(&model_, &AppModel::startErrorChanged, this, &StartView::refresh);
    refresh();
}

void StartView::refresh() {
    const bool busy = model_.isSendingRevocation() && !busyDelay_.isActive();
    login_->setVisible(!busy);
    busy_->setVisible(busy);
    error_->setText(model_.startError().value_or(QString()));
    error_->setVisible(model_.startError().has_value());
}

} // namespace quorvel::app
