// What the processor offers beyond the x86-64 base, for the stand-ins' picture loops that choose a
// faster path at run time.
#pragma once

namespace standins {

// True when the processor shuffles bytes (SSSE3); asked once.
inline bool HasSsse3()
{
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("ssse3") != 0;
    }();
    return has;
#else
    return false;
#endif
}

// True when the processor and the system run 256-bit integer vectors (AVX2); asked once.
inline bool HasAvx2()
{
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return has;
#else
    return false;
#endif
}

}  // namespace standins
