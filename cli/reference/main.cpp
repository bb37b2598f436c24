// Writes quorvel-cli's manual page or a shell's completion script: what the build installs.
#include "ManualPage.hpp"
#include "ShellCompletion.hpp"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

int main(int argc, char **argv) {
    using namespace quorvel::cli;
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s man|bash|zsh|fish OUTPUT\n", argv[0]);
        return 2;
    }
    std::string text;
    if (std::strcmp(argv[1], "man") == 0)
        text = ManualPage::render(QUORVEL_APP_VERSION);
    else if (std::strcmp(argv[1], "bash") == 0)
        text = ShellCompletion::bash();
    else if (std::strcmp(argv[1], "zsh") == 0)
        text = ShellCompletion::zsh();
    else if (std::strcmp(argv[1], "fish") == 0)
        text = ShellCompletion::fish();
    else {
        std::fprintf(stderr, "%s: unknown output \"%s\"\n", argv[0], argv[1]);
        return 2;
    }
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << text;
    return out.good() ? 0 : 1;
}
