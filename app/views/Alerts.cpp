#include "views/Alerts.hpp"

#include <QPushButton>

namespace quorvel::app {

namespace {

Alerts::Handler &handler() {
    static Alerts::Handler h;
    return h;
}

int showing = 0;

int messageBox(QWidget *parent, const Alerts::Alert &alert) {
    QMessageBox box(alert.icon, alert.title, QString(), QMessageBox::NoButton, parent);
    box.setText(QStringLiteral("<b>%1</b>").arg(alert.title.toHtmlEscaped()));
    box.setInformativeText(alert.text);
    box.setTextFormat(Qt::RichText);
    QList<QPushButton *> buttons;
    for (const auto &b : alert.buttons) {
        QPushButton *button = box.addButton(b.text, b.role);
        button->setAccessibleName(b.text);
        // A destructive choice reads as one: red text, never the default for Enter by accident.
        if (b.destructive) button->setStyleSheet(QStringLiteral("color: #c62828;"));
        buttons << button;
    }
    if (alert.defaultButton >= 0 && alert.defaultButton < buttons.size())
        box.setDefaultButton(buttons[alert.defaultButton]);
    if (alert.escapeButton >= 0 && alert.escapeButton < buttons.size())
        box.setEscapeButton(buttons[alert.escapeButton]);
    box.exec();
    const int chosen = buttons.indexOf(qobject_cast<QPushButton *>(box.clickedButton()));
    return chosen >= 0 ? chosen : alert.escapeButton;
}

} // namespace

int Alerts::ask(QWidget *parent, const Alert &alert) {
    ++showing;
    const int answer = handler() ? handler()(parent, alert) : messageBox(parent, alert);
    --showing;
    return answer;
}

void Alerts::setHandler(Handler h) {
    handler() = std::move(h);
}

bool Alerts::isShowing() {
    return showing > 0;
}

} // namespace quorvel::app
