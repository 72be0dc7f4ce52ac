#pragma once

namespace sondrel {

// Clears the upper halves of the AVX registers. Code elsewhere in the process (drawing,
// string functions) can leave them in use; on many processors the SSE code of LAME and
// libvorbis then runs up to half again as slow until something clears them. Called before
// handing a block to such an encoder; does nothing on processors without AVX.
inline void clearUpperVectorState()
{
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    static const bool hasAvx = __builtin_cpu_supports("avx");
    if (hasAvx)
        asm volatile("vzeroupper" ::: "memory");
#endif
}

} // namespace sondrel
