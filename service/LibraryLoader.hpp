#pragma once

#include "Library.hpp"

#include <filesystem>

namespace quorvel::service {

// Reads a library from a folder tree:
// - every sub-folder becomes a manifest folder, every ".html" file a document (its name is the
//   document's <title> when it has one, else the file name without ".html");
// - an "_order.txt" in a folder lists its entries' names, one a line, in the order wanted
//   (unlisted entries follow by name);
// - image files (png, jpg, jpeg, gif, svg, webp) are served at "/images/" + their path
//   relative to the root;
// - a sub-folder whose name starts with "_" is no manifest folder: only its images are served;
// - "_updated.txt" at the root gives documents their change times ("path<TAB>ISO 8601" a line;
//   others take the file's modification time);
// - "_shell.html" at the root replaces the default document shell;
// - other names starting with "_" or "." are skipped.
// Documents may write "{{ORIGIN}}" for the service's origin and "{{ALT_ORIGIN}}" for the
// alternate origin, filled in once the service listens, and "{{ID:folder/name.html}}" for the id
// of the document at that path (relative to the root), filled in as the library is read.
class LibraryLoader {
public:
    static Library load(const std::filesystem::path &root);
    static std::string contentTypeFor(const std::filesystem::path &path);
    // The <title> text of a document, trimmed; empty when it has none.
    static std::string titleOf(const std::string &html);
};

} // namespace quorvel::service
