#include "HttpSupport.hpp"
#include "ImageSynth.hpp"
#include "Routes.hpp"
#include "ServiceControl.hpp"

#include <memory>

namespace quorvel::service {

namespace {

using Json = nlohmann::json;

Json body(const httplib::Request &req) {
    if (req.body.empty()) return Json::object();
    Json j = Json::parse(req.body); // a parse error becomes 400 in the exception handler
    if (!j.is_object()) throw std::invalid_argument("the body must be a JSON object");
    return j;
}

// Present and null means "top level"; absent means "leave as is".
std::optional<std::optional<int64_t>> optionalParent(const Json &j, const std::string &key) {
    auto it = j.find(key);
    if (it == j.end()) return std::nullopt;
    if (it->is_null()) return std::optional<int64_t>{};
    return std::optional<int64_t>{it->get<int64_t>()};
}

std::optional<int64_t> parentOrTop(const Json &j, const std::string &key) {
    auto p = optionalParent(j, key);
    return p ? *p : std::nullopt;
}

int64_t pathId(const httplib::Request &req) {
    return std::stoll(req.matches[1].str());
}

std::optional<std::string> optionalString(const Json &j, const std::string &key) {
    auto it = j.find(key);
    if (it == j.end() || it->is_null()) return std::nullopt;
    return it->get<std::string>();
}

using Route = std::function<Json(const httplib::Request &, ServiceControl &)>;

httplib::Server::Handler handler(std::shared_ptr<ServiceControl> control, Route route) {
    return [control, route](const httplib::Request &req, httplib::Response &res) {
        http::sendData(res, route(req, *control));
    };
}

std::string generatedImage(const std::string &kind, uint64_t seed, int64_t bytes, std::string &type) {
    if (kind == "png") {
        type = "image/png";
        return ImageSynth::png(seed, bytes);
    }
    if (kind == "jpeg") {
        type = "image/jpeg";
        return ImageSynth::jpeg(seed, bytes);
    }
    if (kind == "svg") {
        type = "image/svg+xml";
        return ImageSynth::svg(seed, bytes);
    }
    throw std::invalid_argument("kind is png, jpeg or svg");
}

} // namespace

void installControlRoutes(httplib::Server &server, ServiceState &state) {
    auto control = std::make_shared<ServiceControl>(state);
    auto get = [&](const std::string &pattern, Route r) { server.Get(pattern, handler(control, std::move(r))); };
    auto post = [&](const std::string &pattern, Route r) { server.Post(pattern, handler(control, std::move(r))); };
    auto put = [&](const std::string &pattern, Route r) { server.Put(pattern, handler(control, std::move(r))); };
    auto patch = [&](const std::string &pattern, Route r) { server.Patch(pattern, handler(control, std::move(r))); };
    auto del = [&](const std::string &pattern, Route r) { server.Delete(pattern, handler(control, std::move(r))); };

    get("/control/state", [](auto &, ServiceControl &c) { return c.summary(); });
    get("/control/counters", [](auto &, ServiceControl &c) { return c.counters(); });
    post("/control/counters/reset", [](auto &, ServiceControl &c) {
        c.resetCounters();
        return Json(nullptr);
    });
    post("/control/clock", [](auto &req, ServiceControl &c) {
        c.advanceClock(body(req).value("advance", 0.0));
        return Json{{"now", c.now()}};
    });

    post("/control/documents", [](auto &req, ServiceControl &c) {
        Json j = body(req);
        return Json{{"id", c.addDocument(j.at("filename").get<std::string>(), parentOrTop(j, "folder_id"),
                                         j.value("content", std::string()))}};
    });
    patch(R"(/control/documents/(\d{1,18}))", [](auto &req, ServiceControl &c) {
        Json j = body(req);
        int64_t id = pathId(req);
        if (auto content = optionalString(j, "content")) c.editDocument(id, *content);
        if (auto name = optionalString(j, "filename")) c.renameDocument(id, *name);
        if (auto folder = optionalParent(j, "folder_id")) c.moveDocument(id, *folder);
        return Json{{"id", id}};
    });
    del(R"(/control/documents/(\d{1,18}))", [](auto &req, ServiceControl &c) {
        c.deleteDocument(pathId(req));
        return Json(nullptr);
    });
    post("/control/folders", [](auto &req, ServiceControl &c) {
        Json j = body(req);
        std::optional<int64_t> order;
        if (j.contains("order_num")) order = j["order_num"].get<int64_t>();
        return Json{{"id", c.addFolder(j.at("name").get<std::string>(), parentOrTop(j, "parent_id"), order)}};
    });
    patch(R"(/control/folders/(\d{1,18}))", [](auto &req, ServiceControl &c) {
        Json j = body(req);
        int64_t id = pathId(req);
        if (auto name = optionalString(j, "name")) c.renameFolder(id, *name);
        if (auto parent = optionalParent(j, "parent_id")) c.moveFolder(id, *parent);
        if (j.contains("order_num")) c.setFolderOrder(id, j["order_num"].get<int64_t>());
        return Json{{"id", id}};
    });
    del(R"(/control/folders/(\d{1,18}))", [](auto &req, ServiceControl &c) {
        c.deleteFolder(pathId(req));
        return Json(nullptr);
    });
    post("/control/images", [](auto &req, ServiceControl &c) {
        Json j = body(req);
        std::string path = j.at("path").get<std::string>();
        std::string type = j.value("content_type", std::string());
        std::string bytes;
        if (j.contains("text")) {
            bytes = j["text"].get<std::string>();
            if (type.empty()) type = "image/svg+xml";
        } else {
            bytes = generatedImage(j.value("kind", std::string("png")), j.value("seed", uint64_t{1}),
                                   j.value("bytes", int64_t{4096}), type);
        }
        c.putImage(path, bytes, type);
        return Json{{"path", path}, {"size", bytes.size()}, {"content_type", type}};
    });
    post("/control/shell/bump", [](auto &req, ServiceControl &c) {
        return Json{{"version", c.bumpShell(optionalString(body(req), "html"))}};
    });
    put("/control/release", [](auto &req, ServiceControl &c) {
        Json j = body(req);
        ReleaseInfo r = c.release();
        r.latestVersion = j.value("latest_version", r.latestVersion);
        if (j.contains("min_version")) r.minVersion = optionalString(j, "min_version");
        r.releaseNotes = j.value("release_notes", r.releaseNotes);
        if (j.contains("released_at")) r.releasedAt = optionalString(j, "released_at");
        r.downloadPage = j.value("download_page", r.downloadPage);
        r.downloadURL = j.value("download_url", r.downloadURL);
        c.setRelease(r);
        return Json(nullptr);
    });
    put("/control/user", [](auto &req, ServiceControl &c) {
        Json j = body(req);
        UserAccount u;
        u.id = j.value("id", u.id);
        u.email = j.at("email").get<std::string>();
        u.nickname = optionalString(j, "nickname");
        c.setUser(u);
        return Json(nullptr);
    });

    get("/control/devices", [](auto &, ServiceControl &c) { return c.devices(); });
    post(R"(/control/devices/(\d{1,18})/revoke)", [](auto &req, ServiceControl &c) {
        c.revokeDevice(pathId(req));
        return Json(nullptr);
    });
    post("/control/devices/revoke-all", [](auto &, ServiceControl &c) {
        c.revokeAllDevices();
        return Json(nullptr);
    });
    post("/control/account/suspend", [](auto &req, ServiceControl &c) {
        c.setSuspended(body(req).value("suspended", true));
        return Json(nullptr);
    });
    post("/control/account/password-changed", [](auto &, ServiceControl &c) {
        c.changePassword();
        return Json(nullptr);
    });
    post("/control/tokens/expire", [](auto &req, ServiceControl &c) {
        Json j = body(req);
        std::optional<int64_t> device;
        if (j.contains("device_id")) device = j["device_id"].get<int64_t>();
        c.expireAccessTokens(device);
        return Json(nullptr);
    });
    post("/control/linking", [](auto &req, ServiceControl &c) {
        c.setLinkingEnabled(body(req).value("enabled", true));
        return Json(nullptr);
    });
    post("/control/link/approve", [](auto &req, ServiceControl &c) {
        Json j = body(req);
        std::string linkState = j.value("state", std::string());
        std::string code = c.approveLink(j.at("challenge").get<std::string>(), j.value("device_name", std::string()));
        return Json{{"code", code},
                    {"redirect", "quorvel://link?state=" + http::percentEncode(linkState) + "&code=" + code}};
    });

    post("/control/faults", [](auto &req, ServiceControl &c) {
        return Json{{"id", c.addFault(FaultInjector::fromJSON(body(req)))}};
    });
    get("/control/faults", [](auto &, ServiceControl &c) { return c.faults(); });
    del("/control/faults", [](auto &, ServiceControl &c) {
        c.clearFaults();
        return Json(nullptr);
    });
    post("/control/files/drop", [](auto &req, ServiceControl &c) {
        Json j = body(req);
        c.dropFileIds(j.at("ids").get<std::vector<int64_t>>(), j.value("count", -1));
        return Json(nullptr);
    });
    del("/control/files/drop", [](auto &, ServiceControl &c) {
        c.clearDroppedIds();
        return Json(nullptr);
    });
    post("/control/files/corrupt", [](auto &req, ServiceControl &c) {
        Json j = body(req);
        c.corruptContent(j.at("id").get<int64_t>(), j.value("count", 1), j.value("mode", std::string("content")));
        return Json(nullptr);
    });
    del("/control/files/corrupt", [](auto &, ServiceControl &c) {
        c.clearCorruption();
        return Json(nullptr);
    });
    put("/control/images/behaviour", [](auto &req, ServiceControl &c) {
        Json j = body(req);
        c.setImageBehaviour(j.at("path").get<std::string>(), ImageBehaviour::fromJSON(j));
        return Json(nullptr);
    });
    get("/control/images/behaviour", [](auto &, ServiceControl &c) { return c.imageBehaviours(); });
    del("/control/images/behaviour", [](auto &req, ServiceControl &c) {
        if (req.has_param("path"))
            c.clearImageBehaviour(req.get_param_value("path"));
        else
            c.clearImageBehaviours();
        return Json(nullptr);
    });
}

} // namespace quorvel::service
