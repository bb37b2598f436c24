#include "PageLayout.hpp"

#include "HttpSupport.hpp"

namespace quorvel::service {

std::string pageLayout(const std::string &title, const std::string &body) {
    return R"(<!DOCTYPE html>
<html lang="ko">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>)" + http::htmlEscape(title) +
           R"( · 쿼벨</title>
<style>
* { box-sizing: border-box; }
body { margin: 0; font-family: "Noto Sans CJK KR", "Apple SD Gothic Neo", sans-serif; background: #f4f6f8; color: #1f2328; }
header { background: #1d4ed8; color: #fff; padding: 14px 28px; font-weight: 700; font-size: 18px; }
header a { color: #fff; text-decoration: none; }
header nav { float: right; font-weight: 400; font-size: 15px; }
header nav a { margin-left: 18px; }
main { max-width: 720px; margin: 40px auto; background: #fff; border-radius: 14px; padding: 36px 40px;
       box-shadow: 0 2px 10px rgba(0,0,0,.06); }
h1 { font-size: 24px; margin-top: 0; }
.muted { color: #57606a; }
.device { font-size: 20px; font-weight: 700; background: #eef2ff; border-radius: 10px; padding: 14px 18px; margin: 18px 0; }
.actions { display: flex; gap: 12px; margin-top: 26px; }
button, .button { font: inherit; font-size: 17px; padding: 11px 28px; border-radius: 10px; border: 1px solid #d0d7de;
         background: #fff; cursor: pointer; text-decoration: none; color: inherit; display: inline-block; }
button.primary, .button.primary { background: #1d4ed8; border-color: #1d4ed8; color: #fff; font-weight: 700; }
textarea, input[type=text] { width: 100%; font: inherit; padding: 10px; border: 1px solid #d0d7de; border-radius: 8px; }
textarea { min-height: 320px; font-family: monospace; font-size: 14px; }
ul.docs li { margin: 6px 0; }
</style>
</head>
<body>
<header><a href="/">쿼벨</a><nav><a href="/editor">새 문서</a><a href="/profile">내 계정</a><a href="/download">앱 내려받기</a></nav></header>
<main>
)" + body + R"(
</main>
</body>
</html>
)";
}

} // namespace quorvel::service
