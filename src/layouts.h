// The eight screen layouts that the display converts the canvas into, in
// one table for everything that needs them: the selection of a converter,
// the display stand-in's formats, the tools, tests and benchmarks.
#ifndef FLYOVER_LAYOUTS_H
#define FLYOVER_LAYOUTS_H

#include "ptc.h"

struct screen_layout {
  const char *name; // as FLYOVER_FORMAT names it
  int32_t bits;     // bits per pixel, as the screen's pixel format reports them
  int32_t bytes;    // bytes per pixel in memory
  uint32_t red, green, blue;
  pixel_converter converter; // what ptc_request_converter gives for the format
  pixel_converter reference; // the plain per-pixel definition of the layout
};

constexpr int kScreenLayoutCount = 8;
extern const screen_layout screen_layouts[kScreenLayoutCount];

#endif
