#include "api/CurlGlobal.hpp"

#include <curl/curl.h>

#include <mutex>
#include <stdexcept>

namespace quorvel {

void ensureCurlGlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Never cleaned up: handles may live until the process ends.
        if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) throw std::runtime_error("curl_global_init failed");
    });
}

} // namespace quorvel
