#pragma once

#include <QStackedWidget>

namespace quorvel::app {

class AppModel;
class MainView;

// Shows the screen of the model's phase.
class RootView : public QStackedWidget {
    Q_OBJECT
public:
    explicit RootView(AppModel &model, QWidget *parent = nullptr);
    // The library screen, once the library has been shown.
    MainView *mainView() const { return main_; }

Q_SIGNALS:
    void mainViewCreated(MainView *view);

private:
    void showPhase();
    QWidget *screen(int kind);

    AppModel &model_;
    QWidget *current_ = nullptr;
    MainView *main_ = nullptr;
};

} // namespace quorvel::app
