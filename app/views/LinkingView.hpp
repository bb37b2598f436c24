#pragma once

#include <QWidget>

namespace quorvel::app {

class AppModel;

// Waiting for the sign-in in the browser to come back.
class LinkingView : public QWidget {
    Q_OBJECT
public:
    explicit LinkingView(AppModel &model, QWidget *parent = nullptr);
};

} // namespace quorvel::app
