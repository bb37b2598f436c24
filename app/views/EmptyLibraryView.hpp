#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace quorvel::app {

class AppModel;

// What the reading pane shows while the library holds no document: where to make the first one.
class EmptyLibraryView : public QWidget {
    Q_OBJECT
public:
    explicit EmptyLibraryView(AppModel &model, QWidget *parent = nullptr);

private:
    void refresh();

    AppModel &model_;
    QLabel *fetching_;
    QPushButton *create_;
};

} // namespace quorvel::app
