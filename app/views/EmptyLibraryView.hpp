#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace quorvel::app {

class Connectivity;
class SyncController;
struct Environment;

// What the reading pane shows while the library holds no document: where to make the first one.
class EmptyLibraryView : public QWidget {
    Q_OBJECT
public:
    EmptyLibraryView(SyncController &sync, Connectivity &connectivity, const Environment &environment,
                     QWidget *parent = nullptr);

private:
    void refresh();

    SyncController &sync_;
    Connectivity &connectivity_;
    QLabel *fetching_;
    QPushButton *create_;
};

} // namespace quorvel::app
