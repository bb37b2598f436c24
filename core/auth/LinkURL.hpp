#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorvel::LinkURL {

// The service's link page for this device: base + "/app/link?challenge=…&state=…&device_name=…".
// The device name loses control characters and surrounding white space and is cut to 60
// user-perceived characters; all three values are percent-encoded. Absent when the result is not
// a URL (an unusable base).
std::optional<std::string> make(std::string_view base, std::string_view challenge, std::string_view state,
                                std::string_view deviceName);

// The device name as it is sent (before percent-encoding).
std::string cleanDeviceName(std::string_view name);

} // namespace quorvel::LinkURL
