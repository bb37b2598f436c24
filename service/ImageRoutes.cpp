#include "HttpSupport.hpp"
#include "Routes.hpp"

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

namespace quorvel::service {

namespace {

std::string hopOrigin(const ServiceState &state, const std::string &hop) {
    if (hop == "other" && !state.altOrigin.empty()) return state.altOrigin;
    if (hop == "https") {
        if (!state.tlsOrigin.empty()) return state.tlsOrigin;
        // Nothing speaks TLS there: the redirect is still sent, the follow-up fails.
        return "https://" + state.origin.substr(state.origin.find("://") + 3);
    }
    return state.origin;
}

// Bytes that start like a PNG and go on with filler, for oversize answers.
std::string fillerByte(int64_t offset) {
    static const std::string signature("\x89PNG\r\n\x1a\n", 8);
    if (offset < static_cast<int64_t>(signature.size())) return std::string(1, signature[static_cast<size_t>(offset)]);
    return std::string(1, static_cast<char>('A' + offset % 26));
}

void sendStreamed(httplib::Response &res, std::shared_ptr<const std::string> bytes, const std::string &type,
                  int64_t bytesPerSecond, bool withLength) {
    const size_t chunk =
        bytesPerSecond > 0 ? static_cast<size_t>(std::clamp<int64_t>(bytesPerSecond / 10, 1, 65536)) : size_t{65536};
    auto pause = bytesPerSecond > 0 ? std::chrono::microseconds(static_cast<int64_t>(chunk) * 1000000 / bytesPerSecond)
                                    : std::chrono::microseconds(0);
    auto provide = [bytes, chunk, pause](size_t offset, httplib::DataSink &sink) {
        if (offset >= bytes->size()) {
            sink.done();
            return true;
        }
        if (pause.count() > 0) std::this_thread::sleep_for(pause);
        size_t n = std::min(chunk, bytes->size() - offset);
        return sink.write(bytes->data() + offset, n);
    };
    if (withLength)
        res.set_content_provider(bytes->size(), type, [provide](size_t offset, size_t, httplib::DataSink &sink) {
            return provide(offset, sink);
        });
    else
        res.set_chunked_content_provider(type, provide);
}

void sendOversize(httplib::Response &res, int64_t size, bool withLength) {
    auto provide = [size](size_t offset, httplib::DataSink &sink) {
        if (static_cast<int64_t>(offset) >= size) {
            sink.done();
            return true;
        }
        std::string block;
        size_t n = static_cast<size_t>(std::min<int64_t>(65536, size - static_cast<int64_t>(offset)));
        block.reserve(n);
        for (size_t i = 0; i < n; ++i)
            block += fillerByte(static_cast<int64_t>(offset + i));
        return sink.write(block.data(), block.size());
    };
    if (withLength)
        res.set_content_provider(
            static_cast<size_t>(size), "image/png",
            [provide](size_t offset, size_t, httplib::DataSink &sink) { return provide(offset, sink); });
    else
        res.set_chunked_content_provider("image/png", provide);
}

void serveImage(const httplib::Request &req, httplib::Response &res, ServiceState &state, const std::string &path,
                size_t hop) {
    state.counters.image(path);
    std::optional<ImageBehaviour> behaviour;
    std::function<std::string()> produce;
    std::string type;
    std::string location;
    {
        std::lock_guard lock(state.mutex);
        behaviour = hop == 0 ? state.imageBehaviours.take(path) : state.imageBehaviours.peek(path);
        if (behaviour && hop < behaviour->redirects.size()) {
            const std::string &next = behaviour->redirects[hop];
            if (next == "loop")
                location = state.origin + req.target;
            else
                location = hopOrigin(state, next) + "/_r/" + std::to_string(hop + 1) + path;
        }
        if (const LibraryImage *image = state.library.image(path)) {
            produce = image->bytes;
            type = image->contentType;
        }
    }
    if (behaviour && hop == 0 && behaviour->delayMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(behaviour->delayMs));
    if (!location.empty()) {
        res.set_redirect(location, behaviour->redirectStatus);
        return;
    }
    if (behaviour && behaviour->status != 0) {
        res.status = behaviour->status;
        res.set_content("image unavailable", "text/plain; charset=utf-8");
        return;
    }
    if (behaviour && behaviour->empty) {
        res.status = 200;
        res.set_content("", type.empty() ? "image/png" : type);
        return;
    }
    if (behaviour && behaviour->oversize) {
        sendOversize(res, *behaviour->oversize, behaviour->oversizeMode == "announced");
        return;
    }
    if (!produce) {
        res.status = 404;
        res.set_content("no such image", "text/plain; charset=utf-8");
        return;
    }
    if (behaviour && !behaviour->contentType.empty()) type = behaviour->contentType;
    auto bytes = std::make_shared<const std::string>(produce());
    res.set_header("Cache-Control", "public, max-age=31536000, immutable");
    if (behaviour && (behaviour->bytesPerSecond > 0 || behaviour->noContentLength)) {
        sendStreamed(res, bytes, type, behaviour->bytesPerSecond, !behaviour->noContentLength);
        return;
    }
    res.status = 200;
    res.set_content(*bytes, type);
}

} // namespace

void installImageRoutes(httplib::Server &server, ServiceState &state) {
    server.Get(R"(/images/.+)", [&state](const httplib::Request &req, httplib::Response &res) {
        serveImage(req, res, state, req.path, 0);
    });
    server.Get(R"(/_r/(\d{1,4})(/images/.+))", [&state](const httplib::Request &req, httplib::Response &res) {
        serveImage(req, res, state, req.matches[2].str(), static_cast<size_t>(std::stoul(req.matches[1].str())));
    });
}

} // namespace quorvel::service
