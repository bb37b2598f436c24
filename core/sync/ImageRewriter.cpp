#include "sync/ImageRewriter.hpp"

#include "html/HTMLEntities.hpp"
#include "html/HTMLTokenizer.hpp"
#include "html/UTF8.hpp"

#include <curl/curl.h>
#include <unicode/bytestream.h>
#include <unicode/idna.h>
#include <unicode/uchar.h>

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <memory>
#include <unordered_set>

namespace quorvel {
namespace {

constexpr char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}
constexpr bool isCSSSpace(char c) {
    return c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' ';
}
constexpr int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    const char l = lower(c);
    return l >= 'a' && l <= 'f' ? l - 'a' + 10 : -1;
}
constexpr bool isLineBreak(char c) {
    return c == '\n' || c == '\r' || c == '\f';
}
constexpr bool isAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char &c : out)
        c = lower(c);
    return out;
}

bool startsWithCI(std::string_view text, std::string_view lowerPrefix) {
    if (text.size() < lowerPrefix.size()) return false;
    for (size_t k = 0; k < lowerPrefix.size(); ++k) {
        if (lower(text[k]) != lowerPrefix[k]) return false;
    }
    return true;
}

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

int defaultPort(std::string_view scheme) {
    return scheme == "http" ? 80 : 443;
}

std::string_view withoutBrackets(std::string_view host) {
    while (!host.empty() && host.front() == '[')
        host.remove_prefix(1);
    while (!host.empty() && host.back() == ']')
        host.remove_suffix(1);
    return host;
}

// Whitespace, newlines and control or format characters, as trimmed around a source.
bool isTrimmed(char32_t c) {
    if (c == UTF8::replacement) return false;
    const auto type = u_charType(static_cast<UChar32>(c));
    return u_isUWhiteSpace(static_cast<UChar32>(c)) || type == U_CONTROL_CHAR || type == U_FORMAT_CHAR;
}

// A value as a browser's URL parser starts reading it: past ASCII whitespace and C0 controls,
// but not past a NUL, which reaches it from HTML and CSS as U+FFFD.
std::string_view urlParserStart(std::string_view text) {
    while (!text.empty() && text.front() != '\0' && static_cast<unsigned char>(text.front()) <= 0x20)
        text.remove_prefix(1);
    return text;
}

std::string_view trim(std::string_view text) {
    size_t first = text.size(), last = 0;
    size_t i = 0;
    while (i < text.size()) {
        const size_t begin = i;
        if (!isTrimmed(UTF8::next(text, i))) {
            if (first == text.size()) first = begin;
            last = i;
        }
    }
    return first == text.size() ? std::string_view() : text.substr(first, last - first);
}

void appendPercent(std::string &out, unsigned char byte) {
    static constexpr char digits[] = "0123456789ABCDEF";
    out.push_back('%');
    out.push_back(digits[byte >> 4]);
    out.push_back(digits[byte & 0x0F]);
}

// Letters and digits of any script stay; so do the URL delimiters and "%", so existing
// escapes survive. Everything else is percent-encoded as UTF-8 (stray bytes as themselves).
std::string percentEncodeDisallowed(std::string_view text) {
    static constexpr std::string_view allowedPunctuation = "-._~:/?#[]@!$&'()*+,;=%";
    std::string out;
    out.reserve(text.size() + 16);
    size_t i = 0;
    while (i < text.size()) {
        const size_t begin = i;
        const char c0 = text[i];
        if (static_cast<unsigned char>(c0) < 0x80) {
            ++i;
            if (isAlnum(c0) || allowedPunctuation.find(c0) != std::string_view::npos) {
                out.push_back(c0);
            } else {
                appendPercent(out, static_cast<unsigned char>(c0));
            }
            continue;
        }
        const char32_t c = UTF8::next(text, i);
        const bool valid = !(c == UTF8::replacement && i - begin != 3);
        const bool letterOrDigit =
            valid && (U_GET_GC_MASK(static_cast<UChar32>(c)) & (U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK)) != 0;
        if (letterOrDigit) {
            out.append(text.substr(begin, i - begin));
        } else {
            for (size_t k = begin; k < i; ++k)
                appendPercent(out, static_cast<unsigned char>(text[k]));
        }
    }
    return out;
}

