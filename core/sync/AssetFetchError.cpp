#include "sync/AssetFetchError.hpp"

namespace quorvel {

AssetFetchError::AssetFetchError(Kind k, int s, std::string m) : kind(k), status(s), message(std::move(m)) {
    switch (kind) {
    case Kind::badStatus:
        text_ = "image download failed with HTTP status " + std::to_string(status);
        break;
    case Kind::network:
        text_ = "image download failed: " + message;
        break;
    case Kind::tooLarge:
        text_ = "image is larger than the allowed size";
        break;
    case Kind::empty:
        text_ = "image download returned no bytes";
        break;
    case Kind::cancelled:
        text_ = "image download cancelled";
        break;
    }
}

AssetFetchError AssetFetchError::badStatus(int status) {
    return AssetFetchError(Kind::badStatus, status);
}

AssetFetchError AssetFetchError::network(std::string message) {
    return AssetFetchError(Kind::network, 0, std::move(message));
}

} // namespace quorvel
