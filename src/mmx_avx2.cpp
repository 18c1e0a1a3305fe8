// The AVX2 level, compiled with -mavx2: eight pixels per 256-bit register,
// then SSSE3's blocks (compiled here for AVX2 too) for what is left.
#define FLYOVER_SSE_SHUFFLE 1
#include "mmx_sse.h"

#include <immintrin.h>

namespace {

inline __m256i load256(const uint8_t *p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p)); }
inline void store256(uint8_t *p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i *>(p), v); }

// Eight pixels to their 16-bit values at bits 8-23 of their lanes, by the
// two multiply-adds of mmx_x86.h.
inline __m256i sums16(__m256i p, const sixteen_bit_sums &f) {
  const __m256i masked = _mm256_and_si256(p, _mm256_set1_epi32(static_cast<int>(f.mask)));
  return _mm256_madd_epi16(_mm256_maddubs_epi16(masked, _mm256_set1_epi32(static_cast<int>(f.bytes))),
                           _mm256_set1_epi32(static_cast<int>(f.words)));
}

// The shuffles work within 128-bit halves; this puts their quarters in order.
inline __m256i in_order(__m256i packed) { return _mm256_permute4x64_epi64(packed, 0xD8); }

uint32_t blocks_copy(uint8_t *d, const uint8_t *s, uint32_t n) {
  const uint32_t count = n;
  for (; n >= 32; n -= 32, s += 128, d += 128) {
    const __m256i a = load256(s), b = load256(s + 32), c = load256(s + 64), e = load256(s + 96);
    store256(d, a);
    store256(d + 32, b);
    store256(d + 64, c);
    store256(d + 96, e);
  }
  return count - n + sse::blocks_copy(d, s, n);
}

// The byte shuffle of SSSE3's swap_rb on eight pixels at once.
uint32_t blocks_32(uint8_t *d, const uint8_t *s, uint32_t n) {
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
template <order Order> uint32_t blocks_24(uint8_t *d, const uint8_t *s, uint32_t n) {
  const uint32_t count = n;
  const __m256i pack2 = _mm256_broadcastsi128_si256(sse::pack24<Order>());
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
  return count - n + sse::blocks_24<Order>(d, s, n);
}

// Each register's values to the first or the last eight bytes of each of
// its 128-bit halves, and the quarters of the two in order; SSSE3's blocks,
// whose shifts and packs measure faster at that width, do what is left.
template <uint32_t Rest(uint8_t *, const uint8_t *, uint32_t)>
uint32_t blocks_16(uint8_t *d, const uint8_t *s, uint32_t n, const sixteen_bit_sums &f) {
  const uint32_t count = n;
  const __m256i low = _mm256_setr_epi8(1, 2, 5, 6, 9, 10, 13, 14, -1, -1, -1, -1, -1, -1, -1, -1, 1, 2, 5, 6, 9, 10, 13,
                                       14, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m256i high = _mm256_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, 1, 2, 5, 6, 9, 10, 13, 14, -1, -1, -1, -1, -1,
                                        -1, -1, -1, 1, 2, 5, 6, 9, 10, 13, 14);
  for (; n >= 16; n -= 16, s += 64, d += 32)
    store256(d, in_order(_mm256_or_si256(_mm256_shuffle_epi8(sums16(load256(s), f), low),
                                         _mm256_shuffle_epi8(sums16(load256(s + 32), f), high))));
  return count - n + Rest(d, s, n);
}

template <order Order> uint32_t blocks_565(uint8_t *d, const uint8_t *s, uint32_t n) {
  return blocks_16<sse::blocks_565<Order>>(d, s, n, Order == order::rgb ? rgb565_sums : bgr565_sums);
}

template <order Order> uint32_t blocks_555(uint8_t *d, const uint8_t *s, uint32_t n) {
  return blocks_16<sse::blocks_555<Order>>(d, s, n, Order == order::rgb ? rgb555_sums : bgr555_sums);
}

struct avx2_blocks {
  static constexpr blocks_function *xrgb8888 = blocks_copy, *xbgr8888 = blocks_32, *rgb888 = blocks_24<order::rgb>,
                                   *bgr888 = blocks_24<order::bgr>, *rgb565 = blocks_565<order::rgb>,
                                   *bgr565 = blocks_565<order::bgr>, *rgb555 = blocks_555<order::rgb>,
                                   *bgr555 = blocks_555<order::bgr>;
};

} // namespace

const simd_routines simd_routines_avx2 = routines_of<avx2_blocks>;
