#pragma once

#include <string>
#include <string_view>

namespace quorvel::app {

// The engine hands requests over as QUrl, which refuses a host label longer than 63 characters
// and so every "quorvel-asset://<64 hex digits>" the stored pages hold. Pages therefore go to the
// engine with each such hash split into two labels of 32 ("quorvel-asset://<32>.<32>"), and the
// handler joins them again.
namespace AssetHosts {

// `html` with every asset hash split; anything else, "missing" included, as it was.
std::string split(std::string_view html);
// The store key a (lower-cased) host names: its labels joined.
std::string join(std::string_view host);

} // namespace AssetHosts

} // namespace quorvel::app
