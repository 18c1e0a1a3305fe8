// The block routines behind the eight row converters: a block copy, the
// red-blue exchange of the 32-bit BGR layout, the two 24-bit layouts and the
// four 16-bit layouts. Each works through the row in blocks with the widest
// SIMD set that the build targets, then converts the pixels left over one at
// a time. The set is chosen here, when compiling, from the compiler's
// predefined macros (FLYOVER_SIMD may name one of the levels below instead;
// the build's FLYOVER_SIMD option does that); nothing probes the processor
// at run time. Every level writes the same bytes, exactly count pixels'
// worth, at any alignment of either pointer, and never reads a source pixel
// past count.
//
// The file reads one level at a time: the per-pixel code that every level
// shares, then one section per instruction set (MMX, SSE2 and SSSE3, AVX2,
// NEON), each a namespace with the same five block functions, then the entry
// points, which run the chosen level's blocks and finish the row with the
// shared per-pixel code. A block function converts whole blocks from the
// start of the row and returns how many pixels (bytes, for the copy) it did.
#include "ptc.h"

#include <string.h>

#define FLYOVER_SIMD_NONE 0 // plain C++
#define FLYOVER_SIMD_MMX 1  // 64-bit MMX registers, ends with EMMS
#define FLYOVER_SIMD_SSE2 2
#define FLYOVER_SIMD_SSSE3 3 // SSE2 plus a byte shuffle for the BGR and 24-bit layouts
#define FLYOVER_SIMD_AVX2 4  // 256-bit blocks in front of the SSSE3 ones
#define FLYOVER_SIMD_NEON 5  // 64-bit ARM's 128-bit vectors

#ifndef FLYOVER_SIMD
#if defined(__AVX2__)
#define FLYOVER_SIMD FLYOVER_SIMD_AVX2
#elif defined(__SSSE3__)
#define FLYOVER_SIMD FLYOVER_SIMD_SSSE3
#elif defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define FLYOVER_SIMD FLYOVER_SIMD_SSE2
#elif defined(__MMX__)
#define FLYOVER_SIMD FLYOVER_SIMD_MMX
#elif defined(__aarch64__) && defined(__ARM_NEON)
#define FLYOVER_SIMD FLYOVER_SIMD_NEON
#else
#define FLYOVER_SIMD FLYOVER_SIMD_NONE
#endif
#endif

// A level the target has not got stops here, before its system header
// fails; the build option checks this too, when configuring. Emscripten's
// x86 headers carry the SSE levels out in wasm SIMD, so they count as x86.
#if FLYOVER_SIMD < FLYOVER_SIMD_NONE || FLYOVER_SIMD > FLYOVER_SIMD_NEON
#error "FLYOVER_SIMD is not a level: 0 plain, 1 MMX, 2 SSE2, 3 SSSE3, 4 AVX2, 5 NEON"
#elif FLYOVER_SIMD >= FLYOVER_SIMD_MMX && FLYOVER_SIMD <= FLYOVER_SIMD_AVX2 &&                                         \
    !(defined(__i386__) || defined(__x86_64__) || defined(_M_IX86) || defined(_M_X64) || defined(__EMSCRIPTEN__))
#error "FLYOVER_SIMD names an x86 level (MMX, SSE2, SSSE3, AVX2) and the target is not x86"
#elif FLYOVER_SIMD == FLYOVER_SIMD_NEON && !(defined(__aarch64__) && defined(__ARM_NEON))
#error "FLYOVER_SIMD names NEON and the target is not 64-bit ARM"
#elif FLYOVER_SIMD == FLYOVER_SIMD_AVX2
#include <immintrin.h>
#elif FLYOVER_SIMD == FLYOVER_SIMD_SSSE3
#include <tmmintrin.h>
#elif FLYOVER_SIMD == FLYOVER_SIMD_SSE2
#include <emmintrin.h>
#elif FLYOVER_SIMD == FLYOVER_SIMD_MMX
#include <mmintrin.h>
#elif FLYOVER_SIMD == FLYOVER_SIMD_NEON
#include <arm_neon.h>
#endif

// ===== Shared by every level: one pixel at a time, for the pixels left over
// after the blocks and for every pixel without SIMD.

