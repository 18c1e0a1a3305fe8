// Converter selection and the eight row converters, each of which hands the
// whole row to a block routine of mmx.cpp.
#include "ptc.h"

#include "layouts.h"
#include "mmx_levels.h"

// The first request also settles the SIMD level that every later row runs
// at, so that the first frame costs no more than the others.
pixel_converter ptc_request_converter(int32_t bits, uint32_t red_mask, uint32_t green_mask, uint32_t blue_mask) {
  simd_active_level();
  for (const screen_layout &layout : screen_layouts)
    if (layout.bits == bits && layout.red == red_mask && layout.green == green_mask && layout.blue == blue_mask)
      return layout.converter;
  return nullptr;
}

void ptc_convert_32_to_32_rgb888(const uint32_t *source, uint8_t *destination, int32_t count) {
  mmx_memcpy(destination, source, static_cast<uint32_t>(count) * 4);
}

// Red and blue exchanged, top byte 0.
void ptc_convert_32_to_32_bgr888(const uint32_t *source, uint8_t *destination, int32_t count) {
  mmx_convert_32_to_32_bgr888(destination, source, static_cast<uint32_t>(count));
}

void ptc_convert_32_to_24_rgb888(const uint32_t *source, uint8_t *destination, int32_t count) {
  mmx_convert_32_to_24_rgb888(destination, source, static_cast<uint32_t>(count));
}

// Bytes R, G, B.
void ptc_convert_32_to_24_bgr888(const uint32_t *source, uint8_t *destination, int32_t count) {
  mmx_convert_32_to_24_bgr888(destination, source, static_cast<uint32_t>(count));
}

void ptc_convert_32_to_16_rgb565(const uint32_t *source, uint8_t *destination, int32_t count) {
  mmx_convert_32_to_16_rgb565(destination, source, static_cast<uint32_t>(count));
}

void ptc_convert_32_to_16_bgr565(const uint32_t *source, uint8_t *destination, int32_t count) {
  mmx_convert_32_to_16_bgr565(destination, source, static_cast<uint32_t>(count));
}

void ptc_convert_32_to_16_rgb555(const uint32_t *source, uint8_t *destination, int32_t count) {
  mmx_convert_32_to_16_rgb555(destination, source, static_cast<uint32_t>(count));
}

void ptc_convert_32_to_16_bgr555(const uint32_t *source, uint8_t *destination, int32_t count) {
  mmx_convert_32_to_16_bgr555(destination, source, static_cast<uint32_t>(count));
}
