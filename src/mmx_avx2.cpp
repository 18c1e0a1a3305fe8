// The AVX2 level, compiled with -mavx2: eight pixels per 256-bit register,
// then SSSE3's blocks (compiled here for AVX2 too) for what is left.
#define FLYOVER_SSE_SHUFFLE 1
#include "mmx_sse.h"

#include <immintrin.h>

namespace {

inline __m256i load256(const uint8_t *p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p)); }
inline void store256(uint8_t *p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i *>(p), v); }
inline __m256i splat256(uint64_t v) { return _mm256_set1_epi64x(static_cast<long long>(v)); }

// The same lanes as SSE2's lanes565 and lanes555, eight pixels at a time.
inline __m256i lanes565(__m256i p, __m256i mul) {
  const __m256i product = _mm256_madd_epi16(_mm256_and_si256(p, splat256(mmx_rgb565_rb)), mul);
  return _mm256_or_si256(product, _mm256_and_si256(p, splat256(mmx_rgb565_g)));
}

inline __m256i lanes555(__m256i p, __m256i mul) {
  const __m256i product = _mm256_madd_epi16(_mm256_and_si256(p, splat256(mmx_rgb555_rb)), mul);
  return _mm256_srli_epi32(_mm256_or_si256(product, _mm256_and_si256(p, splat256(mmx_rgb555_g))), 6);
}

// The packs work within 128-bit halves; this puts their quarters in order.
inline __m256i in_order(__m256i packed) { return _mm256_permute4x64_epi64(packed, 0xD8); }

uint32_t blocks_copy(uint8_t *d, const uint8_t *s, uint32_t n) {
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
template <channel_order Order> uint32_t blocks_24(uint8_t *d, const uint8_t *s, uint32_t n) {
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

// Values of at most 0xFFFF: the unsigned 32-to-16-bit pack keeps them.
template <channel_order Order> uint32_t blocks_565(uint8_t *d, const uint8_t *s, uint32_t n) {
  const uint32_t count = n;
  const __m256i m = splat256(Order == channel_order::rgb ? mmx_rgb565_mul : mmx_bgr565_mul);
  for (; n >= 16; n -= 16, s += 64, d += 32) {
    const __m256i low = _mm256_srli_epi32(lanes565(load256(s), m), 5);
    const __m256i high = _mm256_srli_epi32(lanes565(load256(s + 32), m), 5);
    store256(d, in_order(_mm256_packus_epi32(low, high)));
  }
  return count - n + sse::blocks_565<Order>(d, s, n);
}

template <channel_order Order> uint32_t blocks_555(uint8_t *d, const uint8_t *s, uint32_t n) {
  const uint32_t count = n;
  const __m256i m = splat256(Order == channel_order::rgb ? mmx_rgb555_mul : mmx_bgr555_mul);
  for (; n >= 16; n -= 16, s += 64, d += 32)
    store256(d, in_order(_mm256_packs_epi32(lanes555(load256(s), m), lanes555(load256(s + 32), m))));
  return count - n + sse::blocks_555<Order>(d, s, n);
}

} // namespace

const simd_routines simd_routines_avx2 =
    routines_of<blocks_copy, blocks_32, blocks_24<order::rgb>, blocks_24<order::bgr>, blocks_565<order::rgb>,
                blocks_565<order::bgr>, blocks_555<order::rgb>, blocks_555<order::bgr>>;