struct CurlURLDeleter {
    void operator()(CURLU *u) const { curl_url_cleanup(u); }
};
using CurlURL = std::unique_ptr<CURLU, CurlURLDeleter>;

std::optional<std::string> getPart(CURLU *u, CURLUPart part) {
    char *value = nullptr;
    if (curl_url_get(u, part, &value, 0) != CURLUE_OK || !value) return std::nullopt;
    std::string out(value);
    curl_free(value);
    return out;
}

bool isASCII(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Internationalised host names go on the wire as their ASCII (punycode) form.
std::optional<std::string> hostToASCII(const std::string &host) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::IDNA> idna(icu::IDNA::createUTS46Instance(UIDNA_NONTRANSITIONAL_TO_ASCII, status));
    if (U_FAILURE(status)) return std::nullopt;
    std::string out;
    icu::StringByteSink<std::string> sink(&out);
    icu::IDNAInfo info;
    idna->nameToASCII_UTF8(icu::StringPiece(host.data(), static_cast<int32_t>(host.size())), sink, info, status);
    if (U_FAILURE(status) || info.hasErrors() || out.empty() || !isASCII(out)) return std::nullopt;
    return out;
}

std::optional<ImageRewriter::ParsedURL> parseURL(const std::string &text) {
    CurlURL u(curl_url());
    if (!u || curl_url_set(u.get(), CURLUPART_URL, text.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) {
        return std::nullopt;
    }
    // A zone names an interface of this machine; no image on the network has one.
    if (getPart(u.get(), CURLUPART_ZONEID)) return std::nullopt;
    auto host = getPart(u.get(), CURLUPART_HOST);
    if (host && !isASCII(*host)) {
        auto ascii = hostToASCII(*host);
        if (!ascii || curl_url_set(u.get(), CURLUPART_HOST, ascii->c_str(), 0) != CURLUE_OK) return std::nullopt;
        host = std::move(ascii);
    }
    auto url = getPart(u.get(), CURLUPART_URL);
    if (!url) return std::nullopt;
    ImageRewriter::ParsedURL parsed;
    // Hosts arrive percent-decoded; a control character or space in one is no host.
    if (host && std::any_of(host->begin(), host->end(), [](char c) {
            return static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) == 0x7F;
        })) {
        return std::nullopt;
    }
    // Only path, query, fragment and user info can still hold non-ASCII bytes here.
    for (char c : *url) {
        if (static_cast<unsigned char>(c) < 0x80) {
            parsed.text.push_back(c);
        } else {
            appendPercent(parsed.text, static_cast<unsigned char>(c));
        }
    }
    parsed.scheme = lowered(getPart(u.get(), CURLUPART_SCHEME).value_or(""));
    parsed.host = lowered(withoutBrackets(host.value_or("")));
    if (auto port = getPart(u.get(), CURLUPART_PORT)) {
        int value = 0;
        if (std::from_chars(port->data(), port->data() + port->size(), value).ec == std::errc()) parsed.port = value;
    }
    return parsed;
}

// curl reads a host as a number before it decodes its escapes: "https://%38" comes out as
// "https://8/", which the next reading (the fetcher's) takes for 0.0.0.8, and an escaped
// "2130706433" would pass the private-host check as a name and be fetched from 127.0.0.1.
// So the text is read again until it stays as it is, and only that text is checked and used.
std::optional<ImageRewriter::ParsedURL> normalizeParsed(std::string_view url) {
    auto parsed = parseURL(percentEncodeDisallowed(url));
    for (int reading = 0; parsed && reading < 3; ++reading) {
        auto again = parseURL(parsed->text);
        if (!again || again->text == parsed->text) return again;
        parsed = std::move(again);
    }
    return std::nullopt;
}

