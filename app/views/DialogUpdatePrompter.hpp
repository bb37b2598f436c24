#pragma once

#include "model/UpdatePrompter.hpp"

#include <QPointer>
#include <QWidget>

namespace quorvel::app {

// The update checker's alerts as message boxes over the window it is given.
class DialogUpdatePrompter : public UpdatePrompter {
public:
    explicit DialogUpdatePrompter(QWidget *window) : window_(window) {}

    bool canPresent() const override;
    void present(const UpdateAlert &alert, std::function<void(UpdateAlert::Action)> answered) override;

private:
    QPointer<QWidget> window_;
};

} // namespace quorvel::app
