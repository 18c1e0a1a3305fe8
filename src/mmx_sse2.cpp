// The SSE2 level, compiled with -msse2: the 128-bit blocks without a byte
// shuffle.
#define FLYOVER_SSE_SHUFFLE 0
#include "mmx_sse.h"

const simd_routines simd_routines_sse2 =
    routines_of<sse::blocks_copy, sse::blocks_32, sse::blocks_24<order::rgb>, sse::blocks_24<order::bgr>,
                sse::blocks_565<order::rgb>, sse::blocks_565<order::bgr>, sse::blocks_555<order::rgb>,
                sse::blocks_555<order::bgr>>;
