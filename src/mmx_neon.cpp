// The NEON level of 64-bit ARM, which every such processor has: sixteen
// pixels per block, in four 128-bit registers. The structure loads split a
// block into planes of blue, green, red and top bytes, and the structure
// stores interleave planes back, so the 24-bit and 16-bit layouts need no
// shuffles of their own.
#include "mmx_rows.h"

#include <arm_neon.h>

namespace {

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

// The plane that the highest field of the layout takes, and the lowest.
template <order Order> inline uint8x16_t high_plane(const uint8x16x4_t &p) {
  return Order == order::rgb ? p.val[2] : p.val[0];
}
template <order Order> inline uint8x16_t low_plane(const uint8x16x4_t &p) {
  return Order == order::rgb ? p.val[0] : p.val[2];
}

// One table lookup per four pixels: the indices pick each pixel's red,
// green and blue bytes, and the out-of-range index 0xFF reads zero, which
// clears the top byte.
uint32_t blocks_32(uint8_t *d, const uint8_t *s, uint32_t n) {
  static const uint8_t indices[16] = {2, 1, 0, 0xFF, 6, 5, 4, 0xFF, 10, 9, 8, 0xFF, 14, 13, 12, 0xFF};
  const uint32_t count = n;
  for (const uint8x16_t swap = vld1q_u8(indices); n >= 16; n -= 16, s += 64, d += 64) {
    const uint8x16_t a = vld1q_u8(s), b = vld1q_u8(s + 16), c = vld1q_u8(s + 32), e = vld1q_u8(s + 48);
    vst1q_u8(d, vqtbl1q_u8(a, swap));
    vst1q_u8(d + 16, vqtbl1q_u8(b, swap));
    vst1q_u8(d + 32, vqtbl1q_u8(c, swap));
    vst1q_u8(d + 48, vqtbl1q_u8(e, swap));
  }
  return count - n;
}

// The planes stored interleaved lowest field first (the byte order of the
// 24-bit layouts), the top bytes' plane left out.
template <order Order> uint32_t blocks_24(uint8_t *d, const uint8_t *s, uint32_t n) {
  const uint32_t count = n;
  for (; n >= 16; n -= 16, s += 64, d += 48) {
    const uint8x16x4_t p = vld4q_u8(s);
    uint8x16x3_t out;
    out.val[0] = low_plane<Order>(p);
    out.val[1] = p.val[1];
    out.val[2] = high_plane<Order>(p);
    vst3q_u8(d, out);
  }
  return count - n;
}

template <order Order> uint32_t blocks_565(uint8_t *d, const uint8_t *s, uint32_t n) {
  const uint32_t count = n;
  for (; n >= 16; n -= 16, s += 64, d += 32) {
    const uint8x16x4_t p = vld4q_u8(s);
    const uint8x16_t high = high_plane<Order>(p), low = low_plane<Order>(p);
    store_values(d, pack565(top_low(high), top_low(p.val[1]), top_low(low)));
    store_values(d + 16, pack565(top_high(high), top_high(p.val[1]), top_high(low)));
  }
  return count - n;
}

template <order Order> uint32_t blocks_555(uint8_t *d, const uint8_t *s, uint32_t n) {
  const uint32_t count = n;
  for (; n >= 16; n -= 16, s += 64, d += 32) {
    const uint8x16x4_t p = vld4q_u8(s);
    const uint8x16_t high = high_plane<Order>(p), low = low_plane<Order>(p);
    const uint16x8_t high0 = vshll_n_u8(vget_low_u8(high), 7), high1 = vshll_n_u8(vget_high_u8(high), 7);
    store_values(d, pack555(high0, top_low(p.val[1]), top_low(low)));
    store_values(d + 16, pack555(high1, top_high(p.val[1]), top_high(low)));
  }
  return count - n;
}

// The C library's copy already moves whole vector registers: no copy
// blocks here.
struct neon_blocks {
  static constexpr blocks_function *xrgb8888 = no_blocks, *xbgr8888 = blocks_32, *rgb888 = blocks_24<order::rgb>,
                                   *bgr888 = blocks_24<order::bgr>, *rgb565 = blocks_565<order::rgb>,
                                   *bgr565 = blocks_565<order::bgr>, *rgb555 = blocks_555<order::rgb>,
                                   *bgr555 = blocks_555<order::bgr>;
};

} // namespace

const simd_routines simd_routines_neon = routines_of<neon_blocks>;
