#include "CliProcess.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>
#include <utility>

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
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        // Ends with the test, however the test ends.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
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

bool CliProcess::pump(int timeoutMs) {
    // Both outputs are drained together, so a chatty child never blocks on either.
    pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    if ((out_ < 0 && err_ < 0) || poll(fds, 2, timeoutMs) <= 0) return false;
    char buf[65536];
    for (int i = 0; i < 2; ++i) {
        if (!fds[i].revents) continue;
        int &fd = i == 0 ? out_ : err_;
        ssize_t n = read(fd, buf, sizeof buf);
        if (n > 0) {
            (i == 0 ? out : err).append(buf, static_cast<size_t>(n));
        } else {
            close(fd);
            fd = -1;
        }
    }
    return true;
}

std::string CliProcess::readLine() {
    size_t nl;
    while ((nl = out.find('\n')) == std::string::npos) {
        if (out_ < 0 || !pump(30000)) return std::exchange(out, {});
    }
    std::string line = out.substr(0, nl);
    out.erase(0, nl + 1);
    return line;
}

bool CliProcess::waitForError(const std::string &text, int timeoutMs) {
    for (int waited = 0; err.find(text) == std::string::npos; waited += 50) {
        if (waited >= timeoutMs || (out_ < 0 && err_ < 0)) return false;
        pump(50);
    }
    return true;
}

void CliProcess::write(const std::string &text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(in_, text.data() + done, text.size() - done);
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

int CliProcess::wait() {
    if (in_ >= 0) close(in_);
    in_ = -1;
    while (pump(120000)) {}
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
