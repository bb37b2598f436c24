#include "model/AutostartEntry.hpp"

namespace quorvel::app::AutostartEntry {

namespace {

// Characters that make an Exec argument need quotes, and those that must be escaped inside them.
constexpr std::string_view reserved = " \t\n\"'\\><~|&;$*?#()`";
constexpr std::string_view escapedInQuotes = "\"`$\\";

std::string_view trimmed(std::string_view s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

} // namespace

std::string execArgument(std::string_view program) {
    // 1. Exec's own quoting.
    std::string argument;
    const bool quote = program.empty() || program.find_first_of(reserved) != std::string_view::npos;
    if (quote) argument += '"';
    for (char c : program) {
        if (quote && escapedInQuotes.find(c) != std::string_view::npos) argument += '\\';
        argument += c;
        if (c == '%') argument += '%'; // not a field code
    }
    if (quote) argument += '"';
    // 2. The string escapes every value gets, applied to the result when the file is read first.
    std::string value;
    for (char c : argument) {
        switch (c) {
        case '\\':
            value += "\\\\";
            break;
        case '\n':
            value += "\\n";
            break;
        case '\t':
            value += "\\t";
            break;
        case '\r':
            value += "\\r";
            break;
        default:
            value += c;
        }
    }
    return value;
}

std::string text(std::string_view program) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Quorvel\n"
           "Name[ko]=쿼벨\n"
           "Exec=" +
           execArgument(program) +
           "\n"
           "Icon=kr.vatsu.quorvel\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool startsAtLogin(std::string_view text) {
    bool inMainGroup = false;
    bool sawMainGroup = false;
    bool hasExec = false;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = trimmed(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.empty() || line.front() == '#') continue;
        if (line.front() == '[') {
            // Keys of other groups (actions) do not count; the main group comes once.
            inMainGroup = line == "[Desktop Entry]" && !sawMainGroup;
            sawMainGroup = sawMainGroup || inMainGroup;
            continue;
        }
        if (!inMainGroup) continue;
        const auto equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        const std::string_view key = trimmed(line.substr(0, equals));
        const std::string_view value = trimmed(line.substr(equals + 1));
        if (key == "Hidden" && value == "true") return false;
        if (key == "X-GNOME-Autostart-enabled" && value == "false") return false;
        if (key == "Exec" && !value.empty()) hasExec = true;
    }
    return sawMainGroup && hasExec;
}

} // namespace quorvel::app::AutostartEntry
