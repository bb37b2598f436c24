#include "model/InstanceMessage.hpp"

#include "html/UTF8.hpp"

#include <cstdint>

namespace quorvel::app::InstanceMessage {

namespace {
constexpr size_t headerBytes = 4;
}

std::string encode(std::string_view text) {
    const auto n = static_cast<uint32_t>(text.size());
    std::string out;
    out.reserve(headerBytes + text.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((n >> shift) & 0xff));
    out.append(text);
    return out;
}

std::optional<std::string> decode(std::string &buffer, bool &bad) {
    bad = false;
    if (buffer.size() < headerBytes) return std::nullopt;
    uint32_t length = 0;
    for (size_t i = 0; i < headerBytes; ++i)
        length = (length << 8) | static_cast<unsigned char>(buffer[i]);
    if (length > maxBytes) {
        bad = true;
        return std::nullopt;
    }
    if (buffer.size() - headerBytes < length) return std::nullopt;
    std::string text = buffer.substr(headerBytes, length);
    buffer.erase(0, headerBytes + length);
    if (!UTF8::isValid(text)) {
        bad = true;
        return std::nullopt;
    }
    return text;
}

} // namespace quorvel::app::InstanceMessage