namespace {

inline uint32_t load32(const uint8_t *p) {
  uint32_t v;
  memcpy(&v, p, 4);
  return v;
}

inline void store32(uint8_t *p, uint32_t v) { memcpy(p, &v, 4); }

inline void store16(uint8_t *p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

// Red and blue exchanged, top byte 0.
inline uint32_t swap_rb(uint32_t p) { return ((p >> 16) & 0xFF) | (p & 0xFF00) | ((p & 0xFF) << 16); }

inline uint32_t rgb565(uint32_t p) {
  const uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
  return (((r << 8) | (b >> 3)) & 0xF81F) + (((g << 8) >> 5) & 0x07E0);
}

inline uint32_t bgr565(uint32_t p) {
  const uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
  return (((b << 8) | (r >> 3)) & 0xF81F) + (((g << 8) >> 5) & 0x07E0);
}

inline uint32_t rgb555(uint32_t p) { return ((p >> 3) & 0x001F) | ((p >> 6) & 0x03E0) | ((p >> 9) & 0x7C00); }

inline uint32_t bgr555(uint32_t p) { return ((p >> 19) & 0x001F) | ((p >> 6) & 0x03E0) | ((p << 7) & 0x7C00); }

} // namespace

// ===== No SIMD: no blocks, every pixel goes through the shared code.

#if FLYOVER_SIMD == FLYOVER_SIMD_NONE
namespace {
namespace simd {

inline uint32_t blocks_copy(uint8_t *, const uint8_t *, uint32_t) { return 0; }
inline uint32_t blocks_32(uint8_t *, const uint8_t *, uint32_t) { return 0; }
inline uint32_t blocks_24(uint8_t *, const uint8_t *, uint32_t, bool) { return 0; }
inline uint32_t blocks_565(uint8_t *, const uint8_t *, uint32_t, bool) { return 0; }
inline uint32_t blocks_555(uint8_t *, const uint8_t *, uint32_t, bool) { return 0; }

} // namespace simd
} // namespace
#endif

// ===== The lane constants of the x86 levels, as 64-bit values; the wider
// levels repeat them in every 64-bit lane.

#if FLYOVER_SIMD >= FLYOVER_SIMD_MMX && FLYOVER_SIMD <= FLYOVER_SIMD_AVX2
namespace {

[[maybe_unused]] const uint64_t mmx_rgb888_mask = 0x00FFFFFF00FFFFFFull; // clears two top bytes
[[maybe_unused]] const uint64_t mmx_bgr888_rb = 0x00FF00FF00FF00FFull;   // red and blue, halves exchanged
[[maybe_unused]] const uint64_t mmx_bgr888_g = 0x0000FF000000FF00ull;    // green
[[maybe_unused]] const uint64_t mmx_rgb565_b = 0x000000F8000000F8ull;    // top five bits of blue
[[maybe_unused]] const uint64_t mmx_rgb565_g = 0x0000FC000000FC00ull;    // top six bits of green
[[maybe_unused]] const uint64_t mmx_rgb565_r = 0x00F8000000F80000ull;    // top five bits of red
[[maybe_unused]] const uint64_t mmx_rgb555_rb = 0x00F800F800F800F8ull;   // blue and red at once
[[maybe_unused]] const uint64_t mmx_rgb555_g = 0x0000F8000000F800ull;    // top five bits of green
[[maybe_unused]] const uint64_t mmx_rgb555_mul = 0x2000000820000008ull;  // B * 8 + R * 0x2000
[[maybe_unused]] const uint64_t mmx_bgr555_mul = 0x0008200000082000ull;  // B * 0x2000 + R * 8
[[maybe_unused]] const uint64_t mmx_rgb565_mul = 0x2000000420000004ull;  // B * 4 + R * 0x2000
[[maybe_unused]] const uint64_t mmx_bgr565_mul = 0x0004200000042000ull;  // B * 0x2000 + R * 4

} // namespace
#endif

// ===== MMX: two pixels per 64-bit register.

#if FLYOVER_SIMD == FLYOVER_SIMD_MMX
namespace {
namespace simd {

inline __m64 load64(const uint8_t *p) {
  __m64 v;
  memcpy(&v, p, 8);
  return v;
}
inline void store64(uint8_t *p, __m64 v) { memcpy(p, &v, 8); }
inline __m64 splat64(uint64_t v) { return _mm_set_pi32(static_cast<int>(v >> 32), static_cast<int>(v)); }

// The same exchange as SSE2's, two pixels at a time, with shifts: plain MMX
// has no word shuffle.
inline __m64 swap_rb(__m64 p) {
  const __m64 halves = _mm_or_si64(_mm_slli_pi32(p, 16), _mm_srli_pi32(p, 16));
  return _mm_or_si64(_mm_and_si64(halves, splat64(mmx_bgr888_rb)), _mm_and_si64(p, splat64(mmx_bgr888_g)));
}

// Four pixels to four 5-6-5 values in the low 16 bits of their 32-bit lanes
// (at most 0x07FF, so a signed pack keeps them) and the five bits that go to
// the top of each value, at bits 19-23 (an unsigned byte pack moves them to
// bits 11-15). rgb: red on top; otherwise blue.
inline void lanes565(__m64 p, bool rgb, __m64 *low, __m64 *top) {
  const __m64 g = _mm_and_si64(p, splat64(mmx_rgb565_g));
  const __m64 b = _mm_and_si64(p, splat64(mmx_rgb565_b));
  const __m64 r = _mm_and_si64(p, splat64(mmx_rgb565_r));
  if (rgb) {
    *low = _mm_srli_pi32(_mm_or_si64(_mm_slli_pi32(b, 2), g), 5);
    *top = r;
  } else {
    *low = _mm_srli_pi32(_mm_or_si64(_mm_srli_pi32(r, 14), g), 5);
    *top = _mm_slli_si64(b, 16);
  }
}

// Two pixels to two 5-5-5 values in the low 16 bits of their lanes, as in
// SSE2's lanes555.
inline __m64 lanes555(__m64 p, __m64 mul) {
  const __m64 product = _mm_madd_pi16(_mm_and_si64(p, splat64(mmx_rgb555_rb)), mul);
  return _mm_srli_pi32(_mm_or_si64(product, _mm_and_si64(p, splat64(mmx_rgb555_g))), 6);
}

// A copy does no arithmetic, and GCC moves 64-bit values that no MMX
// instruction works on through integer registers (and the stack) instead;
// the C library's copy is faster.
inline uint32_t blocks_copy(uint8_t *, const uint8_t *, uint32_t) { return 0; }

inline uint32_t blocks_32(uint8_t *d, const uint8_t *s, uint32_t n) {
  const uint32_t count = n;
  for (; n >= 4; n -= 4, s += 16, d += 16) {
    const __m64 a = load64(s), b = load64(s + 8);
    store64(d, swap_rb(a));
    store64(d + 8, swap_rb(b));
  }
  _mm_empty();
  return count - n;
}

// Four pixels to one 64-bit and one 32-bit store; the BGR layout has red
// and blue exchanged in its lanes first.
inline uint32_t blocks_24(uint8_t *d, const uint8_t *s, uint32_t n, bool bgr) {
  const uint32_t count = n;
  const __m64 mask = splat64(mmx_rgb888_mask);
  const __m64 zero = _mm_setzero_si64();
  for (; n >= 4; n -= 4, s += 16, d += 12) {
    const __m64 a = bgr ? swap_rb(load64(s)) : _mm_and_si64(load64(s), mask);
    const __m64 b = bgr ? swap_rb(load64(s + 8)) : _mm_and_si64(load64(s + 8), mask);
    const __m64 q0 = _mm_unpacklo_pi32(a, zero), q1 = _mm_unpackhi_pi32(a, zero);
    const __m64 q2 = _mm_unpacklo_pi32(b, zero), q3 = _mm_unpackhi_pi32(b, zero);
    store64(d, _mm_or_si64(_mm_or_si64(q0, _mm_slli_si64(q1, 24)), _mm_slli_si64(b, 48)));
    const int last = _mm_cvtsi64_si32(_mm_or_si64(_mm_srli_si64(q2, 16), _mm_slli_si64(q3, 8)));
    memcpy(d + 8, &last, 4);
  }
  _mm_empty();
  return count - n;
}

inline uint32_t blocks_565(uint8_t *d, const uint8_t *s, uint32_t n, bool rgb) {
  const uint32_t count = n;
  for (; n >= 4; n -= 4, s += 16, d += 8) {
    __m64 low0, top0, low1, top1;
    lanes565(load64(s), rgb, &low0, &top0);
    lanes565(load64(s + 8), rgb, &low1, &top1);
    store64(d, _mm_or_si64(_mm_packs_pi32(low0, low1), _mm_packs_pu16(top0, top1)));
  }
  _mm_empty();
  return count - n;
}

inline uint32_t blocks_555(uint8_t *d, const uint8_t *s, uint32_t n, bool bgr) {
  const uint32_t count = n;
  for (const __m64 m = splat64(bgr ? mmx_bgr555_mul : mmx_rgb555_mul); n >= 8; n -= 8, s += 32, d += 16) {
    store64(d, _mm_packs_pi32(lanes555(load64(s), m), lanes555(load64(s + 8), m)));
    store64(d + 8, _mm_packs_pi32(lanes555(load64(s + 16), m), lanes555(load64(s + 24), m)));
  }
  _mm_empty();
  return count - n;
}

} // namespace simd
} // namespace
#endif

// ===== SSE2 and SSSE3: four pixels per 128-bit register. AVX2 runs these
// after its own wider blocks.

#if FLYOVER_SIMD >= FLYOVER_SIMD_SSE2 && FLYOVER_SIMD <= FLYOVER_SIMD_AVX2
namespace {
namespace sse {

inline __m128i load128(const uint8_t *p) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)); }
inline void store128(uint8_t *p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i *>(p), v); }
inline __m128i splat128(uint64_t v) { return _mm_set1_epi64x(static_cast<long long>(v)); }

