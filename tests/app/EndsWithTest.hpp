#pragma once

// A process a test starts ends with the test however the test ends (a failure, an abort, a
// timeout's kill): the kernel sends it SIGKILL when the thread that started it dies.
#include <QProcess>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace quorvel::test {

inline void endsWithTest(QProcess &process) {
    process.setChildProcessModifier([parent = getpid()] {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(1); // the test already ended before the guard was set
    });
}

} // namespace quorvel::test
