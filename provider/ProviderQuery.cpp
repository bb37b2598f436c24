#include "ProviderQuery.hpp"

#include "html/UTF8.hpp"

namespace quorvel::provider::ProviderQuery {

namespace {

class Builder {
public:
    void add(std::string_view text) {
        for (size_t i = 0; i < text.size() && !full_;) {
            const char32_t c = UTF8::next(text, i);
            if (c < 0x20 || c == 0x7F || c == U' ')
                endWord();
            else if (word_.size() < maxScalars)
                word_.push_back(c);
            else
                full_ = true; // a word that long never fits
        }
        endWord();
    }
    std::string take() {
        endWord();
        return std::move(query_);
    }

private:
    void endWord() {
        if (word_.empty() || full_) return;
        const size_t scalars = scalars_ + (words_ ? 1 : 0) + word_.size();
        if (words_ == maxWords || scalars > maxScalars) {
            full_ = true;
            return;
        }
        if (words_) query_ += ' ';
        for (char32_t c : word_)
            UTF8::append(query_, c);
        scalars_ = scalars;
        ++words_;
        word_.clear();
    }

    std::u32string word_;
    std::string query_;
    size_t words_ = 0;
    size_t scalars_ = 0;
    bool full_ = false;
};

} // namespace

std::string fromTerms(const std::vector<std::string> &terms) {
    Builder builder;
    for (const auto &t : terms)
        builder.add(t);
    return builder.take();
}

std::string fromText(std::string_view text) {
    Builder builder;
    builder.add(text);
    return builder.take();
}

} // namespace quorvel::provider::ProviderQuery