// Four pixels with red and blue exchanged and the top byte cleared.
#if FLYOVER_SIMD >= FLYOVER_SIMD_SSSE3
inline __m128i swap_rb(__m128i p) {
  return _mm_shuffle_epi8(p, _mm_setr_epi8(2, 1, 0, -1, 6, 5, 4, -1, 10, 9, 8, -1, 14, 13, 12, -1));
}

// The three colour bytes of each of four pixels, in the layout's order, to
// the first twelve bytes of a 128-bit lane; its last four are zero.
inline __m128i pack24(bool bgr) {
  return bgr ? _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1)
             : _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
}
#else
// Without a byte shuffle: the two 16-bit halves of each lane change places,
// which brings blue up to bits 16-23 and red down to bits 0-7, and green
// stays where it is. Two word shuffles make the exchange in fewer
// instructions than two shifts and an OR, which need copies of the pixels.
inline __m128i swap_rb(__m128i p) {
  const __m128i halves = _mm_shufflehi_epi16(_mm_shufflelo_epi16(p, 0xB1), 0xB1);
  return _mm_or_si128(_mm_and_si128(halves, splat128(mmx_bgr888_rb)), _mm_and_si128(p, splat128(mmx_bgr888_g)));
}
#endif

// Four pixels to their 5-6-5 values in bits 5-20 of their 32-bit lanes: one
// multiply-add of the masked blue and red halves puts them at bits 5-9 and
// 16-20 (mmx_rgb565_mul) or the other way round (mmx_bgr565_mul), and the top
// six bits of green already sit at bits 10-15.
inline __m128i lanes565(__m128i p, __m128i mul) {
  const __m128i product = _mm_madd_epi16(_mm_and_si128(p, splat128(mmx_rgb555_rb)), mul);
  return _mm_or_si128(product, _mm_and_si128(p, splat128(mmx_rgb565_g)));
}

