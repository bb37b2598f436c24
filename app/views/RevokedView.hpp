#pragma once

#include <QWidget>

namespace quorvel::app {

class Account;

// The device was unlinked on the web and its copy erased.
class RevokedView : public QWidget {
    Q_OBJECT
public:
    explicit RevokedView(Account &account, QWidget *parent = nullptr);
};

} // namespace quorvel::app
