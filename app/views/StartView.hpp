#pragma once

#include <QTimer>
#include <QWidget>

class QLabel;
class QPushButton;

namespace quorvel::app {

class Account;
class Revocation;
class Stage;
struct Environment;

// The welcome screen: sign in through the browser, or find the service on the web.
class StartView : public QWidget {
    Q_OBJECT
public:
    StartView(Account &account, Stage &stage, Revocation &revocation, const Environment &environment,
              QWidget *parent = nullptr);

private:
    void refresh();

    Stage &stage_;
    Revocation &revocation_;
    QPushButton *login_;
    QLabel *busy_;
    QLabel *error_;
    QTimer busyDelay_;
};

} // namespace quorvel::app
