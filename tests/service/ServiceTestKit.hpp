#pragma once

#include "Library.hpp"
#include "SampleService.hpp"

#include <gtest/gtest.h>
#include <httplib.h>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

namespace quorvel::service::test {

// A value of T with the fields `set` assigns and the rest at their defaults.
template <class T, class Set>
T made(Set set) {
    T value;
    set(value);
    return value;
}

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
    std::string header(const std::string &name) const;
};

// A caller that speaks to the service as the app does (Accept, X-App-Version, X-OS-Version).
class ApiCaller {
public:
    explicit ApiCaller(const SampleService &service, std::string appVersion = "0.1.0");
    Answer get(const std::string &endpoint, const std::string &token = "", httplib::Headers extra = {});
    Answer post(const std::string &endpoint, const nlohmann::json &body, const std::string &token = "",
                httplib::Headers extra = {});
    Answer raw(const std::string &method, const std::string &path, const httplib::Headers &headers,
               const std::string &body = "", const std::string &contentType = "");

    std::string appVersion;

private:
    httplib::Headers headers(const std::string &token, const httplib::Headers &extra) const;
    httplib::Client client_;
};

struct Pkce {
    std::string verifier;
    std::string challenge;
};
Pkce makePkce(const std::string &seed = "v");

// The installation a test links unless it names another.
inline const std::string defaultDeviceUUID = "6F9619FF-8B86-D011-B42D-00C04FC964FF";

nlohmann::json deviceJSON(const std::string &uuid = defaultDeviceUUID);

// The app's token request for a link code.
Answer exchangeCode(ApiCaller &api, const std::string &code, const std::string &verifier,
                    const std::string &uuid = defaultDeviceUUID);

// Links a device through the control shortcut and the real token exchange; answers the data.
nlohmann::json linkDevice(SampleService &service, ApiCaller &api, const std::string &uuid = defaultDeviceUUID);

// A small library: two folders (one nested), three documents, one image.
Library smallLibrary();

// A started service over the small library on the fixture's clock (unless the options bring their
// own), an API caller and a plain web client.
class ServiceTest : public ::testing::Test {
protected:
    explicit ServiceTest(ServiceOptions options = {}, Library library = smallLibrary());
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
