// The one way every level converts a row: its blocks from the start of the
// row, then the plain reference of the layout (rest_of) for the pixels
// left over. A level's file supplies only block functions, each of which
// converts whole blocks and returns how many pixels it did.
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
// layout names say: red (rgb) or blue (bgr). In the 24-bit layouts the
// highest field is the last byte.
enum class order { rgb, bgr };

using blocks_function = uint32_t(uint8_t *destination, const uint8_t *source, uint32_t count);

// No blocks at all: the rest is the whole row.
[[maybe_unused]] uint32_t no_blocks(uint8_t *, const uint8_t *, uint32_t) { return 0; }

void copy_pixels(const uint32_t *source, uint8_t *destination, int32_t count) {
  memcpy(destination, source, size_t{4} * static_cast<uint32_t>(count));
}

// What converts the pixels that a level's blocks leave: the layout's plain
// reference, except for the canvas's own layout, a plain copy, which the C
// library's copy does faster than any per-pixel loop (for levels without
// copy blocks, the whole row).
template <pixel_converter Reference> constexpr pixel_converter rest_of = Reference;
template <> constexpr pixel_converter rest_of<reference_convert_xrgb8888> = copy_pixels;

template <blocks_function Blocks, uint32_t Bytes, pixel_converter Rest>
void blocks_then_rest(const uint32_t *source, uint8_t *destination, int32_t count) {
  const uint32_t n = static_cast<uint32_t>(count);
  const uint32_t done = Blocks(destination, reinterpret_cast<const uint8_t *>(source), n);
  if (done < n)
    Rest(source + done, destination + size_t{Bytes} * done, static_cast<int32_t>(n - done));
}

// A level's table from its block functions: Blocks has one static member
// per screen layout, of the layout's name.
template <class Blocks>
constexpr simd_routines routines_of = {
#define FLYOVER_ROW(name, bits, ...) blocks_then_rest<Blocks::name, bits / 8, rest_of<reference_convert_##name>>,
    FLYOVER_SCREEN_LAYOUTS(FLYOVER_ROW)
#undef FLYOVER_ROW
};

} // namespace

#endif
