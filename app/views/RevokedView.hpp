#pragma once

#include <QWidget>

namespace quorvel::app {

class AppModel;

// The device was unlinked on the web and its copy erased.
class RevokedView : public QWidget {
    Q_OBJECT
public:
    explicit RevokedView(AppModel &model, QWidget *parent = nullptr);
};

} // namespace quorvel::app
