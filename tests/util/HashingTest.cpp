#include "util/Hashing.hpp"
#include "util/Base64URL.hpp"

#include <gtest/gtest.h>
#include <vector>

using namespace quorvel;

TEST(Base64URL, AlphabetAndNoPadding) {
    const std::pair<std::vector<uint8_t>, std::string> cases[] = {{{}, ""},
                                                                  {{0xFB, 0xFF}, "-_8"},
                                                                  {{'f'}, "Zg"},
                                                                  {{'f', 'o'}, "Zm8"},
                                                                  {{'f', 'o', 'o'}, "Zm9v"},
                                                                  {{'f', 'o', 'o', 'b'}, "Zm9vYg"}};
    for (const auto &[bytes, text] : cases)
        EXPECT_EQ(Base64URL::encode(bytes), text);
    std::vector<uint8_t> all(256);
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<uint8_t>(i);
    std::string enc = Base64URL::encode(all);
    EXPECT_EQ(enc.size(), 342u);
    EXPECT_EQ(enc.find_first_of("+/="), std::string::npos);
}

TEST(Hashing, KnownDigests) {
    EXPECT_EQ(Hashing::sha256Hex(std::string_view("")),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    std::vector<uint8_t> abc{'a', 'b', 'c'};
    EXPECT_EQ(Hashing::sha256Hex(std::string_view("abc")), Hashing::sha256Hex(abc));
    EXPECT_EQ(Hashing::sha256Hex(abc), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // UTF-8 bytes of the text, not any other encoding.
    EXPECT_EQ(Hashing::sha256Hex(std::string_view("\xED\x95\x9C")),
              Hashing::sha256Hex(std::vector<uint8_t>{0xED, 0x95, 0x9C}));
}

TEST(Hashing, StreamMatchesOneShot) {
    std::string text(100000, 'x');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char>(i * 31 % 251);
    Hashing::Sha256Stream stream;
    auto bytes = reinterpret_cast<const uint8_t *>(text.data());
    for (size_t off = 0; off < text.size(); off += 4093)
        stream.update(std::span(bytes + off, std::min<size_t>(4093, text.size() - off)));
    EXPECT_EQ(stream.finishHex(), Hashing::sha256Hex(std::string_view(text)));
}

TEST(Hashing, HexAndConstantTimeEquals) {
    EXPECT_EQ(Hashing::hex(std::vector<uint8_t>{0x00, 0x0f, 0xa0, 0xff}), "000fa0ff");
    EXPECT_FALSE(Hashing::constantTimeEquals("abc", "abd"));
    EXPECT_FALSE(Hashing::constantTimeEquals("abc", "abc "));
    EXPECT_FALSE(Hashing::constantTimeEquals("bbc", "abc"));
    EXPECT_TRUE(Hashing::constantTimeEquals("", ""));
    EXPECT_TRUE(Hashing::constantTimeEquals("state-123", "state-123"));
    EXPECT_FALSE(Hashing::constantTimeEquals(std::string_view("a\0b", 3), std::string_view("a\0c", 3)));
}
