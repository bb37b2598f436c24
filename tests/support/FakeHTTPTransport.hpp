#pragma once

#include "api/APIError.hpp"
#include "api/HTTPTransport.hpp"

#include <nlohmann/json.hpp>

#include <deque>
#include <functional>
#include <mutex>
#include <variant>
#include <vector>

namespace quorvel::test {

// A scripted HTTPTransport: answers from a queue of responses or errors, then from a handler, and
// records every request it was sent. Thread-safe. A stop already requested throws the cancelled error.
class FakeHTTPTransport : public HTTPTransport {
public:
    using Handler = std::function<HTTPResponse(const HTTPRequest &)>;

    HTTPResponse send(const HTTPRequest &request, std::stop_token stop = {}) override;

    void enqueue(HTTPResponse response);
    void enqueueError(APIError error);
    // Used once the queue is empty; without one, an unscripted request fails the test and answers 599.
    void setHandler(Handler handler);

    std::vector<HTTPRequest> requests() const;
    HTTPRequest lastRequest() const;
    size_t requestCount() const;

    // {"success": true, "data": data} with the given status.
    static HTTPResponse ok(const nlohmann::json &data, int status = 200);
    static HTTPResponse jsonResponse(int status, const nlohmann::json &body,
                                     std::map<std::string, std::string> headers = {});
    static HTTPResponse text(int status, std::string body, std::map<std::string, std::string> headers = {});

private:
    mutable std::mutex mutex_;
    std::deque<std::variant<HTTPResponse, APIError>> queue_;
    Handler handler_;
    std::vector<HTTPRequest> requests_;
};

} // namespace quorvel::test
