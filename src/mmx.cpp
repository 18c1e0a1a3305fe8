// The block routines behind the row converters, and the choice of the SIMD
// level that carries them out. Each level's blocks are compiled for its own
// instruction set in a file of their own (mmx_<level>.cpp); this file stays
// at the target's baseline, asks the processor once which levels it can
// run, and sends every call to the widest of them, or to the widest at or
// below the level that FLYOVER_SIMD_MAX names. Every level writes the same
// bytes as the plain references, exactly count pixels' worth, at any
// alignment of either pointer, and never reads a source pixel past count.
#include "mmx_rows.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace {

struct no_level_blocks {
#define FLYOVER_NONE(name, ...) static constexpr blocks_function *name = no_blocks;
  FLYOVER_SCREEN_LAYOUTS(FLYOVER_NONE)
#undef FLYOVER_NONE
};

#if defined(__i386__) || defined(__x86_64__)
struct x86_features {
  bool mmx, sse2, ssse3, avx2, avx512;
};

// The instruction sets of the processor, from CPUID, and for AVX2 and
// AVX-512 also the system's consent: their wider registers are usable only
// if the system saves them on a task switch, which it says through OSXSAVE
// and XCR0: the SSE and AVX bits for AVX2, and besides them the opmask and
// both ZMM bits for AVX-512.
x86_features x86_processor() {
  x86_features f{};
  unsigned a, b, c, d;
  if (!__get_cpuid(1, &a, &b, &c, &d))
    return f;
  f.mmx = d & bit_MMX;
  f.sse2 = d & bit_SSE2;
  f.ssse3 = c & bit_SSSE3;
  if (!(c & bit_OSXSAVE) || !(c & bit_AVX))
    return f;
  unsigned xcr0, xcr0_high;
  __asm__("xgetbv" : "=a"(xcr0), "=d"(xcr0_high) : "c"(0));
  if ((xcr0 & 0x6) != 0x6 || __get_cpuid_max(0, nullptr) < 7)
    return f;
  __cpuid_count(7, 0, a, b, c, d);
  f.avx2 = b & bit_AVX2;
  // F, BW and VL for the 512-bit integer ops and their masks, VBMI for the
  // byte permutes.
  const unsigned avx512 = bit_AVX512F | bit_AVX512BW | bit_AVX512VL;
  f.avx512 = f.avx2 && (xcr0 & 0xE6) == 0xE6 && (b & avx512) == avx512 && (c & bit_AVX512VBMI);
  return f;
}
#endif

struct level_table {
  simd_level levels[7];
  size_t count;
  const simd_level *runnable[7];
  size_t runnable_count;
};

const level_table &levels() {
  static const level_table table = [] {
    level_table t{};
    t.levels[t.count++] = {"plain", &simd_routines_plain, true};
#if defined(__i386__) || defined(__x86_64__)
    const x86_features x86 = x86_processor();
#endif
#ifdef FLYOVER_SIMD_HAVE_MMX
    t.levels[t.count++] = {"mmx", &simd_routines_mmx, x86.mmx};
#endif
#ifdef FLYOVER_SIMD_HAVE_SSE2
    t.levels[t.count++] = {"sse2", &simd_routines_sse2, x86.sse2};
#endif
#ifdef FLYOVER_SIMD_HAVE_SSSE3
#ifdef __EMSCRIPTEN__
    // Compiled for wasm SIMD, which the whole web build needs anyway.
    t.levels[t.count++] = {"ssse3", &simd_routines_ssse3, true};
#else
    t.levels[t.count++] = {"ssse3", &simd_routines_ssse3, x86.sse2 && x86.ssse3};
#endif
#endif
#ifdef FLYOVER_SIMD_HAVE_AVX2
    t.levels[t.count++] = {"avx2", &simd_routines_avx2, x86.avx2};
#endif
#ifdef FLYOVER_SIMD_HAVE_AVX512
    t.levels[t.count++] = {"avx512", &simd_routines_avx512, x86.avx512};
#endif
#ifdef FLYOVER_SIMD_HAVE_NEON
    t.levels[t.count++] = {"neon", &simd_routines_neon, true};
#endif
    for (size_t i = 0; i < t.count; ++i)
      if (t.levels[i].runs_here)
        t.runnable[t.runnable_count++] = &t.levels[i];
    return t;
  }();
  return table;
}

const char *const cap_variable = "FLYOVER_SIMD_MAX";

// Refuses a cap that names no level before anything else runs: the one
// line here, exit code 1, and nothing of the program started.
[[maybe_unused]] const bool cap_checked_at_start = [] {
  const char *cap = getenv(cap_variable);
  if (!simd_choose_level(cap)) {
    fprintf(stderr, "%s=%s is not a SIMD level of this build; its levels are %s\n", cap_variable, cap,
            simd_level_names());
    exit(1);
  }
  return true;
}();

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

const simd_level &simd_active_level() {
  static const simd_level *const chosen = [] {
    const simd_level *level = simd_choose_level(getenv(cap_variable));
    return level ? level : &levels().levels[0]; // refused at start; reached only if the value changed since
  }();
  return *chosen;
}

const char *simd_level_names() {
  static const struct joined {
    char text[64] = "";
    joined() {
      for (size_t i = 0; i < levels().count; ++i) {
        if (i > 0)
          strcat(text, ", ");
        strcat(text, levels().levels[i].name);
      }
    }
  } names;
  return names.text;
}
