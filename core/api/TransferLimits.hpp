#pragma once

#include <cmath>

namespace quorvel::TransferLimits {

// A transfer slower than this for the length of its time-out is treated as a dead link: a server,
// proxy or captive portal that drips a byte now and then is never idle, yet never delivers. The
// floor sits far below any real link, so an honest slow answer is never cut off.
inline constexpr long minimumBytesPerSecond = 1024;

// No single request lives longer than this, whatever the rate.
inline constexpr long hardCeilingSeconds = 3600;

// The low-speed window for a time-out: whole seconds, at least one.
inline long lowSpeedSeconds(double timeoutSeconds) {
    if (!(timeoutSeconds > 1)) return 1; // NaN too
    if (timeoutSeconds >= static_cast<double>(hardCeilingSeconds)) return hardCeilingSeconds;
    return static_cast<long>(std::ceil(timeoutSeconds));
}

} // namespace quorvel::TransferLimits
