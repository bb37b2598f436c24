#pragma once

#include "api/WireRecords.hpp"
#include "update/UpdateVerdict.hpp"

#include <optional>
#include <string_view>

namespace quorvel::UpdatePolicy {

// Compares the running version `current` with the release. A running version below the release's
// minimum makes the release mandatory, skipped or not; a skipped latest version hides the release
// from automatic checks only. Either version unparseable: invalid.
UpdateVerdict evaluate(const AppRelease &release, std::string_view current, std::optional<std::string_view> skipped,
                       bool automatic);

// Whether an automatic check is due: never checked, at least `interval` seconds since `last`, or
// `last` in the future (the clock was set back).
bool isAutomaticCheckDue(std::optional<double> last, double now, double interval);

} // namespace quorvel::UpdatePolicy