// Four pixels to four 5-5-5 values in the low 16 bits of their lanes.
inline __m128i lanes555(__m128i p, __m128i mul) {
  const __m128i product = _mm_madd_epi16(_mm_and_si128(p, splat128(mmx_rgb555_rb)), mul);
  return _mm_srli_epi32(_mm_or_si128(product, _mm_and_si128(p, splat128(mmx_rgb555_g))), 6);
}

inline uint32_t blocks_copy(uint8_t *d, const uint8_t *s, uint32_t n) {
  const uint32_t count = n;
  for (; n >= 64; n -= 64, s += 64, d += 64) {
    const __m128i a = load128(s), b = load128(s + 16), c = load128(s + 32), e = load128(s + 48);
    store128(d, a);
    store128(d + 16, b);
    store128(d + 32, c);
    store128(d + 48, e);
  }
  for (; n >= 16; n -= 16, s += 16, d += 16)
    store128(d, load128(s));
  return count - n;
}

// Four registers per pass, all loaded before any is stored, as in the copy:
// fewer passes, and the loads run ahead of the stores.
inline uint32_t blocks_32(uint8_t *d, const uint8_t *s, uint32_t n) {
  const uint32_t count = n;
  for (; n >= 16; n -= 16, s += 64, d += 64) {
    const __m128i a = load128(s), b = load128(s + 16), c = load128(s + 32), e = load128(s + 48);
    store128(d, swap_rb(a));
    store128(d + 16, swap_rb(b));
    store128(d + 32, swap_rb(c));
    store128(d + 48, swap_rb(e));
  }
  for (; n >= 4; n -= 4, s += 16, d += 16)
    store128(d, swap_rb(load128(s)));
  return count - n;
}