bool isPrivateIPv6(std::string_view host) {
    if (host == "::1" || host == "::") return true;
    if (host.starts_with("fc") || host.starts_with("fd") || host.starts_with("fe80") || host.starts_with("::ffff:")) {
        return true;
    }
    // The same ranges however the address is spelled ("0:0::1", "0::ffff:7f00:1", "fe9f::").
    std::array<unsigned char, 16> a{};
    const std::string text(host.substr(0, host.find('%'))); // zone id
    if (inet_pton(AF_INET6, text.c_str(), a.data()) != 1) return false;
    const bool upperZero = std::all_of(a.begin(), a.begin() + 10, [](unsigned char b) { return b == 0; });
    if (upperZero && a[10] == 0xFF && a[11] == 0xFF) return true; // IPv4-mapped
    if (upperZero && a[10] == 0 && a[11] == 0) return true;       // ::, ::1, IPv4-compatible
    if ((a[0] & 0xFE) == 0xFC) return true;                       // unique local
    if (a[0] == 0xFE && (a[1] & 0xC0) == 0x80) return true;       // link local
    return false;
}

std::optional<std::array<int, 4>> dottedQuad(std::string_view host) {
    std::array<int, 4> octets{};
    size_t part = 0;
    size_t i = 0;
    while (true) {
        if (part == 4) return std::nullopt;
        const size_t begin = i;
        int value = 0;
        while (i < host.size() && host[i] >= '0' && host[i] <= '9') {
            value = value * 10 + (host[i] - '0');
            if (value > 255) return std::nullopt;
            ++i;
        }
        if (i == begin) return std::nullopt;
        octets[part++] = value;
        if (i == host.size()) break;
        if (host[i] != '.') return std::nullopt;
        ++i;
    }
    if (part != 4) return std::nullopt;
    return octets;
}

// How one reference is to be written back.
struct Mapped {
    enum class Kind { keep, remove, replace } kind;
    std::string value;
};

// The state one rewrite call shares across all the references it maps.
class ReferenceMapper {
public:
    ReferenceMapper(const ImageRewriter &rewriter, const ImageRewriter::AssetHashes &hashes)
        : rewriter_(rewriter), hashes_(hashes) {}

    Mapped map(std::string_view source) {
        auto resolution = rewriter_.classify(source);
        if (std::holds_alternative<ImageSourceKeep>(resolution)) return {Mapped::Kind::keep, {}};
        if (std::holds_alternative<ImageSourceRemove>(resolution)) return {Mapped::Kind::remove, {}};
        std::string &url = std::get<ImageSourceDownload>(resolution).url;
        if (seen_.insert(url).second) downloads.push_back(url);
        if (auto hash = hashes_.find(url); hash != hashes_.end()) {
            return {Mapped::Kind::replace, std::string(ImageRewriter::assetScheme) + hash->second};
        }
        if (missingSeen_.insert(url).second) missing.push_back(std::move(url));
        return {Mapped::Kind::replace, std::string(ImageRewriter::missingToken)};
    }

    std::vector<std::string> downloads;
    std::vector<std::string> missing;

private:
    const ImageRewriter &rewriter_;
    const ImageRewriter::AssetHashes &hashes_;
    std::unordered_set<std::string> seen_;
    std::unordered_set<std::string> missingSeen_;
};

// Rewrites the url(...) references of a style sheet or style attribute; absent when
// nothing changed.
class CSSRewriter {
public:
    CSSRewriter(std::string_view css, ReferenceMapper &mapper) : css_(css), mapper_(mapper) {}

