#pragma once

#include <QList>
#include <QMessageBox>
#include <QString>

#include <functional>

class QWidget;

namespace quorvel::app {

// Every alert of the screens goes through here, so a test can answer it without a window.
class Alerts {
public:
    struct Button {
        QString text;
        QMessageBox::ButtonRole role = QMessageBox::AcceptRole;
        bool destructive = false;
    };
    struct Alert {
        QMessageBox::Icon icon = QMessageBox::Information;
        QString title;
        QString text;
        QList<Button> buttons;
        int defaultButton = 0;
        int escapeButton = 0;
    };
    // Answers with the index of the chosen button.
    using Handler = std::function<int(QWidget *parent, const Alert &alert)>;

    // The answer; a modal message box unless a test replaced the handler.
    static int ask(QWidget *parent, const Alert &alert);
    static void setHandler(Handler handler);
    // A message box of ours is on screen.
    static bool isShowing();
};

} // namespace quorvel::app
