#include "ProgressBar.hpp"

#include <algorithm>
#include <ostream>

namespace quorvel::cli {

namespace {

std::string bar(int64_t done, int64_t total, int width) {
    int filled = total > 0 ? static_cast<int>(std::clamp<int64_t>(done * width / total, 0, width)) : 0;
    return "[" + std::string(static_cast<size_t>(filled), '#') + std::string(static_cast<size_t>(width - filled), '.') +
           "]";
}

} // namespace

std::string ProgressBar::render(const SyncProgress &p, int width) {
    using Phase = SyncProgress::Phase;
    std::string line = std::string(phaseName(p.phase));
    line.resize(10, ' ');
    if (p.phase == Phase::documents || p.phase == Phase::images || p.phase == Phase::applying ||
        p.phase == Phase::done) {
        bool images = p.phase != Phase::documents;
        int64_t done = images ? p.imagesDone : p.documentsDone;
        int64_t total = images ? p.imagesTotal : p.documentsTotal;
        line += bar(done, total, width);
        // What an earlier, unfinished run left behind is counted as done and named as kept.
        auto kept = [](int64_t n) { return n > 0 ? " (" + std::to_string(n) + " kept)" : std::string(); };
        line += " documents " + std::to_string(p.documentsDone) + "/" + std::to_string(p.documentsTotal) +
                kept(p.documentsCached);
        line += "  images " + std::to_string(p.imagesDone) + "/" + std::to_string(p.imagesTotal) + kept(p.imagesCached);
    }
    return line;
}

void ProgressBar::update(const SyncProgress &progress) {
    std::string line = render(progress, width_);
    if (line == last_) return;
    // Pad over what a longer previous line left behind.
    std::string padded = line;
    if (last_.size() > line.size()) padded.append(last_.size() - line.size(), ' ');
    out_ << "\r" << padded << std::flush;
    last_ = std::move(line);
}

void ProgressBar::finish() {
    if (!last_.empty()) out_ << "\n" << std::flush;
    last_.clear();
}

} // namespace quorvel::cli
