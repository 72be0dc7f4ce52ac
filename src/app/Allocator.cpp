#include "Allocator.h"

#include <malloc.h>

namespace sondrel {

void tuneAllocator()
{
#ifdef M_TRIM_THRESHOLD
    // Up to 8 MiB of free memory at the top of a heap stays with the process, and blocks up to
    // 4 MiB come from the heaps rather than from mappings of their own.
    mallopt(M_TRIM_THRESHOLD, 8 * 1024 * 1024);
    mallopt(M_MMAP_THRESHOLD, 4 * 1024 * 1024);
#endif
}

} // namespace sondrel
