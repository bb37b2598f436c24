#pragma once

#include <QStackedWidget>

namespace quorvel::app {

class AppModel;
class MainView;

// Shows the screen of the model's phase, and asks before a logout erases the library.
class RootView : public QStackedWidget {
    Q_OBJECT
public:
    explicit RootView(AppModel &model, QWidget *parent = nullptr);
    // The library screen, once the library has been shown.
    MainView *mainView() const { return main_; }

Q_SIGNALS:
    void mainViewCreated(MainView *view);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void showPhase();
    void confirmLogout();

    AppModel &model_;
    QWidget *current_ = nullptr;
    MainView *main_ = nullptr;
    bool startedModel_ = false;
};

} // namespace quorvel::app
