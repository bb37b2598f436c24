#include "CliOptions.hpp"

#include <charconv>
#include <map>

namespace quorvel::cli {

namespace {

const std::map<std::string, CliOptions::Command> &commands() {
    using C = CliOptions::Command;
    static const std::map<std::string, C> table = {
        {"help", C::help},     {"version", C::version}, {"link", C::link},     {"sync", C::sync},
        {"status", C::status}, {"tree", C::tree},       {"recent", C::recent}, {"search", C::search},
        {"show", C::show},     {"check", C::check},     {"logout", C::logout}, {"wipe", C::wipe},
    };
    return table;
}

template <class T>
std::optional<T> parseNumber(const std::string &text) {
    T value{};
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
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
    auto found = commands().find(*commandName);
    if (found == commands().end()) throw UsageError("unknown command \"" + *commandName + "\"");
    options.command = found->second;

    using C = Command;
    const C c = options.command;
    if (options.json && c != C::status && c != C::tree && c != C::recent && c != C::search && c != C::check)
        throw UsageError("--json works with status, tree, recent, search and check");
    if (sawLimit && c != C::search) throw UsageError("--limit works with search");
    if (sawSort && c != C::tree) throw UsageError("--sort works with tree");
    if ((sawHTML || sawText) && c != C::show) throw UsageError("--html and --text work with show");
    if (sawHTML && sawText) throw UsageError("choose one of --html and --text");
    options.showFormat = sawHTML ? ShowFormat::html : ShowFormat::text;

    if (c == C::search) {
        if (positional.empty()) throw UsageError("search needs a query");
        // Several words without quotes still make one query.
        for (size_t i = 0; i < positional.size(); ++i)
            options.query += (i ? " " : "") + positional[i];
        positional.clear();
    } else if (c == C::show) {
        if (positional.size() != 1) throw UsageError("show needs one document id");
        auto id = parseNumber<int64_t>(positional[0]);
        if (!id || *id < 0) throw UsageError("\"" + positional[0] + "\" is not a document id");
        options.fileId = *id;
        positional.clear();
    }
    if (!positional.empty()) throw UsageError("unexpected argument \"" + positional[0] + "\"");
    return options;
}

std::string CliOptions::usage() {
    return R"(usage: quorvel-cli [--store DIR] [--base-url URL] COMMAND [ARGS]

Keeps an offline copy of your documents, the same library the desktop app keeps.

commands:
  link                     link this computer to your account: open the printed address,
                           approve, then paste the quorvel://link address you are sent to
  sync                     bring the library up to date (Ctrl-C cancels; nothing is half-applied)
  status [--json]          account, document count, storage and last sync
  tree [--sort name|updated] [--json]
                           folders and documents
  recent [--json]          recently viewed documents
  search QUERY [--limit N] [--json]
                           search titles and text (at most 100 results unless --limit says)
  show ID [--html|--text]  print a document as text (default) or as stored HTML
  check [--json]           verify the database and every image; what is damaged is downloaded
                           again by the next sync
  logout                   unlink on the service and erase the local library
  wipe                     erase the local library; the link stays
  help, version

options:
  --store DIR              library directory (default: ~/.local/share/kr.vatsu.quorvel)
  --base-url URL           service address (default: the one this program was built for)

exit status: 0 success; 1 failure; 2 bad arguments; for sync also 3 when the service asks for
an action (sign in again, upgrade, retry later) and 130 when cancelled; for check 4 when it
found damage.
)";
}

} // namespace quorvel::cli
