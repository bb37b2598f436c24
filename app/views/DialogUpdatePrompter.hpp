#pragma once

#include "model/UpdatePrompter.hpp"

namespace quorvel::app {

// The update checker's alerts as message boxes on the window "쿼벨".
class DialogUpdatePrompter : public UpdatePrompter {
public:
    bool canPresent() const override;
    void present(const UpdateAlert &alert, std::function<void(UpdateAlert::Action)> answered) override;
};

} // namespace quorvel::app
