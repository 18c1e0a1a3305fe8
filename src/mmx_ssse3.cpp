// The SSSE3 level, compiled with -mssse3 (in the web build, for wasm SIMD):
// the 128-bit blocks with the byte shuffle for the BGR and 24-bit layouts.
#define FLYOVER_SSE_SHUFFLE 1
#include "mmx_sse.h"

const simd_routines simd_routines_ssse3 = routines_of<sse::blocks>;
