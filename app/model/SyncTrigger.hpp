#pragma once

namespace quorvel::app {

// Why a sync is asked for. The scheduler produces timer, network, wake and windowKey; the model
// itself uses launch (start-up) and manual (the user).
enum class SyncTrigger { launch, timer, network, wake, windowKey, manual };

} // namespace quorvel::app
