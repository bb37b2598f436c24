#include "HttpSupport.hpp"
#include "PageLayout.hpp"
#include "Routes.hpp"

#include <algorithm>

namespace quorvel::service {

namespace {

void home(const httplib::Request &, httplib::Response &res, ServiceState &state) {
    std::lock_guard lock(state.mutex);
    const auto &docs = state.library.documents();
    std::vector<const LibraryDocument *> recent;
    for (const auto &[id, d] : docs)
        recent.push_back(&d);
    std::sort(recent.begin(), recent.end(), [](auto *a, auto *b) {
        return a->updatedAt != b->updatedAt ? a->updatedAt > b->updatedAt : a->id < b->id;
    });
    if (recent.size() > 10) recent.resize(10);
    std::string list;
    for (const auto *d : recent)
        list += "<li><a href=\"/docs/" + std::to_string(d->id) + "\">" + http::htmlEscape(d->filename) + "</a></li>\n";
    std::string body = "<h1>내 문서</h1>\n<p class=\"muted\">문서 " + std::to_string(docs.size()) + "개 · 폴더 " +
                       std::to_string(state.library.folders().size()) +
                       "개</p>\n<h2>최근 수정한 문서</h2>\n<ul class=\"docs\">\n" + list +
                       "</ul>\n<p><a class=\"button primary\" href=\"/editor\">새 문서 만들기</a></p>";
    http::sendPage(res, pageLayout("내 문서", body));
}

void signup(const httplib::Request &, httplib::Response &res, ServiceState &) {
    http::sendPage(res,
                   pageLayout("가입하기", "<h1>쿼벨에 가입하기</h1>\n"
                                          "<p>이 서비스는 개발용 예제라서 계정이 하나만 있어요. "
                                          "이미 가입된 것으로 보고 바로 앱을 연결할 수 있어요.</p>\n"
                                          "<p><a class=\"button primary\" href=\"/download\">앱 내려받기</a></p>"));
}

void profile(const httplib::Request &, httplib::Response &res, ServiceState &state) {
    std::lock_guard lock(state.mutex);
    std::string devices;
    for (const auto &d : state.tokens.devicesJSON()) {
        if (d["revoked"].get<bool>()) continue;
        devices += "<li>" + http::htmlEscape(d["name"].get<std::string>()) + " <span class=\"muted\">(" +
                   http::htmlEscape(d["app_version"].get<std::string>()) + ")</span></li>\n";
    }
    if (devices.empty()) devices = "<li class=\"muted\">연결된 기기가 없어요.</li>\n";
    std::string body = "<h1>내 계정</h1>\n<p>이메일: <strong>" + http::htmlEscape(state.user.email) +
                       "</strong></p>\n" +
                       (state.user.nickname ? "<p>별명: " + http::htmlEscape(*state.user.nickname) + "</p>\n" : "") +
                       (state.tokens.suspended() ? "<p><strong>계정이 정지되었어요.</strong></p>\n" : "") +
                       "<h2>연결된 기기</h2>\n<ul>\n" + devices + "</ul>";
    http::sendPage(res, pageLayout("내 계정", body));
}

void download(const httplib::Request &, httplib::Response &res, ServiceState &state) {
    std::lock_guard lock(state.mutex);
    const auto &r = state.release;
    std::string body =
        "<h1>쿼벨 데스크톱 앱</h1>\n<p>최신 버전: <strong>" + http::htmlEscape(r.latestVersion) + "</strong></p>\n" +
        (r.minVersion ? "<p class=\"muted\">동기화하려면 " + http::htmlEscape(*r.minVersion) + " 이상이 필요해요.</p>\n"
                      : "") +
        "<p>" + http::htmlEscape(r.releaseNotes) + "</p>\n<p><a class=\"button primary\" href=\"" +
        http::htmlEscape(state.withOrigin(r.downloadURL)) + "\">내려받기</a></p>";
    http::sendPage(res, pageLayout("앱 내려받기", body));
}

void editorNew(const httplib::Request &, httplib::Response &res, ServiceState &state) {
    std::lock_guard lock(state.mutex);
    std::string options = "<option value=\"\">(폴더 없음)</option>\n";
    for (const auto &[id, f] : state.library.folders())
        options += "<option value=\"" + std::to_string(id) + "\">" + http::htmlEscape(f.name) + "</option>\n";
    std::string body =
        "<h1>새 문서</h1>\n<form method=\"post\" action=\"/editor\">\n"
        "<p><input type=\"text\" name=\"filename\" placeholder=\"제목\" required></p>\n"
        "<p><select name=\"folder_id\">\n" +
        options +
        "</select></p>\n<p><textarea name=\"content\">&lt;p&gt;&lt;/p&gt;</textarea></p>\n"
        "<div class=\"actions\"><button class=\"primary\" type=\"submit\">만들기</button></div>\n</form>";
    http::sendPage(res, pageLayout("새 문서", body));
}

void editorCreate(const httplib::Request &req, httplib::Response &res, ServiceState &state) {
    std::string filename = req.get_param_value("filename");
    if (filename.empty()) return http::sendPage(res, pageLayout("새 문서", "<h1>제목을 적어 주세요</h1>"), 400);
    std::optional<int64_t> folder;
    std::string folderText = req.get_param_value("folder_id");
    std::lock_guard lock(state.mutex);
    if (!folderText.empty() && folderText.find_first_not_of("0123456789") == std::string::npos &&
        folderText.size() < 18 && state.library.folder(std::stoll(folderText)))
        folder = std::stoll(folderText);
    int64_t id = state.library.addDocument(filename, folder, req.get_param_value("content"), state.now());
    res.set_redirect("/editor/" + std::to_string(id), 303);
}

// Ids as the pages write them: no leading zero, at most 18 digits.
std::optional<int64_t> pathId(const httplib::Request &req) {
    std::string text = req.matches[1].str();
    if (text.size() > 18 || text[0] == '0') return std::nullopt;
    return std::stoll(text);
}

void notFound(httplib::Response &res) {
    http::sendPage(res,
                   pageLayout("문서 없음", "<h1>문서를 찾을 수 없어요</h1><p class=\"muted\">지워졌거나 주소가 "
                                           "잘못되었어요.</p><p><a href=\"/\">내 문서로</a></p>"),
                   404);
}

void documentShow(const httplib::Request &req, httplib::Response &res, ServiceState &state) {
    auto id = pathId(req);
    std::lock_guard lock(state.mutex);
    const LibraryDocument *doc = id ? state.library.document(*id) : nullptr;
    if (!doc) return notFound(res);
    std::string body = "<h1>" + http::htmlEscape(doc->filename) + "</h1>\n<p class=\"muted\"><a href=\"/editor/" +
                       std::to_string(doc->id) + "\">편집하기</a></p>\n<article>\n" + doc->content + "\n</article>";
    http::sendPage(res, pageLayout(doc->filename, body));
}

void editorShow(const httplib::Request &req, httplib::Response &res, ServiceState &state) {
    auto id = pathId(req);
    std::lock_guard lock(state.mutex);
    const LibraryDocument *doc = id ? state.library.document(*id) : nullptr;
    if (!doc) return notFound(res);
    std::string body =
        "<h1>" + http::htmlEscape(doc->filename) +
        "</h1>\n<p class=\"muted\">웹 편집기 · 저장하면 연결된 앱이 다음 동기화 때 받아 가요. <a href=\"/docs/" +
        std::to_string(doc->id) +
        "\">읽기 화면</a></p>\n"
        "<form method=\"post\" action=\"/editor/" +
        std::to_string(doc->id) + "\">\n<p><input type=\"text\" name=\"filename\" value=\"" +
        http::htmlEscape(doc->filename) + "\"></p>\n<p><textarea name=\"content\">" + http::htmlEscape(doc->content) +
        "</textarea></p>\n<div class=\"actions\"><button class=\"primary\" "
        "type=\"submit\">저장</button></div>\n</form>";
    http::sendPage(res, pageLayout(doc->filename, body));
}

void editorSave(const httplib::Request &req, httplib::Response &res, ServiceState &state) {
    auto id = pathId(req);
    std::lock_guard lock(state.mutex);
    const LibraryDocument *doc = id ? state.library.document(*id) : nullptr;
    if (!doc) return notFound(res);
    double now = state.now();
    if (req.has_param("content") && req.get_param_value("content") != doc->content)
        state.library.editDocument(*id, req.get_param_value("content"), now);
    std::string filename = req.get_param_value("filename");
    if (!filename.empty() && filename != state.library.document(*id)->filename)
        state.library.renameDocument(*id, filename, now);
    res.set_redirect("/editor/" + std::to_string(*id), 303);
}

using Page = void (*)(const httplib::Request &, httplib::Response &, ServiceState &);

httplib::Server::Handler bind(ServiceState &state, Page page) {
    return [&state, page](const httplib::Request &req, httplib::Response &res) { page(req, res, state); };
}

} // namespace

void installWebPages(httplib::Server &server, ServiceState &state) {
    server.Get("/", bind(state, home));
    server.Get("/signup", bind(state, signup));
    server.Get("/profile", bind(state, profile));
    server.Get("/download", bind(state, download));
    server.Get("/editor", bind(state, editorNew));
    server.Post("/editor", bind(state, editorCreate));
    server.Get(R"(/editor/(\d+))", bind(state, editorShow));
    server.Get(R"(/docs/(\d+))", bind(state, documentShow));
    server.Post(R"(/editor/(\d+))", bind(state, editorSave));
}

} // namespace quorvel::service
