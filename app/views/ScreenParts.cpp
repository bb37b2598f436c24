#include "views/ScreenParts.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quorvel::app::ScreenParts {

QBoxLayout *centredColumn(QWidget *host, int width) {
    auto *outer = new QHBoxLayout(host);
    auto *column = new QWidget(host);
    column->setMaximumWidth(width);
    outer->addStretch(1);
    outer->addWidget(column, 4);
    outer->addStretch(1);
    auto *layout = new QVBoxLayout(column);
    layout->setSpacing(12);
    layout->addStretch(1);
    return layout;
}

QLabel *title(const QString &text, QWidget *parent, double scale) {
    auto *label = new QLabel(text, parent);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * scale);
    font.setBold(true);
    label->setFont(font);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    return label;
}

QLabel *text(const QString &text, QWidget *parent) {
    auto *label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    return label;
}

QLabel *secondary(const QString &text, QWidget *parent) {
    auto *label = ScreenParts::text(text, parent);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

QPushButton *link(const QString &text, QWidget *parent) {
    auto *button = new QPushButton(text, parent);
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setForegroundRole(QPalette::Link);
    button->setStyleSheet(QStringLiteral("QPushButton { color: palette(link); border: none; padding: 2px; }"
                                         "QPushButton:focus { text-decoration: underline; }"));
    button->setAccessibleName(text);
    return button;
}

QPushButton *button(const QString &text, QWidget *parent, bool primary) {
    auto *button = new QPushButton(text, parent);
    button->setAccessibleName(text);
    if (primary) {
        button->setDefault(true);
        button->setMinimumHeight(34);
        button->setStyleSheet(QStringLiteral(
            "QPushButton { background: palette(highlight); color: palette(highlighted-text); font-weight: bold;"
            " border: 2px solid transparent; border-radius: 6px; padding: 6px 18px; }"
            "QPushButton:focus { border-color: rgba(255, 255, 255, 0.75); }"
            "QPushButton:pressed { padding-top: 7px; padding-bottom: 5px; }"));
    }
    return button;
}

QLabel *symbol(Icons::Symbol symbol, QWidget *parent) {
    auto *label = new QLabel(parent);
    label->setPixmap(Icons::tinted(symbol, parent->palette().color(QPalette::PlaceholderText)).pixmap(48, 48));
    label->setAlignment(Qt::AlignCenter);
    return label;
}

} // namespace quorvel::app::ScreenParts
