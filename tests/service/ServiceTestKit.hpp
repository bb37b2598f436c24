#pragma once

#include "Library.hpp"
#include "SampleService.hpp"
#include "auth/PKCE.hpp"

#include <functional>
#include <gtest/gtest.h>
#include <httplib.h>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

namespace quorvel::service::test {

// A clock the test moves by hand.
struct ManualClock {
    std::shared_ptr<double> value = std::make_shared<double>(1'700'000'000.0);
    Clock clock() const {
        return [v = value] { return *v; };
    }
    void advance(double seconds) const { *value += seconds; }
};

struct Answer {
    int status = 0; // 0 when the request failed below HTTP
    std::string body;
    httplib::Headers headers;
    nlohmann::json json() const { return nlohmann::json::parse(body, nullptr, false); }
    std::string header(const std::string &name) const {
        auto it = headers.find(name);
        return it == headers.end() ? "" : it->second;
    }
};

// A caller that speaks to the service as the app does (Accept, X-App-Version, X-OS-Version).
class ApiCaller {
public:
    explicit ApiCaller(const SampleService &service, std::string version = "0.1.0")
        : appVersion(std::move(version)), client_(service.baseURL()) {}
    Answer get(const std::string &endpoint, const std::string &token = "", httplib::Headers extra = {}) {
        return raw("GET", "/api/app/v1/" + endpoint, headers(token, extra));
    }
    Answer post(const std::string &endpoint, const nlohmann::json &body, const std::string &token = "") {
        return raw("POST", "/api/app/v1/" + endpoint, headers(token, {}), body.dump(), "application/json");
    }
    Answer raw(const std::string &method, const std::string &path, const httplib::Headers &headers,
               const std::string &body = "", const std::string &contentType = "") {
        auto result = method == "GET" ? client_.Get(path, headers) : client_.Post(path, headers, body, contentType);
        return result ? Answer{result->status, result->body, result->headers} : Answer{};
    }

    std::string appVersion;

private:
    httplib::Headers headers(const std::string &token, const httplib::Headers &extra) const {
        httplib::Headers h{
            {"Accept", "application/json"}, {"X-App-Version", appVersion}, {"X-OS-Version", "Linux 6.1"}};
        if (!token.empty()) h.emplace("Authorization", "Bearer " + token);
        for (const auto &[name, _] : extra)
            h.erase(name);
        h.insert(extra.begin(), extra.end());
        return h;
    }
    httplib::Client client_;
};

// The installation a test links unless it names another.
inline const std::string defaultDeviceUUID = "6F9619FF-8B86-D011-B42D-00C04FC964FF";

// The app's token request for a link code.
inline Answer exchangeCode(ApiCaller &api, const std::string &code, const std::string &verifier,
                           const std::string &uuid = defaultDeviceUUID) {
    const nlohmann::json device = {
        {"uuid", uuid}, {"name", "테스트 컴퓨터"}, {"app_version", "0.1.0"}, {"os_version", "Debian GNU/Linux 12"}};
    return api.post(
        "token",
        {{"grant_type", "authorization_code"}, {"code", code}, {"code_verifier", verifier}, {"device", device}});
}

// Links a device through the control shortcut and the real token exchange; answers the data.
inline nlohmann::json linkDevice(SampleService &service, ApiCaller &api, const std::string &uuid = defaultDeviceUUID) {
    PKCE pkce = PKCE::generate();
    Answer a = exchangeCode(api, service.control().approveLink(pkce.challenge, "테스트 컴퓨터"), pkce.verifier, uuid);
    return a.status == 200 ? a.json()["data"] : nlohmann::json(nullptr);
}

// A small library: two folders (one nested), three documents, one image.
inline Library smallLibrary() {
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

// A started service over the small library on the fixture's clock with the options `set` gives,
// an API caller and a plain web client.
class ServiceTest : public ::testing::Test {
protected:
    explicit ServiceTest(const std::function<void(ServiceOptions &)> &set = {})
        : service(withClock(set), smallLibrary()), api((service.start(), service)), web(service.baseURL()) {}
    ServiceOptions withClock(const std::function<void(ServiceOptions &)> &set) {
        ServiceOptions o;
        o.clock = clock.clock();
        if (set) set(o);
        return o;
    }
    Answer exchange(const std::string &code, const std::string &verifier, const std::string &uuid = defaultDeviceUUID) {
        return exchangeCode(api, code, verifier, uuid);
    }
    // Links a device and answers its access token.
    std::string linkToken() { return linkDevice(service, api)["access_token"]; }
    // The "reason" of a failure answer, "-" when there is none.
    static std::string reason(const Answer &a) { return a.json().value("reason", std::string("-")); }

    ManualClock clock;
    SampleService service;
    ApiCaller api;
    httplib::Client web;
};

} // namespace quorvel::service::test
