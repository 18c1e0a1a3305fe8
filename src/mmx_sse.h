// SSE2 and SSSE3 blocks: four pixels per 128-bit register. The file that
// includes this sets FLYOVER_SSE_SHUFFLE to 1 when its level has SSSE3's
// byte shuffle, which serves the BGR and 24-bit layouts, and 0 for SSE2
// alone; the level, not the compiler's target, decides, so that the SSE2
// level stays SSE2 in a build for a newer processor. AVX2 runs these after
// its own wider blocks.
#ifndef FLYOVER_MMX_SSE_H
#define FLYOVER_MMX_SSE_H

#include "mmx_x86.h"

#if FLYOVER_SSE_SHUFFLE
#include <tmmintrin.h>
#else
#include <emmintrin.h>
#endif

namespace {
namespace sse {

inline __m128i load128(const uint8_t *p) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)); }
inline void store128(uint8_t *p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i *>(p), v); }
inline __m128i splat128(uint64_t v) { return _mm_set1_epi64x(static_cast<long long>(v)); }

// Four pixels with red and blue exchanged and the top byte cleared.
#if FLYOVER_SSE_SHUFFLE
inline __m128i swap_rb(__m128i p) {
  return _mm_shuffle_epi8(p, _mm_setr_epi8(2, 1, 0, -1, 6, 5, 4, -1, 10, 9, 8, -1, 14, 13, 12, -1));
}

// The three colour bytes of each of four pixels, in the layout's order, to
// the first twelve bytes of a 128-bit lane; its last four are zero.
template <order Order> inline __m128i pack24() {
  return Order == order::bgr ? _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1)
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
  const __m128i product = _mm_madd_epi16(_mm_and_si128(p, splat128(mmx_rb_top5)), mul);
  return _mm_or_si128(product, _mm_and_si128(p, splat128(mmx_rgb565_g)));
}

// Four pixels to four 5-5-5 values in the low 16 bits of their lanes.
inline __m128i lanes555(__m128i p, __m128i mul) {
  const __m128i product = _mm_madd_epi16(_mm_and_si128(p, splat128(mmx_rb_top5)), mul);
  return _mm_srli_epi32(_mm_or_si128(product, _mm_and_si128(p, splat128(mmx_rgb555_g))), 6);
}

uint32_t blocks_copy(uint8_t *d, const uint8_t *s, uint32_t n) {
  const uint32_t count = n;
  for (; n >= 16; n -= 16, s += 64, d += 64) {
    const __m128i a = load128(s), b = load128(s + 16), c = load128(s + 32), e = load128(s + 48);
    store128(d, a);
    store128(d + 16, b);
    store128(d + 32, c);
    store128(d + 48, e);
  }
  for (; n >= 4; n -= 4, s += 16, d += 16)
    store128(d, load128(s));
  return count - n;
}

// Four registers per pass, all loaded before any is stored, as in the copy:
// fewer passes, and the loads run ahead of the stores.
uint32_t blocks_32(uint8_t *d, const uint8_t *s, uint32_t n) {
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

template <order Order> uint32_t blocks_24(uint8_t *d, const uint8_t *s, uint32_t n) {
  const uint32_t count = n;
#if FLYOVER_SSE_SHUFFLE
  // Sixteen pixels to 48 bytes: each store joins the end of one packed
  // register to the start of the next.
  for (const __m128i pack = pack24<Order>(); n >= 16; n -= 16, s += 64, d += 48) {
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
    const __m128i v = Order == order::bgr ? swap_rb(load128(s)) : load128(s);
    const __m128i halves = _mm_or_si128(_mm_and_si128(v, first), _mm_srli_epi64(_mm_and_si128(v, second), 8));
    _mm_storel_epi64(reinterpret_cast<__m128i *>(d), halves);
    _mm_storeh_pi(reinterpret_cast<__m64 *>(d + 6), _mm_castsi128_ps(halves));
  }
#endif
  return count - n;
}

// SSE2 packs 32-bit lanes with signed saturation only, so each value is
// sign-extended from its 16 bits first, which that pack keeps.
template <order Order> uint32_t blocks_565(uint8_t *d, const uint8_t *s, uint32_t n) {
  const uint32_t count = n;
  const __m128i m = splat128(Order == order::rgb ? mmx_rgb565_mul : mmx_bgr565_mul);
  for (; n >= 8; n -= 8, s += 32, d += 16) {
    const __m128i low = _mm_srai_epi32(_mm_slli_epi32(lanes565(load128(s), m), 11), 16);
    const __m128i high = _mm_srai_epi32(_mm_slli_epi32(lanes565(load128(s + 16), m), 11), 16);
    store128(d, _mm_packs_epi32(low, high));
  }
  return count - n;
}

// The two 5-5-5 layouts differ only in the multiplier that places red and
// blue.
template <order Order> uint32_t blocks_555(uint8_t *d, const uint8_t *s, uint32_t n) {
  const uint32_t count = n;
  const __m128i m = splat128(Order == order::rgb ? mmx_rgb555_mul : mmx_bgr555_mul);
  for (; n >= 8; n -= 8, s += 32, d += 16)
    store128(d, _mm_packs_epi32(lanes555(load128(s), m), lanes555(load128(s + 16), m)));
  return count - n;
}

// The level's blocks, which SSE2 and SSSE3 share.
struct blocks {
  static constexpr blocks_function *xrgb8888 = blocks_copy, *xbgr8888 = blocks_32, *rgb888 = blocks_24<order::rgb>,
                                   *bgr888 = blocks_24<order::bgr>, *rgb565 = blocks_565<order::rgb>,
                                   *bgr565 = blocks_565<order::bgr>, *rgb555 = blocks_555<order::rgb>,
                                   *bgr555 = blocks_555<order::bgr>;
};

} // namespace sse

} // namespace

#endif
