#pragma once

#include "waitfor.h"

#include <signal.h>
#include <sys/wait.h>

// A forked child's exit code; -1 when it ended otherwise or had to be
// killed after timeoutMs (a failure bound, never a timing assertion).
inline int reap(pid_t pid, int timeoutMs = 15000)
{
    int status = 0;
    bool ended = false;
    if (!waitFor([&] { return ended = ended || ::waitpid(pid, &status, WNOHANG) == pid; }, timeoutMs)) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
