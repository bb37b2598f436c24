#include "model/Workers.hpp"

namespace quorvel::app {

Workers::Workers() {
    pool_.setMaxThreadCount(4);
    storeQueue_.setMaxThreadCount(1);
}

// The pools wait for their work here; what that work holds it owns.
Workers::~Workers() = default;

QFuture<void> Workers::whenStoreIdle() {
    return QtConcurrent::run(&storeQueue_, [] {}).then(this, [] {});
}

} // namespace quorvel::app
