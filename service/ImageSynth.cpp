#include "ImageSynth.hpp"

#include <algorithm>
#include <array>
#include <cmath>

namespace quorvel::service::ImageSynth {

namespace {

uint32_t crc32(const std::string &bytes, size_t from, size_t to) {
    static const auto table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = from; i < to; ++i)
        c = table[(c ^ static_cast<uint8_t>(bytes[i])) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

void put32(std::string &out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>((v >> shift) & 0xFF);
}

void chunk(std::string &out, const char *type, const std::string &data) {
    put32(out, static_cast<uint32_t>(data.size()));
    size_t start = out.size();
    out += type;
    out += data;
    put32(out, crc32(out, start, out.size()));
}

uint64_t mix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// A zlib stream of stored (uncompressed) deflate blocks.
std::string zlibStored(const std::string &raw) {
    std::string out("\x78\x01", 2);
    uint32_t a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    size_t pos = 0;
    do {
        size_t n = std::min<size_t>(65535, raw.size() - pos);
        bool last = pos + n == raw.size();
        out += static_cast<char>(last ? 1 : 0);
        out += static_cast<char>(n & 0xFF);
        out += static_cast<char>(n >> 8);
        out += static_cast<char>(~n & 0xFF);
        out += static_cast<char>((~n >> 8) & 0xFF);
        out.append(raw, pos, n);
        pos += n;
    } while (pos < raw.size());
    put32(out, (b << 16) | a);
    return out;
}

const char *kJpegTemplate =
    "ffd8ffe000104a46494600010100000100010000ffdb004300100b0c0e0c0a100e0d0e1211101318281a181616183123251d"
    "283a333d3c3933383740485c4e404457453738506d51575f626768673e4d71797064785c656763ffdb004301111212181518"
    "2f1a1a2f63423842636363636363636363636363636363636363636363636363636363636363636363636363636363636363"
    "6363636363636363ffc00011080010001003012200021101031101ffc4001600010101000000000000000000000000000004"
    "05ffc400161000030000000000000000000000000000001361ffc4001501010100000000000000000000000000000405ffc4"
    "001511010100000000000000000000000000000012ffda000c03010002110311003f0091d43a99eea1d4b76043ffd9";

std::string fromHex(const char *hex) {
    std::string out;
    for (const char *p = hex; p[0] && p[1]; p += 2)
        out += static_cast<char>(std::stoi(std::string(p, 2), nullptr, 16));
    return out;
}

} // namespace

std::string png(uint64_t seed, int width, int height) {
    width = std::max(1, width);
    height = std::max(1, height);
    uint64_t h = mix(seed);
    std::array<uint8_t, 3> a{static_cast<uint8_t>(h), static_cast<uint8_t>(h >> 8), static_cast<uint8_t>(h >> 16)};
    std::array<uint8_t, 3> b{static_cast<uint8_t>(h >> 24), static_cast<uint8_t>(h >> 32),
                             static_cast<uint8_t>(h >> 40)};
    int band = static_cast<int>((h >> 48) % static_cast<uint64_t>(height));
    std::string raw;
    raw.reserve(static_cast<size_t>(height) * (static_cast<size_t>(width) * 3 + 1));
    for (int y = 0; y < height; ++y) {
        raw += '\0'; // filter: none
        for (int x = 0; x < width; ++x) {
            bool inBand = std::abs(y - band) < std::max(2, height / 10);
            for (int c = 0; c < 3; ++c) {
                int v = (a[c] * (width - x) + b[c] * x) / width;
                raw += static_cast<char>(inBand ? 255 - v : v);
            }
        }
    }
    std::string out("\x89PNG\r\n\x1a\n", 8);
    std::string ihdr;
    put32(ihdr, static_cast<uint32_t>(width));
    put32(ihdr, static_cast<uint32_t>(height));
    ihdr += std::string("\x08\x02\x00\x00\x00", 5); // 8-bit RGB
    chunk(out, "IHDR", ihdr);
    chunk(out, "IDAT", zlibStored(raw));
    chunk(out, "IEND", "");
    return out;
}

std::string png(uint64_t seed, int64_t targetBytes) {
    // About 3 bytes a pixel; keep a 4:3 shape.
    double pixels = std::max<double>(16, static_cast<double>(targetBytes - 80) / 3.0);
    int width = std::max(4, static_cast<int>(std::sqrt(pixels * 4 / 3)));
    int height = std::max(3, static_cast<int>(pixels / width));
    return png(seed, width, height);
}

std::string jpeg(uint64_t seed, int64_t targetBytes) {
    std::string base = fromHex(kJpegTemplate);
    std::string body = base.substr(2); // after SOI
    std::string out = base.substr(0, 2);
    auto comment = [&out](const std::string &text) {
        size_t len = text.size() + 2;
        out += "\xFF\xFE";
        out += static_cast<char>(len >> 8);
        out += static_cast<char>(len & 0xFF);
        out += text;
    };
    comment("quorvel sample " + std::to_string(seed));
    int64_t missing = targetBytes - static_cast<int64_t>(out.size() + body.size());
    while (missing > 4) {
        int64_t n = std::min<int64_t>(missing - 4, 65533);
        comment(std::string(static_cast<size_t>(n), static_cast<char>('a' + seed % 26)));
        missing -= n + 4;
    }
    return out + body;
}

std::string svg(uint64_t seed, int64_t targetBytes) {
    uint64_t h = mix(seed);
    std::string out =
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"320\" height=\"200\" viewBox=\"0 0 320 200\">\n";
    out += "<rect width=\"320\" height=\"200\" fill=\"#" + std::to_string(100000 + h % 800000) + "\"/>\n";
    for (uint64_t i = 0; static_cast<int64_t>(out.size()) < targetBytes - 7 || i == 0; ++i) {
        uint64_t r = mix(h + i);
        out += "<circle cx=\"" + std::to_string(r % 320) + "\" cy=\"" + std::to_string((r >> 16) % 200) + "\" r=\"" +
               std::to_string(2 + (r >> 32) % 30) + "\" fill=\"#" + std::to_string(100000 + (r >> 40) % 800000) +
               "\" fill-opacity=\"0.6\"/>\n";
    }
    return out + "</svg>\n";
}

} // namespace quorvel::service::ImageSynth
