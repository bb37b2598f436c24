#include "document/LibraryLinks.hpp"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace quorvel::app;

namespace {

// What the service's pages would write for the document.
std::string address(std::string_view base, std::string_view form, const LinkTarget &target) {
    std::string url(base);
    while (!url.empty() && url.back() == '/')
        url.pop_back();
    url.append(form).append(std::to_string(target.documentID));
    if (!target.fragment.empty()) url.append("#").append(target.fragment);
    return url;
}

} // namespace

// Links come from documents. The first byte picks a base URL; the rest is the link, then after a
// line feed the page's URL. A link that names a document carries no user info and no query, ends
// in its id, stops naming one when either is added, and the service's own address for the
// document names the same.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const std::array<std::string_view, 4> bases = {"http://127.0.0.1:8787", "https://Docs.Example.com/",
                                                          "https://docs.example.com:8443/quorvel/",
                                                          "http://[::1]:8787/a%20b"};
    if (size == 0) return 0;
    const std::string_view base = bases[data[0] % bases.size()];
    const LibraryLinks links(base);
    if (!links.knowsDocuments()) std::abort();
    const std::string_view rest(reinterpret_cast<const char *>(data) + 1, size - 1);
    const std::string_view url = rest.substr(0, rest.find('\n'));
    const std::string_view page = url.size() < rest.size() ? rest.substr(url.size() + 1) : std::string_view();

    const LinkTarget target = links.classify(url, page);
    if (LibraryLinks().classify(url, page).kind == LinkTarget::Kind::document) std::abort();
    if (target.kind != LinkTarget::Kind::document) return 0;

    const std::string_view beforeFragment = url.substr(0, url.find('#'));
    const size_t authority = url.find("://");
    if (authority == std::string_view::npos) std::abort();
    const size_t hostEnd = beforeFragment.find('/', authority + 3);
    const std::string_view host = beforeFragment.substr(
        authority + 3, hostEnd == std::string_view::npos ? std::string_view::npos : hostEnd - authority - 3);
    const std::string id = std::to_string(target.documentID);
    if (target.documentID <= 0 || beforeFragment.find('?') != std::string_view::npos ||
        host.find('@') != std::string_view::npos || !beforeFragment.ends_with(id))
        std::abort();
    const std::string withUser =
        std::string(url.substr(0, authority + 3)) + "u@" + std::string(url.substr(authority + 3));
    const std::string withQuery = std::string(beforeFragment) + "?" + std::string(url.substr(beforeFragment.size()));
    for (const std::string &changed : {withUser, withQuery})
        if (links.classify(changed, page).kind == LinkTarget::Kind::document) std::abort();
    for (std::string_view form : LibraryLinks::documentPaths)
        if (links.classify(address(base, form, target), {}) != target) std::abort();
    return 0;
}
