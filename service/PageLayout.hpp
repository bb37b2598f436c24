#pragma once

#include <string>

namespace quorvel::service {

// Wraps a page body in the service's common Korean layout (title, header, styles).
std::string pageLayout(const std::string &title, const std::string &body);

} // namespace quorvel::service
