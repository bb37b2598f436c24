#pragma once

#include "auth/LinkCallback.hpp"
#include "auth/LinkCallbackError.hpp"

#include <string_view>

namespace quorvel::LinkCallbackParser {

// Reads the browser's redirect back to the app, e.g. quorvel://link?state=…&code=… or
// quorvel://link?state=…&error=access_denied. Scheme and host compare case-insensitively.
// The state is checked (in constant time) before anything else in the query is believed, so a
// forged callback can neither deliver a code nor report a refusal. Throws LinkCallbackError.
LinkCallback parse(std::string_view url, std::string_view expectedState, std::string_view scheme = "quorvel",
                   std::string_view host = "link");

} // namespace quorvel::LinkCallbackParser
