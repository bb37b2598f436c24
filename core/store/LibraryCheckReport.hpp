#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorvel {

// What a check of the library found, and what it set in motion. Repairs happen at the next sync:
// a damaged database is rebuilt from the service; the listed documents get their images again.
struct LibraryCheckReport {
    // PRAGMA integrity_check's findings (at most 100), or SQLite's error; empty when the database is
    // sound. A damaged database is rebuilt with its images, so then no image is looked at.
    std::vector<std::string> databaseProblems;
    int64_t imagesChecked = 0;
    // Image files whose bytes are not the ones their names promise; they are removed.
    std::vector<std::string> alteredImages;
    // Images that documents show but that have no file.
    std::vector<std::string> missingImages;
    // Documents whose images the next sync downloads again, ascending.
    std::vector<int64_t> documentsToRepair;
    // False when the check was stopped before it had looked at everything.
    bool complete = true;

    bool isSound() const { return databaseProblems.empty() && alteredImages.empty() && missingImages.empty(); }
    bool operator==(const LibraryCheckReport &) const = default;
};

} // namespace quorvel
