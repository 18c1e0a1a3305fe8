// The SIMD levels of the block routines: what each level's file
// (mmx_<level>.cpp, compiled for that level's instruction set) provides,
// and the choice among them that mmx.cpp makes once per process.
#ifndef FLYOVER_MMX_LEVELS_H
#define FLYOVER_MMX_LEVELS_H

#include <stddef.h>
#include <stdint.h>

using copy_routine = void(void *destination, const void *source, uint32_t bytes);
using block_routine = void(uint8_t *destination, const uint32_t *source, uint32_t count);

// One level's routines behind the mmx_* entry points of the same names.
struct simd_routines {
  copy_routine *memcpy;
  block_routine *convert_32_to_32_bgr888, *convert_32_to_24_rgb888, *convert_32_to_24_bgr888, *convert_32_to_16_rgb565,
      *convert_32_to_16_bgr565, *convert_32_to_16_rgb555, *convert_32_to_16_bgr555;
};

struct simd_level {
  const char *name; // as FLYOVER_SIMD_MAX names it
  const simd_routines *routines;
  bool runs_here; // the processor has its instructions and the system saves their registers
};

// Every level this build carries, narrowest first; the first is "plain",
// the references alone. The processor is asked once, at the first call.
const simd_level *simd_levels(size_t *count);

// Those of them that the processor runs, narrowest first.
const simd_level *const *simd_runnable_levels(size_t *count);

// The block routines of simd_routines in the order of the screen layouts
// (layouts.h) from the second on; the first layout's is the byte copy.
constexpr block_routine *simd_routines::*simd_block_routines[] = {
    &simd_routines::convert_32_to_32_bgr888, &simd_routines::convert_32_to_24_rgb888,
    &simd_routines::convert_32_to_24_bgr888, &simd_routines::convert_32_to_16_rgb565,
    &simd_routines::convert_32_to_16_bgr565, &simd_routines::convert_32_to_16_rgb555,
    &simd_routines::convert_32_to_16_bgr555};

// The widest level that runs here, at most the level named cap (null or
// empty for no cap); null when cap names no level of this build.
const simd_level *simd_choose_level(const char *cap);

// The level the mmx_* routines use: FLYOVER_SIMD_MAX's choice, made at the
// first call. A value that names no level ends the process (exit code 1,
// one line on standard error), but that has happened at start already.
const simd_level &simd_active_level();

// "plain, mmx, ...": the names of this build's levels, for messages.
const char *simd_level_names();

extern const simd_routines simd_routines_mmx, simd_routines_sse2, simd_routines_ssse3, simd_routines_avx2,
    simd_routines_avx512, simd_routines_neon;

#endif
