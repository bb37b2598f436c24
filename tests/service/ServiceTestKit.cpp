#include "ServiceTestKit.hpp"

#include "util/Base64URL.hpp"
#include "util/Hashing.hpp"

namespace quorvel::service::test {

std::string Answer::header(const std::string &name) const {
    auto it = headers.find(name);
    return it == headers.end() ? "" : it->second;
}

ApiCaller::ApiCaller(const SampleService &service, std::string version)
    : appVersion(std::move(version)), client_(service.baseURL()) {}

namespace {
Answer toAnswer(const httplib::Result &result) {
    Answer a;
    if (!result) return a;
    a.status = result->status;
    a.body = result->body;
    a.headers = result->headers;
    return a;
}
} // namespace

Answer ApiCaller::raw(const std::string &method, const std::string &path, const httplib::Headers &headers,
                      const std::string &body, const std::string &contentType) {
    if (method == "GET") return toAnswer(client_.Get(path, headers));
    return toAnswer(client_.Post(path, headers, body, contentType));
}

httplib::Headers ApiCaller::headers(const std::string &token, const httplib::Headers &extra) const {
    httplib::Headers h{{"Accept", "application/json"}, {"X-App-Version", appVersion}, {"X-OS-Version", "Linux 6.1"}};
    if (!token.empty()) h.emplace("Authorization", "Bearer " + token);
    for (const auto &[name, _] : extra)
        h.erase(name);
    h.insert(extra.begin(), extra.end());
    return h;
}

Answer ApiCaller::get(const std::string &endpoint, const std::string &token, httplib::Headers extra) {
    return raw("GET", "/api/app/v1/" + endpoint, headers(token, extra));
}

Answer ApiCaller::post(const std::string &endpoint, const nlohmann::json &body, const std::string &token,
                       httplib::Headers extra) {
    return raw("POST", "/api/app/v1/" + endpoint, headers(token, extra), body.dump(), "application/json");
}

Pkce makePkce(const std::string &seed) {
    std::string verifier = seed;
    while (verifier.size() < 64)
        verifier += "abcdefghijklmnopqrstuvwxyz0123456789-._~";
    verifier.resize(64);
    auto digest = Hashing::sha256(std::span(reinterpret_cast<const uint8_t *>(verifier.data()), verifier.size()));
    return {verifier, Base64URL::encode(digest)};
}

nlohmann::json deviceJSON(const std::string &uuid) {
    return {{"uuid", uuid}, {"name", "테스트 컴퓨터"}, {"app_version", "0.1.0"}, {"os_version", "Debian GNU/Linux 12"}};
}

Answer exchangeCode(ApiCaller &api, const std::string &code, const std::string &verifier, const std::string &uuid) {
    return api.post("token", {{"grant_type", "authorization_code"},
                              {"code", code},
                              {"code_verifier", verifier},
                              {"device", deviceJSON(uuid)}});
}

nlohmann::json linkDevice(SampleService &service, ApiCaller &api, const std::string &uuid) {
    Pkce pkce = makePkce(uuid);
    std::string code = service.control().approveLink(pkce.challenge, "테스트 컴퓨터");
    Answer a = exchangeCode(api, code, pkce.verifier, uuid);
    if (a.status != 200) return nullptr;
    return a.json()["data"];
}

Library smallLibrary() {
    Library lib;
    int64_t reports = lib.addFolder("보고서", std::nullopt);
    int64_t yearly = lib.addFolder("연간", reports);
    lib.addFolder("메모", std::nullopt);
    lib.addDocument("2024 연간 보고서", yearly, "<h1>2024 연간 보고서</h1><p>매출 <img src=\"/images/chart.png\"></p>",
                    1'690'000'000);
    lib.addDocument("회의록", reports, "<p>회의록입니다.</p>", 1'690'000'100);
    lib.addDocument("폴더 밖 문서", std::nullopt, "<p>root</p>", 1'690'000'200);
    lib.putImage("/images/chart.png",
                 LibraryImage{"image/png", [] { return std::string("\x89PNG\r\n\x1a\nabc", 11); }});
    return lib;
}

namespace {
ServiceOptions withClock(ServiceOptions options, const ManualClock &clock) {
    if (!options.clock) options.clock = clock.clock();
    return options;
}
} // namespace

ServiceTest::ServiceTest(ServiceOptions options, Library library)
    : service(withClock(std::move(options), clock), std::move(library)), api((service.start(), service)),
      web(service.baseURL()) {}

} // namespace quorvel::service::test
