#include "model/ReadingHistory.hpp"

namespace quorvel::app {

void ReadingHistory::visit(int64_t fileID) {
    if (gap_) {
        places_.resize(*gap_);
        gap_.reset();
    } else if (current_) {
        if (places_[*current_].fileID == fileID) return;
        places_.resize(*current_ + 1);
    }
    places_.push_back(Place{fileID, 0});
    current_ = places_.size() - 1;
}

void ReadingHistory::noteScroll(double y) {
    if (current_ && !gap_) places_[*current_].scrollY = y;
}

bool ReadingHistory::canGoBack() const {
    return gap_ ? *gap_ > 0 : current_ && *current_ > 0;
}

bool ReadingHistory::canGoForward() const {
    return gap_ ? *gap_ < places_.size() : current_ && *current_ + 1 < places_.size();
}

std::optional<ReadingHistory::Place> ReadingHistory::back() {
    if (!canGoBack()) return std::nullopt;
    current_ = gap_ ? *gap_ - 1 : *current_ - 1;
    gap_.reset();
    return places_[*current_];
}

std::optional<ReadingHistory::Place> ReadingHistory::forward() {
    if (!canGoForward()) return std::nullopt;
    current_ = gap_ ? *gap_ : *current_ + 1;
    gap_.reset();
    return places_[*current_];
}

void ReadingHistory::retain(const std::function<bool(int64_t)> &keep) {
    if (!current_) return;
    std::vector<Place> kept;
    std::optional<size_t> at;
    std::optional<size_t> gap = gap_;
    for (size_t i = 0; i < places_.size(); ++i) {
        if (gap_ && i == *gap_) gap = kept.size();
        const Place &place = places_[i];
        const bool reading = !gap_ && i == *current_;
        if (!keep(place.fileID)) {
            if (reading) gap = kept.size();
            continue;
        }
        if (kept.empty() || kept.back().fileID != place.fileID)
            kept.push_back(place);
        else if (reading)
            kept.back().scrollY = place.scrollY; // the merged place keeps where the reader is
        if (reading) at = kept.size() - 1;
    }
    if (gap_ && *gap_ >= places_.size()) gap = kept.size();
    places_ = std::move(kept);
    if (places_.empty()) return clear();
    if (at) {
        current_ = at;
        gap_.reset();
    } else {
        gap_ = gap;
        current_ = 0;
    }
}

void ReadingHistory::clear() {
    places_.clear();
    current_.reset();
    gap_.reset();
}

} // namespace quorvel::app
