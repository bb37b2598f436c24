#include "DocumentPage.hpp"

#include <cctype>

namespace quorvel::app::DocumentPage {

const std::string_view builtInTemplate =
    "<!doctype html>\n"
    "<html lang=\"ko\"><head><meta charset=\"utf-8\">\n"
    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
    "<style>\n"
    ":root { color-scheme: light dark; }\n"
    "body { font: 16px/1.7 -apple-system, BlinkMacSystemFont, \"Apple SD Gothic Neo\", sans-serif; max-width: 860px; "
    "margin: 0 auto; padding: 32px 28px; }\n"
    "img { max-width: 100%; height: auto; }\n"
    "table { border-collapse: collapse; }\n"
    "td, th { border: 1px solid #8884; padding: 6px 10px; }\n"
    "pre { overflow: auto; }\n"
    "</style></head><body>{{CONTENT}}</body></html>";

const std::string_view policyTag =
    "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; img-src quorvel-asset: data:; "
    "style-src 'unsafe-inline'; font-src data:; script-src 'none'; base-uri 'none'; form-action 'none'\">";

const std::string_view fallbackPage =
    "<!doctype html><html lang=\"ko\"><head><meta charset=\"utf-8\">\n"
    "<style>:root{color-scheme:light dark}body{font:15px -apple-system,sans-serif;display:flex;align-items:center;"
    "justify-content:center;height:100vh;margin:0;color:#888}</style>\n"
    "</head><body>문서를 안전하게 표시할 수 없어요. 앱을 다시 실행해 주세요.</body></html>";

namespace {

// Room for one ` id="…"` an outline writes into the content.
constexpr size_t anchorRoom = 32;

char lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

// Position of `word` (lower-case ASCII) in `text` at or after `from`, ignoring ASCII case.
size_t findCaseless(std::string_view text, std::string_view word, size_t from) {
    if (word.size() > text.size()) return std::string_view::npos;
    for (size_t i = from; i + word.size() <= text.size(); ++i) {
        size_t k = 0;
        while (k < word.size() && lower(text[i + k]) == word[k])
            ++k;
        if (k == word.size()) return i;
    }
    return std::string_view::npos;
}

bool isWordChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// Every "<base" start tag, the word ending there, up to its ">", removed. A scan rather than a
// regular expression: the shell comes from the service, and backtracking engines recurse per byte.
std::string withoutBaseTags(std::string_view head) {
    std::string out;
    out.reserve(head.size());
    size_t pos = 0;
    while (true) {
        size_t at = findCaseless(head, "<base", pos);
        if (at == std::string_view::npos) break;
        size_t after = at + 5;
        if (after < head.size() && isWordChar(head[after])) {
            out.append(head.substr(pos, after - pos));
            pos = after;
            continue;
        }
        size_t close = head.find('>', after);
        if (close == std::string_view::npos) break;
        out.append(head.substr(pos, at - pos));
        pos = close + 1;
    }
    out.append(head.substr(pos));
    return out;
}

} // namespace

std::string injectCSP(std::string_view text) {
    size_t from = 0;
    while (true) {
        size_t at = findCaseless(text, "<head", from);
        if (at == std::string_view::npos) return std::string(text);
        size_t after = at + 5;
        if (after < text.size() && (text[after] == '>' || isSpace(text[after]))) {
            size_t close = text.find('>', after);
            if (close == std::string_view::npos) return std::string(text);
            std::string out;
            out.reserve(text.size() + policyTag.size());
            out.append(text.substr(0, close + 1)).append(policyTag).append(text.substr(close + 1));
            return out;
        }
        from = after;
    }
}

namespace {

std::string assemble(const std::optional<std::string> &shell, std::string_view content,
                     const std::vector<HTMLHeading> &outline) {
    std::string_view page = builtInTemplate;
    if (shell && shell->find(contentMarker) != std::string::npos) page = *shell;
    const size_t marker = page.find(contentMarker);
    const std::string head = injectCSP(withoutBaseTags(page.substr(0, marker)));
    const std::string_view tail = page.substr(marker + contentMarker.size());
    std::string out;
    out.reserve(head.size() + content.size() + outline.size() * anchorRoom + tail.size());
    out.append(head);
    HTMLOutline::appendAnchored(out, content, outline);
    out.append(tail);
    return out;
}

} // namespace

std::string build(const std::optional<std::string> &shell, std::string_view content) {
    return assemble(shell, content, {});
}

OutlinedPage buildOutlined(const std::optional<std::string> &shell, std::string_view content) {
    OutlinedPage page;
    page.outline = HTMLOutline::read(content);
    page.html = assemble(shell, content, page.outline);
    return page;
}

} // namespace quorvel::app::DocumentPage
