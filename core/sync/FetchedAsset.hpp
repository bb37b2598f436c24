#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorvel {

// One downloaded image; its SHA-256 is its identity in the store.
struct FetchedAsset {
    std::string sha256;
    std::vector<uint8_t> bytes;

    FetchedAsset(std::string sha, std::vector<uint8_t> data) : sha256(std::move(sha)), bytes(std::move(data)) {}
    // Computes `sha256` as the lower-case hexadecimal digest of `data`.
    explicit FetchedAsset(std::vector<uint8_t> data);

    bool operator==(const FetchedAsset &) const = default;
};

} // namespace quorvel
