#include "CliProcess.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

namespace quorvel::test {

CliProcess::CliProcess(const std::vector<std::string> &args) {
    int inPipe[2], outPipe[2], errPipe[2];
    if (pipe(inPipe) != 0 || pipe(outPipe) != 0 || pipe(errPipe) != 0) throw std::runtime_error("pipe failed");
    // Everything the child needs is made before fork: the test process has threads, and only
    // async-signal-safe calls are allowed between fork and exec.
    std::string program = QUORVEL_CLI_PATH;
    std::vector<std::string> copy = args;
    std::vector<char *> argv;
    argv.push_back(program.data());
    for (auto &a : copy)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        dup2(inPipe[0], 0);
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        for (int fd : {inPipe[0], inPipe[1], outPipe[0], outPipe[1], errPipe[0], errPipe[1]})
            close(fd);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(inPipe[0]);
    close(outPipe[1]);
    close(errPipe[1]);
    in_ = inPipe[1];
    out_ = outPipe[0];
    err_ = errPipe[0];
    ::signal(SIGPIPE, SIG_IGN);
}

CliProcess::~CliProcess() {
    if (pid_ > 0 && status < 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    for (int fd : {in_, out_, err_})
        if (fd >= 0) close(fd);
}

std::string CliProcess::readLine() {
    for (;;) {
        auto nl = out.find('\n');
        if (nl != std::string::npos) {
            std::string line = out.substr(0, nl);
            out.erase(0, nl + 1);
            return line;
        }
        // Keep draining standard error too, so a chatty child never blocks on it.
        pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
        if (poll(fds, 2, 30000) <= 0) return {};
        char buf[4096];
        if (fds[1].revents) {
            ssize_t n = read(err_, buf, sizeof buf);
            if (n > 0) err.append(buf, static_cast<size_t>(n));
        }
        if (fds[0].revents) {
            ssize_t n = read(out_, buf, sizeof buf);
            if (n <= 0) {
                std::string rest = out;
                out.clear();
                return rest;
            }
            out.append(buf, static_cast<size_t>(n));
        }
    }
}

void CliProcess::write(const std::string &text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(in_, text.data() + done, text.size() - done);
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

void CliProcess::closeInput() {
    if (in_ >= 0) close(in_);
    in_ = -1;
}

void CliProcess::signal(int sig) {
    kill(pid_, sig);
}

int CliProcess::wait() {
    closeInput();
    bool outOpen = true, errOpen = true;
    char buf[65536];
    while (outOpen || errOpen) {
        pollfd fds[2] = {{outOpen ? out_ : -1, POLLIN, 0}, {errOpen ? err_ : -1, POLLIN, 0}};
        if (poll(fds, 2, 120000) <= 0) break;
        if (outOpen && fds[0].revents) {
            ssize_t n = read(out_, buf, sizeof buf);
            if (n > 0)
                out.append(buf, static_cast<size_t>(n));
            else
                outOpen = false;
        }
        if (errOpen && fds[1].revents) {
            ssize_t n = read(err_, buf, sizeof buf);
            if (n > 0)
                err.append(buf, static_cast<size_t>(n));
            else
                errOpen = false;
        }
    }
    int raw = 0;
    waitpid(pid_, &raw, 0);
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    return status;
}

CliProcess::Result CliProcess::run(const std::vector<std::string> &args, const std::string &input) {
    CliProcess p(args);
    p.write(input);
    p.wait();
    return {p.status, p.out, p.err};
}

} // namespace quorvel::test