    std::optional<std::string> run() {
        const size_t n = css_.size();
        size_t i = 0;
        while (i < n) {
            const char c = css_[i];
            // Whitespace and comments between "@import" and its target leave the rule pending.
            const bool afterImport = importPending_;
            importPending_ = false;
            if (c == '/' && i + 1 < n && css_[i + 1] == '*') {
                const size_t close = css_.find("*/", i + 2);
                if (close == std::string_view::npos) break;
                importPending_ = afterImport;
                i = close + 2;
            } else if (isCSSSpace(c)) {
                importPending_ = afterImport;
                ++i;
            } else if (c == '"' || c == '\'') {
                i = string(i, afterImport);
            } else if (c == '@') {
                const Word word = readWord(i + 1);
                importPending_ = word.name == "import";
                i = std::max(word.end, i + 1);
            } else if (startsWord(i)) {
                const Word word = readWord(i);
                i = word.end;
                if (i < n && css_[i] == '(') {
                    if (word.name == "url") {
                        i = reference(word.start, i + 1, afterImport);
                        continue;
                    }
                    if (word.name == "image-set" || word.name == "-webkit-image-set") imageSets_.push_back(depth_);
                    ++depth_;
                    ++i;
                }
            } else if (c == '(') {
                ++depth_;
                ++i;
            } else if (c == ')') {
                if (depth_ > 0) --depth_;
                if (!imageSets_.empty() && imageSets_.back() == depth_) imageSets_.pop_back();
                ++i;
            } else {
                // A backslash before a line break escapes nothing.
                ++i;
            }
        }
        if (!changed_) return std::nullopt;
        out_.append(css_.substr(copied_));
        return std::move(out_);
    }

private:
    // A string outside a reference is skipped whole, so comment markers or "url(" inside
    // it mean nothing; one that a line break cuts is skipped up to it. The end of the text
    // closes a string too, but only one that loads is taken as closed there (a string that
    // "@import" names, or one directly inside image-set(), is a reference of its own); the
    // rest of an unclosed one is scanned as if there were no quote.
    size_t string(size_t open, bool afterImport) {
        const char quote = css_[open];
        size_t j = open + 1;
        while (j < css_.size()) {
            const char c = css_[j];
            if (c == quote) break;
            // A bad string: a parser drops it up to the line break, whatever it holds.
            if (isLineBreak(c)) return j;
            j += c == '\\' ? 2 : 1;
        }
        const bool inImageSet = !imageSets_.empty() && imageSets_.back() + 1 == depth_;
        // The end of the style sheet closes a string as it closes a url().
        if (j >= css_.size() && !(afterImport || inImageSet)) return open + 1;
        const size_t end = std::min(j + 1, css_.size());
        if (afterImport) {
            replace(open, end, "none");
        } else if (inImageSet) {
            const std::string_view value = css_.substr(open + 1, std::min(j, css_.size()) - open - 1);
            Mapped mapped = mapper_.map(value);
            if (mapped.kind == Mapped::Kind::remove) {
                replace(open, end, "none");
            } else if (mapped.kind == Mapped::Kind::replace && mapped.value != value) {
                replace(open, end, "url(" + mapped.value + ")");
            }
        }
        return end;
    }

    // A name, its escapes read as a style sheet parser reads them ("\\75 rl(" and "u\\rl(" are
    // "url(" too), lower-cased; only ASCII letters matter, others stand as "?".
    struct Word {
        std::string name;
        size_t start;
        size_t end;
    };

    // Every non-ASCII character is a name character, and so is U+FFFD, what a stray byte reads
    // as: "éurl(" is a function of another name, and so is what it becomes once repaired.
    static bool isNameChar(char c) {
        return isAlnum(c) || c == '-' || c == '_' || static_cast<unsigned char>(c) >= 0x80;
    }

    bool isWordByte(size_t i) const {
        const char c = css_[i];
        return isNameChar(c) || (c == '\\' && i + 1 < css_.size() && !isLineBreak(css_[i + 1]));
    }

    // Where a name starts: not inside a longer one, which a name character before it would
    // continue. Other bytes before it end any name.
    bool startsWord(size_t i) const {
        if (!isWordByte(i)) return false;
        return i == 0 || !isNameChar(css_[i - 1]);
    }

    Word readWord(size_t start) const {
        Word word{std::string(), start, start};
        size_t &i = word.end;
        while (i < css_.size() && isWordByte(i)) {
            if (css_[i] != '\\') {
                word.name.push_back(lower(css_[i++]));
                continue;
            }
            ++i;
            size_t hex = 0;
            uint32_t value = 0;
            for (int digit; hex < 6 && i < css_.size() && (digit = hexDigit(css_[i])) >= 0; ++hex, ++i)
                value = value * 16 + static_cast<uint32_t>(digit);
            if (hex > 0) {
                if (i + 1 < css_.size() && css_[i] == '\r' && css_[i + 1] == '\n') {
                    i += 2;
                } else if (i < css_.size() && isCSSSpace(css_[i])) {
                    ++i;
                }
                const char ascii = value < 0x80 ? static_cast<char>(value) : '?';
                word.name.push_back(lower(ascii));
            } else {
                // Any other escaped character stands for itself (a UTF-8 sequence whole).
                const char escaped = css_[i];
                word.name.push_back(static_cast<unsigned char>(escaped) < 0x80 ? lower(escaped) : '?');
                ++i;
                while (i < css_.size() && (static_cast<unsigned char>(css_[i]) & 0xC0) == 0x80)
                    ++i;
            }
        }
        return word;
    }

