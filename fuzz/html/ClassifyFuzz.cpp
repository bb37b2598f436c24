#include "sync/ImageRewriter.hpp"

#include <curl/curl.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

using namespace quorvel;

namespace {
std::string hostOf(const std::string &url) {
    std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> u(curl_url(), curl_url_cleanup);
    if (curl_url_set(u.get(), CURLUPART_URL, url.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) std::abort();
    char *host = nullptr;
    if (curl_url_get(u.get(), CURLUPART_HOST, &host, 0) != CURLUE_OK) std::abort();
    std::string out(host);
    curl_free(host);
    return out;
}

void check(const ImageRewriter &rewriter, std::string_view src) {
    const auto resolution = rewriter.classify(src);
    const auto *download = std::get_if<ImageSourceDownload>(&resolution);
    if (!download) return;
    const std::string &url = download->url;
    for (char c : url) {
        // ASCII without spaces or controls, ready for the wire.
        if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7F) std::abort();
    }
    if (ImageRewriter::normalize(url) != url) std::abort();
    if (rewriter.isSameOrigin(url)) return;
    if (!url.starts_with("https://")) std::abort();
    if (ImageRewriter::isPrivateHost(hostOf(url))) std::abort();
}
} // namespace

// Whatever a source says, a download is a stable, well-formed URL that is either on the
// service's own origin or on a public https host.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const ImageRewriter secure("https://docs.example.com");
    static const ImageRewriter local("http://127.0.0.1:8787");
    std::string_view src(reinterpret_cast<const char *>(data), size);
    check(secure, src);
    check(local, src);
    return 0;
}
