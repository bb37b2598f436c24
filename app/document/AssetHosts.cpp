#include "document/AssetHosts.hpp"

namespace quorvel::app::AssetHosts {

namespace {

constexpr std::string_view assetPrefix = "quorvel-asset://";
constexpr size_t hashLength = 64;

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool isHostChar(char c) {
    return isHexDigit(c) || (c >= 'g' && c <= 'z') || (c >= 'G' && c <= 'Z') || c == '-' || c == '_' || c == '.';
}

bool startsWithPrefix(std::string_view text, size_t at) {
    if (text.size() - at < assetPrefix.size()) return false;
    for (size_t i = 0; i < assetPrefix.size(); ++i) {
        char c = text[at + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != assetPrefix[i]) return false;
    }
    return true;
}

} // namespace

std::string split(std::string_view html) {
    std::string out;
    out.reserve(html.size() + html.size() / 64);
    size_t copied = 0;
    for (size_t at = html.find_first_of("qQ"); at != std::string_view::npos; at = html.find_first_of("qQ", at + 1)) {
        if (!startsWithPrefix(html, at)) continue;
        const size_t host = at + assetPrefix.size();
        if (html.size() - host < hashLength) break;
        size_t end = host;
        while (end - host < hashLength && isHexDigit(html[end]))
            ++end;
        if (end - host != hashLength || (end < html.size() && isHostChar(html[end]))) continue;
        out.append(html.substr(copied, host + hashLength / 2 - copied)).push_back('.');
        copied = host + hashLength / 2;
        at = end - 1;
    }
    out.append(html.substr(copied));
    return out;
}

std::string join(std::string_view host) {
    std::string key;
    key.reserve(host.size());
    for (char c : host)
        if (c != '.') key.push_back(c);
    return key;
}

} // namespace quorvel::app::AssetHosts
