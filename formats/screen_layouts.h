// The eight screen layouts that the display converts the canvas into, in
// one list for everything that needs them: the converters, the platform's
// display formats, the tools, tests and benchmarks. Each line is
// X(name, bits, red mask, green mask, blue mask); the name is the one
// FLYOVER_FORMAT takes and the root of every routine of that layout's
// conversion (ptc_convert_<name>, reference_convert_<name>, ...), so a new
// layout is one line here plus its routines.
#ifndef FLYOVER_FORMATS_SCREEN_LAYOUTS_H
#define FLYOVER_FORMATS_SCREEN_LAYOUTS_H

#include <stdint.h>

#define FLYOVER_SCREEN_LAYOUTS(X)                                                                                      \
  X(xrgb8888, 32, 0x00FF0000, 0x0000FF00, 0x000000FF)                                                                  \
  X(xbgr8888, 32, 0x000000FF, 0x0000FF00, 0x00FF0000)                                                                  \
  X(rgb888, 24, 0x00FF0000, 0x0000FF00, 0x000000FF)                                                                    \
  X(bgr888, 24, 0x000000FF, 0x0000FF00, 0x00FF0000)                                                                    \
  X(rgb565, 16, 0xF800, 0x07E0, 0x001F)                                                                                \
  X(bgr565, 16, 0x001F, 0x07E0, 0xF800)                                                                                \
  X(rgb555, 16, 0x7C00, 0x03E0, 0x001F)                                                                                \
  X(bgr555, 16, 0x001F, 0x03E0, 0x7C00)

struct screen_layout {
  const char *name;
  int32_t bits;  // bits per pixel, as the screen's pixel format reports them
  int32_t bytes; // bytes per pixel in memory
  uint32_t red, green, blue;
};

// One entry of the table from its line of the list.
#define FLYOVER_SCREEN_LAYOUT(name, bits, red, green, blue)                                                            \
  screen_layout { #name, bits, bits / 8, red, green, blue }

#define FLYOVER_SCREEN_LAYOUT_ENTRY(...) FLYOVER_SCREEN_LAYOUT(__VA_ARGS__),
inline constexpr screen_layout screen_layouts[] = {FLYOVER_SCREEN_LAYOUTS(FLYOVER_SCREEN_LAYOUT_ENTRY)};
#undef FLYOVER_SCREEN_LAYOUT_ENTRY

constexpr int kScreenLayoutCount = sizeof screen_layouts / sizeof screen_layouts[0];

#endif
