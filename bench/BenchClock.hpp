#pragma once

#include <algorithm>
#include <chrono>
#include <vector>

// The clock and the middle value every benchmark reports with.
namespace quorvel::bench {

inline double nowMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::system_clock::now().time_since_epoch()).count();
}

inline double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t half = v.size() / 2;
    return v.size() % 2 ? v[half] : (v[half - 1] + v[half]) / 2;
}

} // namespace quorvel::bench
