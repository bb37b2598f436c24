#include "html/HTMLOutline.hpp"

#include "html/HTMLEntities.hpp"
#include "html/HTMLText.hpp"
#include "html/HTMLTokenizer.hpp"

#include <cstring>
#include <unordered_set>

namespace quorvel::HTMLOutline {

namespace {

// A heading's text is read from at most this many bytes after its start tag.
constexpr size_t longestHeading = 4096;
constexpr std::string_view anchorPrefix = "quorvel-heading-";

// Elements whose content a browser takes as text up to their end tag (the tokenizer knows script
// and style itself); a heading tag in one is no heading, and writing an id into it would show.
bool isTextOnly(std::string_view name) {
    return name == "textarea" || name == "title" || name == "xmp" || name == "iframe" || name == "noembed" ||
           name == "noframes";
}

// 1 to 6 for a heading element, else 0.
int headingLevel(std::string_view name) {
    return name.size() == 2 && name[0] == 'h' && name[1] >= '1' && name[1] <= '6' ? name[1] - '0' : 0;
}

// The first attribute of that name: the one a browser keeps.
const HTMLAttribute *attribute(const HTMLTag &tag, std::string_view name) {
    for (const auto &attr : tag.attrs)
        if (attr.name == name) return &attr;
    return nullptr;
}

// Where reading can stop: past the last "<h1", "<h2" or "<h3" that could start a tag and as much
// text as a heading takes; nothing after a heading matters to those before it.
size_t readingEnd(std::string_view html) {
    for (size_t end = html.size(); end > 0;) {
        const void *hit = memrchr(html.data(), '<', end);
        if (!hit) break;
        const size_t at = static_cast<size_t>(static_cast<const char *>(hit) - html.data());
        end = at;
        if (at + 3 >= html.size() || (html[at + 1] | 0x20) != 'h' || html[at + 2] < '1' || html[at + 2] > '3') continue;
        const auto tag = HTMLTokenizer::parseTag(html, at, at + 1, false);
        if (tag && tag->name.size() == 2) return std::min(html.size(), tag->end + longestHeading + 1);
    }
    return 0;
}

class Reader {
public:
    // `partial`: `html` is the start of a document, read as far as the end of its last heading.
    Reader(std::string_view html, bool partial) : html_(html), partial_(partial) {}

    std::vector<HTMLHeading> run() {
        HTMLTokenizer::tokenize(html_, [this](const HTMLToken &token) { take(token); });
        if (partial_ && open_) cutShort_ = true;
        close(html_.size());
        return std::move(headings_);
    }

    // A heading ran on to the end of the start read: what follows may change it.
    bool cutShort() const { return cutShort_; }

private:
    struct Open {
        int level;
        size_t contentStart;
        bool hidden;
        std::string anchor;
        std::optional<size_t> anchorAt;
    };

    void take(const HTMLToken &token) {
        if (stopped_) return;
        const ByteRange range = tokenRange(token);
        // The start read ends in a heading, or in a tag it cannot close (the whole may).
        if (partial_ && range.end == html_.size() &&
            (open_ || (std::holds_alternative<HTMLTextToken>(token) &&
                       html_.substr(range.start).find('<') != std::string_view::npos)))
            cutShort_ = true;
        if (open_ && range.end - open_->contentStart > longestHeading) {
            size_t cut = range.start;
            if (std::holds_alternative<HTMLTextToken>(token)) {
                cut = open_->contentStart + longestHeading;
                while (cut > range.start && (static_cast<unsigned char>(html_[cut]) & 0xC0) == 0x80)
                    --cut;
            }
            close(cut);
        }
        const auto *tag = std::get_if<HTMLTag>(&token);
        if (!tag) return;
        if (!textOnly_.empty()) {
            if (tag->isEnd && tag->name == textOnly_) textOnly_.clear();
        } else if (tag->isEnd) {
            endTag(*tag);
        } else {
            startTag(*tag);
        }
    }

