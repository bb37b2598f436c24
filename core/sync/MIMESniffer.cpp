#include "sync/MIMESniffer.hpp"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace quorvel::MIMESniffer {

namespace {

bool matchesAt(std::span<const uint8_t> head, size_t offset, std::string_view signature) {
    if (head.size() < offset + signature.size()) return false;
    return std::memcmp(head.data() + offset, signature.data(), signature.size()) == 0;
}

// Lower-cased UTF-8 text of the first 512 bytes; invalid sequences only need to not hide "<svg",
// so any byte outside ASCII can stand for itself without decoding.
bool mentionsSVG(std::span<const uint8_t> data) {
    size_t n = std::min<size_t>(data.size(), 512);
    std::string lowered(n, '\0');
    for (size_t i = 0; i < n; ++i) {
        uint8_t c = data[i];
        lowered[i] = static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    }
    return lowered.find("<svg") != std::string::npos;
}

} // namespace

std::string sniff(std::span<const uint8_t> data) {
    auto head = data.first(std::min<size_t>(data.size(), 16));
    if (matchesAt(head, 0, "\x89PNG")) return "image/png";
    if (matchesAt(head, 0, "\xFF\xD8\xFF")) return "image/jpeg";
    if (matchesAt(head, 0, "GIF8")) return "image/gif";
    if (matchesAt(head, 0, "RIFF") && matchesAt(head, 8, "WEBP")) return "image/webp";
    if (matchesAt(head, 0, "BM")) return "image/bmp";
    if (matchesAt(head, 0, std::string_view("\x00\x00\x01\x00", 4))) return "image/x-icon";
    if (matchesAt(head, 4, "ftyp")) {
        std::string_view brand;
        if (head.size() >= 12) brand = std::string_view(reinterpret_cast<const char *>(head.data()) + 8, 4);
        if (brand.starts_with("avif")) return "image/avif";
        if (brand.starts_with("heic") || brand.starts_with("heix") || brand.starts_with("mif1")) return "image/heic";
    }
    if (mentionsSVG(data)) return "image/svg+xml";
    return "application/octet-stream";
}

} // namespace quorvel::MIMESniffer
