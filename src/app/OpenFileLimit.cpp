#include "OpenFileLimit.h"

#include <sys/resource.h>

namespace sondrel {

void raiseOpenFileLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max)
        return;
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit); // where it cannot be raised, the usual limit stays
}

} // namespace sondrel
