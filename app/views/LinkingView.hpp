#pragma once

#include <QWidget>

namespace quorvel::app {

class Account;

// Waiting for the sign-in in the browser to come back.
class LinkingView : public QWidget {
    Q_OBJECT
public:
    explicit LinkingView(Account &account, QWidget *parent = nullptr);
};

} // namespace quorvel::app