    bool followsImport(size_t i) const {
        size_t k = i;
        while (k > 0 && isCSSSpace(css_[k - 1]))
            --k;
        return k >= 7 && startsWithCI(css_.substr(k - 7, 7), "@import");
    }

    // Handles the reference whose name starts at i and whose "(" ends before `open`; returns
    // where scanning goes on. A reference cut off by the end of the input still counts, as it
    // does for a browser.
    size_t reference(size_t i, size_t open, bool afterImport) {
        const size_t n = css_.size();
        size_t p = open;
        while (p < n && isCSSSpace(css_[p]))
            ++p;
        size_t valueStart, valueEnd, end;
        // Where a browser ends an unquoted value: at the first ")", nesting or not.
        size_t firstClose = n;
        if (p < n && (css_[p] == '"' || css_[p] == '\'')) {
            const char quote = css_[p];
            size_t j = p + 1;
            while (j < n && css_[j] != quote) {
                // A line break ends a CSS string as a bad one, and the url() with it.
                if (css_[j] == '\n' || css_[j] == '\r' || css_[j] == '\f') return i + 1;
                j += css_[j] == '\\' ? 2 : 1;
            }
            valueStart = p + 1;
            if (j >= n) {
                valueEnd = end = n;
            } else {
                valueEnd = j;
                size_t k = j + 1;
                while (k < n && isCSSSpace(css_[k]))
                    ++k;
                if (k < n && css_[k] != ')') return i + 1; // not a reference
                end = std::min(k + 1, n);
            }
        } else {
            int depth = 1;
            size_t j = p;
            while (j < n) {
                const char c = css_[j];
                if (c == '\\') {
                    j += 2;
                    continue;
                }
                if (c == '(') ++depth;
                if (c == ')' && firstClose == n) firstClose = j;
                if (c == ')' && --depth == 0) break;
                ++j;
            }
            j = std::min(j, n);
            valueStart = p;
            valueEnd = j;
            while (valueEnd > valueStart && isCSSSpace(css_[valueEnd - 1]))
                --valueEnd;
            end = std::min(j + 1, n);
        }
        if (afterImport || followsImport(i)) {
            replace(i, end, "none");
            return end;
        }
        Mapped mapped = mapper_.map(css_.substr(valueStart, valueEnd - valueStart));
        switch (mapped.kind) {
        case Mapped::Kind::keep:
            // A kept value that a browser cuts short leaves the rest to be read as CSS
            // (and any url() in it loaded), so the scan goes on from there.
            return std::min(end, firstClose + 1);
        case Mapped::Kind::remove:
            replace(i, end, "none");
            break;
        case Mapped::Kind::replace:
            if (mapped.value != css_.substr(valueStart, valueEnd - valueStart)) {
                replace(i, end, "url(" + mapped.value + ")");
            }
            break;
        }
        return end;
    }

    // Line breaks inside the replaced text stay: one may end a string that began before it
    // (a string cut by a line break is a bad one that browsers drop, with its url()).
    void replace(size_t start, size_t end, std::string_view with) {
        out_.append(css_.substr(copied_, start - copied_));
        out_.append(with);
        bool lineBreak = false;
        for (size_t k = start; k < end; ++k) {
            if (css_[k] == '\n' || css_[k] == '\r' || css_[k] == '\f') {
                out_.push_back(css_[k]);
                lineBreak = true;
            }
        }
        // "none" where a reference ended would run into a name or "(" right after it ("none" and
        // "url(" read "noneurl("), and the rest would read differently; a comment keeps them apart
        // without adding a token.
        if (!lineBreak && !with.empty() && isNameChar(with.back()) && end < css_.size() &&
            (isWordByte(end) || css_[end] == '('))
            out_.append("/**/");
        copied_ = end;
        changed_ = true;
    }

