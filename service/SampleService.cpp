#include "SampleService.hpp"

#include "HttpSupport.hpp"
#include "PageLayout.hpp"
#include "Routes.hpp"
#include "ServiceState.hpp"
#include "TlsIdentity.hpp"

#include <chrono>
#include <set>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>

namespace quorvel::service {

double systemNow() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

namespace {

// httplib's pool, counting each accepted connection as it is handed over.
class CountingTaskQueue : public httplib::TaskQueue {
public:
    CountingTaskQueue(size_t threads, Counters &counters, std::string listener)
        : pool_(threads), counters_(counters), listener_(std::move(listener)) {}
    void enqueue(std::function<void()> fn) override {
        counters_.connection(listener_);
        pool_.enqueue(std::move(fn));
    }
    void shutdown() override { pool_.shutdown(); }

private:
    httplib::ThreadPool pool_;
    Counters &counters_;
    std::string listener_;
};

const std::set<std::string> kApiEndpoints{"token", "logout", "manifest", "files", "shell", "latest"};

bool isJSONArea(const std::string &path) {
    return path.rfind("/api/", 0) == 0 || path.rfind("/control/", 0) == 0;
}

void answerError(const httplib::Request &req, httplib::Response &res, int status, const std::string &reason,
                 const std::string &message) {
    if (isJSONArea(req.path)) {
        http::sendFailure(res, ApiFailure(status, reason, message));
    } else {
        http::sendPage(
            res, pageLayout("오류", "<h1>" + http::htmlEscape(message) + "</h1><p><a href=\"/\">처음으로</a></p>"),
            status);
    }
}

} // namespace

std::string endpointOf(const std::string &path) {
    static const std::string api = "/api/app/v1/";
    if (path.rfind(api, 0) == 0) {
        std::string name = path.substr(api.size());
        return kApiEndpoints.contains(name) ? name : "api_other";
    }
    if (path.rfind("/images/", 0) == 0 || path.rfind("/_r/", 0) == 0) return "image";
    if (path.rfind("/app/link", 0) == 0) return "link";
    if (path.rfind("/control/", 0) == 0) return "control";
    return "page";
}

struct SampleService::Impl {
    struct Listener {
        std::string name;
        std::unique_ptr<httplib::Server> server;
        std::thread thread;
        int port = 0;
    };

    ServiceOptions options;
    ServiceState state;
    ServiceControl control{state};
    std::unique_ptr<TlsIdentity> tls;
    std::vector<Listener> listeners;
    bool originsFilled = false;
    bool running = false;

    void configure(httplib::Server &server, const std::string &name) {
        size_t threads = static_cast<size_t>(std::max(2, options.threads));
        server.new_task_queue = [this, threads, name] { return new CountingTaskQueue(threads, state.counters, name); };
        server.set_keep_alive_max_count(1000);
        // httplib's default also sets SO_REUSEPORT, which lets a second service share a busy
        // port silently; a clash must fail to start instead.
        server.set_socket_options([](socket_t sock) {
            int yes = 1;
            setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        });
        server.set_pre_routing_handler(
            [this](const httplib::Request &req, httplib::Response &res) { return preRoute(req, res); });
        server.set_error_handler(
            httplib::Server::HandlerWithResponse([](const httplib::Request &req, httplib::Response &res) {
                if (!res.body.empty() || res.content_length_ > 0 || res.is_chunked_content_provider_)
                    return httplib::Server::HandlerResponse::Unhandled;
                if (res.status == 404 && kApiEndpoints.contains(endpointOf(req.path))) {
                    answerError(req, res, 405, "method_not_allowed", "허용되지 않는 메서드예요.");
                } else if (res.status == 404) {
                    answerError(req, res, 404, "not_found", "페이지를 찾을 수 없어요.");
                } else {
                    answerError(req, res, res.status, "error", "요청을 처리하지 못했어요.");
                }
                return httplib::Server::HandlerResponse::Handled;
            }));
        server.set_exception_handler([](const httplib::Request &req, httplib::Response &res, std::exception_ptr ep) {
            try {
                std::rethrow_exception(ep);
            } catch (const ApiFailure &failure) {
                http::sendFailure(res, failure);
            } catch (const LibraryError &e) {
                answerError(req, res, 404, "not_found", e.what());
            } catch (const std::invalid_argument &e) {
                answerError(req, res, 400, "invalid_request", e.what());
            } catch (const nlohmann::json::exception &e) {
                answerError(req, res, 400, "invalid_request", e.what());
            } catch (const std::exception &e) {
                answerError(req, res, 500, "internal", e.what());
            } catch (...) {
                answerError(req, res, 500, "internal", "unknown failure");
            }
        });
    }

