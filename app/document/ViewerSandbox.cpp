#include "document/ViewerSandbox.hpp"

#include <QByteArray>
#include <QtGlobal>

#include <cerrno>

#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quorvel::app::ViewerSandbox {

bool kernelAllowsNamespaces() {
    // In a child, so that this process keeps its own namespaces.
    const pid_t child = ::fork();
    if (child < 0) return false;
    if (child == 0) _exit(::unshare(CLONE_NEWUSER | CLONE_NEWPID | CLONE_NEWNET) == 0 ? 0 : 1);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0)
        if (errno != EINTR) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string decide() {
    if (!qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) return {};
    std::string line;
    if (::geteuid() == 0)
        line = "quorvel: started as root; the document viewer runs without its sandbox";
    else if (!kernelAllowsNamespaces())
        line = "quorvel: the kernel does not let this user make namespaces, so the document viewer runs without "
               "its sandbox";
    if (!line.empty()) qputenv("QTWEBENGINE_DISABLE_SANDBOX", QByteArrayLiteral("1"));
    return line;
}

} // namespace quorvel::app::ViewerSandbox
