// Converter selection and the eight row converters, each of which hands the
// whole row to a block routine of mmx.cpp.
#include "ptc.h"

pixel_converter ptc_request_converter(int32_t bits, uint32_t red_mask, uint32_t green_mask, uint32_t blue_mask) {
  static const struct {
    int32_t bits;
    uint32_t red_mask, green_mask, blue_mask;
    pixel_converter converter;
  } formats[] = {
      {32, 0x00FF0000, 0x0000FF00, 0x000000FF, ptc_convert_32_to_32_rgb888},
      {32, 0x000000FF, 0x0000FF00, 0x00FF0000, ptc_convert_32_to_32_bgr888},
      {24, 0x00FF0000, 0x0000FF00, 0x000000FF, ptc_convert_32_to_24_rgb888},
      {24, 0x000000FF, 0x0000FF00, 0x00FF0000, ptc_convert_32_to_24_bgr888},
      {16, 0xF800, 0x07E0, 0x001F, ptc_convert_32_to_16_rgb565},
      {16, 0x001F, 0x07E0, 0xF800, ptc_convert_32_to_16_bgr565},
      {16, 0x7C00, 0x03E0, 0x001F, ptc_convert_32_to_16_rgb555},
      {16, 0x001F, 0x03E0, 0x7C00, ptc_convert_32_to_16_bgr555},
  };
  for (const auto &format : formats)
    if (format.bits == bits && format.red_mask == red_mask && format.green_mask == green_mask &&
        format.blue_mask == blue_mask)
      return format.converter;
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
