#pragma once

namespace quorvel {

// libcurl's process-wide initialisation, done once and thread-safely before the first handle; every
// component that creates curl handles calls this first.
void ensureCurlGlobalInit();

} // namespace quorvel
