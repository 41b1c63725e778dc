// With ReferenceGlow.cpp, a deliberately float-based build, compiled only for
// the helper-call check to refuse: the reference glow (its single-precision
// minimum needs the soft-float conversion and comparison routines) and here
// a mean over a count known only at run time (a library division on a
// processor without divide).
#include <cstdint>

int32_t MeanOverRuntimeCount(int32_t sum, int32_t count) { return sum / count; }