    void endTag(const HTMLTag &tag) {
        if (tag.name == "template") {
            if (templates_ > 0) --templates_;
        } else if (tag.name == "svg" || tag.name == "math") {
            if (foreign_ > 0) --foreign_;
        } else if (open_ && (headingLevel(tag.name) || HTMLText::isBlockTag(tag.name))) {
            close(tag.start);
        }
    }

    void startTag(const HTMLTag &tag) {
        if (tag.name == "plaintext" && foreign_ == 0) {
            // Everything after it is text.
            close(tag.start);
            stopped_ = true;
            return;
        }
        const int level = headingLevel(tag.name);
        if (level) close(tag.start);
        // Template content is no part of the page, so its ids are not found by "#" links.
        std::string id;
        if (const HTMLAttribute *attr = templates_ == 0 ? attribute(tag, "id") : nullptr; attr && attr->valueRange)
            id = HTMLEntities::decode(html_.substr(attr->valueRange->start, attr->valueRange->size()));
        if (level >= 1 && level <= 3 && templates_ == 0 && foreign_ == 0) open(tag, level, id);
        if (!id.empty()) seen_.insert(std::move(id));
        if (tag.name == "template") {
            ++templates_;
        } else if ((tag.name == "svg" || tag.name == "math") && !tag.selfClosing) {
            ++foreign_;
        } else if (foreign_ == 0 && isTextOnly(tag.name)) {
            textOnly_ = tag.name;
        }
    }

    void open(const HTMLTag &tag, int level, const std::string &id) {
        ++ordinal_;
        Open heading{level, tag.end, attribute(tag, "hidden") != nullptr, {}, {}};
        // "#" finds the first element holding an id; a heading preceded by its id's twin is given another.
        if (!id.empty() && !seen_.contains(id)) {
            heading.anchor = id;
        } else {
            const std::string base = std::string(anchorPrefix) + std::to_string(ordinal_);
            heading.anchor = base;
            for (int k = 2; seen_.contains(heading.anchor); ++k)
                heading.anchor = base + "-" + std::to_string(k);
            seen_.insert(heading.anchor);
            heading.anchorAt = tag.start + 1 + tag.name.size();
        }
        open_ = std::move(heading);
    }

    void close(size_t end) {
        if (!open_) return;
        Open heading = std::move(*open_);
        open_.reset();
        if (heading.hidden || end <= heading.contentStart) return;
        std::string text = HTMLText::extract(html_.substr(heading.contentStart, end - heading.contentStart));
        if (text.empty()) return;
        headings_.push_back({heading.level, std::move(text), std::move(heading.anchor), heading.anchorAt});
    }

    std::string_view html_;
    std::vector<HTMLHeading> headings_;
    std::optional<Open> open_;
    std::unordered_set<std::string> seen_;
    std::string textOnly_; // the element whose end tag ends text-only content
    int templates_ = 0;
    int foreign_ = 0;
    int ordinal_ = 0;
    bool stopped_ = false;
    bool partial_;
    bool cutShort_ = false;
};

} // namespace

std::vector<HTMLHeading> read(std::string_view html) {
    const size_t end = readingEnd(html);
    if (end < html.size()) {
        Reader start(html.substr(0, end), true);
        auto headings = start.run();
        if (!start.cutShort()) return headings;
    }
    return readWhole(html);
}

std::vector<HTMLHeading> readWhole(std::string_view html) {
    return Reader(html, false).run();
}

void appendAnchored(std::string &out, std::string_view html, const std::vector<HTMLHeading> &headings) {
    size_t copied = 0;
    for (const auto &heading : headings) {
        if (!heading.anchorAt || *heading.anchorAt < copied || *heading.anchorAt > html.size()) continue;
        out.append(html.substr(copied, *heading.anchorAt - copied)).append(" id=\"").append(heading.anchor);
        out.push_back('"');
        copied = *heading.anchorAt;
    }
    out.append(html.substr(copied));
}

} // namespace quorvel::HTMLOutline
