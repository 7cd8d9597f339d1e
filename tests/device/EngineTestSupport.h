#pragma once
// What the engine's tests share: the descriptors the process holds, and waits no test sits out.

#ifdef __linux__
#include <dirent.h>
#endif

#include "EncoderLink.h"

// Descriptors open in this process; nothing an exchange opens may outlive it.
inline int OpenDescriptors()
{
#ifdef __linux__
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir) != nullptr) {
            ++count;
        }
        closedir(dir);
    }
    return count;
#else
    return 0;
#endif
}

// Waits, or receives, that no test sits out: only a cancel ends them in time.
inline const LinkTiming kLongWait = {60000, 60000, 60000, 60000, 60000, 60000, 60000};
inline const LinkTiming kLongReceive = {0, 0, 0, 60000, 60000, 60000, 60000};
