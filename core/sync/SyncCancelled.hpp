#pragma once

#include <exception>

namespace quorvel {

// Thrown inside a sync run at its cancellation checks once the run has been asked to stop.
class SyncCancelled : public std::exception {
public:
    const char *what() const noexcept override { return "cancelled"; }
};

} // namespace quorvel
