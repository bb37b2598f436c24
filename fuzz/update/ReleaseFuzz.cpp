#include "update/ReleaseOperations.hpp"
#include "update/UpdatePolicy.hpp"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

using namespace quorvel;

namespace {
constexpr std::string_view ellipsis = "…";
}

// A release as the service may send it: the first byte is a notes limit, the rest are the fields
// latest, minimum, notes, download page, download URL, web address and skipped version, separated by
// the unit separator (0x1F).
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    const int maxLength = data[0] % 64;
    std::string_view rest(reinterpret_cast<const char *>(data + 1), size - 1);
    std::vector<std::string> fields;
    for (size_t i = 0; i < 7; ++i) {
        size_t end = rest.find('\x1f');
        fields.emplace_back(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }
    AppRelease release;
    release.latestVersion = fields[0];
    release.minVersion = fields[1];
    release.releaseNotes = fields[2];
    release.downloadPage = fields[3];
    release.downloadURL = fields[4];

    for (bool automatic : {false, true}) {
        auto verdict = UpdatePolicy::evaluate(release, "1.2.3", fields[6], automatic);
        if (!automatic && verdict.is<UpdateVerdict::Skipped>()) std::abort();
    }

    std::string notes = trimmedNotes(release, maxLength);
    if (notes.size() > release.releaseNotes.size() + ellipsis.size()) std::abort();
    if (std::string unlimited = trimmedNotes(release, 0); notes != unlimited) {
        if (!notes.ends_with(ellipsis)) std::abort();
        if (!unlimited.starts_with(notes.substr(0, notes.size() - ellipsis.size()))) std::abort();
    }

    if (auto url = preferredDownloadURL(release, fields[5])) {
        if (!url->starts_with("https://") && !url->starts_with("http://")) std::abort();
    }
    return 0;
}
