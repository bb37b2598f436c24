#pragma once

#include "api/APIError.hpp"
#include "api/HTTPAPIClient.hpp"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

namespace quorvel::fuzz {

// Decodes a 200 response body as the envelope of T. Only APIError may escape decoding, and only of
// the kinds the envelope can produce.
template <class T>
std::optional<T> decodeBody(const uint8_t *data, size_t size) {
    HTTPResponse response{200, {}, std::string(reinterpret_cast<const char *>(data), size)};
    try {
        return HTTPAPIClient::decodeData<T>(response);
    } catch (const APIError &e) {
        if (e.kind() != APIError::Kind::decoding && e.kind() != APIError::Kind::server) std::abort();
        if (e.kind() == APIError::Kind::server && e.status() != 200) std::abort();
        return std::nullopt;
    }
}

// Dates that the wire format can carry back: whole seconds inside years 0000 to 9999.
inline bool encodable(double time) {
    return std::isfinite(time) && time >= -62167219200.0 && time <= 253402300799.0;
}

// The decoded value of a date after one trip through the encoder.
inline double whole(double time) {
    return std::floor(time);
}

template <class T>
T reencoded(const T &value) {
    try {
        return T::fromJSON(value.toJSON());
    } catch (const APIError &) {
        std::abort(); // an encoding must always decode
    }
}

} // namespace quorvel::fuzz
