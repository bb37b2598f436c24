#include "AppLauncher.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

extern char **environ;

namespace quorvel::cli::AppLauncher {

std::string appProgram() {
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const auto beside = self.parent_path() / "quorvel";
        if (::access(beside.c_str(), X_OK) == 0) return beside.string();
    }
    return "quorvel";
}

std::optional<std::string> open(const std::string &url, int waitMs) {
    const std::string program = appProgram();
    posix_spawn_file_actions_t files;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&files);
    // An app holding this command's outputs would keep "$(quorvel-cli open N)" or a pipe waiting
    // for as long as it runs.
    posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&files, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_init(&attributes);
    // Ctrl-C in this terminal, or the terminal closing, must not reach the app.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    std::vector<std::string> args = {program, "--", url};
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, program.c_str(), &files, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attributes);
    if (rc != 0) return "cannot start " + program + ": " + std::strerror(rc);

    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::milliseconds(waitMs);
    while (clock::now() < deadline) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return std::nullopt;
            if (WIFEXITED(status)) return program + " ended with exit status " + std::to_string(WEXITSTATUS(status));
            return program + " ended with signal " + std::to_string(WTERMSIG(status));
        }
        if (done < 0) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // Still running: it is the app now.
    return std::nullopt;
}

} // namespace quorvel::cli::AppLauncher
