#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace quorvel::app {

// The documents read in this window, in order, each with where it was scrolled to when left, and
// the place among them the reader stands at. Visiting a document from the middle drops the ones
// ahead, as a browser does. Kept in memory only: it ends with the process.
class ReadingHistory {
public:
    struct Place {
        int64_t fileID = 0;
        double scrollY = 0;
        bool operator==(const Place &) const = default;
    };

    // The document now read; the same one again adds nothing.
    void visit(int64_t fileID);
    // Where the document now read is scrolled to.
    void noteScroll(double y);
    // Steps back or forward; the place to show, or nothing at either end.
    std::optional<Place> back();
    std::optional<Place> forward();
    bool canGoBack() const;
    bool canGoForward() const;
    // The place of the document read; absent when it was dropped and the reader stands between two.
    std::optional<size_t> current() const { return gap_ ? std::nullopt : current_; }
    const std::vector<Place> &places() const { return places_; }

    // Drops every place of the documents `keep` refuses (deleted ones); neighbours that become the
    // same document merge. When the document read goes, back leads to the place before it and
    // forward to the one after.
    void retain(const std::function<bool(int64_t)> &keep);
    void clear();

private:
    std::vector<Place> places_;
    std::optional<size_t> current_;
    std::optional<size_t> gap_; // set: the reader stands before places_[*gap_], on no place
};

} // namespace quorvel::app
