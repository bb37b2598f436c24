#include "CliCommands.hpp"

#include <unistd.h>

#include <iostream>

int main(int argc, char **argv) {
    using namespace quorvel::cli;
    std::vector<std::string> args(argv + 1, argv + argc);
    CliStreams io{std::cin, std::cout, std::cerr, isatty(STDERR_FILENO) == 1};
    CliOptions options;
    try {
        options = CliOptions::parse(args);
    } catch (const UsageError &e) {
        std::cerr << "quorvel-cli: " << e.what() << "\n\n" << CliOptions::usage();
        return 2;
    }
    return runCommand(options, io);
}
