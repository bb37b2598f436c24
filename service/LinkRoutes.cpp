#include "HttpSupport.hpp"
#include "PageLayout.hpp"
#include "Routes.hpp"

namespace quorvel::service {

namespace {

constexpr double kPendingLifetime = 600;

bool isStateText(const std::string &state) {
    if (state.size() < 16 || state.size() > 128) return false;
    for (char c : state)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_'))
            return false;
    return true;
}

void refusePage(httplib::Response &res, int status, const std::string &message) {
    http::sendPage(res,
                   pageLayout("기기 연결", "<h1>기기를 연결할 수 없어요</h1><p class=\"muted\">" +
                                               http::htmlEscape(message) + "</p>"),
                   status);
}

std::string callback(const std::string &state, const std::string &key, const std::string &value) {
    return "quorvel://link?state=" + http::percentEncode(state) + "&" + key + "=" + http::percentEncode(value);
}

// Refusals that hold whatever the request says; empty when linking may go on.
std::string accountRefusal(ServiceState &state, int &status) {
    if (state.tokens.suspended()) {
        status = 403;
        return "계정이 정지되어 새 기기를 연결할 수 없어요.";
    }
    if (!state.tokens.linkingEnabled()) {
        status = 403;
        return "지금은 새 기기를 연결할 수 없어요. 잠시 후 다시 시도해 주세요.";
    }
    return "";
}

void handleLinkPage(const httplib::Request &req, httplib::Response &res, ServiceState &state) {
    std::string challenge = req.get_param_value("challenge");
    std::string linkState = req.get_param_value("state");
    std::string deviceName = req.get_param_value("device_name");
    std::lock_guard lock(state.mutex);
    int status = 0;
    if (auto refusal = accountRefusal(state, status); !refusal.empty()) return refusePage(res, status, refusal);
    if (!TokenRegistry::isWellFormedChallenge(challenge))
        return refusePage(res, 400, "연결 요청이 올바르지 않아요 (challenge). 앱에서 다시 시도해 주세요.");
    if (!isStateText(linkState))
        return refusePage(res, 400, "연결 요청이 올바르지 않아요 (state). 앱에서 다시 시도해 주세요.");

    std::string request = randomToken(18);
    double now = state.now();
    for (auto it = state.pendingLinks.begin(); it != state.pendingLinks.end();)
        it = it->second.expiresAt <= now ? state.pendingLinks.erase(it) : std::next(it);
    state.pendingLinks[request] = PendingLink{challenge, linkState, deviceName, now + kPendingLifetime};

    std::string shownName = deviceName.empty() ? "이름 없는 기기" : deviceName;
    std::string body = "<h1>이 기기를 연결할까요?</h1>\n"
                       "<p class=\"muted\">" +
                       http::htmlEscape(state.user.email) +
                       " 계정으로 로그인되어 있어요.</p>\n"
                       "<div class=\"device\" id=\"device-name\">" +
                       http::htmlEscape(shownName) +
                       "</div>\n"
                       "<p>연결하면 이 기기의 쿼벨 앱이 내 문서를 내려받아 인터넷 없이도 볼 수 있어요.</p>\n"
                       "<form method=\"post\" action=\"/app/link/decision\">\n"
                       "<input type=\"hidden\" name=\"request\" value=\"" +
                       http::htmlEscape(request) +
                       "\">\n"
                       "<div class=\"actions\">\n"
                       "<button class=\"primary\" type=\"submit\" name=\"decision\" value=\"approve\" "
                       "id=\"approve\">연결</button>\n"
                       "<button type=\"submit\" name=\"decision\" value=\"deny\" id=\"deny\">거절</button>\n"
                       "</div>\n</form>";
    res.set_header("Cache-Control", "no-store");
    http::sendPage(res, pageLayout("기기 연결", body));
}

void handleDecision(const httplib::Request &req, httplib::Response &res, ServiceState &state) {
    std::string request = req.get_param_value("request");
    std::string decision = req.get_param_value("decision");
    std::lock_guard lock(state.mutex);
    auto it = state.pendingLinks.find(request);
    if (it == state.pendingLinks.end() || it->second.expiresAt <= state.now())
        return refusePage(res, 400, "연결 요청이 만료되었어요. 앱에서 다시 시도해 주세요.");
    PendingLink pending = it->second;
    state.pendingLinks.erase(it);
    if (decision == "deny") {
        res.set_redirect(callback(pending.state, "error", "access_denied"), 302);
        return;
    }
    if (decision != "approve") return refusePage(res, 400, "알 수 없는 선택이에요.");
    int status = 0;
    if (auto refusal = accountRefusal(state, status); !refusal.empty()) return refusePage(res, status, refusal);
    std::string code = state.tokens.issueCode(pending.challenge, pending.deviceName, state.now());
    res.set_redirect(callback(pending.state, "code", code), 302);
}

} // namespace

void installLinkRoutes(httplib::Server &server, ServiceState &state) {
    server.Get("/app/link",
               [&state](const httplib::Request &req, httplib::Response &res) { handleLinkPage(req, res, state); });
    server.Post("/app/link/decision",
                [&state](const httplib::Request &req, httplib::Response &res) { handleDecision(req, res, state); });
}

} // namespace quorvel::service
