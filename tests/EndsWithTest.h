#pragma once
// For a child a test forks (a stand-in, the command-line tool): between the fork and the
// exec, asks that the child be killed when the test process ends. A test that aborts
// never reaches the code that stops its children, and a stand-in left running keeps its
// addresses and ports, and a monitor its loop, until someone finds it.

#include <unistd.h>

#ifdef __linux__
#include <sys/prctl.h>

#include <csignal>
#endif

// `test` is the test process's id, taken before the fork. Only async-signal-safe calls.
inline void EndWithTest(pid_t test)
{
#ifdef __linux__
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The test may have ended between the fork and the request: nobody would kill us then.
    if (getppid() != test) {
        _exit(127);
    }
#else
    (void)test;
#endif
}