    std::string_view css_;
    ReferenceMapper &mapper_;
    bool importPending_ = false;
    // Open parentheses, and the depths at which image-set() lists were opened.
    size_t depth_ = 0;
    std::vector<size_t> imageSets_;
    std::string out_;
    size_t copied_ = 0;
    bool changed_ = false;
};

struct Edit {
    size_t start;
    size_t end;
    std::string replacement;
};

std::string quotedAttribute(std::string_view name, std::string_view value) {
    std::string out(name);
    out += "=\"";
    out += HTMLEntities::encodeAttribute(value);
    out += '"';
    return out;
}

} // namespace

ImageRewriter::ImageRewriter(std::string baseURL) : baseURL_(std::move(baseURL)) {
    auto parsed = parseURL(baseURL_);
    originScheme_ = parsed && !parsed->scheme.empty() ? parsed->scheme : "https";
    originHost_ = parsed ? parsed->host : std::string();
    originPort_ = parsed && parsed->port ? *parsed->port : defaultPort(originScheme_);
    const bool bracketed = originHost_.find(':') != std::string::npos;
    originString_.append(originScheme_).append("://");
    originString_.append(bracketed ? "[" : "").append(originHost_).append(bracketed ? "]" : "");
    const bool defaultForScheme =
        (originScheme_ == "http" && originPort_ == 80) || (originScheme_ == "https" && originPort_ == 443);
    if (!defaultForScheme) originString_.append(":").append(std::to_string(originPort_));
}

std::optional<std::string> ImageRewriter::normalize(std::string_view url) {
    auto parsed = normalizeParsed(url);
    if (!parsed) return std::nullopt;
    return std::move(parsed->text);
}

bool ImageRewriter::isPrivateHost(std::string_view rawHost) {
    std::string host = lowered(withoutBrackets(rawHost));
    // "localhost." names the same machine as "localhost".
    if (!host.empty() && host.back() == '.') host.pop_back();
    if (host == "localhost" || endsWith(host, ".localhost") || endsWith(host, ".local") ||
        endsWith(host, ".internal") || endsWith(host, ".lan")) {
        return true;
    }
    if (host.find(':') != std::string::npos) return isPrivateIPv6(host);
    auto octets = dottedQuad(host);
    if (!octets) return false;
    const int a = (*octets)[0], b = (*octets)[1];
    return a == 0 || a == 10 || a == 127 || a >= 224 || (a == 100 && b >= 64 && b <= 127) || (a == 169 && b == 254) ||
           (a == 172 && b >= 16 && b <= 31) || (a == 192 && b == 168);
}

bool ImageRewriter::isSameOrigin(const ParsedURL &url) const {
    if (url.scheme.empty() || url.host.empty()) return false;
    return url.scheme == originScheme_ && url.host == originHost_ &&
           url.port.value_or(defaultPort(url.scheme)) == originPort_;
}

bool ImageRewriter::isSameOrigin(std::string_view url) const {
    auto parsed = parseURL(std::string(url));
    return parsed && isSameOrigin(*parsed);
}

ImageSourceResolution ImageRewriter::classify(std::string_view src) const {
    const std::string_view trimmed = trim(src);
    if (trimmed.empty()) return ImageSourceRemove{};
    // A kept value goes out as written, so it has to be local as a browser reads it: with
    // U+00A0, U+200B or NUL in front, "data:..." is a document-relative URL, a request.
    // Already rewritten sources are kept too, so that rewriting again does not undo them.
    const std::string_view asRead = urlParserStart(src);
    if (startsWithCI(asRead, "data:") || startsWithCI(asRead, assetScheme)) return ImageSourceKeep{};
    if (startsWithCI(trimmed, "data:") || startsWithCI(trimmed, assetScheme)) return ImageSourceRemove{};
    std::string candidate;
    if (trimmed.starts_with("//")) {
        candidate = "https:";
        candidate += trimmed;
    } else if (trimmed.starts_with("/")) {
        // "/\host" is read as another host by browsers; without a base host there is no origin.
        if (trimmed.starts_with("/\\") || originHost_.empty()) return ImageSourceRemove{};
        candidate = originString_;
        candidate += trimmed;
    } else if (startsWithCI(trimmed, "https://") || startsWithCI(trimmed, "http://")) {
        candidate = trimmed;
    } else {
        return ImageSourceRemove{};
    }
    auto parsed = normalizeParsed(candidate);
    if (!parsed || parsed->host.empty()) return ImageSourceRemove{};
    if (isSameOrigin(*parsed)) return ImageSourceDownload{std::move(parsed->text)};
    if (parsed->scheme != "https" || isPrivateHost(parsed->host)) return ImageSourceRemove{};
    return ImageSourceDownload{std::move(parsed->text)};
}

