#include "CliOptions.hpp"

#include "CliReference.hpp"

#include <algorithm>
#include <charconv>

namespace quorvel::cli {

namespace {

template <class T>
std::optional<T> parseNumber(const std::string &text) {
    T value{};
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// Appends `text` to `out`, broken into lines of at most `width` columns after `indent` spaces;
// the first line continues from where `column` is.
void wrap(std::string &out, std::string_view text, size_t column, size_t indent, size_t width = 98) {
    while (!text.empty()) {
        size_t room = column < width ? width - column : 0;
        size_t cut = text.size();
        if (cut > room) {
            cut = text.rfind(' ', room);
            if (cut == std::string_view::npos || cut == 0) cut = text.find(' ');
            if (cut == std::string_view::npos) cut = text.size();
        }
        out += text.substr(0, cut);
        text.remove_prefix(cut);
        while (!text.empty() && text.front() == ' ')
            text.remove_prefix(1);
        if (!text.empty()) {
            out += "\n" + std::string(indent, ' ');
            column = indent;
        }
    }
    out += "\n";
}

} // namespace

CliOptions CliOptions::parse(const std::vector<std::string> &args) {
    CliOptions options;
    std::optional<std::string> commandName;
    std::vector<std::string> positional;
    bool sawHTML = false, sawText = false, sawLimit = false, sawSort = false;

    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        // "--name value" and "--name=value" both work for options that take a value.
        auto valueOf = [&](const std::string &name) -> std::optional<std::string> {
            if (arg == name) {
                if (i + 1 >= args.size()) throw UsageError(name + " needs a value");
                return args[++i];
            }
            if (arg.rfind(name + "=", 0) == 0) return arg.substr(name.size() + 1);
            return std::nullopt;
        };
        if (auto v = valueOf("--store")) {
            if (v->empty()) throw UsageError("--store needs a directory");
            options.storeDirectory = *v;
        } else if (auto u = valueOf("--base-url")) {
            options.baseURL = *u;
        } else if (auto l = valueOf("--limit")) {
            auto n = parseNumber<int>(*l);
            if (!n || *n < 1 || *n > 10000) throw UsageError("--limit must be a number from 1 to 10000");
            options.limit = *n;
            sawLimit = true;
        } else if (auto s = valueOf("--sort")) {
            if (*s == "name")
                options.sortByName = true;
            else if (*s == "updated")
                options.sortByName = false;
            else
                throw UsageError("--sort must be \"name\" or \"updated\"");
            sawSort = true;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--html") {
            sawHTML = true;
        } else if (arg == "--text") {
            sawText = true;
        } else if (arg == "-h" || arg == "--help") {
            CliOptions help;
            help.command = Command::help;
            return help;
        } else if (arg == "--version") {
            CliOptions version;
            version.command = Command::version;
            return version;
        } else if (arg == "--") {
            positional.insert(positional.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
            break;
        } else if (arg.size() > 1 && arg[0] == '-') {
            throw UsageError("unknown option " + arg);
        } else if (!commandName) {
            commandName = arg;
        } else {
            positional.push_back(arg);
        }
    }
    if (!commandName) throw UsageError("no command given");
    const CliReference::Command *entry = CliReference::command(*commandName);
    if (!entry) throw UsageError("unknown command \"" + *commandName + "\"");
    options.command = entry->command;

    using C = Command;
    const C c = options.command;
    const auto accepted = CliReference::optionsOf(*entry);
    for (auto [name, seen] : {std::pair<std::string_view, bool>{"--json", options.json},
                              {"--limit", sawLimit},
                              {"--sort", sawSort},
                              {"--html", sawHTML},
                              {"--text", sawText}}) {
        if (seen && std::find(accepted.begin(), accepted.end(), name) == accepted.end()) {
            std::vector<std::string> names;
            for (auto command : CliReference::commandsWith(name))
                names.emplace_back(command);
            throw UsageError(std::string(name) + " works with " + CliReference::spokenList(names));
        }
    }
    if (sawHTML && sawText) throw UsageError("choose one of --html and --text");
    options.showFormat = sawHTML ? ShowFormat::html : ShowFormat::text;

    if (c == C::search) {
        if (positional.empty()) throw UsageError("search needs a query");
        // Several words without quotes still make one query.
        for (size_t i = 0; i < positional.size(); ++i)
            options.query += (i ? " " : "") + positional[i];
        positional.clear();
    } else if (entry->operand == CliReference::Command::Operand::documentId) {
        if (positional.size() != 1) throw UsageError(std::string(entry->name) + " needs one document id");
        auto id = parseNumber<int64_t>(positional[0]);
        if (!id || *id < 0) throw UsageError("\"" + positional[0] + "\" is not a document id");
        options.fileId = *id;
        positional.clear();
    }
    if (!positional.empty()) throw UsageError("unexpected argument \"" + positional[0] + "\"");
    return options;
}

std::string CliOptions::usage() {
    std::string text = "usage: quorvel-cli [--store DIR] [--base-url URL] COMMAND [ARGS]\n\n"
                       "Keeps an offline copy of your documents, the same library the desktop app keeps.\n\n"
                       "commands:\n";
    constexpr size_t column = 27;
    auto entry = [&](const std::string &name, std::string_view help) {
        text += "  " + name;
        if (name.size() + 2 < column - 1)
            text += std::string(column - 2 - name.size(), ' ');
        else
            text += "\n" + std::string(column, ' ');
        wrap(text, help, column, column);
    };
    for (const auto &c : CliReference::commands())
        entry(CliReference::synopsis(c), c.help);
    text += "\noptions:\n";
    for (const auto *table : {&CliReference::globalOptions(), &CliReference::commandOptions()})
        for (const auto &o : *table)
            entry(std::string(o.name) + (o.value.empty() ? "" : " " + std::string(o.value)), o.help);
    std::string statuses = "exit status:";
    for (const auto &s : CliReference::exitStatuses())
        statuses += (statuses.back() == ':' ? " " : "; ") + std::to_string(s.code) + " " + std::string(s.meaning);
    text += "\n";
    wrap(text, statuses + ".", 0, 0);
    return text;
}

} // namespace quorvel::cli
