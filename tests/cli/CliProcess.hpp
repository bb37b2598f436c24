#pragma once

#include <signal.h>
#include <string>
#include <sys/types.h>
#include <vector>

namespace quorvel::test {

// quorvel-cli run as a separate process with its three standard streams piped.
class CliProcess {
public:
    explicit CliProcess(const std::vector<std::string> &args);
    ~CliProcess();
    CliProcess(const CliProcess &) = delete;
    CliProcess &operator=(const CliProcess &) = delete;

    // One line of standard output, without its newline; empty at end of output.
    std::string readLine();
    void write(const std::string &text);
    // Reads both outputs until standard error holds `text`; false if it did not within the time.
    bool waitForError(const std::string &text, int timeoutMs = 30000);
    void signal(int sig) { ::kill(pid_, sig); }
    // Reads the rest of both outputs and waits; returns the exit status (128 + signal when killed).
    int wait();

    std::string out; // standard output not yet taken by readLine
    std::string err;

    struct Result {
        int status = -1;
        std::string out, err;
    };
    // Runs to the end with `input` on standard input.
    static Result run(const std::vector<std::string> &args, const std::string &input = "");
    int status = -1;

private:
    // Reads what either output has within the time; false once both are closed or nothing came.
    bool pump(int timeoutMs);
    pid_t pid_ = -1;
    int in_ = -1, out_ = -1, err_ = -1;
};

} // namespace quorvel::test
