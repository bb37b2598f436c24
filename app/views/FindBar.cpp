#include "views/FindBar.hpp"

#include <QBoxLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

namespace quorvel::app {

FindBar::FindBar(QWidget *parent) : QFrame(parent) {
    setObjectName(QStringLiteral("findBar"));
    setFrameShape(QFrame::StyledPanel);
    setAccessibleName(QStringLiteral("페이지에서 찾기"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(8, 4, 4, 4);
    row->setSpacing(4);
    field_ = new QLineEdit(this);
    field_->setObjectName(QStringLiteral("findField"));
    field_->setPlaceholderText(QStringLiteral("페이지에서 찾기"));
    field_->setAccessibleName(QStringLiteral("찾을 낱말"));
    field_->setClearButtonEnabled(false);
    field_->setMaximumWidth(280);
    count_ = new QLabel(this);
    count_->setObjectName(QStringLiteral("findCount"));
    count_->setForegroundRole(QPalette::PlaceholderText);
    count_->setMinimumWidth(64);
    previous_ = button("findPrevious", QStringLiteral("▲"), QStringLiteral("이전 찾기 (Shift+F3)"));
    next_ = button("findNext", QStringLiteral("▼"), QStringLiteral("다음 찾기 (F3)"));
    QToolButton *close = button("findClose", QStringLiteral("✕"), QStringLiteral("찾기 닫기 (Esc)"));
    row->addWidget(field_, 1);
    row->addWidget(count_);
    row->addWidget(previous_);
    row->addWidget(next_);
    row->addStretch(0);
    row->addWidget(close);
    setFocusProxy(field_);

    connect(field_, &QLineEdit::textEdited, this, &FindBar::wordsEdited);
    connect(field_, &QLineEdit::returnPressed, this, [this] {
        if (QGuiApplication::keyboardModifiers() & Qt::ShiftModifier)
            Q_EMIT previousRequested();
        else
            Q_EMIT nextRequested();
    });
    connect(previous_, &QToolButton::clicked, this, &FindBar::previousRequested);
    connect(next_, &QToolButton::clicked, this, &FindBar::nextRequested);
    connect(close, &QToolButton::clicked, this, &FindBar::closeRequested);
    showCount(0, 0);
}

QToolButton *FindBar::button(const char *name, const QString &text, const QString &label) {
    auto *button = new QToolButton(this);
    button->setObjectName(QString::fromLatin1(name));
    button->setText(text);
    button->setToolTip(label);
    button->setAccessibleName(label.section(QStringLiteral(" ("), 0, 0));
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}

void FindBar::setWords(const QString &words) {
    // Only words of its own: the spaces being typed stay where they are.
    if (field_->text().trimmed() != words.trimmed()) field_->setText(words);
}

void FindBar::showCount(int active, int count) {
    const bool words = !field_->text().trimmed().isEmpty();
    count_->setText(!words      ? QString()
                    : count > 0 ? QStringLiteral("%1 / %2").arg(active).arg(count)
                                : QStringLiteral("없음"));
    count_->setAccessibleName(count > 0 ? QStringLiteral("%2개 중 %1번째").arg(active).arg(count) : count_->text());
    previous_->setEnabled(count > 0);
    next_->setEnabled(count > 0);
}

} // namespace quorvel::app
