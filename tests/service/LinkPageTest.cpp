#include "ServiceTestKit.hpp"

#include <gtest/gtest.h>
#include <regex>

using namespace quorvel::service;
using namespace quorvel::service::test;

namespace {

const std::string kState = "Qz7-_abcdefghijklmnopqrstuvwxyz01";

class LinkPage : public ServiceTest {
protected:
    Answer page(const std::string &challenge, const std::string &state, const std::string &device) {
        return api.raw("GET", "/app/link?challenge=" + challenge + "&state=" + state + "&device_name=" + device, {});
    }
    static std::string requestId(const std::string &html) {
        std::smatch m;
        std::regex pattern("name=\"request\" value=\"([^\"]+)\"");
        return std::regex_search(html, m, pattern) ? m[1].str() : "";
    }
    Answer decide(const std::string &request, const std::string &decision) {
        return api.raw("POST", "/app/link/decision", {}, "request=" + request + "&decision=" + decision,
                       "application/x-www-form-urlencoded");
    }
};

TEST_F(LinkPage, ShowsTheDeviceNameEscapedWithBothButtons) {
    Pkce pkce = makePkce();
    Answer a = page(pkce.challenge, kState, "%EB%82%B4%20%EC%BB%B4%ED%93%A8%ED%84%B0%3Cscript%3E");
    ASSERT_EQ(a.status, 200);
    EXPECT_NE(a.header("Content-Type").find("text/html"), std::string::npos);
    EXPECT_NE(a.body.find("내 컴퓨터&lt;script&gt;"), std::string::npos);
    EXPECT_EQ(a.body.find("<script>"), std::string::npos);
    EXPECT_NE(a.body.find(">연결</button>"), std::string::npos);
    EXPECT_NE(a.body.find(">거절</button>"), std::string::npos);
    EXPECT_NE(a.body.find("reader@quorvel.test"), std::string::npos);
    EXPECT_NE(page(pkce.challenge, kState, "").body.find("이름 없는 기기"), std::string::npos);
}

TEST_F(LinkPage, ApprovingRedirectsWithACodeThatExchangesOnce) {
    Pkce pkce = makePkce();
    std::string request = requestId(page(pkce.challenge, kState, "desk").body);
    ASSERT_FALSE(request.empty());
    Answer approved = decide(request, "approve");
    ASSERT_EQ(approved.status, 302);
    std::string location = approved.header("Location");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(location, m, std::regex("quorvel://link\\?state=([^&]+)&code=([A-Za-z0-9_-]+)")))
        << location;
    EXPECT_EQ(m[1].str(), kState);

    EXPECT_EQ(exchange(m[2].str(), pkce.verifier).status, 200);
    EXPECT_EQ(exchange(m[2].str(), pkce.verifier).status, 400);
    // The page's request is spent too.
    EXPECT_EQ(decide(request, "approve").status, 400);
}

TEST_F(LinkPage, RefusingRedirectsWithAccessDenied) {
    Pkce pkce = makePkce();
    Answer denied = decide(requestId(page(pkce.challenge, kState, "desk").body), "deny");
    EXPECT_EQ(denied.status, 302);
    EXPECT_EQ(denied.header("Location"), "quorvel://link?state=" + kState + "&error=access_denied");
}

TEST_F(LinkPage, RejectsMalformedRequestsAndHonoursTheSwitches) {
    Pkce pkce = makePkce();
    EXPECT_EQ(page("short", kState, "x").status, 400);
    EXPECT_EQ(page(pkce.challenge, "tooshort", "x").status, 400);
    EXPECT_EQ(page(pkce.challenge, "", "x").status, 400);
    EXPECT_EQ(decide("made-up", "approve").status, 400);
    std::string request = requestId(page(pkce.challenge, kState, "x").body);
    EXPECT_EQ(decide(request, "maybe").status, 400);

    service.control().setLinkingEnabled(false);
    Answer disabled = page(pkce.challenge, kState, "x");
    EXPECT_EQ(disabled.status, 403);
    EXPECT_NE(disabled.body.find("연결할 수 없어요"), std::string::npos);
    service.control().setLinkingEnabled(true);
    service.control().setSuspended(true);
    EXPECT_EQ(page(pkce.challenge, kState, "x").status, 403);
}

TEST_F(LinkPage, WebPagesExistInKorean) {
    for (std::string path : {"/", "/signup", "/profile", "/editor", "/editor/1", "/docs/2", "/download"}) {
        auto r = web.Get(path);
        ASSERT_TRUE(r) << path;
        EXPECT_EQ(r->status, 200) << path;
        EXPECT_NE(r->body.find("lang=\"ko\""), std::string::npos) << path;
    }
    // The reading page shows the document and leads to its editor; the home page leads to it.
    EXPECT_NE(web.Get("/docs/2")->body.find("<p>회의록입니다.</p>"), std::string::npos);
    EXPECT_NE(web.Get("/docs/2")->body.find("href=\"/editor/2\""), std::string::npos);
    EXPECT_NE(web.Get("/")->body.find("href=\"/docs/2\""), std::string::npos);
    // One address for each document: no other spelling of its id.
    for (std::string path : {"/editor/999", "/docs/999", "/docs/02", "/editor/01", "/docs/0"})
        EXPECT_EQ(web.Get(path)->status, 404) << path;
    EXPECT_EQ(web.Get("/no-such-page")->status, 404);
}

TEST_F(LinkPage, TheWebEditorSavesIntoTheLibrary) {
    auto saved = web.Post("/editor/2", "filename=%ED%9A%8C%EC%9D%98%EB%A1%9D2&content=%3Cp%3Enew%3C%2Fp%3E",
                          "application/x-www-form-urlencoded");
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->status, 303);
    auto doc = service.control().withLibrary([](const Library &lib) { return *lib.document(2); });
    EXPECT_EQ(doc.content, "<p>new</p>");
    EXPECT_EQ(doc.filename, "회의록2");
    auto created = web.Post("/editor", "filename=new&folder_id=1&content=x", "application/x-www-form-urlencoded");
    ASSERT_TRUE(created);
    EXPECT_EQ(created->status, 303);
    EXPECT_EQ(created->get_header_value("Location"), "/editor/4");
}

} // namespace
