// The block routines behind the row converters, and the choice of the SIMD
// level that carries them out. Each level's blocks are compiled for its own
// instruction set in a file of their own (mmx_<level>.cpp); this file stays
// at the target's baseline, asks the processor once which levels it can
// run, and sends every call to the widest of them, or to the widest at or
// below the cap: the level simd_apply_cap was given, or else the one that
// FLYOVER_SIMD_MAX names. Every level writes the same bytes as the plain
// references, exactly count pixels' worth, at any alignment of either
// pointer, and never reads a source pixel past count.
#include "mmx_rows.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace {

const char *const cap_variable = "FLYOVER_SIMD_MAX";

// Which levels the processor runs, by the levels' names. The plain loops
// run everywhere; on 64-bit ARM every processor has NEON; the web build's
// SSSE3 blocks are compiled for wasm SIMD, which the whole build needs
// anyway. On x86 the processor is asked.
struct processor {
  bool plain = true, mmx = false, sse2 = false, avx2 = false, avx512 = false, neon = true;
#ifdef __EMSCRIPTEN__
  bool ssse3 = true;
#else
  bool ssse3 = false;
#endif
};

struct no_level_blocks {
#define FLYOVER_NONE(name, ...) static constexpr blocks_function *name = no_blocks;
  FLYOVER_SCREEN_LAYOUTS(FLYOVER_NONE)
#undef FLYOVER_NONE
};

#if defined(__i386__) || defined(__x86_64__)

// The instruction sets of the processor, from CPUID, and for AVX2 and
// AVX-512 also the system's consent: their wider registers are usable only
// if the system saves them on a task switch, which it says through OSXSAVE
// and XCR0: the SSE and AVX bits for AVX2, and besides them the opmask and
// both ZMM bits for AVX-512.
void ask_x86(processor &f) {
  unsigned a, b, c, d;
  if (!__get_cpuid(1, &a, &b, &c, &d))
    return;
  f.mmx = d & bit_MMX;
  f.sse2 = d & bit_SSE2;
  f.ssse3 = f.sse2 && (c & bit_SSSE3);
  if (!(c & bit_OSXSAVE) || !(c & bit_AVX))
    return;
  unsigned xcr0, xcr0_high;
  __asm__("xgetbv" : "=a"(xcr0), "=d"(xcr0_high) : "c"(0));
  if ((xcr0 & 0x6) != 0x6 || __get_cpuid_max(0, nullptr) < 7)
    return;
  __cpuid_count(7, 0, a, b, c, d);
  f.avx2 = b & bit_AVX2;
  // F, BW and VL for the 512-bit integer ops and their masks, VBMI for the
  // byte permutes.
  const unsigned avx512 = bit_AVX512F | bit_AVX512BW | bit_AVX512VL;
  f.avx512 = f.avx2 && (xcr0 & 0xE6) == 0xE6 && (b & avx512) == avx512 && (c & bit_AVX512VBMI);
}
#endif

#define FLYOVER_ONE(level) +1
constexpr size_t level_count = 0 FLYOVER_SIMD_LEVELS(FLYOVER_ONE);
#undef FLYOVER_ONE

struct level_table {
  simd_level levels[level_count];
  size_t count;
  const simd_level *runnable[level_count];
  size_t runnable_count;
};

const level_table &levels() {
  static const level_table table = [] {
    processor p{};
#if defined(__i386__) || defined(__x86_64__)
    ask_x86(p);
#endif
    level_table t{};
#define FLYOVER_LEVEL(level) t.levels[t.count++] = {#level, &simd_routines_##level, p.level};
    FLYOVER_SIMD_LEVELS(FLYOVER_LEVEL)
#undef FLYOVER_LEVEL
    for (size_t i = 0; i < t.count; ++i)
      if (t.levels[i].runs_here)
        t.runnable[t.runnable_count++] = &t.levels[i];
    return t;
  }();
  return table;
}

// Set by simd_apply_cap, or at the first conversion.
const simd_level *active = nullptr;

// The widest level that runs here, at most the level named cap; null when
// cap names no level of this build.
const simd_level *simd_choose_level(const char *cap) {
  const level_table &t = levels();
  size_t last = t.count - 1;
  if (cap && *cap) {
    while (strcmp(t.levels[last].name, cap) != 0)
      if (last-- == 0)
        return nullptr;
  }
  while (!t.levels[last].runs_here)
    --last; // plain always runs
  return &t.levels[last];
}

} // namespace

// The references alone, for processors without SIMD and as the floor of
// the cap.
const simd_routines simd_routines_plain = routines_of<no_level_blocks>;

const simd_level *simd_levels(size_t *count) {
  *count = levels().count;
  return levels().levels;
}

const simd_level *const *simd_runnable_levels(size_t *count) {
  *count = levels().runnable_count;
  return levels().runnable;
}

bool simd_apply_cap(const char *cap) {
  const simd_level *level = simd_choose_level(cap);
  if (level)
    active = level;
  return level != nullptr;
}

bool simd_apply_environment_cap(const char *program) {
  const char *cap = getenv(cap_variable);
  if (simd_apply_cap(cap))
    return true;
  fprintf(stderr, "%s: %s=%s is not a SIMD level of this build (%s)\n", program, cap_variable, cap, simd_level_list);
  return false;
}

const simd_level &simd_active_level() {
  if (!active && !simd_apply_cap(getenv(cap_variable)))
    active = &levels().levels[0];
  return *active;
}
