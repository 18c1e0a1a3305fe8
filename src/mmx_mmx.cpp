// MMX blocks: two pixels per 64-bit register, compiled with -mmmx. Every
// block loop ends with EMMS, so that the x87 code after it finds its
// registers usable.
#include "mmx_x86.h"

#include <mmintrin.h>

namespace {

inline __m64 load64(const uint8_t *p) {
  __m64 v;
  memcpy(&v, p, 8);
  return v;
}
inline void store64(uint8_t *p, __m64 v) { memcpy(p, &v, 8); }
inline __m64 splat64(uint64_t v) { return _mm_set_pi32(static_cast<int>(v >> 32), static_cast<int>(v)); }

// Red and blue exchanged and the top byte cleared, two pixels at a time,
// with shifts: plain MMX has no word shuffle.
inline __m64 swap_rb(__m64 p) {
  const __m64 halves = _mm_or_si64(_mm_slli_pi32(p, 16), _mm_srli_pi32(p, 16));
  return _mm_or_si64(_mm_and_si64(halves, splat64(mmx_bgr888_rb)), _mm_and_si64(p, splat64(mmx_bgr888_g)));
}

// Two pixels to two 5-6-5 values in the low 16 bits of their 32-bit lanes
// (at most 0x07FF, so a signed pack keeps them) and the five bits that go to
// the top of each value, at bits 19-23 (an unsigned byte pack moves them to
// bits 11-15).
template <order Order> inline void lanes565(__m64 p, __m64 *low, __m64 *top) {
  const __m64 g = _mm_and_si64(p, splat64(mmx_rgb565_g));
  const __m64 b = _mm_and_si64(p, splat64(mmx_rgb565_b));
  const __m64 r = _mm_and_si64(p, splat64(mmx_rgb565_r));
  if (Order == order::rgb) {
    *low = _mm_srli_pi32(_mm_or_si64(_mm_slli_pi32(b, 2), g), 5);
    *top = r;
  } else {
    *low = _mm_srli_pi32(_mm_or_si64(_mm_srli_pi32(r, 14), g), 5);
    *top = _mm_slli_si64(b, 16);
  }
}

// Two pixels to two 5-5-5 values in the low 16 bits of their lanes: one
// multiply-add places red and blue, green's top five bits are masked in.
inline __m64 lanes555(__m64 p, __m64 mul) {
  const __m64 product = _mm_madd_pi16(_mm_and_si64(p, splat64(mmx_rb_top5)), mul);
  return _mm_srli_pi32(_mm_or_si64(product, _mm_and_si64(p, splat64(mmx_rgb555_g))), 6);
}

uint32_t blocks_32(uint8_t *d, const uint8_t *s, uint32_t n) {
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
template <order Order> uint32_t blocks_24(uint8_t *d, const uint8_t *s, uint32_t n) {
  const uint32_t count = n;
  const __m64 mask = splat64(mmx_rgb888_mask);
  const __m64 zero = _mm_setzero_si64();
  for (; n >= 4; n -= 4, s += 16, d += 12) {
    const bool bgr = Order == order::bgr;
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

template <order Order> uint32_t blocks_565(uint8_t *d, const uint8_t *s, uint32_t n) {
  const uint32_t count = n;
  for (; n >= 4; n -= 4, s += 16, d += 8) {
    __m64 low0, top0, low1, top1;
    lanes565<Order>(load64(s), &low0, &top0);
    lanes565<Order>(load64(s + 8), &low1, &top1);
    store64(d, _mm_or_si64(_mm_packs_pi32(low0, low1), _mm_packs_pu16(top0, top1)));
  }
  _mm_empty();
  return count - n;
}

// The two 5-5-5 layouts differ only in the multiplier that places red and
// blue.
template <order Order> uint32_t blocks_555(uint8_t *d, const uint8_t *s, uint32_t n) {
  const uint32_t count = n;
  const __m64 m = splat64(Order == order::rgb ? mmx_rgb555_mul : mmx_bgr555_mul);
  for (; n >= 8; n -= 8, s += 32, d += 16) {
    store64(d, _mm_packs_pi32(lanes555(load64(s), m), lanes555(load64(s + 8), m)));
    store64(d + 8, _mm_packs_pi32(lanes555(load64(s + 16), m), lanes555(load64(s + 24), m)));
  }
  _mm_empty();
  return count - n;
}

// A copy does no arithmetic, and GCC moves 64-bit values that no MMX
// instruction works on through integer registers (and the stack) instead;
// the C library's copy is faster, so this level has no copy blocks.
struct mmx_blocks {
  static constexpr blocks_function *xrgb8888 = no_blocks, *xbgr8888 = blocks_32, *rgb888 = blocks_24<order::rgb>,
                                   *bgr888 = blocks_24<order::bgr>, *rgb565 = blocks_565<order::rgb>,
                                   *bgr565 = blocks_565<order::bgr>, *rgb555 = blocks_555<order::rgb>,
                                   *bgr555 = blocks_555<order::bgr>;
};

} // namespace

const simd_routines simd_routines_mmx = routines_of<mmx_blocks>;
