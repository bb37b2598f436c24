#pragma once

#include <string>

// Completion scripts for quorvel-cli, made from CliReference: the commands, the options each
// command takes, the values of options with few, and the library's document ids (with their
// titles where the shell shows them) after show and open.
namespace quorvel::cli::ShellCompletion {

std::string bash();
std::string zsh();
std::string fish();

} // namespace quorvel::cli::ShellCompletion
