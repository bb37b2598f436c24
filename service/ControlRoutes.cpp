#include "HttpSupport.hpp"
#include "Routes.hpp"

namespace quorvel::service {

void installControlRoutes(httplib::Server &, ServiceState &) {}

} // namespace quorvel::service
