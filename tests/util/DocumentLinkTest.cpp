#include "util/DocumentLink.hpp"

#include <gtest/gtest.h>

#include <limits>

using namespace quorvel;

TEST(DocumentLink, ReadsWhatItWrites) {
    for (int64_t id : {int64_t(0), int64_t(7), int64_t(1234567), std::numeric_limits<int64_t>::max()})
        EXPECT_EQ(DocumentLink::parse(DocumentLink::make(id)), id) << id;
    EXPECT_EQ(DocumentLink::make(12), "quorvel://open?id=12");
}

TEST(DocumentLink, AcceptsOnlyTheOneForm) {
    const std::pair<std::string, std::optional<int64_t>> cases[] = {
        {"QUORVEL://OPEN?id=5", 5},
        {"quorvel://open/?id=5", 5},
        {"quorvel://open?id=%35%31", 51},
        {"quorvel://open?id=", std::nullopt},
        {"quorvel://open?ID=5", std::nullopt},
        {"quorvel://open?id=05", std::nullopt},
        {"quorvel://open?id=+5", std::nullopt},
        {"quorvel://open?id=-5", std::nullopt},
        {"quorvel://open?id=5 ", std::nullopt},
        {"quorvel://open?id=5%00", std::nullopt},
        {"quorvel://open?id=%2B5", std::nullopt},
        {"quorvel://open?id=%zz", std::nullopt},
        {"quorvel://open?id=9223372036854775808", std::nullopt},
        {"quorvel://open?id=5&id=6", std::nullopt},
        {"quorvel://open?id=5&x=1", std::nullopt},
        {"quorvel://open?x=1&id=5", std::nullopt},
        {"quorvel://open?id=5#top", std::nullopt},
        {"quorvel://open?id=5=6", std::nullopt},
        {"quorvel://open", std::nullopt},
        {"quorvel://open/", std::nullopt},
        {"quorvel://open//?id=5", std::nullopt},
        {"quorvel://open/doc?id=5", std::nullopt},
        {"quorvel://openx?id=5", std::nullopt},
        {"quorvel://open:80?id=5", std::nullopt},
        {"quorvel://user@open?id=5", std::nullopt},
        {"quorvel://open@evil?id=5", std::nullopt},
        {"quorvel:open?id=5", std::nullopt},
        {"quorvel:///open?id=5", std::nullopt},
        {"quorvel://link?id=5", std::nullopt},
        {"https://open?id=5", std::nullopt},
        {" quorvel://open?id=5", std::nullopt},
        {std::string("quorvel://open\0?id=5", 20), std::nullopt},
        {"quorvel://open?id=" + std::string(300, '1'), std::nullopt},
        {"", std::nullopt},
    };
    for (const auto &[url, expected] : cases)
        EXPECT_EQ(DocumentLink::parse(url), expected) << url;
}
