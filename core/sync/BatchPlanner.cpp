#include "sync/BatchPlanner.hpp"

namespace quorvel::BatchPlanner {

std::vector<std::vector<int64_t>> plan(const std::vector<BatchItem> &items, int64_t maxCount, int64_t maxBytes) {
    std::vector<std::vector<int64_t>> batches;
    std::vector<int64_t> current;
    int64_t sum = 0;
    auto close = [&] {
        if (current.empty()) return;
        batches.push_back(std::move(current));
        current.clear();
        sum = 0;
    };
    for (const auto &item : items) {
        int64_t size = item.size > 0 ? item.size : 0;
        if (size > maxBytes) {
            close();
            batches.push_back({item.id});
            continue;
        }
        // Written as a difference so sizes near the integer limit cannot overflow the sum.
        if (!current.empty() && (static_cast<int64_t>(current.size()) >= maxCount || size > maxBytes - sum)) close();
        current.push_back(item.id);
        sum += size;
    }
    close();
    return batches;
}

} // namespace quorvel::BatchPlanner
