#include "document/AssetHosts.hpp"
#include "document/DocumentPage.hpp"

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

using namespace quorvel::app;

// Shells and documents come from the service. The input is a shell and a document separated by the
// first NUL (no NUL: no shell). Whatever they hold, the document reaches the page whole (with its
// outline's ids written in, when asked for one, and nothing else changed), the policy goes in at
// most once, and splitting asset hosts for the engine is done once and for all.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    const size_t nul = bytes.find('\0');
    const std::optional<std::string> shell =
        nul == std::string_view::npos ? std::nullopt : std::optional<std::string>(bytes.substr(0, nul));
    const std::string_view content = nul == std::string_view::npos ? bytes : bytes.substr(nul + 1);

    const std::string page = DocumentPage::build(shell, content);
    if (page.find(content) == std::string::npos) std::abort();
    const DocumentPage::OutlinedPage outlined = DocumentPage::buildOutlined(shell, content);
    std::string anchored;
    quorvel::HTMLOutline::appendAnchored(anchored, content, outlined.outline);
    if (outlined.html.size() != page.size() + anchored.size() - content.size() ||
        outlined.html.find(anchored) == std::string::npos)
        std::abort();

    // Either nothing changes or one policy tag is added and nothing else.
    const std::string injected = DocumentPage::injectCSP(bytes);
    if (injected != bytes) {
        const auto tag = DocumentPage::policyTag;
        bool inserted = false;
        for (size_t at = injected.find(tag); !inserted && at != std::string::npos; at = injected.find(tag, at + 1))
            inserted = std::string(injected).erase(at, tag.size()) == bytes;
        if (!inserted) std::abort();
    }

    const std::string split = AssetHosts::split(page);
    if (AssetHosts::split(split) != split || AssetHosts::join(split).size() > page.size()) std::abort();
    return 0;
}
