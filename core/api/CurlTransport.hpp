#pragma once

#include "api/HTTPTransport.hpp"

#include <cstddef>
#include <memory>

namespace quorvel {

// HTTPTransport on libcurl. No cookie engine and no cache; the system proxy variables apply as
// libcurl reads them; HTTP/2 when the server offers it over TLS; redirects followed within http and
// https. A request fails as a network error once it has gone `timeout` seconds without moving a
// byte, or has moved less than TransferLimits::minimumBytesPerSecond for that long, or has lasted
// TransferLimits::hardCeilingSeconds; slow but honest downloads are not cut off. Connections are kept
// per worker slot and slots are reused, so sequential requests share one connection; DNS answers and
// TLS sessions are shared by the whole transport. Cancellation wakes the transfer at once.
// Thread-safe: `send` may run on any number of threads at once.
class CurlTransport final : public HTTPTransport {
public:
    struct Options {
        // A larger response fails as a network error instead of exhausting memory.
        size_t maxResponseBytes = size_t{512} << 20;
        // Slots kept for reuse once concurrent sends finish.
        size_t maxIdleSlots = 8;
    };

    CurlTransport();
    explicit CurlTransport(Options options);
    ~CurlTransport() override;
    CurlTransport(const CurlTransport &) = delete;
    CurlTransport &operator=(const CurlTransport &) = delete;

    HTTPResponse send(const HTTPRequest &request, std::stop_token stop = {}) override;

private:
    struct Shared;
    struct Slot;
    std::unique_ptr<Slot> takeSlot();
    void returnSlot(std::unique_ptr<Slot> slot);

    Options options_;
    std::unique_ptr<Shared> shared_;
};

} // namespace quorvel
