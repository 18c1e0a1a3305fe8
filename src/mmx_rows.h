// The one way every level converts a row: its blocks from the start of the
// row, then the plain reference of the layout for the pixels left over. A
// level's file supplies only block functions, each of which converts whole
// blocks and returns how many pixels (bytes, for the copy) it did.
//
// Everything here has internal linkage: each level's file compiles it for
// its own instruction set, and the linker must never take one file's copy
// for another's.
#ifndef FLYOVER_MMX_ROWS_H
#define FLYOVER_MMX_ROWS_H

#include "convert_reference.h"
#include "mmx_levels.h"

#include <string.h>

namespace {

// Which channel the highest field of the destination pixel holds, as the
// converter names say: red (rgb) or blue (bgr). In the 24-bit layouts the
// highest field is the last byte.
enum class channel_order { rgb, bgr };

using blocks_function = uint32_t(uint8_t *destination, const uint8_t *source, uint32_t count);

// No blocks at all: the rest is the whole row.
[[maybe_unused]] uint32_t no_blocks(uint8_t *, const uint8_t *, uint32_t) { return 0; }

template <blocks_function Blocks> void copy_then_rest(void *destination, const void *source, uint32_t bytes) {
  uint8_t *d = static_cast<uint8_t *>(destination);
  const uint8_t *s = static_cast<const uint8_t *>(source);
  const uint32_t done = Blocks(d, s, bytes);
  if (done < bytes)
    memcpy(d + done, s + done, bytes - done);
}

template <blocks_function Blocks, uint32_t Bytes, pixel_converter Rest>
void blocks_then_rest(uint8_t *destination, const uint32_t *source, uint32_t count) {
  const uint32_t done = Blocks(destination, reinterpret_cast<const uint8_t *>(source), count);
  if (done < count)
    Rest(source + done, destination + size_t{Bytes} * done, static_cast<int32_t>(count - done));
}

// A level's table from its block functions, in the order of simd_routines.
template <blocks_function Copy, blocks_function Bgr32, blocks_function Rgb24, blocks_function Bgr24,
          blocks_function Rgb565, blocks_function Bgr565, blocks_function Rgb555, blocks_function Bgr555>
constexpr simd_routines routines_of = {
    copy_then_rest<Copy>,
    blocks_then_rest<Bgr32, 4, reference_convert_32_to_32_bgr888>,
    blocks_then_rest<Rgb24, 3, reference_convert_32_to_24_rgb888>,
    blocks_then_rest<Bgr24, 3, reference_convert_32_to_24_bgr888>,
    blocks_then_rest<Rgb565, 2, reference_convert_32_to_16_rgb565>,
    blocks_then_rest<Bgr565, 2, reference_convert_32_to_16_bgr565>,
    blocks_then_rest<Rgb555, 2, reference_convert_32_to_16_rgb555>,
    blocks_then_rest<Bgr555, 2, reference_convert_32_to_16_bgr555>,
};

// The lane constants of the x86 levels as 64-bit values; the wider levels
// repeat them in every 64-bit lane.
[[maybe_unused]] constexpr uint64_t mmx_rgb888_mask = 0x00FFFFFF00FFFFFFull; // clears two top bytes
[[maybe_unused]] constexpr uint64_t mmx_bgr888_rb = 0x00FF00FF00FF00FFull;   // red and blue, halves exchanged
[[maybe_unused]] constexpr uint64_t mmx_bgr888_g = 0x0000FF000000FF00ull;    // green
[[maybe_unused]] constexpr uint64_t mmx_rgb565_b = 0x000000F8000000F8ull;    // top five bits of blue
[[maybe_unused]] constexpr uint64_t mmx_rgb565_g = 0x0000FC000000FC00ull;    // top six bits of green
[[maybe_unused]] constexpr uint64_t mmx_rgb565_r = 0x00F8000000F80000ull;    // top five bits of red
[[maybe_unused]] constexpr uint64_t mmx_rgb565_rb = 0x00F800F800F800F8ull;   // top five of blue and red at once
[[maybe_unused]] constexpr uint64_t mmx_rgb555_rb = 0x00F800F800F800F8ull;   // top five of blue and red at once
[[maybe_unused]] constexpr uint64_t mmx_rgb555_g = 0x0000F8000000F800ull;    // top five bits of green
[[maybe_unused]] constexpr uint64_t mmx_rgb555_mul = 0x2000000820000008ull;  // B * 8 + R * 0x2000
[[maybe_unused]] constexpr uint64_t mmx_bgr555_mul = 0x0008200000082000ull;  // B * 0x2000 + R * 8
[[maybe_unused]] constexpr uint64_t mmx_rgb565_mul = 0x2000000420000004ull;  // B * 4 + R * 0x2000
[[maybe_unused]] constexpr uint64_t mmx_bgr565_mul = 0x0004200000042000ull;  // B * 0x2000 + R * 4

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

[[maybe_unused]] constexpr sixteen_bit_sums rgb565_sums = sums(0x00F8FCF8, 1, 64, 64, 32, 1024);
[[maybe_unused]] constexpr sixteen_bit_sums bgr565_sums = sums(0x00F8FCF8, 32, 1, 1, 2048, 32);
[[maybe_unused]] constexpr sixteen_bit_sums rgb555_sums = sums(0x00F8F8F8, 1, 32, 32, 32, 1024);
[[maybe_unused]] constexpr sixteen_bit_sums bgr555_sums = sums(0x00F8F8F8, 32, 1, 1, 1024, 32);

} // namespace

#endif
