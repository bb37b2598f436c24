#pragma once

#include <string>

// Chromium, under the document viewer, confines its page processes in user, PID and network
// namespaces. As root it will not start them that way, and a kernel that keeps unprivileged users
// from making namespaces leaves it with no sandbox it can use, so that every page fails to load.
namespace quorvel::app::ViewerSandbox {

// Whether this process may make the namespaces the sandbox needs; asks the kernel from a child.
bool kernelAllowsNamespaces();

// Before the web engine starts: turns the sandbox off where it cannot run (as root, or where the
// kernel refuses it) and returns the one line to print about it; empty when the sandbox stays on
// or the environment already turned it off.
std::string decide();

} // namespace quorvel::app::ViewerSandbox
