// What the processor offers beyond the x86-64 base, for the stand-ins' picture loops that choose a
// faster path at run time.
#pragma once

namespace standins {

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define QUILL_ASK_CPU(feature) AskedOnce([] { return __builtin_cpu_supports(feature) != 0; })
// The answer of Ask, asked once per feature (each feature's question is a type of its own). The
// processor's support of a feature takes its name only as a literal, hence the question as a lambda.
template <typename Ask>
bool AskedOnce(Ask ask)
{
    static const bool has = [&] {
        __builtin_cpu_init();
        return ask();
    }();
    return has;
}
#else
#define QUILL_ASK_CPU(feature) false
#endif

// True when the processor shuffles bytes (SSSE3).
inline bool HasSsse3() { return QUILL_ASK_CPU("ssse3"); }

// True when the processor and the system run 256-bit integer vectors (AVX2).
inline bool HasAvx2() { return QUILL_ASK_CPU("avx2"); }

#undef QUILL_ASK_CPU

}  // namespace standins
