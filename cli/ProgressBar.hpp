#pragma once

#include "sync/SyncProgress.hpp"

#include <iosfwd>
#include <string>

namespace quorvel::cli {

// One terminal line redrawn in place: phase, documents and images.
class ProgressBar {
public:
    explicit ProgressBar(std::ostream &out, int width = 30) : out_(out), width_(width) {}
    void update(const SyncProgress &progress);
    // Ends the line so later output starts on a fresh one.
    void finish();

    static std::string render(const SyncProgress &progress, int width);

private:
    std::ostream &out_;
    int width_;
    std::string last_;
};

} // namespace quorvel::cli
