#include "util/DocumentLink.hpp"

#include "util/ASCIICase.hpp"
#include "util/URLEncoding.hpp"

#include <charconv>

namespace quorvel::DocumentLink {

namespace {

// Longer than any link make writes, so nothing long is decoded.
constexpr size_t maxLength = 256;

// Takes `prefix` off the front of `text` when it is there, ignoring ASCII case.
bool consume(std::string_view &text, std::string_view prefix) {
    if (!ASCIICase::equal(text.substr(0, prefix.size()), prefix)) return false;
    text.remove_prefix(prefix.size());
    return true;
}

std::optional<int64_t> documentId(std::string_view digits) {
    if (digits.empty() || (digits.size() > 1 && digits[0] == '0')) return std::nullopt;
    for (char c : digits)
        if (c < '0' || c > '9') return std::nullopt;
    int64_t id = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), id);
    if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return id;
}

} // namespace

std::string make(int64_t fileId) {
    return std::string(scheme) + "://" + std::string(host) + "?id=" + std::to_string(fileId);
}

std::optional<int64_t> parse(std::string_view url) {
    if (url.size() > maxLength) return std::nullopt;
    std::string_view rest = url;
    if (!consume(rest, scheme) || !consume(rest, "://") || !consume(rest, host)) return std::nullopt;
    // What follows the host decides whether it was the whole host: "openx", "open:80", "open@x" are not.
    consume(rest, "/");
    if (!consume(rest, "?")) return std::nullopt;
    // One item, "id=", whose value may be percent-encoded as long as it decodes to plain digits.
    if (!rest.starts_with("id=")) return std::nullopt;
    rest.remove_prefix(3);
    if (rest.find_first_of("&#=") != std::string_view::npos) return std::nullopt;
    auto value = URLEncoding::decodeComponent(rest);
    if (!value) return std::nullopt;
    return documentId(*value);
}

} // namespace quorvel::DocumentLink
