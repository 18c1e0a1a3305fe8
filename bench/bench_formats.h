// The eight screen layouts the display converts to, as the display asks for
// their converters, for the benchmarks that time each of them.
#pragma once

#include <cstdint>

struct BenchFormat {
  const char *name;
  int32_t bits;
  uint32_t red, green, blue;
};

inline constexpr BenchFormat kBenchFormats[] = {
    {"xrgb8888", 32, 0x00FF0000, 0x0000FF00, 0x000000FF},
    {"xbgr8888", 32, 0x000000FF, 0x0000FF00, 0x00FF0000},
    {"rgb888", 24, 0x00FF0000, 0x0000FF00, 0x000000FF},
    {"bgr888", 24, 0x000000FF, 0x0000FF00, 0x00FF0000},
    {"rgb565", 16, 0xF800, 0x07E0, 0x001F},
    {"bgr565", 16, 0x001F, 0x07E0, 0xF800},
    {"rgb555", 16, 0x7C00, 0x03E0, 0x001F},
    {"bgr555", 16, 0x001F, 0x03E0, 0x7C00},
};
