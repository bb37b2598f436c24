#include "sync/FetchedAsset.hpp"

#include "util/Hashing.hpp"

namespace quorvel {

FetchedAsset::FetchedAsset(std::vector<uint8_t> data) : sha256(Hashing::sha256Hex(data)), bytes(std::move(data)) {}

} // namespace quorvel
