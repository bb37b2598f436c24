#include "update/UpdatePolicy.hpp"
#include "update/SemVer.hpp"

namespace quorvel::UpdatePolicy {

UpdateVerdict evaluate(const AppRelease &release, std::string_view current, std::optional<std::string_view> skipped,
                       bool automatic) {
    auto running = SemVer::parse(current);
    auto latest = SemVer::parse(release.latestVersion);
    if (!running || !latest) return UpdateVerdict::invalid();
    if (release.minVersion) {
        if (auto minimum = SemVer::parse(*release.minVersion); minimum && *running < *minimum) {
            return UpdateVerdict::available(release, true);
        }
    }
    if (*running < *latest) {
        if (automatic && skipped && SemVer::parse(*skipped) == latest) return UpdateVerdict::skipped(release);
        return UpdateVerdict::available(release, false);
    }
    return UpdateVerdict::upToDate();
}

bool isAutomaticCheckDue(std::optional<double> last, double now, double interval) {
    if (!last) return true;
    double elapsed = now - *last;
    return !(elapsed >= 0 && elapsed < interval); // a NaN from a damaged preference counts as due too
}

} // namespace quorvel::UpdatePolicy
