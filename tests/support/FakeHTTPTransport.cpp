#include "support/FakeHTTPTransport.hpp"

#include <gtest/gtest.h>

namespace quorvel::test {

HTTPResponse FakeHTTPTransport::send(const HTTPRequest &request, std::stop_token stop) {
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
    if (stop.stop_requested()) throw APIError::cancelled();
    if (queue_.empty()) {
        ADD_FAILURE() << "unscripted request: " << request.method << " " << request.url;
        return HTTPResponse{599, {}, {}};
    }
    auto next = std::move(queue_.front());
    queue_.pop_front();
    if (auto *error = std::get_if<APIError>(&next)) throw *error;
    return std::get<HTTPResponse>(std::move(next));
}

void FakeHTTPTransport::enqueue(HTTPResponse response) {
    std::lock_guard lock(mutex_);
    queue_.emplace_back(std::move(response));
}

void FakeHTTPTransport::enqueueError(APIError error) {
    std::lock_guard lock(mutex_);
    queue_.emplace_back(std::move(error));
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

HTTPResponse FakeHTTPTransport::jsonResponse(int status, const nlohmann::json &body,
                                             std::map<std::string, std::string> headers) {
    headers.emplace("content-type", "application/json");
    return HTTPResponse{status, std::move(headers), body.dump()};
}

} // namespace quorvel::test
