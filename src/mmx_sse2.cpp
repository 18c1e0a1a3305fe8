// The SSE2 level, compiled with -msse2: the 128-bit blocks without a byte
// shuffle.
#define FLYOVER_SSE_SHUFFLE 0
#include "mmx_sse.h"

const simd_routines simd_routines_sse2 = routines_of<sse::blocks>;