    httplib::Server::HandlerResponse preRoute(const httplib::Request &req, httplib::Response &res) {
        std::string endpoint = endpointOf(req.path);
        state.counters.request(endpoint);
        if (endpoint == "control") return httplib::Server::HandlerResponse::Unhandled;
        std::optional<FaultRule> fault;
        {
            std::lock_guard lock(state.mutex);
            fault = state.faults.take(endpoint, req.path);
        }
        if (!fault) return httplib::Server::HandlerResponse::Unhandled;
        if (fault->delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(fault->delayMs));
        if (fault->drop) {
            http::dropConnection(req);
            res.status = 500;
            res.set_header("Connection", "close");
            res.set_content("", "text/plain");
            return httplib::Server::HandlerResponse::Handled;
        }
        if (fault->status == 0) return httplib::Server::HandlerResponse::Unhandled;
        if (fault->body) {
            res.status = fault->status;
            if (fault->retryAfter) res.set_header("Retry-After", *fault->retryAfter);
            res.set_content(*fault->body, fault->contentType);
        } else {
            ApiFailure failure(fault->status, fault->reason.empty() ? "injected" : fault->reason,
                               fault->message.empty() ? "잠시 후 다시 시도해 주세요." : fault->message);
            failure.retryAfter = fault->retryAfter;
            failure.minVersion = fault->minVersion;
            http::sendFailure(res, failure);
        }
        return httplib::Server::HandlerResponse::Handled;
    }

    Listener &add(const std::string &name, std::unique_ptr<httplib::Server> server) {
        configure(*server, name);
        listeners.push_back(Listener{name, std::move(server), {}, 0});
        return listeners.back();
    }

    int bind(Listener &l, int port) {
        if (port == 0) {
            l.port = l.server->bind_to_any_port(options.host);
        } else {
            l.port = l.server->bind_to_port(options.host, port) ? port : -1;
        }
        if (l.port <= 0) throw std::runtime_error("cannot listen on " + options.host + ":" + std::to_string(port));
        return l.port;
    }
};

SampleService::SampleService(ServiceOptions options, Library library) : impl_(std::make_unique<Impl>()) {
    impl_->options = std::move(options);
    auto &state = impl_->state;
    state.library = std::move(library);
    state.clock = impl_->options.clock ? impl_->options.clock : Clock(systemNow);
    state.tokens.setLifetimes(TokenLifetimes{impl_->options.accessTokenLifetime, impl_->options.refreshTokenLifetime,
                                             impl_->options.linkCodeLifetime, impl_->options.refreshReuseGrace});
    state.user = impl_->options.user;
    state.release = impl_->options.release;
    state.maxFilesPerRequest = impl_->options.maxFilesPerRequest;
}

SampleService::~SampleService() {
    stop();
}

void SampleService::start() {
    auto &impl = *impl_;
    if (impl.running) return;
    impl.listeners.clear();
    auto &main = impl.add("main", std::make_unique<httplib::Server>());
    installApiRoutes(*main.server, impl.state);
    installLinkRoutes(*main.server, impl.state);
    installImageRoutes(*main.server, impl.state);
    installWebPages(*main.server, impl.state);
    if (impl.options.controlAPI) installControlRoutes(*main.server, impl.state);
    impl.bind(main, impl.options.port);
    std::string origin = "http://" + impl.options.host + ":" + std::to_string(main.port);
    std::string altOrigin, tlsOrigin;
    if (impl.options.alternateOrigin) {
        auto &alt = impl.add("alternate", std::make_unique<httplib::Server>());
        installImageRoutes(*alt.server, impl.state);
        altOrigin = "http://" + impl.options.host + ":" + std::to_string(impl.bind(alt, 0));
    }
    if (impl.options.tls) {
        if (!impl.tls) impl.tls = std::make_unique<TlsIdentity>();
        auto &secure =
            impl.add("tls", std::make_unique<httplib::SSLServer>(impl.tls->certificate(), impl.tls->key(), nullptr));
        installImageRoutes(*secure.server, impl.state);
        tlsOrigin = "https://" + impl.options.host + ":" + std::to_string(impl.bind(secure, 0));
    }
    {
        std::lock_guard lock(impl.state.mutex);
        impl.state.origin = origin;
        impl.state.altOrigin = altOrigin;
        impl.state.tlsOrigin = tlsOrigin;
        if (!impl.originsFilled) {
            impl.state.library.substituteOrigins(origin, altOrigin.empty() ? origin : altOrigin);
            impl.originsFilled = true;
        }
    }
    for (auto &l : impl.listeners) {
        auto *server = l.server.get();
        l.thread = std::thread([server] { server->listen_after_bind(); });
    }
    // stop() only reaches a server whose accept loop runs; wait for every loop to start.
    for (auto &l : impl.listeners)
        while (!l.server->is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    impl.running = true;
}

void SampleService::stop() {
    if (!impl_ || !impl_->running) return;
    for (auto &l : impl_->listeners)
        l.server->stop();
    for (auto &l : impl_->listeners)
        if (l.thread.joinable()) l.thread.join();
    impl_->listeners.clear();
    impl_->running = false;
}

bool SampleService::running() const {
    return impl_->running;
}

int SampleService::port() const {
    return impl_->listeners.empty() ? 0 : impl_->listeners.front().port;
}

std::string SampleService::baseURL() const {
    std::lock_guard lock(impl_->state.mutex);
    return impl_->state.origin;
}

std::string SampleService::alternateOrigin() const {
    std::lock_guard lock(impl_->state.mutex);
    return impl_->state.altOrigin;
}

std::string SampleService::tlsOrigin() const {
    std::lock_guard lock(impl_->state.mutex);
    return impl_->state.tlsOrigin;
}

std::string SampleService::tlsCertificatePEM() const {
    return impl_->tls ? impl_->tls->certificatePEM() : "";
}

ServiceControl &SampleService::control() {
    return impl_->control;
}

std::filesystem::path SampleService::sampleLibraryDir() {
    return QUORVEL_SAMPLE_LIBRARY_DIR;
}

} // namespace quorvel::service