inline uint32_t blocks_24(uint8_t *d, const uint8_t *s, uint32_t n, bool bgr) {
  const uint32_t count = n;
#if FLYOVER_SIMD >= FLYOVER_SIMD_SSSE3
  // Sixteen pixels to 48 bytes: each store joins the end of one packed
  // register to the start of the next.
  for (const __m128i pack = pack24(bgr); n >= 16; n -= 16, s += 64, d += 48) {
    const __m128i v0 = _mm_shuffle_epi8(load128(s), pack), v1 = _mm_shuffle_epi8(load128(s + 16), pack);
    const __m128i v2 = _mm_shuffle_epi8(load128(s + 32), pack), v3 = _mm_shuffle_epi8(load128(s + 48), pack);
    store128(d, _mm_or_si128(v0, _mm_slli_si128(v1, 12)));
    store128(d + 16, _mm_or_si128(_mm_srli_si128(v1, 4), _mm_slli_si128(v2, 8)));
    store128(d + 32, _mm_or_si128(_mm_srli_si128(v2, 8), _mm_slli_si128(v3, 4)));
  }
#else
  // The BGR layout has red and blue exchanged in its lanes first. Each
  // 64-bit half closes the gap of its first pixel's top byte, which leaves
  // six bytes and two zeros; the halves are stored eight bytes each, six
  // bytes apart, so that every store's two zeros are overwritten by the
  // next one. The loop stops while the last store still falls within the
  // row (three bytes per pixel, fourteen for a block).
  const __m128i first = _mm_set1_epi64x(0x0000000000FFFFFFll);
  const __m128i second = _mm_set1_epi64x(0x00FFFFFF00000000ll);
  for (; n >= 5; n -= 4, s += 16, d += 12) {
    const __m128i v = bgr ? swap_rb(load128(s)) : load128(s);
    const __m128i halves = _mm_or_si128(_mm_and_si128(v, first), _mm_srli_epi64(_mm_and_si128(v, second), 8));
    _mm_storel_epi64(reinterpret_cast<__m128i *>(d), halves);
    _mm_storeh_pi(reinterpret_cast<__m64 *>(d + 6), _mm_castsi128_ps(halves));
  }
#endif
  return count - n;
}

// SSE2 packs 32-bit lanes with signed saturation only, so each value is
// sign-extended from its 16 bits first, which that pack keeps.
inline uint32_t blocks_565(uint8_t *d, const uint8_t *s, uint32_t n, bool rgb) {
  const uint32_t count = n;
  for (const __m128i m = splat128(rgb ? mmx_rgb565_mul : mmx_bgr565_mul); n >= 8; n -= 8, s += 32, d += 16) {
    const __m128i low = _mm_srai_epi32(_mm_slli_epi32(lanes565(load128(s), m), 11), 16);
    const __m128i high = _mm_srai_epi32(_mm_slli_epi32(lanes565(load128(s + 16), m), 11), 16);
    store128(d, _mm_packs_epi32(low, high));
  }
  return count - n;
}

// The two 5-5-5 layouts differ only in the multiplier that places red and
// blue.
inline uint32_t blocks_555(uint8_t *d, const uint8_t *s, uint32_t n, bool bgr) {
  const uint32_t count = n;
  for (const __m128i m = splat128(bgr ? mmx_bgr555_mul : mmx_rgb555_mul); n >= 8; n -= 8, s += 32, d += 16)
    store128(d, _mm_packs_epi32(lanes555(load128(s), m), lanes555(load128(s + 16), m)));
  return count - n;
}

} // namespace sse
} // namespace

#if FLYOVER_SIMD != FLYOVER_SIMD_AVX2
namespace {
namespace simd = sse;
}
#endif
#endif

// ===== AVX2: eight pixels per 256-bit register, then SSSE3's blocks for
// what is left.

#if FLYOVER_SIMD == FLYOVER_SIMD_AVX2
namespace {
namespace simd {

inline __m256i load256(const uint8_t *p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p)); }
inline void store256(uint8_t *p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i *>(p), v); }
inline __m256i splat256(uint64_t v) { return _mm256_set1_epi64x(static_cast<long long>(v)); }

// The same lanes as SSE2's lanes565 and lanes555, eight pixels at a time.
inline __m256i lanes565(__m256i p, __m256i mul) {
  const __m256i product = _mm256_madd_epi16(_mm256_and_si256(p, splat256(mmx_rgb555_rb)), mul);
  return _mm256_or_si256(product, _mm256_and_si256(p, splat256(mmx_rgb565_g)));
}

