#include "CliReference.hpp"

namespace quorvel::cli::CliReference {

const std::vector<Command> &commands() {
    using C = CliOptions::Command;
    using O = Command::Operand;
    static const std::vector<Command> table = {
        {"link",
         C::link,
         O::none,
         {},
         "link this computer to your account",
         "link this computer to your account: open the printed address, approve, then paste the quorvel://link "
         "address you are sent to"},
        {"sync",
         C::sync,
         O::none,
         {},
         "bring the library up to date",
         "bring the library up to date (Ctrl-C cancels; nothing is half-applied)"},
        {"status",
         C::status,
         O::none,
         {"--json"},
         "account, documents and last sync",
         "account, document count, storage and last sync"},
        {"tree", C::tree, O::none, {"--sort", "--json"}, "folders and documents", "folders and documents"},
        {"recent", C::recent, O::none, {"--json"}, "recently viewed documents", "recently viewed documents"},
        {"search",
         C::search,
         O::query,
         {"--limit", "--json"},
         "search titles and text",
         "search titles and text (at most 100 results unless --limit says)"},
        {"show",
         C::show,
         O::documentId,
         {"--html|--text"},
         "print a document",
         "print a document as text (default) or as stored HTML"},
        {"open",
         C::open,
         O::documentId,
         {},
         "open a document in the desktop app",
         "open a document in the desktop app, starting the app when it is not running"},
        {"check",
         C::check,
         O::none,
         {"--json"},
         "verify the database and every image",
         "verify the database and every image; what is damaged is downloaded again by the next sync"},
        {"logout",
         C::logout,
         O::none,
         {},
         "unlink and erase the local library",
         "unlink on the service and erase the local library"},
        {"wipe", C::wipe, O::none, {}, "erase the local library", "erase the local library; the link stays"},
        {"help", C::help, O::none, {}, "show this help", "show this help (also -h and --help)"},
        {"version", C::version, O::none, {}, "show the version", "show the version (also --version)"},
    };
    return table;
}

const std::vector<Option> &globalOptions() {
    static const std::vector<Option> table = {
        {"--store", "DIR", {}, "library directory (default: ~/.local/share/kr.vatsu.quorvel)"},
        {"--base-url", "URL", {}, "service address (default: the one this program was built for)"},
        {"--help", "", {}, "show the help and exit"},
        {"--version", "", {}, "show the version and exit"},
    };
    return table;
}

const std::vector<Option> &commandOptions() {
    static const std::vector<Option> table = {
        {"--json", "", {}, "print JSON instead of text"},
        {"--limit", "N", {}, "at most N results, from 1 to 10000"},
        {"--sort",
         "ORDER",
         {{"name", "by name"}, {"updated", "by last change, newest first"}},
         "order documents by name or by last change (the default)"},
        {"--html", "", {}, "print the stored HTML"},
        {"--text", "", {}, "print the text (the default)"},
    };
    return table;
}

const std::vector<ExitStatus> &exitStatuses() {
    static const std::vector<ExitStatus> table = {
        {0, "success"},
        {1, "failure"},
        {2, "bad arguments"},
        {3, "sync: the service asks for an action (sign in again, upgrade, retry later)"},
        {4, "check: it found damage"},
        {130, "sync: cancelled"},
    };
    return table;
}

std::vector<std::string_view> Option::choiceValues() const {
    std::vector<std::string_view> values;
    for (const auto &c : choices)
        values.push_back(c.value);
    return values;
}

const Command *command(std::string_view name) {
    for (const auto &c : commands())
        if (c.name == name) return &c;
    return nullptr;
}

const Option *option(std::string_view name) {
    for (const auto *table : {&globalOptions(), &commandOptions()})
        for (const auto &o : *table)
            if (o.name == name) return &o;
    return nullptr;
}

std::string_view operandName(Command::Operand operand) {
    switch (operand) {
    case Command::Operand::query:
        return "QUERY";
    case Command::Operand::documentId:
        return "ID";
    case Command::Operand::none:
        break;
    }
    return {};
}

std::vector<std::string_view> optionsOf(const Command &command) {
    std::vector<std::string_view> names;
    for (std::string_view group : command.options) {
        for (size_t bar = group.find('|'); bar != std::string_view::npos; bar = group.find('|')) {
            names.push_back(group.substr(0, bar));
            group.remove_prefix(bar + 1);
        }
        names.push_back(group);
    }
    return names;
}

std::vector<std::string_view> commandsWith(std::string_view name) {
    std::vector<std::string_view> names;
    for (const auto &c : commands())
        for (auto o : optionsOf(c))
            if (o == name) names.push_back(c.name);
    return names;
}

std::string spokenList(const std::vector<std::string> &names) {
    std::string text;
    for (size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    return text;
}

std::string synopsis(const Command &command) {
    std::string text(command.name);
    if (auto operand = operandName(command.operand); !operand.empty()) text += " " + std::string(operand);
    for (std::string_view group : command.options) {
        text += " [" + std::string(group);
        if (const Option *o = option(group); o && !o->value.empty()) {
            std::string value(o->value);
            if (!o->choices.empty()) {
                value.clear();
                for (auto choice : o->choiceValues())
                    value += (value.empty() ? "" : "|") + std::string(choice);
            }
            text += " " + value;
        }
        text += "]";
    }
    return text;
}

} // namespace quorvel::cli::CliReference
