#pragma once

#include "api/APIError.hpp"
#include "api/HTTPTransport.hpp"

#include <nlohmann/json.hpp>

#include <deque>
#include <mutex>
#include <variant>
#include <vector>

namespace quorvel::test {

// A scripted HTTPTransport: answers from a queue of responses or errors and records every request
// it was sent. Thread-safe. A stop already requested throws the cancelled error; a request with
// nothing left to answer fails the test and answers 599.
class FakeHTTPTransport : public HTTPTransport {
public:
    HTTPResponse send(const HTTPRequest &request, std::stop_token stop = {}) override;

    void enqueue(HTTPResponse response);
    void enqueueError(APIError error);

    HTTPRequest lastRequest() const;
    size_t requestCount() const;

    // A JSON body with the given status; ok() wraps data in {"success": true, "data": data}.
    static HTTPResponse jsonResponse(int status, const nlohmann::json &body,
                                     std::map<std::string, std::string> headers = {});
    static HTTPResponse ok(const nlohmann::json &data) {
        return jsonResponse(200, {{"success", true}, {"data", data}});
    }
    static HTTPResponse text(int status, std::string body) { return HTTPResponse{status, {}, std::move(body)}; }

private:
    mutable std::mutex mutex_;
    std::deque<std::variant<HTTPResponse, APIError>> queue_;
    std::vector<HTTPRequest> requests_;
};

} // namespace quorvel::test
