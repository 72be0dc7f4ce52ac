#pragma once

namespace sondrel {

// Sets the memory allocator up for the program's pattern of work: every file added or
// converted opens a decoder whose buffers (a few hundred KiB) are freed again at once. Left to
// its defaults, the C library hands that memory back to the system after every file and takes
// it again for the next, and on virtual machines each return costs more than measuring the
// file itself. Call first in main().
void tuneAllocator();

} // namespace sondrel
