// The SIMD levels of the block routines (simd_levels.h): what each level's
// file (mmx_<level>.cpp, compiled for that level's instruction set)
// provides, and the choice among them that mmx.cpp makes.
#ifndef FLYOVER_MMX_LEVELS_H
#define FLYOVER_MMX_LEVELS_H

#include "ptc.h"
#include "screen_layouts.h"
#include "simd_levels.h"

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

// Makes the widest level that runs here, at most the level named cap (null
// or empty for no cap), the level of every later conversion; false, and
// nothing changed, when cap names no level of this build. The program
// checks FLYOVER_SIMD_MAX where it starts: in the platform's settings, or
// on Windows first thing in ptc_open, which applies it with this.
bool simd_apply_cap(const char *cap);

// simd_apply_cap of FLYOVER_SIMD_MAX, for a program that has no platform
// to check it first; a value that names no level is told on standard error
// in one line that starts with the program's name, and changes nothing.
bool simd_apply_environment_cap(const char *program);

// The level the converters use: the one last applied, or else, at the
// first call, FLYOVER_SIMD_MAX's choice (the plain level when that names
// no level, which the program has refused at start).
const simd_level &simd_active_level();

#define FLYOVER_DECLARE_LEVEL(level) extern const simd_routines simd_routines_##level;
FLYOVER_SIMD_LEVELS(FLYOVER_DECLARE_LEVEL)
#undef FLYOVER_DECLARE_LEVEL

#endif
