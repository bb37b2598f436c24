#pragma once

#include "html/HTMLOutline.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::app {

// Turns a stored document into one self-contained page: the service's shell (or the built-in
// template) around the document's HTML, with a content-security policy that keeps the page away
// from the network and from scripts, whatever the document holds.
namespace DocumentPage {

inline constexpr std::string_view contentMarker = "{{CONTENT}}";

extern const std::string_view builtInTemplate;
extern const std::string_view policyTag;
// Shown in place of any document when the viewer could not lock itself down.
extern const std::string_view fallbackPage;

// The shell when it carries the content marker, else the built-in template, split at the first
// marker with `content` between; the head loses every <base> tag and receives the policy tag.
std::string build(const std::optional<std::string> &shell, std::string_view content);

struct OutlinedPage {
    std::string html;
    std::vector<HTMLHeading> outline;
};

// The page `build` makes, with the content's headings h1 to h3, each holding an id in the page that
// "#" plus its anchor scrolls to.
OutlinedPage buildOutlined(const std::optional<std::string> &shell, std::string_view content);

// `text` with the policy tag inserted right after its <head> start tag (not <header>); unchanged
// when there is no such tag or it is never closed.
std::string injectCSP(std::string_view text);

} // namespace DocumentPage

} // namespace quorvel::app
