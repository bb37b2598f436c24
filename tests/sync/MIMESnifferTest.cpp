#include "sync/MIMESniffer.hpp"

#include <gtest/gtest.h>

#include <string>

using namespace quorvel;

namespace {
std::string sniff(const std::string &bytes) {
    return MIMESniffer::sniff(std::span(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size()));
}
std::string withBrand(const std::string &brand) {
    return std::string("\0\0\0\x18", 4) + "ftyp" + brand + "0000";
}
} // namespace

TEST(MIMESniffer, Signatures) {
    EXPECT_EQ(sniff("\x89PNG\r\n\x1a\n"), "image/png");
    EXPECT_EQ(sniff("\xFF\xD8\xFF"), "image/jpeg");
    EXPECT_EQ(sniff("\xFF\xD8"), "application/octet-stream");
    EXPECT_EQ(sniff("GIF89a"), "image/gif");
    EXPECT_EQ(sniff(std::string("RIFF\x10\0\0\0WEBPVP8 ", 16)), "image/webp");
    EXPECT_EQ(sniff(std::string("RIFF\x10\0\0\0WAVEfmt ", 16)), "application/octet-stream");
    EXPECT_EQ(sniff("BM\x36\0"), "image/bmp");
    EXPECT_EQ(sniff(std::string("\0\0\1\0\1\0", 6)), "image/x-icon");
    EXPECT_EQ(sniff(""), "application/octet-stream");
}

TEST(MIMESniffer, ISOBaseMediaBrands) {
    EXPECT_EQ(sniff(withBrand("avif")), "image/avif");
    EXPECT_EQ(sniff(withBrand("heic")), "image/heic");
    EXPECT_EQ(sniff(withBrand("heix")), "image/heic");
    EXPECT_EQ(sniff(withBrand("mif1")), "image/heic");
    EXPECT_EQ(sniff(withBrand("mp42")), "application/octet-stream");
    // Another brand goes on to the SVG test.
    EXPECT_EQ(sniff(withBrand("isom") + "<svg>"), "image/svg+xml");
    // Too short to hold a brand.
    EXPECT_EQ(sniff(std::string("\0\0\0\x18", 4) + "ftypav"), "application/octet-stream");
}

TEST(MIMESniffer, SVGOnlyWithinTheFirst512Bytes) {
    std::string decl = "<?xml version=\"1.0\"?>\n";
    EXPECT_EQ(sniff(decl + "<SVG xmlns=\"http://www.w3.org/2000/svg\"/>"), "image/svg+xml");
    std::string late = decl + std::string(600, ' ') + "<svg/>";
    EXPECT_EQ(sniff(late), "application/octet-stream");
    std::string straddling = std::string(509, ' ') + "<svg";
    EXPECT_EQ(sniff(straddling), "application/octet-stream");
    std::string fits = std::string(508, ' ') + "<svg";
    EXPECT_EQ(sniff(fits), "image/svg+xml");
    // Invalid UTF-8 before the tag does not hide it.
    EXPECT_EQ(sniff("\xC3\x28\xFF<svg>"), "image/svg+xml");
}
