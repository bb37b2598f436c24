#pragma once

#include <QTimer>
#include <QWidget>

class QLabel;
class QPushButton;

namespace quorvel::app {

class AppModel;

// The welcome screen: sign in through the browser, or find the service on the web.
class StartView : public QWidget {
    Q_OBJECT
public:
    explicit StartView(AppModel &model, QWidget *parent = nullptr);

private:
    void refresh();

    AppModel &model_;
    QPushButton *login_;
    QLabel *busy_;
    QLabel *error_;
    QTimer busyDelay_;
};

} // namespace quorvel::app
