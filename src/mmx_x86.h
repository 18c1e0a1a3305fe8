// The lane constants of the x86 levels, for their files alone.
#ifndef FLYOVER_MMX_X86_H
#define FLYOVER_MMX_X86_H

#include "mmx_rows.h"

namespace {

// As 64-bit values; the wider levels repeat them in every 64-bit lane. Each
// level uses some of them.
constexpr uint64_t mmx_rgb888_mask = 0x00FFFFFF00FFFFFFull; // clears two top bytes
constexpr uint64_t mmx_bgr888_rb = 0x00FF00FF00FF00FFull;   // red and blue, halves exchanged
constexpr uint64_t mmx_bgr888_g = 0x0000FF000000FF00ull;    // green
constexpr uint64_t mmx_rgb565_b = 0x000000F8000000F8ull;    // top five bits of blue
constexpr uint64_t mmx_rgb565_g = 0x0000FC000000FC00ull;    // top six bits of green
constexpr uint64_t mmx_rgb565_r = 0x00F8000000F80000ull;    // top five bits of red
constexpr uint64_t mmx_rb_top5 = 0x00F800F800F800F8ull;     // top five of blue and red at once
constexpr uint64_t mmx_rgb555_g = 0x0000F8000000F800ull;    // top five bits of green
constexpr uint64_t mmx_rgb555_mul = 0x2000000820000008ull;  // B * 8 + R * 0x2000
constexpr uint64_t mmx_bgr555_mul = 0x0008200000082000ull;  // B * 0x2000 + R * 8
constexpr uint64_t mmx_rgb565_mul = 0x2000000420000004ull;  // B * 4 + R * 0x2000
constexpr uint64_t mmx_bgr565_mul = 0x0004200000042000ull;  // B * 0x2000 + R * 4

// The 16-bit layouts in two multiply-adds, for AVX2 and AVX-512, which
// place all three fields at once, so that no shift is needed (SSSE3 has
// the byte multiply too, but its shifts and packs measure faster). Each pixel's masked bytes are first summed in
// pairs into 16-bit words, each byte times its own power of two (blue with
// green, red with the top byte, whose multiplier is 0), and the two words of
// each 32-bit lane are then summed, each times its own power of two, into
// the pixel's 16-bit value at bits 8-23 of its lane, bytes 1 and 2, where a
// byte shuffle takes it from. The low field lands at bit 8, the middle one 5
// bits above it and the high one 10 (5-5-5) or 11 (5-6-5) bits above it;
// every product and sum fits in its signed 16 or 32 bits.
struct sixteen_bit_sums {
  uint32_t mask;  // the top bits of each field
  uint32_t bytes; // the multipliers of blue, green, red and the top byte, low byte first
  uint32_t words; // the multipliers of the low and the high word
};

constexpr sixteen_bit_sums sums(uint32_t mask, uint32_t b, uint32_t g, uint32_t r, uint32_t low, uint32_t high) {
  return {mask, b | g << 8 | r << 16, low | high << 16};
}

constexpr sixteen_bit_sums rgb565_sums = sums(0x00F8FCF8, 1, 64, 64, 32, 1024);
constexpr sixteen_bit_sums bgr565_sums = sums(0x00F8FCF8, 32, 1, 1, 2048, 32);
constexpr sixteen_bit_sums rgb555_sums = sums(0x00F8F8F8, 1, 32, 32, 32, 1024);
constexpr sixteen_bit_sums bgr555_sums = sums(0x00F8F8F8, 32, 1, 1, 1024, 32);

} // namespace

#endif
