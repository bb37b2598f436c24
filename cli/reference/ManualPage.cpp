#include "ManualPage.hpp"

#include "CliReference.hpp"

namespace quorvel::cli::ManualPage {

namespace {

using namespace CliReference;

std::string bold(std::string_view text) {
    return "\\fB" + escaped(text) + "\\fR";
}

std::string italic(std::string_view text) {
    return "\\fI" + escaped(text) + "\\fR";
}

std::string optionTerm(const Option &o) {
    std::string term = bold(o.name);
    if (o.choices.empty()) {
        if (!o.value.empty()) term += " " + italic(o.value);
        return term;
    }
    std::string choices;
    for (auto c : o.choiceValues())
        choices += (choices.empty() ? "" : "|") + bold(c);
    return term + " " + choices;
}

std::string commandTerm(const Command &c) {
    std::string term = bold(c.name);
    if (auto operand = operandName(c.operand); !operand.empty()) term += " " + italic(operand);
    for (std::string_view group : c.options) {
        std::string alternatives;
        for (size_t start = 0; start <= group.size();) {
            size_t bar = group.find('|', start);
            if (bar == std::string_view::npos) bar = group.size();
            const Option *o = option(group.substr(start, bar - start));
            alternatives += (alternatives.empty() ? "" : "|") + (o ? optionTerm(*o) : bold(group));
            start = bar + 1;
        }
        term += " [" + alternatives + "]";
    }
    return term;
}

const char *description = R"(.B quorvel\-cli
keeps a complete offline copy of the documents you write in the web editor: the folders, the
documents and every image they show.
It is the same library, in the same directory, as the desktop app
.BR quorvel (1)
keeps, and both may run at the same time: a sync, a token refresh and an erase each take a lock
file, so they happen one at a time across processes.
.PP
.BR link ,
.BR sync ,
.B logout
and
.B wipe
change the library or the credentials; a library bound to another service is erased first.
The other commands only read, and say so when the library belongs to another service than the
one in use.
)";

const char *tail = R"(.SH ENVIRONMENT
.TP
.B XDG_DATA_HOME
The library is kept in
.I $XDG_DATA_HOME/kr.vatsu.quorvel
(by default
.IR ~/.local/share/kr.vatsu.quorvel ).
.SH FILES
.TP
.I ~/.local/share/kr.vatsu.quorvel/store.sqlite
The library: an SQLite database with a full\-text index.
.TP
.I ~/.local/share/kr.vatsu.quorvel/assets/
The images, each named by the SHA\-256 of its bytes.
.TP
.I ~/.local/share/kr.vatsu.quorvel/auth/
The credentials, readable by their owner only.
.SH EXAMPLES
.nf
quorvel\-cli link
quorvel\-cli sync
quorvel\-cli search meeting notes \-\-json
quorvel\-cli show 12 \-\-html
quorvel\-cli open 12
.fi
.SH SEE ALSO
.BR quorvel (1)
)";

} // namespace

std::string escaped(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
    return out;
}

std::string render(std::string_view version) {
    std::string page = ".TH QUORVEL\\-CLI 1 \"\" \"Quorvel " + escaped(version) + "\" \"User Commands\"\n";
    page += ".SH NAME\nquorvel\\-cli \\- keep and read an offline copy of your web documents from a terminal\n";
    page += ".SH SYNOPSIS\n.B quorvel\\-cli\n[" + optionTerm(*option("--store")) + "] [" +
            optionTerm(*option("--base-url")) + "] " + italic("COMMAND") + " [" + italic("ARGS") + "]\n";
    page += ".SH DESCRIPTION\n";
    page += description;
    page += ".SH COMMANDS\n";
    for (const auto &c : commands())
        page += ".TP\n" + commandTerm(c) + "\n" + escaped(c.help) + ".\n";
    page += ".SH OPTIONS\n";
    for (const auto &o : globalOptions())
        page += ".TP\n" + optionTerm(o) + "\n" + escaped(o.help) + ".\n";
    for (const auto &o : commandOptions()) {
        std::vector<std::string> with;
        for (auto name : commandsWith(o.name))
            with.push_back(bold(name));
        std::vector<std::string> choices;
        for (const auto &c : o.choices)
            choices.push_back(bold(c.value) + " " + escaped(c.help));
        page += ".TP\n" + optionTerm(o) + "\n" + escaped(o.help) + (choices.empty() ? "" : ": " + spokenList(choices)) +
                "; with " + spokenList(with) + ".\n";
    }
    page += ".SH EXIT STATUS\n";
    for (const auto &s : exitStatuses())
        page += ".TP\n.B " + std::to_string(s.code) + "\n" + escaped(s.meaning) + ".\n";
    page += tail;
    return page;
}

} // namespace quorvel::cli::ManualPage
