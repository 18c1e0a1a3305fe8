// Plain per-pixel conversions of canvas pixels into each of the screen
// layouts (screen_layouts.h), reference_convert_<name> for each, with the
// pixel_converter signature. They state each layout as directly as
// possible, field by field, and are the yardstick that the fast converters
// and block routines are checked against.
#ifndef FLYOVER_CONVERT_REFERENCE_H
#define FLYOVER_CONVERT_REFERENCE_H

#include "ptc.h"
#include "screen_layouts.h"

#define FLYOVER_DECLARE_REFERENCE(name, ...)                                                                           \
  void reference_convert_##name(const uint32_t *source, uint8_t *destination, int32_t count);
FLYOVER_SCREEN_LAYOUTS(FLYOVER_DECLARE_REFERENCE)
#undef FLYOVER_DECLARE_REFERENCE

#endif
