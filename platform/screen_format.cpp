#include "screen_format.h"

#include "screen_layouts.h"

#include <ddraw.h>

#include <algorithm>
#include <cstring>

namespace flyover {

const std::vector<ScreenFormat> &screenFormats() {
  static const std::vector<ScreenFormat> formats = [] {
    std::vector<ScreenFormat> all;
    for (const screen_layout &layout : screen_layouts)
      all.push_back({layout.name, static_cast<uint32_t>(layout.bits), static_cast<uint32_t>(layout.bytes), DDPF_RGB, 0,
                     layout.red, layout.green, layout.blue});
    all.insert(all.end(), {
                              // Formats a real display may report but a program may not support.
                              {"rgb444", 16, 2, DDPF_RGB, 0, 0x0F00, 0x00F0, 0x000F},
                              {"yuy2", 16, 2, DDPF_FOURCC, MAKEFOURCC('Y', 'U', 'Y', '2'), 0, 0, 0},
                              // What an 8-bit mode gives: palette indices, not colours.
                              {"pal8", 8, 1, DDPF_PALETTEINDEXED8 | DDPF_RGB, 0, 0, 0, 0},
                          });
    return all;
  }();
  return formats;
}

const ScreenFormat *findScreenFormat(const std::string &name) {
  for (const ScreenFormat &format : screenFormats())
    if (name == format.name)
      return &format;
  return nullptr;
}

const ScreenFormat *usualFormatOfDepth(uint32_t bits) {
  switch (bits) {
  case 32:
    return findScreenFormat("xrgb8888");
  case 24:
    return findScreenFormat("rgb888");
  case 16:
    return findScreenFormat("rgb565");
  case 8:
    return findScreenFormat("pal8");
  default:
    return nullptr;
  }
}

std::string screenFormatNames() {
  std::string names;
  for (const ScreenFormat &format : screenFormats()) {
    if (std::strcmp(format.name, "pal8") == 0)
      continue; // only reachable through FLYOVER_DEPTHS=8
    if (!names.empty())
      names += ", ";
    names += format.name;
  }
  return names;
}

uint32_t widenChannel(uint32_t value, uint32_t width) {
  if (width == 0)
    return 0;
  uint32_t result = 0;
  uint32_t bits = 0;
  while (bits < 8) {
    result = (result << width) | value;
    bits += width;
  }
  return result >> (bits - 8);
}

namespace {

uint32_t countTrailingZeros(uint32_t mask) { return mask ? static_cast<uint32_t>(__builtin_ctz(mask)) : 0; }
uint32_t countOnes(uint32_t mask) { return static_cast<uint32_t>(__builtin_popcount(mask)); }

uint8_t clampByte(int32_t value) { return static_cast<uint8_t>(std::clamp(value, 0, 255)); }

// ITU-R BT.601 studio range, in the integer form most display hardware uses.
uint32_t yuvToRgb(int32_t y, int32_t u, int32_t v) {
  const int32_t c = y - 16, d = u - 128, e = v - 128;
  const uint32_t r = clampByte((298 * c + 409 * e + 128) >> 8);
  const uint32_t g = clampByte((298 * c - 100 * d - 208 * e + 128) >> 8);
  const uint32_t b = clampByte((298 * c + 516 * d + 128) >> 8);
  return (r << 16) | (g << 8) | b;
}

} // namespace

PixelExpander::PixelExpander(const ScreenFormat &format) : format_(format) {
  red_ = {countTrailingZeros(format.red), countOnes(format.red)};
  green_ = {countTrailingZeros(format.green), countOnes(format.green)};
  blue_ = {countTrailingZeros(format.blue), countOnes(format.blue)};
  if ((format.flags & DDPF_RGB) && format.bytes == 2) {
    table_.resize(65536);
    for (uint32_t value = 0; value < 65536; ++value)
      table_[value] = pixel(value);
  }
}

uint32_t PixelExpander::pixel(uint32_t value) const {
  if (format_.flags & DDPF_PALETTEINDEXED8) {
    // No palette is ever attached: indices show as grey levels.
    const uint32_t level = value & 0xFF;
    return (level << 16) | (level << 8) | level;
  }
  auto channel = [value](const Field &field) {
    const uint32_t mask = field.width >= 32 ? 0xFFFFFFFFu : (1u << field.width) - 1;
    return widenChannel((value >> field.shift) & mask, field.width);
  };
  return (channel(red_) << 16) | (channel(green_) << 8) | channel(blue_);
}

void PixelExpander::row(const uint8_t *source, uint32_t *destination, int32_t count) const {
  if (format_.flags & DDPF_FOURCC) {
    // YUY2: each pair of pixels shares one U and one V: Y0 U Y1 V.
    for (int32_t i = 0; i + 1 < count; i += 2, source += 4) {
      destination[i] = yuvToRgb(source[0], source[1], source[3]);
      destination[i + 1] = yuvToRgb(source[2], source[1], source[3]);
    }
    if (count % 2) // a lone last pixel has its Y and U only
      destination[count - 1] = yuvToRgb(source[0], source[1], 128);
    return;
  }
  switch (format_.bytes) {
  case 1:
    for (int32_t i = 0; i < count; ++i)
      destination[i] = pixel(source[i]);
    break;
  case 2:
    for (int32_t i = 0; i < count; ++i, source += 2)
      destination[i] = table_[source[0] | (source[1] << 8)];
    break;
  case 3:
    for (int32_t i = 0; i < count; ++i, source += 3)
      destination[i] = pixel(source[0] | (source[1] << 8) | (source[2] << 16));
    break;
  default:
    for (int32_t i = 0; i < count; ++i, source += 4)
      destination[i] =
          pixel(source[0] | (source[1] << 8) | (source[2] << 16) | (static_cast<uint32_t>(source[3]) << 24));
    break;
  }
}

} // namespace flyover
