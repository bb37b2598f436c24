#include "auth/LinkURL.hpp"

#include <gtest/gtest.h>

using namespace quorvel;

namespace {

std::string deviceNameParam(const std::string &url) {
    auto at = url.find("&device_name=");
    return at == std::string::npos ? "<missing>" : url.substr(at + 13);
}

} // namespace

TEST(LinkURL, ComposesTheLinkPageUnderTheBaseWithEveryValueEncoded) {
    EXPECT_EQ(LinkURL::make("http://127.0.0.1:8787", "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM", "st_-8", "Desk"),
              "http://127.0.0.1:8787/app/link?challenge=E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM&state=st_-8"
              "&device_name=Desk");
    // Trailing slashes of the base do not double up; everything but unreserved characters is encoded.
    EXPECT_EQ(LinkURL::make("https://svc.example/base///", "a+b/c", "s&t=1", "민수의 노트북 (Linux)~._-"),
              "https://svc.example/base/app/link?challenge=a%2Bb%2Fc&state=s%26t%3D1"
              "&device_name=%EB%AF%BC%EC%88%98%EC%9D%98%20%EB%85%B8%ED%8A%B8%EB%B6%81%20%28Linux%29~._-");
    EXPECT_FALSE(LinkURL::make("", "c", "s", "d"));
    EXPECT_FALSE(LinkURL::make("not a url", "c", "s", "d"));
}

TEST(LinkURL, CleansTheDeviceName) {
    const std::string letters70(70, 'x');
    EXPECT_EQ(LinkURL::cleanDeviceName("\t" + letters70.substr(0, 30) + "\n" + letters70.substr(30)),
              std::string(60, 'x'));
    EXPECT_EQ(deviceNameParam(*LinkURL::make("http://h", "c", "s", "\t" + letters70 + "\n")), std::string(60, 'x'));
    EXPECT_EQ(deviceNameParam(*LinkURL::make("http://h", "c", "s", "     ")), "");
    // Controls inside go, the space stays; Unicode white space at the ends is trimmed.
    EXPECT_EQ(LinkURL::cleanDeviceName("\xE3\x80\x80 My\x7F\x01 PC\xC2\xA0"), "My PC");
    // Sixty user-perceived characters, not sixty code points: e + combining acute stays whole.
    std::string accented;
    for (int i = 0; i < 61; ++i)
        accented += "e\xCC\x81";
    EXPECT_EQ(LinkURL::cleanDeviceName(accented), accented.substr(0, 60 * 3));
    // Hangul syllables count one each.
    std::string hangul;
    for (int i = 0; i < 70; ++i)
        hangul += "\xEA\xB0\x80";
    EXPECT_EQ(LinkURL::cleanDeviceName(hangul), hangul.substr(0, 60 * 3));
    // Bytes that are not UTF-8 never reach the URL as such.
    EXPECT_EQ(LinkURL::cleanDeviceName("ab\xFF"), "ab\xEF\xBF\xBD");
}
