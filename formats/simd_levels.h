// The SIMD levels whose block routines this build's row converters carry,
// narrowest first, by the names FLYOVER_SIMD_MAX takes: X(plain), the plain
// loops every build has, then one X(level) for each level that
// cmake/simd-levels.cmake gives the target (FLYOVER_SIMD_HAVE_<LEVEL>).
// The converters choose among them; the platform refuses a cap that names
// none of them before the program's display opens.
#ifndef FLYOVER_FORMATS_SIMD_LEVELS_H
#define FLYOVER_FORMATS_SIMD_LEVELS_H

#ifdef FLYOVER_SIMD_HAVE_MMX
#define FLYOVER_SIMD_LEVEL_MMX(X) X(mmx)
#else
#define FLYOVER_SIMD_LEVEL_MMX(X)
#endif
#ifdef FLYOVER_SIMD_HAVE_SSE2
#define FLYOVER_SIMD_LEVEL_SSE2(X) X(sse2)
#else
#define FLYOVER_SIMD_LEVEL_SSE2(X)
#endif
#ifdef FLYOVER_SIMD_HAVE_SSSE3
#define FLYOVER_SIMD_LEVEL_SSSE3(X) X(ssse3)
#else
#define FLYOVER_SIMD_LEVEL_SSSE3(X)
#endif
#ifdef FLYOVER_SIMD_HAVE_AVX2
#define FLYOVER_SIMD_LEVEL_AVX2(X) X(avx2)
#else
#define FLYOVER_SIMD_LEVEL_AVX2(X)
#endif
#ifdef FLYOVER_SIMD_HAVE_AVX512
#define FLYOVER_SIMD_LEVEL_AVX512(X) X(avx512)
#else
#define FLYOVER_SIMD_LEVEL_AVX512(X)
#endif
#ifdef FLYOVER_SIMD_HAVE_NEON
#define FLYOVER_SIMD_LEVEL_NEON(X) X(neon)
#else
#define FLYOVER_SIMD_LEVEL_NEON(X)
#endif

#define FLYOVER_SIMD_LEVELS(X)                                                                                         \
  X(plain)                                                                                                             \
  FLYOVER_SIMD_LEVEL_MMX(X)                                                                                            \
  FLYOVER_SIMD_LEVEL_SSE2(X)                                                                                           \
  FLYOVER_SIMD_LEVEL_SSSE3(X)                                                                                          \
  FLYOVER_SIMD_LEVEL_AVX2(X)                                                                                           \
  FLYOVER_SIMD_LEVEL_AVX512(X)                                                                                         \
  FLYOVER_SIMD_LEVEL_NEON(X)

// "plain, mmx, ...", for messages.
#define FLYOVER_SIMD_LEVEL_NAME(level) ", " #level
inline constexpr const char *simd_level_list = &FLYOVER_SIMD_LEVELS(FLYOVER_SIMD_LEVEL_NAME)[2];
#undef FLYOVER_SIMD_LEVEL_NAME

#endif
