#pragma once
// What the engine's tests share: the descriptors the process holds, and waits no test sits out.

#ifdef __linux__
#include <dirent.h>
#include <unistd.h>

#include <cstring>
#include <string>
#endif

#include "EncoderLink.h"

// Descriptors open in this process that `socketsOnly` narrows to sockets; nothing an exchange
// opens may outlive it. Sockets alone are what an exchange opens: where other threads start
// at the same time (an engine's loops), a count of every descriptor may meet the short-lived
// pipes that the sanitizers' run-time opens and closes at once as it checks memory.
inline int CountDescriptors(bool socketsOnly)
{
#ifdef __linux__
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (dirent* entry = readdir(dir)) {
            char target[64] = {};
            const std::string path = std::string("/proc/self/fd/") + entry->d_name;
            count += !socketsOnly ||
                     (readlink(path.c_str(), target, sizeof target - 1) > 0 && std::strncmp(target, "socket:", 7) == 0);
        }
        closedir(dir);
    }
    return count;
#else
    (void)socketsOnly;
    return 0;
#endif
}

inline int OpenDescriptors()
{
    return CountDescriptors(false);
}

inline int OpenSockets()
{
    return CountDescriptors(true);
}

// Waits, or receives, that no test sits out: only a cancel ends them in time.
inline const LinkTiming kLongWait = {60000, 60000, 60000, 60000, 60000, 60000, 60000};
inline const LinkTiming kLongReceive = {0, 0, 0, 60000, 60000, 60000, 60000};
