#pragma once
// The stand-in encoder's executable run as a child process, its standard output read
// through a pipe: shared by the tests of one stand-in and of a fleet.

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "../EndsWithTest.h"

// Runs korvane-sim with `args`; its stdout comes through `out`.
inline pid_t SpawnSim(const std::vector<std::string>& args, FILE*& out)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        return -1;
    }
    const pid_t test = getpid();
    pid_t pid = fork();
    if (pid == 0) {
        EndWithTest(test);
        dup2(pipeFds[1], STDOUT_FILENO);
        close(pipeFds[0]);
        close(pipeFds[1]);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(KORVANE_SIM_PATH));
        for (const std::string& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        execv(KORVANE_SIM_PATH, argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    out = fdopen(pipeFds[0], "r");
    return pid;
}

// The child's exit code, -1 when a signal ended it.
inline int WaitExitCode(pid_t pid)
{
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif
