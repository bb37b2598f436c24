#include "SearchAnswers.hpp"

#include "util/DocumentLink.hpp"

#include <sys/stat.h>

namespace quorvel::provider {

namespace {

constexpr size_t rememberedAtMost = 1000;

std::optional<std::pair<uintmax_t, uintmax_t>> identity(const std::filesystem::path &path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    return std::pair<uintmax_t, uintmax_t>(info.st_dev, info.st_ino);
}

// Body text keeps the document's line breaks and tabs; a description is one line.
void appendOneLine(std::string &out, const std::string &text) {
    for (char c : text) {
        const bool space = static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
        if (!space)
            out += c;
        else if (!out.empty() && out.back() != ' ')
            out += ' ';
    }
}

} // namespace

SearchAnswers::SearchAnswers(std::filesystem::path libraryDirectory) : directory_(std::move(libraryDirectory)) {}

SearchAnswers::~SearchAnswers() = default;

LocalStore *SearchAnswers::store() {
    auto now = identity(directory_ / LocalStore::databaseFileName);
    if (!now) return nullptr;
    // A wipe that could not empty the database, or a rebuild, leaves a new file under the old name.
    if (!store_ || !store_->isOpen() || now != opened_) {
        store_ = std::make_unique<LocalStore>(directory_, LocalStore::ReadOnly{});
        opened_ = now;
        remembered_.clear();
    }
    return store_->isOpen() ? store_.get() : nullptr;
}

std::string SearchAnswers::description(const SearchResult &result) {
    std::string text;
    for (const auto &folder : result.folderPath)
        text += (text.empty() ? "" : " › ") + folder;
    std::string snippet;
    for (const auto &segment : result.snippet)
        appendOneLine(snippet, segment.text);
    while (!snippet.empty() && snippet.back() == ' ')
        snippet.pop_back();
    if (!text.empty() && !snippet.empty()) text += " — ";
    return text + snippet;
}

std::vector<Answer> SearchAnswers::search(const std::string &query, int limit) {
    LocalStore *library = store();
    if (!library || query.empty()) return {};
    std::vector<SearchResult> results;
    try {
        results = library->search(query, limit);
    } catch (const std::exception &) {
        // A library being rebuilt, or damaged, has no answers to give.
        return {};
    }
    if (remembered_.size() + results.size() > rememberedAtMost) remembered_.clear();
    std::vector<Answer> answers;
    for (const auto &r : results) {
        answers.push_back({r.fileId, DocumentLink::make(r.fileId), r.title, description(r)});
        remembered_[r.fileId] = answers.back();
    }
    return answers;
}

std::optional<Answer> SearchAnswers::answer(int64_t fileId) {
    LocalStore *library = store();
    if (!library) return std::nullopt;
    if (auto found = remembered_.find(fileId); found != remembered_.end()) return found->second;
    auto summary = library->summary(fileId);
    if (!summary) return std::nullopt;
    return Answer{fileId, DocumentLink::make(fileId), summary->filename, {}};
}

void SearchAnswers::forget() {
    remembered_.clear();
    store_.reset();
    opened_.reset();
}

} // namespace quorvel::provider
