#pragma once

#include "CliOptions.hpp"

#include <string>
#include <string_view>
#include <vector>

// Every command and option of quorvel-cli, once: the usage text, the argument checks, the manual
// page and the shell completions are all made from these tables.
namespace quorvel::cli::CliReference {

struct Choice {
    std::string_view value;
    std::string_view help;
};

struct Option {
    std::string_view name;       // "--limit"
    std::string_view value;      // its value's placeholder ("N"); empty for a flag
    std::vector<Choice> choices; // the values it accepts, when they are few
    std::string_view help;

    std::vector<std::string_view> choiceValues() const;
};

struct Command {
    // What follows the command name besides options.
    enum class Operand { none, query, documentId };

    std::string_view name;
    CliOptions::Command command;
    Operand operand = Operand::none;
    // Option names; "--html|--text" are alternatives.
    std::vector<std::string_view> options;
    std::string_view summary; // a few words, for the shells' menus
    std::string_view help;    // what the usage text and the manual say
};

struct ExitStatus {
    int code;
    std::string_view meaning;
};

const std::vector<Command> &commands();
// Options that work with every command.
const std::vector<Option> &globalOptions();
// Options that work only with the commands that list them.
const std::vector<Option> &commandOptions();
const std::vector<ExitStatus> &exitStatuses();

const Command *command(std::string_view name);
const Option *option(std::string_view name);
// "QUERY", "ID" or empty.
std::string_view operandName(Command::Operand operand);
// The commands whose options include `option`, in table order.
std::vector<std::string_view> commandsWith(std::string_view option);
// The option names of a command with the alternatives split apart.
std::vector<std::string_view> optionsOf(const Command &command);
// "a", "a and b", "a, b and c".
std::string spokenList(const std::vector<std::string> &names);
// "show ID [--html|--text]".
std::string synopsis(const Command &command);

} // namespace quorvel::cli::CliReference
