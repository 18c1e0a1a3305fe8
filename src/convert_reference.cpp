// Each layout written out from its definition: the channels R, G and B of a
// canvas pixel (red in bits 16-23, green 8-15, blue 0-7) are cut to the
// field's width by dropping low bits, placed in their fields, and the pixel
// value is stored low byte first.
#include "convert_reference.h"

#include <string.h>

namespace {

struct channels {
  uint32_t word, r, g, b;
};

channels pixel_at(const uint32_t *source, int32_t i) {
  uint32_t word;
  memcpy(&word, reinterpret_cast<const uint8_t *>(source) + 4 * static_cast<size_t>(i), 4);
  return {word, (word >> 16) & 0xFF, (word >> 8) & 0xFF, word & 0xFF};
}

// Stores the low `bytes` bytes of value at pixel i, low byte first.
void put(uint8_t *destination, int32_t i, int bytes, uint32_t value) {
  for (int k = 0; k < bytes; ++k)
    destination[static_cast<size_t>(i) * bytes + k] = static_cast<uint8_t>(value >> (8 * k));
}

} // namespace

void reference_convert_xrgb8888(const uint32_t *source, uint8_t *destination, int32_t count) {
  for (int32_t i = 0; i < count; ++i)
    put(destination, i, 4, pixel_at(source, i).word);
}

void reference_convert_xbgr8888(const uint32_t *source, uint8_t *destination, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    const channels c = pixel_at(source, i);
    put(destination, i, 4, (c.b << 16) | (c.g << 8) | c.r);
  }
}

void reference_convert_rgb888(const uint32_t *source, uint8_t *destination, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    const channels c = pixel_at(source, i);
    put(destination, i, 3, (c.r << 16) | (c.g << 8) | c.b);
  }
}

void reference_convert_bgr888(const uint32_t *source, uint8_t *destination, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    const channels c = pixel_at(source, i);
    put(destination, i, 3, (c.b << 16) | (c.g << 8) | c.r);
  }
}

void reference_convert_rgb565(const uint32_t *source, uint8_t *destination, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    const channels c = pixel_at(source, i);
    put(destination, i, 2, ((c.r >> 3) << 11) | ((c.g >> 2) << 5) | (c.b >> 3));
  }
}

void reference_convert_bgr565(const uint32_t *source, uint8_t *destination, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    const channels c = pixel_at(source, i);
    put(destination, i, 2, ((c.b >> 3) << 11) | ((c.g >> 2) << 5) | (c.r >> 3));
  }
}

void reference_convert_rgb555(const uint32_t *source, uint8_t *destination, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    const channels c = pixel_at(source, i);
    put(destination, i, 2, ((c.r >> 3) << 10) | ((c.g >> 3) << 5) | (c.b >> 3));
  }
}

void reference_convert_bgr555(const uint32_t *source, uint8_t *destination, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    const channels c = pixel_at(source, i);
    put(destination, i, 2, ((c.b >> 3) << 10) | ((c.g >> 3) << 5) | (c.r >> 3));
  }
}
