// The SIMD levels of the block routines: what each level's file
// (mmx_<level>.cpp, compiled for that level's instruction set) provides,
// and the choice among them that mmx.cpp makes once per process.
#ifndef FLYOVER_MMX_LEVELS_H
#define FLYOVER_MMX_LEVELS_H

#include "ptc.h"
#include "screen_layouts.h"

#include <stddef.h>

// One level's row routine for each screen layout, by the layout's name,
// each with the converters' signature.
struct simd_routines {
#define FLYOVER_ROUTINE(name, ...) pixel_converter name;
  FLYOVER_SCREEN_LAYOUTS(FLYOVER_ROUTINE)
#undef FLYOVER_ROUTINE
};

// The routines of simd_routines in the order of screen_layouts.
constexpr pixel_converter simd_routines::*simd_layout_routines[] = {
#define FLYOVER_ROUTINE(name, ...) &simd_routines::name,
    FLYOVER_SCREEN_LAYOUTS(FLYOVER_ROUTINE)
#undef FLYOVER_ROUTINE
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

// The widest level that runs here, at most the level named cap (null or
// empty for no cap); null when cap names no level of this build.
const simd_level *simd_choose_level(const char *cap);

// The level the converters use: FLYOVER_SIMD_MAX's choice, made at the
// first call. A value that names no level ends the process (exit code 1,
// one line on standard error), but that has happened at start already.
const simd_level &simd_active_level();

// "plain, mmx, ...": the names of this build's levels, for messages.
const char *simd_level_names();

extern const simd_routines simd_routines_plain, simd_routines_mmx, simd_routines_sse2, simd_routines_ssse3,
    simd_routines_avx2, simd_routines_avx512, simd_routines_neon;

#endif
