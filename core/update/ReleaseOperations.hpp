#pragma once

#include "api/WireRecords.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace quorvel {

// The release notes without white space at either end; when `maxLength` is at least 1 and the notes
// are longer, the first `maxLength` characters (grapheme clusters), trimmed again, then "…".
std::string trimmedNotes(const AppRelease &release, int maxLength);

// Where the browser goes to fetch the release: the download page, else the download URL, else the
// service's own web address `webURL`. A field the service sent must be an https URL, or lie on the
// service's own origin (a development service speaks plain http); anything else (javascript:, file:,
// plain http elsewhere, text that is no URL) is passed over. `webURL` is ours and taken when it is
// an http or https URL. Absent when nothing qualifies.
std::optional<std::string> preferredDownloadURL(const AppRelease &release, std::string_view webURL);

} // namespace quorvel
