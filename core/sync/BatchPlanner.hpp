#pragma once

#include <cstdint>
#include <vector>

namespace quorvel {

// One document to download and its size in the manifest.
struct BatchItem {
    int64_t id = 0;
    int64_t size = 0;
    bool operator==(const BatchItem &) const = default;
};

namespace BatchPlanner {

constexpr int64_t defaultMaxCount = 20;
constexpr int64_t defaultMaxBytes = 4194304;

// Cuts the items, in order, into content requests of at most `maxCount` ids and `maxBytes` summed size;
// an item larger than `maxBytes` travels alone. Nothing is reordered or dropped.
std::vector<std::vector<int64_t>> plan(const std::vector<BatchItem> &items, int64_t maxCount, int64_t maxBytes);

} // namespace BatchPlanner

} // namespace quorvel