inline __m256i lanes555(__m256i p, __m256i mul) {
  const __m256i product = _mm256_madd_epi16(_mm256_and_si256(p, splat256(mmx_rgb555_rb)), mul);
  return _mm256_srli_epi32(_mm256_or_si256(product, _mm256_and_si256(p, splat256(mmx_rgb555_g))), 6);
}

// The packs work within 128-bit halves; this puts their quarters in order.
inline __m256i in_order(__m256i packed) { return _mm256_permute4x64_epi64(packed, 0xD8); }

inline uint32_t blocks_copy(uint8_t *d, const uint8_t *s, uint32_t n) {
  const uint32_t count = n;
  for (; n >= 128; n -= 128, s += 128, d += 128) {
    const __m256i a = load256(s), b = load256(s + 32), c = load256(s + 64), e = load256(s + 96);
    store256(d, a);
    store256(d + 32, b);
    store256(d + 64, c);
    store256(d + 96, e);
  }
  return count - n + sse::blocks_copy(d, s, n);
}

// The byte shuffle of SSSE3's swap_rb on eight pixels at once.
inline uint32_t blocks_32(uint8_t *d, const uint8_t *s, uint32_t n) {
  const uint32_t count = n;
  const __m256i swap = _mm256_setr_epi8(2, 1, 0, -1, 6, 5, 4, -1, 10, 9, 8, -1, 14, 13, 12, -1, 2, 1, 0, -1, 6, 5, 4,
                                        -1, 10, 9, 8, -1, 14, 13, 12, -1);
  for (; n >= 32; n -= 32, s += 128, d += 128) {
    const __m256i a = load256(s), b = load256(s + 32), c = load256(s + 64), e = load256(s + 96);
    store256(d, _mm256_shuffle_epi8(a, swap));
    store256(d + 32, _mm256_shuffle_epi8(b, swap));
    store256(d + 64, _mm256_shuffle_epi8(c, swap));
    store256(d + 96, _mm256_shuffle_epi8(e, swap));
  }
  return count - n + sse::blocks_32(d, s, n);
}

// Both 128-bit halves packed as by SSSE3; then the six filled 32-bit lanes
// of each of the four registers to their places in three stores, which
// blends join: 24 + 8 | 16 + 16 | 8 + 24 bytes.
inline uint32_t blocks_24(uint8_t *d, const uint8_t *s, uint32_t n, bool bgr) {
  const uint32_t count = n;
  const __m256i pack2 = _mm256_broadcastsi128_si256(sse::pack24(bgr));
  const __m256i place0 = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 0, 0);
  const __m256i place1 = _mm256_setr_epi32(2, 4, 5, 6, 0, 0, 0, 1);
  const __m256i place2 = _mm256_setr_epi32(5, 6, 0, 0, 0, 1, 2, 4);
  const __m256i place3 = _mm256_setr_epi32(0, 0, 0, 1, 2, 4, 5, 6);
  for (; n >= 32; n -= 32, s += 128, d += 96) {
    const __m256i a = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(load256(s), pack2), place0);
    const __m256i b = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(load256(s + 32), pack2), place1);
    const __m256i c = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(load256(s + 64), pack2), place2);
    const __m256i e = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(load256(s + 96), pack2), place3);
    store256(d, _mm256_blend_epi32(a, b, 0xC0));
    store256(d + 32, _mm256_blend_epi32(b, c, 0xF0));
    store256(d + 64, _mm256_blend_epi32(c, e, 0xFC));
  }
  return count - n + sse::blocks_24(d, s, n, bgr);
}

// Values of at most 0xFFFF: the unsigned 32-to-16-bit pack keeps them.
inline uint32_t blocks_565(uint8_t *d, const uint8_t *s, uint32_t n, bool rgb) {
  const uint32_t count = n;
  for (const __m256i m = splat256(rgb ? mmx_rgb565_mul : mmx_bgr565_mul); n >= 16; n -= 16, s += 64, d += 32) {
    const __m256i low = _mm256_srli_epi32(lanes565(load256(s), m), 5);
    const __m256i high = _mm256_srli_epi32(lanes565(load256(s + 32), m), 5);
    store256(d, in_order(_mm256_packus_epi32(low, high)));
  }
  return count - n + sse::blocks_565(d, s, n, rgb);
}

