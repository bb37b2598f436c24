#include "RequestParsing.hpp"

#include <algorithm>
#include <cctype>

namespace quorvel::service::RequestParsing {

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

std::string lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

bool digitsOnly(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int64_t toNumber(std::string_view digits) {
    int64_t n = 0;
    for (char c : digits)
        n = n * 10 + (c - '0');
    return n;
}

} // namespace

std::optional<std::array<int64_t, 3>> version(std::string_view text) {
    std::array<int64_t, 3> parts{};
    size_t piece = 0;
    while (true) {
        size_t dot = text.find('.');
        std::string_view part = text.substr(0, dot);
        if (piece >= 3 || part.size() > 9 || !digitsOnly(part)) return std::nullopt;
        parts[piece++] = toNumber(part);
        if (dot == std::string_view::npos) break;
        text.remove_prefix(dot + 1);
    }
    if (piece != 3) return std::nullopt;
    return parts;
}

std::optional<std::vector<int64_t>> idList(std::string_view text) {
    std::vector<int64_t> ids;
    if (text.empty()) return ids;
    while (true) {
        size_t comma = text.find(',');
        std::string_view item = text.substr(0, comma);
        if (item.size() > 18 || !digitsOnly(item)) return std::nullopt;
        ids.push_back(toNumber(item));
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    return ids;
}

bool matchesAnyTag(std::string_view header, std::string_view etag) {
    auto strip = [](std::string_view t) {
        t = trim(t);
        if (t.substr(0, 2) == "W/") t.remove_prefix(2);
        return t;
    };
    std::string_view want = strip(etag);
    while (true) {
        size_t comma = header.find(',');
        std::string_view item = strip(header.substr(0, comma));
        if (item == "*" || (!item.empty() && item == want)) return true;
        if (comma == std::string_view::npos) return false;
        header.remove_prefix(comma + 1);
    }
}

std::string bearerToken(std::string_view authorization) {
    if (authorization.size() <= 7 || lower(authorization.substr(0, 7)) != "bearer ") return "";
    return std::string(trim(authorization.substr(7)));
}

bool isJSONMediaType(std::string_view contentType) {
    return lower(trim(contentType.substr(0, contentType.find(';')))) == "application/json";
}

} // namespace quorvel::service::RequestParsing
