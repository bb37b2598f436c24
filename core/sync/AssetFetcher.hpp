#pragma once

#include "sync/FetchedAsset.hpp"

#include <stop_token>
#include <string>

namespace quorvel {

// Downloads one image. Implementations are safe to call from several threads at once.
class AssetFetcher {
public:
    virtual ~AssetFetcher() = default;
    // Throws AssetFetchError; a stop requested on `stop` ends the transfer as `cancelled`.
    virtual FetchedAsset fetch(const std::string &url, std::stop_token stop = {}) = 0;
};

} // namespace quorvel