inline uint32_t blocks_555(uint8_t *d, const uint8_t *s, uint32_t n, bool bgr) {
  const uint32_t count = n;
  for (const __m256i m = splat256(bgr ? mmx_bgr555_mul : mmx_rgb555_mul); n >= 16; n -= 16, s += 64, d += 32)
    store256(d, in_order(_mm256_packs_epi32(lanes555(load256(s), m), lanes555(load256(s + 32), m))));
  return count - n + sse::blocks_555(d, s, n, bgr);
}

} // namespace simd
} // namespace
#endif

// ===== NEON: sixteen pixels per block, in four 128-bit registers. The
// structure loads split a block into planes of blue, green, red and top
// bytes, and the structure stores interleave planes back, so the 24-bit and
// 16-bit layouts need no shuffles of their own.

#if FLYOVER_SIMD == FLYOVER_SIMD_NEON
namespace {
namespace simd {

// Sixteen channel bytes widened into the top bytes of sixteen 16-bit lanes,
// low eight and high eight.
inline uint16x8_t top_low(uint8x16_t c) { return vshll_n_u8(vget_low_u8(c), 8); }
inline uint16x8_t top_high(uint8x16_t c) { return vshll_high_n_u8(c, 8); }

// 5-6-5 values of eight pixels: each shift-right-insert keeps the bits above
// the field it fills, so high's top five bits land at 11-15, green's top six
// at 5-10 and low's top five at 0-4 (all lanes hold a channel in their top
// byte).
inline uint16x8_t pack565(uint16x8_t high, uint16x8_t green, uint16x8_t low) {
  return vsriq_n_u16(vsriq_n_u16(high, green, 5), low, 11);
}

// 5-5-5 values of eight pixels: high holds its channel one bit lower (bits
// 7-14), so bit 15 stays clear and its top five bits land at 10-14.
inline uint16x8_t pack555(uint16x8_t high, uint16x8_t green, uint16x8_t low) {
  return vsriq_n_u16(vsriq_n_u16(high, green, 6), low, 11);
}

// Sixteen-bit values stored as their bytes, low byte first: the row may
// start at an odd address, where a 16-bit vector store would be undefined.
inline void store_values(uint8_t *d, uint16x8_t values) { vst1q_u8(d, vreinterpretq_u8_u16(values)); }

// The C library's copy already moves whole vector registers.
inline uint32_t blocks_copy(uint8_t *, const uint8_t *, uint32_t) { return 0; }

// One table lookup per four pixels: the indices pick each pixel's red,
// green and blue bytes, and the out-of-range index 0xFF reads zero, which
// clears the top byte.
inline uint32_t blocks_32(uint8_t *d, const uint8_t *s, uint32_t n) {
  static const uint8_t order[16] = {2, 1, 0, 0xFF, 6, 5, 4, 0xFF, 10, 9, 8, 0xFF, 14, 13, 12, 0xFF};
  const uint32_t count = n;
  for (const uint8x16_t swap = vld1q_u8(order); n >= 16; n -= 16, s += 64, d += 64) {
    const uint8x16_t a = vld1q_u8(s), b = vld1q_u8(s + 16), c = vld1q_u8(s + 32), e = vld1q_u8(s + 48);
    vst1q_u8(d, vqtbl1q_u8(a, swap));
    vst1q_u8(d + 16, vqtbl1q_u8(b, swap));
    vst1q_u8(d + 32, vqtbl1q_u8(c, swap));
    vst1q_u8(d + 48, vqtbl1q_u8(e, swap));
  }
  return count - n;
}

// The planes of blue, green and red stored interleaved in the layout's
// order, the top bytes' plane left out.
inline uint32_t blocks_24(uint8_t *d, const uint8_t *s, uint32_t n, bool bgr) {
  const uint32_t count = n;
  for (; n >= 16; n -= 16, s += 64, d += 48) {
    const uint8x16x4_t p = vld4q_u8(s);
    uint8x16x3_t out;
    out.val[0] = bgr ? p.val[2] : p.val[0];
    out.val[1] = p.val[1];
    out.val[2] = bgr ? p.val[0] : p.val[2];
    vst3q_u8(d, out);
  }
  return count - n;
}

inline uint32_t blocks_565(uint8_t *d, const uint8_t *s, uint32_t n, bool rgb) {
  const uint32_t count = n;
  for (; n >= 16; n -= 16, s += 64, d += 32) {
    const uint8x16x4_t p = vld4q_u8(s);
    const uint8x16_t high = rgb ? p.val[2] : p.val[0], low = rgb ? p.val[0] : p.val[2];
    store_values(d, pack565(top_low(high), top_low(p.val[1]), top_low(low)));
    store_values(d + 16, pack565(top_high(high), top_high(p.val[1]), top_high(low)));
  }
  return count - n;
}

inline uint32_t blocks_555(uint8_t *d, const uint8_t *s, uint32_t n, bool bgr) {
  const uint32_t count = n;
  for (; n >= 16; n -= 16, s += 64, d += 32) {
    const uint8x16x4_t p = vld4q_u8(s);
    const uint8x16_t high = bgr ? p.val[0] : p.val[2], low = bgr ? p.val[2] : p.val[0];
    const uint16x8_t high0 = vshll_n_u8(vget_low_u8(high), 7), high1 = vshll_n_u8(vget_high_u8(high), 7);
    store_values(d, pack555(high0, top_low(p.val[1]), top_low(low)));
    store_values(d + 16, pack555(high1, top_high(p.val[1]), top_high(low)));
  }
  return count - n;
}

} // namespace simd
} // namespace
#endif

