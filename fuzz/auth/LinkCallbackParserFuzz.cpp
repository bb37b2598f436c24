#include "auth/LinkCallbackParser.hpp"

#include <cstdlib>
#include <string>
#include <string_view>
#include <variant>

// Input: the expected state, a newline, then the callback URL. Whatever the URL, the parser either
// throws LinkCallbackError or returns a result, and it never returns one without the right state.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string_view input(reinterpret_cast<const char *>(data), size);
    auto newline = input.find('\n');
    std::string_view state = newline == std::string_view::npos ? std::string_view("s") : input.substr(0, newline);
    std::string_view url = newline == std::string_view::npos ? input : input.substr(newline + 1);
    try {
        auto result = quorvel::LinkCallbackParser::parse(url, state);
        if (state.empty()) std::abort();
        if (auto code = std::get_if<quorvel::LinkCallback::Code>(&result.value); code && code->code.empty())
            std::abort();
    } catch (const quorvel::LinkCallbackError &) {
        return 0;
    }
    // Accepted, so the state in the URL is exactly this one: any other expected state is refused.
    try {
        quorvel::LinkCallbackParser::parse(url, std::string(state) + "x");
        std::abort();
    } catch (const quorvel::LinkCallbackError &error) {
        if (error.kind() != quorvel::LinkCallbackError::Kind::stateMismatch) std::abort();
    }
    return 0;
}