ImageRewriteResult ImageRewriter::rewrite(std::string_view html, const AssetHashes &assetHashes) const {
    ReferenceMapper mapper(*this, assetHashes);
    std::vector<Edit> edits;
    auto value = [&](const HTMLAttribute &attr) {
        return html.substr(attr.valueRange->start, attr.valueRange->size());
    };
    // Deletes an attribute with the gap before it, so that the rest of the tag reads as
    // before. Stray "=" signs right after it go too (with no value before them to be stray
    // after, they would become the value of the attribute in front), and when anything but
    // whitespace or ">" follows, a space stays, or the tag name or a value in front would
    // run on into the next attribute.
    auto removal = [&](const HTMLAttribute &attr) {
        size_t end = attr.end;
        for (size_t k = attr.end; k < html.size() && (isCSSSpace(html[k]) || html[k] == '='); ++k) {
            if (html[k] == '=') end = k + 1;
        }
        const bool separated = end >= html.size() || isCSSSpace(html[end]) || html[end] == '>';
        return Edit{attr.leadingStart, end, separated ? std::string() : std::string(" ")};
    };
    HTMLTokenizer::tokenize(html, [&](const HTMLToken &token) {
        if (const auto *raw = std::get_if<HTMLRawTextToken>(&token)) {
            if (raw->name != "style") return;
            if (auto css = CSSRewriter(html.substr(raw->range.start, raw->range.size()), mapper).run()) {
                edits.push_back({raw->range.start, raw->range.end, std::move(*css)});
            }
            return;
        }
        const auto *tag = std::get_if<HTMLTag>(&token);
        if (!tag || tag->isEnd) return;
        // Browsers build an img from an "image" start tag.
        const bool img = tag->name == "img" || tag->name == "image";
        const bool source = tag->name == "source";
        for (const auto &attr : tag->attrs) {
            if (img && attr.name == "src" && attr.valueRange) {
                const std::string decoded = HTMLEntities::decode(value(attr));
                Mapped mapped = mapper.map(decoded);
                if (mapped.kind == Mapped::Kind::remove) {
                    edits.push_back(removal(attr));
                } else if (mapped.kind == Mapped::Kind::replace && mapped.value != decoded) {
                    edits.push_back({attr.start, attr.end, quotedAttribute("src", mapped.value)});
                }
            } else if ((img || source) && attr.name == "srcset") {
                edits.push_back(removal(attr));
            } else if (attr.name == "style" && attr.valueRange) {
                const std::string decoded = HTMLEntities::decode(value(attr));
                if (auto css = CSSRewriter(decoded, mapper).run()) {
                    edits.push_back({attr.start, attr.end, quotedAttribute("style", *css)});
                }
            }
        }
    });

    std::stable_sort(edits.begin(), edits.end(), [](const Edit &a, const Edit &b) { return a.start < b.start; });
    std::string out;
    out.reserve(html.size() + 64 * edits.size());
    size_t copied = 0;
    for (const auto &edit : edits) {
        if (edit.start < copied) continue;
        out.append(html.substr(copied, edit.start - copied));
        out.append(edit.replacement);
        copied = edit.end;
    }
    out.append(html.substr(copied));
    return {UTF8::repaired(std::move(out)), std::move(mapper.downloads), std::move(mapper.missing)};
}

} // namespace quorvel
