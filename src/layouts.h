// The screen layouts (screen_layouts.h) paired with their conversions: the
// converter that ptc_request_converter gives for each, ptc_convert_<name>,
// and its plain reference. For the tools, tests and benchmarks that
// convert into every layout.
#ifndef FLYOVER_LAYOUTS_H
#define FLYOVER_LAYOUTS_H

#include "convert_reference.h"

#define FLYOVER_DECLARE_CONVERTER(name, ...)                                                                           \
  void ptc_convert_##name(const uint32_t *source, uint8_t *destination, int32_t count);
FLYOVER_SCREEN_LAYOUTS(FLYOVER_DECLARE_CONVERTER)
#undef FLYOVER_DECLARE_CONVERTER

struct converted_layout : screen_layout {
  pixel_converter converter; // what ptc_request_converter gives for the layout
  pixel_converter reference; // the plain per-pixel definition of the layout
};

// In the order of screen_layouts.
extern const converted_layout converted_layouts[kScreenLayoutCount];

#endif
