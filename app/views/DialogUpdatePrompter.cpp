#include "views/DialogUpdatePrompter.hpp"

#include "views/Alerts.hpp"

#include <QApplication>

namespace quorvel::app {

bool DialogUpdatePrompter::canPresent() const {
    return window_ && window_->isVisible() && !window_->isMinimized() && !Alerts::isShowing() &&
           !QApplication::activeModalWidget();
}

void DialogUpdatePrompter::present(const UpdateAlert &alert, std::function<void(UpdateAlert::Action)> answered) {
    Alerts::Alert box;
    box.icon = alert.style == UpdateAlert::Style::warning ? QMessageBox::Warning : QMessageBox::Information;
    box.title = alert.title;
    box.text = alert.text;
    box.escapeButton = 0;
    for (int i = 0; i < alert.buttons.size(); ++i) {
        const auto &b = alert.buttons[i];
        box.buttons.append(
            {b.text, b.action == alert.escape ? QMessageBox::RejectRole : QMessageBox::AcceptRole, false});
        if (b.action == alert.escape) box.escapeButton = i;
    }
    const int chosen = Alerts::ask(window_, box);
    answered(chosen >= 0 && chosen < alert.buttons.size() ? alert.buttons[chosen].action : alert.escape);
}

} // namespace quorvel::app
