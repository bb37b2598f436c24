#pragma once

#include <exception>

namespace quorvel {

// Thrown by LocalStore::search when the caller's stop token asks it to stop: the search was
// superseded, and there is no partial answer. The store is unchanged and usable.
class SearchStopped : public std::exception {
public:
    const char *what() const noexcept override { return "search stopped"; }
};

} // namespace quorvel
