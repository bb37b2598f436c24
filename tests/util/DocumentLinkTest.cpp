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
    for (const auto &[url, id] :
         {std::pair{"QUORVEL://OPEN?id=5", 5}, {"quorvel://open/?id=5", 5}, {"quorvel://open?id=%35%31", 51}})
        EXPECT_EQ(DocumentLink::parse(url), id) << url;
    // The id: present, canonical decimal digits, alone in the query, in range.
    for (const std::string url :
         {"quorvel://open?id=", "quorvel://open?ID=5", "quorvel://open?id=05", "quorvel://open?id=+5",
          "quorvel://open?id=-5", "quorvel://open?id=5 ", "quorvel://open?id=5%00", "quorvel://open?id=%2B5",
          "quorvel://open?id=%zz", "quorvel://open?id=9223372036854775808", "quorvel://open?id=5&id=6",
          "quorvel://open?id=5&x=1", "quorvel://open?x=1&id=5", "quorvel://open?id=5#top", "quorvel://open?id=5=6"})
        EXPECT_EQ(DocumentLink::parse(url), std::nullopt) << url;
    // Any other form of the address, or one too long to be a link.
    for (const std::string &url : std::initializer_list<std::string>{
             "quorvel://open", "quorvel://open/", "quorvel://open//?id=5", "quorvel://open/doc?id=5",
             "quorvel://openx?id=5", "quorvel://open:80?id=5", "quorvel://user@open?id=5", "quorvel://open@evil?id=5",
             "quorvel:open?id=5", "quorvel:///open?id=5", "quorvel://link?id=5", "https://open?id=5",
             " quorvel://open?id=5", std::string("quorvel://open\0?id=5", 20),
             "quorvel://open?id=" + std::string(300, '1'), ""})
        EXPECT_EQ(DocumentLink::parse(url), std::nullopt) << url;
}
