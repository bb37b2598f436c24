#include "ShellCompletion.hpp"

#include "CliReference.hpp"

namespace quorvel::cli::ShellCompletion {

namespace {

using namespace CliReference;

// Pairs each document's id with its title in `quorvel-cli tree --json`, whose objects list their
// keys in order, one a line: "filename", then "id", then "type".
constexpr const char *documentsAwk =
    R"('/^ *"filename": "/ { t = $0; sub(/^ *"filename": "/, "", t); sub(/",?$/, "", t) } )"
    R"(/^ *"id": [0-9]+,?$/ { id = $0; gsub(/[^0-9]/, "", id) } )"
    R"(/^ *"type": "document"/ { print id "\t" t }')";

// Where the library is unless --store says: a completion must not create one.
constexpr const char *defaultLibrary = "${XDG_DATA_HOME:-$HOME/.local/share}/kr.vatsu.quorvel";

std::string join(const std::vector<std::string_view> &words, std::string_view separator = " ") {
    std::string text;
    for (auto w : words)
        text += (text.empty() ? "" : std::string(separator)) + std::string(w);
    return text;
}

std::string commandNames() {
    std::vector<std::string_view> names;
    for (const auto &c : commands())
        names.push_back(c.name);
    return join(names);
}

std::string optionNames(const std::vector<Option> &table) {
    std::vector<std::string_view> names;
    for (const auto &o : table)
        names.push_back(o.name);
    return join(names);
}

// Options but --store whose next word is their value, which is neither a command nor an operand.
std::string valueOptions(std::string_view separator) {
    std::vector<std::string_view> names;
    for (const auto *table : {&globalOptions(), &commandOptions()})
        for (const auto &o : *table)
            if (!o.value.empty() && o.name != "--store") names.push_back(o.name);
    return join(names, separator);
}

std::string documentCommands(std::string_view separator) {
    std::vector<std::string_view> names;
    for (const auto &c : commands())
        if (c.operand == Command::Operand::documentId) names.push_back(c.name);
    return join(names, separator);
}

// Inside single quotes.
std::string quoted(std::string_view text) {
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

const char *header = "# Made from quorvel-cli's own tables of commands and options.\n";

} // namespace

std::string bash() {
    std::string s = "# bash completion for quorvel-cli\n";
    s += header;
    s += "_quorvel_cli_documents() {\n"
         "    local library=$1\n"
         "    [[ -n $library ]] || library=" +
         std::string(defaultLibrary) +
         "\n"
         "    [[ -e $library/store.sqlite ]] || return\n"
         "    quorvel-cli --store \"$library\" tree --sort name --json 2>/dev/null | awk " +
         documentsAwk +
         " | cut -f1\n"
         "}\n\n"
         "_quorvel_cli() {\n"
         "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}\n"
         "    local command='' library='' operands=0 i\n"
         "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
         "        case ${COMP_WORDS[i]} in\n"
         "        --store) library=${COMP_WORDS[i + 1]/#\\~/$HOME}; ((i++)) ;;\n"
         "        " +
         valueOptions("|") +
         ") ((i++)) ;;\n"
         "        -*) ;;\n"
         "        *) if [[ -z $command ]]; then command=${COMP_WORDS[i]}; else ((operands++)); fi ;;\n"
         "        esac\n"
         "    done\n"
         "    case $prev in\n"
         "    --store) COMPREPLY=($(compgen -d -- \"$cur\")); return ;;\n";
    for (const auto *table : {&globalOptions(), &commandOptions()})
        for (const auto &o : *table) {
            if (o.value.empty() || o.name == "--store") continue;
            s += "    " + std::string(o.name) + ") ";
            s += o.choices.empty()
                     ? "return ;;\n"
                     : "COMPREPLY=($(compgen -W " + quoted(join(o.choiceValues())) + " -- \"$cur\")); return ;;\n";
        }
    s += "    esac\n"
         "    local global=" +
         quoted(optionNames(globalOptions())) +
         "\n"
         "    if [[ -z $command ]]; then\n"
         "        if [[ $cur == -* ]]; then COMPREPLY=($(compgen -W \"$global\" -- \"$cur\")); else "
         "COMPREPLY=($(compgen "
         "-W " +
         quoted(commandNames()) +
         " -- \"$cur\")); fi\n"
         "        return\n"
         "    fi\n"
         "    local options=''\n"
         "    case $command in\n";
    for (const auto &c : commands())
        if (!c.options.empty()) s += "    " + std::string(c.name) + ") options=" + quoted(join(optionsOf(c))) + " ;;\n";
    s += "    esac\n"
         "    if [[ $cur == -* ]]; then\n"
         "        COMPREPLY=($(compgen -W \"$options $global\" -- \"$cur\"))\n"
         "    elif ((operands == 0)); then\n"
         "        case $command in\n"
         "        " +
         documentCommands("|") +
         ") COMPREPLY=($(compgen -W \"$(_quorvel_cli_documents \"$library\")\" -- \"$cur\")) ;;\n"
         "        esac\n"
         "    fi\n"
         "}\n\n"
         "complete -F _quorvel_cli quorvel-cli\n";
    return s;
}

// Names of zsh's own special parameters (commands, options, ...) are avoided.
std::string zsh() {
    std::string s = "#compdef quorvel-cli\n";
    s += header;
    s += "local -a subcommands=(\n";
    for (const auto &c : commands())
        s += "    " + quoted(std::string(c.name) + ":" + std::string(c.summary)) + "\n";
    s += ")\n"
         "local -a global=(" +
         optionNames(globalOptions()) +
         ")\n"
         "local command='' library='' i\n"
         "integer operands=0\n"
         "for ((i = 2; i < CURRENT; i++)); do\n"
         "    case ${words[i]} in\n"
         "    --store) library=${words[i + 1]/#\\~/$HOME}; ((i++)) ;;\n"
         "    " +
         valueOptions("|") +
         ") ((i++)) ;;\n"
         "    -*) ;;\n"
         "    *) if [[ -z $command ]]; then command=${words[i]}; else ((operands++)); fi ;;\n"
         "    esac\n"
         "done\n"
         "case ${words[CURRENT - 1]} in\n"
         "--store) _files -/; return ;;\n";
    for (const auto *table : {&globalOptions(), &commandOptions()})
        for (const auto &o : *table) {
            if (o.value.empty() || o.name == "--store") continue;
            s += std::string(o.name) + ") ";
            s += o.choices.empty() ? "_message " + quoted(o.value) + "; return ;;\n"
                                   : "compadd -- " + join(o.choiceValues()) + "; return ;;\n";
        }
    s += "esac\n"
         "if [[ -z $command ]]; then\n"
         "    if [[ ${words[CURRENT]} == -* ]]; then compadd -- $global; else _describe -t commands 'quorvel-cli "
         "command' subcommands; fi\n"
         "    return\n"
         "fi\n"
         "local -a command_options\n"
         "case $command in\n";
    for (const auto &c : commands())
        if (!c.options.empty()) s += std::string(c.name) + ") command_options=(" + join(optionsOf(c)) + ") ;;\n";
    s +=
        "esac\n"
        "if [[ ${words[CURRENT]} == -* ]]; then\n"
        "    compadd -- $command_options $global\n"
        "elif [[ $command == (" +
        documentCommands("|") +
        ") ]] && ((operands == 0)); then\n"
        "    [[ -n $library ]] || library=" +
        std::string(defaultLibrary) +
        "\n"
        "    [[ -e $library/store.sqlite ]] || return\n"
        "    local -a documents=(${(f)\"$(quorvel-cli --store \"$library\" tree --sort name --json 2>/dev/null | awk " +
        documentsAwk +
        ")\"})\n"
        "    documents=(${documents//:/\\\\:})\n"
        "    documents=(${documents//$'\\t'/:})\n"
        "    _describe -t documents 'document' documents\n"
        "fi\n";
    return s;
}

std::string fish() {
    std::string s = "# fish completion for quorvel-cli\n";
    s += header;
    s += "# Sets __quorvel_cli_command, __quorvel_cli_operands and __quorvel_cli_library from the words typed.\n"
         "function __quorvel_cli_scan\n"
         "    set -g __quorvel_cli_command ''\n"
         "    set -g __quorvel_cli_operands 0\n"
         "    set -g __quorvel_cli_library ''\n"
         "    set -l words (commandline -opc)\n"
         "    set -e words[1]\n"
         "    while set -q words[1]\n"
         "        switch $words[1]\n"
         "            case --store\n"
         "                set -q words[2]; and set __quorvel_cli_library $words[2]\n"
         "                set -e words[1]\n"
         "            case " +
         valueOptions(" ") +
         "\n"
         "                set -e words[1]\n"
         "            case '-*'\n"
         "            case '*'\n"
         "                if test -z \"$__quorvel_cli_command\"\n"
         "                    set __quorvel_cli_command $words[1]\n"
         "                else\n"
         "                    set __quorvel_cli_operands (math $__quorvel_cli_operands + 1)\n"
         "                end\n"
         "        end\n"
         "        set -e words[1]\n"
         "    end\n"
         "end\n\n"
         "# Without arguments: no command typed yet. With: the command is one of them.\n"
         "function __quorvel_cli_using\n"
         "    __quorvel_cli_scan\n"
         "    if test (count $argv) -eq 0\n"
         "        test -z \"$__quorvel_cli_command\"\n"
         "    else\n"
         "        contains -- \"$__quorvel_cli_command\" $argv\n"
         "    end\n"
         "end\n\n"
         "function __quorvel_cli_documents\n"
         "    __quorvel_cli_scan\n"
         "    contains -- \"$__quorvel_cli_command\" " +
         documentCommands(" ") +
         "; or return\n"
         "    test $__quorvel_cli_operands -eq 0; or return\n"
         "    set -l library $__quorvel_cli_library\n"
         "    test -n \"$library\"; or set library (set -q XDG_DATA_HOME; and echo $XDG_DATA_HOME; or echo "
         "$HOME/.local/share)/kr.vatsu.quorvel\n"
         "    test -e $library/store.sqlite; or return\n"
         "    quorvel-cli --store $library tree --sort name --json 2>/dev/null | awk " +
         documentsAwk +
         "\n"
         "end\n\n"
         "complete -c quorvel-cli -f\n";
    for (const auto &c : commands())
        s += "complete -c quorvel-cli -n __quorvel_cli_using -a " + std::string(c.name) + " -d " + quoted(c.summary) +
             "\n";
    for (const auto &o : globalOptions()) {
        s += "complete -c quorvel-cli -l " + std::string(o.name.substr(2));
        if (o.name == "--store")
            s += " -x -a '(__fish_complete_directories)'";
        else if (!o.value.empty())
            s += " -x";
        s += " -d " + quoted(o.help) + "\n";
    }
    for (const auto &o : commandOptions()) {
        std::vector<std::string_view> with = commandsWith(o.name);
        s += "complete -c quorvel-cli -n " + quoted("__quorvel_cli_using " + join(with)) + " -l " +
             std::string(o.name.substr(2));
        if (!o.choices.empty()) {
            // Each value with its own description, as lines "value<tab>help" of a command's output:
            // the option's description would otherwise stand beside every value.
            auto fishQuoted = [](std::string_view text) {
                std::string out = "\"";
                for (char c : text)
                    out += (c == '"' || c == '$' || c == '\\') ? std::string("\\") + c : std::string(1, c);
                return out + "\"";
            };
            std::string list = "(printf '%s\\t%s\\n'";
            for (const auto &c : o.choices)
                list += " " + fishQuoted(c.value) + " " + fishQuoted(c.help);
            s += " -x -a " + quoted(list + ")");
        } else if (!o.value.empty())
            s += " -x";
        s += " -d " + quoted(o.help) + "\n";
    }
    s += "complete -c quorvel-cli -a '(__quorvel_cli_documents)'\n";
    return s;
}

} // namespace quorvel::cli::ShellCompletion
