#include "DescriptorBudget.h"

#include <algorithm>

#ifdef _WIN32
size_t ExchangeDescriptorBudget()
{
    // Sockets are handles without a per-process limit of this kind; the loop's own
    // readiness sets are what bounds them.
    return 4096;
}
#else
#include <dirent.h>
#include <sys/resource.h>

namespace {

size_t OpenDescriptors()
{
    size_t count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir) != nullptr) {
            ++count;
        }
        closedir(dir);
        return count > 2 ? count - 2 : 0;   // "." and ".."
    }
    return 16;   // no way to count: assume the usual handful and more
}

}   // namespace

size_t ExchangeDescriptorBudget()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        return 64;
    }
    // A hard limit of "unlimited" still has the kernel's own ceiling; a million is past any head-end.
    constexpr rlim_t kCeiling = 1 << 20;
    rlim_t wanted = limit.rlim_max == RLIM_INFINITY ? kCeiling : std::min(limit.rlim_max, kCeiling);
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < wanted) {
        rlimit raised = limit;
        raised.rlim_cur = wanted;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0) {
            limit.rlim_cur = wanted;
        }
    }
    size_t soft = limit.rlim_cur == RLIM_INFINITY ? kCeiling : static_cast<size_t>(limit.rlim_cur);
    size_t margin = std::max<size_t>(16, soft / 8);
    size_t used = OpenDescriptors() + margin;
    return soft > used ? soft - used : 1;
}
#endif