// ===== Entry points: the level's blocks, then the shared per-pixel code for
// the rest of the row. Those of the two BGR layouts are not in the shared
// header; the converters declare them where they call them.

namespace {

void convert_24(uint8_t *d, const uint8_t *s, uint32_t n, bool bgr) {
  const uint32_t done = simd::blocks_24(d, s, n, bgr);
  d += 3 * done, s += 4 * done, n -= done;
  const int first_byte = bgr ? 2 : 0, last_byte = bgr ? 0 : 2;
  for (; n > 0; --n, s += 4, d += 3) {
    d[0] = s[first_byte];
    d[1] = s[1];
    d[2] = s[last_byte];
  }
}

// The 5-6-5 and 5-5-5 routines, each pair with one body.
void convert_565(uint8_t *d, const uint8_t *s, uint32_t n, bool rgb) {
  const uint32_t done = simd::blocks_565(d, s, n, rgb);
  d += 2 * done, s += 4 * done, n -= done;
  for (; n > 0; --n, s += 4, d += 2)
    store16(d, rgb ? rgb565(load32(s)) : bgr565(load32(s)));
}

void convert_555(uint8_t *d, const uint8_t *s, uint32_t n, bool bgr) {
  const uint32_t done = simd::blocks_555(d, s, n, bgr);
  d += 2 * done, s += 4 * done, n -= done;
  for (; n > 0; --n, s += 4, d += 2)
    store16(d, bgr ? bgr555(load32(s)) : rgb555(load32(s)));
}

} // namespace

void mmx_memcpy(void *destination, const void *source, uint32_t bytes) {
  uint8_t *d = static_cast<uint8_t *>(destination);
  const uint8_t *s = static_cast<const uint8_t *>(source);
  const uint32_t done = simd::blocks_copy(d, s, bytes);
  memcpy(d + done, s + done, bytes - done);
}

extern "C" void mmx_convert_32_to_32_bgr888(uint8_t *destination, const uint32_t *source, uint32_t count) {
  uint8_t *d = destination;
  const uint8_t *s = reinterpret_cast<const uint8_t *>(source);
  const uint32_t done = simd::blocks_32(d, s, count);
  for (uint32_t i = done; i < count; ++i)
    store32(d + 4 * i, swap_rb(load32(s + 4 * i)));
}

void mmx_convert_32_to_24_rgb888(uint8_t *destination, const uint32_t *source, uint32_t count) {
  convert_24(destination, reinterpret_cast<const uint8_t *>(source), count, false);
}

extern "C" void mmx_convert_32_to_24_bgr888(uint8_t *destination, const uint32_t *source, uint32_t count) {
  convert_24(destination, reinterpret_cast<const uint8_t *>(source), count, true);
}

void mmx_convert_32_to_16_rgb565(uint8_t *destination, const uint32_t *source, uint32_t count) {
  convert_565(destination, reinterpret_cast<const uint8_t *>(source), count, true);
}

void mmx_convert_32_to_16_bgr565(uint8_t *destination, const uint32_t *source, uint32_t count) {
  convert_565(destination, reinterpret_cast<const uint8_t *>(source), count, false);
}

void mmx_convert_32_to_16_rgb555(uint8_t *destination, const uint32_t *source, uint32_t count) {
  convert_555(destination, reinterpret_cast<const uint8_t *>(source), count, false);
}

void mmx_convert_32_to_16_bgr555(uint8_t *destination, const uint32_t *source, uint32_t count) {
  convert_555(destination, reinterpret_cast<const uint8_t *>(source), count, true);
}
