#pragma once

#include <string>
#include <string_view>

namespace quorvel::cli::ManualPage {

// quorvel-cli(1) in roff (the man macros), its commands and options from CliReference.
std::string render(std::string_view version);

// `text` as roff prose: backslashes and hyphens escaped, and no line read as a request.
std::string escaped(std::string_view text);

} // namespace quorvel::cli::ManualPage
