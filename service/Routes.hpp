#pragma once

#include "ServiceState.hpp"

#include <httplib.h>

namespace quorvel::service {

// The API under "/api/app/v1/".
void installApiRoutes(httplib::Server &server, ServiceState &state);
// The link page "/app/link" and its decision.
void installLinkRoutes(httplib::Server &server, ServiceState &state);
// "/images/..." and the redirect hops "/_r/N/images/..."; installed on every listener.
void installImageRoutes(httplib::Server &server, ServiceState &state);
// The web pages the app opens: "/", "/signup", "/profile", "/docs/{id}", "/editor", "/editor/{id}",
// "/download".
void installWebPages(httplib::Server &server, ServiceState &state);
// "/control/..." (only when the control API is enabled).
void installControlRoutes(httplib::Server &server, ServiceState &state);

// Which counter and fault endpoint a request path belongs to.
std::string endpointOf(const std::string &path);

} // namespace quorvel::service
