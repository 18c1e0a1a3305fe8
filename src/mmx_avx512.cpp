// The AVX-512 level, compiled with -mavx512f -mavx512bw -mavx512vl
// -mavx512vbmi: sixteen pixels per 512-bit register. VBMI's two-register
// byte permute packs the 24-bit layouts straight from the loaded pixels,
// and the 16-bit ones from two multiply-adds; masked loads and stores do the
// last pixels of a row, so these blocks convert the whole row and never
// touch a byte past either end.
#include "mmx_x86.h"

#include <immintrin.h>

// GCC 12's 512-bit intrinsics start their unmasked forms from a vector that
// is deliberately left undefined (initialised from itself), which its own
// uninitialised-use warnings then report at every call.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace {

inline __m512i load512(const uint8_t *p) { return _mm512_loadu_si512(p); }
inline void store512(uint8_t *p, __m512i v) { _mm512_storeu_si512(p, v); }

// The first n of fewer than 64 bytes, and of up to 16 pixels.
inline __mmask64 first_bytes(uint32_t n) { return (__mmask64{1} << n) - 1; }
inline __mmask16 first_pixels(uint32_t n) { return static_cast<__mmask16>((1u << n) - 1); }

// A permute's 64 indices, as the instruction reads them from memory.
struct byte_indices {
  alignas(64) uint8_t at[64];
  __m512i get() const { return _mm512_load_si512(at); }
};

// The source byte of output byte j of a 24-bit layout: byte c of pixel j / 3,
// where c counts the colour bytes from blue (rgb) or from red (bgr).
constexpr uint32_t source_of_24(order o, uint32_t j) {
  const uint32_t c = j % 3;
  return j / 3 * 4 + (o == order::bgr ? 2 - c : c);
}

// Output register k (64 bytes) of a pass of 64 pixels reads registers k and
// k + 1 only: the two-register permute's indices 0-127 are bytes of those.
constexpr byte_indices pack24_pair(order o, uint32_t k) {
  byte_indices t{};
  for (uint32_t j = 0; j < 64; ++j)
    t.at[j] = static_cast<uint8_t>(source_of_24(o, 64 * k + j) - 64 * k);
  return t;
}

// Sixteen pixels to their 48 bytes at the start of the register.
constexpr byte_indices pack24_one(order o) {
  byte_indices t{};
  for (uint32_t j = 0; j < 48; ++j)
    t.at[j] = static_cast<uint8_t>(source_of_24(o, j));
  return t;
}

template <order Order>
constexpr byte_indices pack24[] = {pack24_pair(Order, 0), pack24_pair(Order, 1), pack24_pair(Order, 2),
                                   pack24_one(Order)};

uint32_t blocks_copy(uint8_t *d, const uint8_t *s, uint32_t n) {
  const uint32_t count = n;
  for (; n >= 16; n -= 16, s += 64, d += 64)
    store512(d, load512(s));
  const __mmask64 m = first_bytes(4 * n);
  _mm512_mask_storeu_epi8(d, m, _mm512_maskz_loadu_epi8(m, s));
  return count;
}

uint32_t blocks_32(uint8_t *d, const uint8_t *s, uint32_t n) {
  const uint32_t count = n;
  const __m512i swap = _mm512_broadcast_i32x4(_mm_setr_epi8(2, 1, 0, -1, 6, 5, 4, -1, 10, 9, 8, -1, 14, 13, 12, -1));
  for (; n >= 16; n -= 16, s += 64, d += 64)
    store512(d, _mm512_shuffle_epi8(load512(s), swap));
  const __mmask16 m = first_pixels(n);
  _mm512_mask_storeu_epi32(d, m, _mm512_shuffle_epi8(_mm512_maskz_loadu_epi32(m, s), swap));
  return count;
}

// Four registers of pixels to three of bytes; each output register is one
// permute of two neighbouring inputs.
template <order Order> uint32_t blocks_24(uint8_t *d, const uint8_t *s, uint32_t n) {
  const uint32_t count = n;
  const __m512i p0 = pack24<Order>[0].get(), p1 = pack24<Order>[1].get(), p2 = pack24<Order>[2].get();
  for (; n >= 64; n -= 64, s += 256, d += 192) {
    const __m512i a = load512(s), b = load512(s + 64), c = load512(s + 128), e = load512(s + 192);
    store512(d, _mm512_permutex2var_epi8(a, p0, b));
    store512(d + 64, _mm512_permutex2var_epi8(b, p1, c));
    store512(d + 128, _mm512_permutex2var_epi8(c, p2, e));
  }
  const __m512i one = pack24<Order>[3].get();
  for (; n > 0; n -= n >= 16 ? 16 : n, s += 64, d += 48) {
    const uint32_t k = n >= 16 ? 16 : n;
    const __m512i v = _mm512_maskz_loadu_epi32(first_pixels(k), s);
    _mm512_mask_storeu_epi8(d, first_bytes(3 * k), _mm512_permutexvar_epi8(one, v));
  }
  return count;
}

// Sixteen pixels to their 16-bit values at bits 8-23 of their lanes, by the
// two multiply-adds of mmx_x86.h.
struct sixteen_bit_constants {
  __m512i mask, bytes, words;
  explicit sixteen_bit_constants(const sixteen_bit_sums &f)
      : mask(_mm512_set1_epi32(static_cast<int>(f.mask))), bytes(_mm512_set1_epi32(static_cast<int>(f.bytes))),
        words(_mm512_set1_epi32(static_cast<int>(f.words))) {}
  __m512i lanes(__m512i p) const {
    return _mm512_madd_epi16(_mm512_maddubs_epi16(_mm512_and_si512(p, mask), bytes), words);
  }
};

// Bytes 1 and 2 of the 32 lanes of two registers, in order.
constexpr byte_indices middle_bytes = [] {
  byte_indices t{};
  for (uint32_t j = 0; j < 64; ++j)
    t.at[j] = static_cast<uint8_t>(j / 2 * 4 + 1 + j % 2);
  return t;
}();

template <const sixteen_bit_sums &Layout> uint32_t blocks_16(uint8_t *d, const uint8_t *s, uint32_t n) {
  const uint32_t count = n;
  const sixteen_bit_constants c(Layout);
  const __m512i pack = middle_bytes.get();
  for (; n >= 32; n -= 32, s += 128, d += 64)
    store512(d, _mm512_permutex2var_epi8(c.lanes(load512(s)), pack, c.lanes(load512(s + 64))));
  for (; n > 0; n -= n >= 16 ? 16 : n, s += 64, d += 32) {
    const __mmask16 k = first_pixels(n >= 16 ? 16 : n);
    _mm512_mask_cvtepi32_storeu_epi16(d, k, _mm512_srli_epi32(c.lanes(_mm512_maskz_loadu_epi32(k, s)), 8));
  }
  return count;
}

struct avx512_blocks {
  static constexpr blocks_function *xrgb8888 = blocks_copy, *xbgr8888 = blocks_32, *rgb888 = blocks_24<order::rgb>,
                                   *bgr888 = blocks_24<order::bgr>, *rgb565 = blocks_16<rgb565_sums>,
                                   *bgr565 = blocks_16<bgr565_sums>, *rgb555 = blocks_16<rgb555_sums>,
                                   *bgr555 = blocks_16<bgr555_sums>;
};

} // namespace

const simd_routines simd_routines_avx512 = routines_of<avx512_blocks>;
