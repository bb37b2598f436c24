#pragma once

#include <cmath>

namespace quorvel::TransferLimits {

// A transfer slower than this for the length of its time-out is treated as a dead link: a server,
// proxy or captive portal that drips a byte now and then is never idle, yet never delivers. The
// floor sits far below any real link, so an honest slow answer is never cut off.
inline constexpr long minimumBytesPerSecond = 1024;

// No single request lives longer than this, whatever the rate.
inline constexpr long hardCeilingSeconds = 3600;

// The low-speed window for a time-out, in the whole seconds libcurl takes. libcurl looks at the
// rate about once a second, so the window is a second shorter than the time-out: a transfer
// stalled below the floor then ends within its time-out, not a second after it.
inline long lowSpeedSeconds(double timeoutSeconds) {
    if (!(timeoutSeconds > 2)) return 1; // NaN too
    if (timeoutSeconds >= static_cast<double>(hardCeilingSeconds)) return hardCeilingSeconds;
    return static_cast<long>(std::ceil(timeoutSeconds)) - 1;
}

} // namespace quorvel::TransferLimits
