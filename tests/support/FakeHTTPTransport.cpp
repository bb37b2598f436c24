#include "support/FakeHTTPTransport.hpp"

#include <gtest/gtest.h>

namespace quorvel::test {

HTTPResponse FakeHTTPTransport::send(const HTTPRequest &request, std::stop_token stop) {
    Handler handler;
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
        if (stop.stop_requested()) throw APIError::cancelled();
        if (!queue_.empty()) {
            auto next = std::move(queue_.front());
            queue_.pop_front();
            if (auto *error = std::get_if<APIError>(&next)) throw *error;
            return std::get<HTTPResponse>(std::move(next));
        }
        handler = handler_;
    }
    if (handler) return handler(request);
    ADD_FAILURE() << "unscripted request: " << request.method << " " << request.url;
    return HTTPResponse{599, {}, {}};
}

void FakeHTTPTransport::enqueue(HTTPResponse response) {
    std::lock_guard lock(mutex_);
    queue_.emplace_back(std::move(response));
}

void FakeHTTPTransport::enqueueError(APIError error) {
    std::lock_guard lock(mutex_);
    queue_.emplace_back(std::move(error));
}

void FakeHTTPTransport::setHandler(Handler handler) {
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
}

std::vector<HTTPRequest> FakeHTTPTransport::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

HTTPRequest FakeHTTPTransport::lastRequest() const {
    std::lock_guard lock(mutex_);
    if (requests_.empty()) {
        ADD_FAILURE() << "no request was sent";
        return {};
    }
    return requests_.back();
}

size_t FakeHTTPTransport::requestCount() const {
    std::lock_guard lock(mutex_);
    return requests_.size();
}

HTTPResponse FakeHTTPTransport::ok(const nlohmann::json &data, int status) {
    return jsonResponse(status, {{"success", true}, {"data", data}});
}

HTTPResponse FakeHTTPTransport::jsonResponse(int status, const nlohmann::json &body,
                                             std::map<std::string, std::string> headers) {
    headers.emplace("content-type", "application/json");
    return HTTPResponse{status, std::move(headers), body.dump()};
}

HTTPResponse FakeHTTPTransport::text(int status, std::string body, std::map<std::string, std::string> headers) {
    return HTTPResponse{status, std::move(headers), std::move(body)};
}

} // namespace quorvel::test
