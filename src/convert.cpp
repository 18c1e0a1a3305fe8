// Converter selection and the row converters, one per screen layout, each
// of which hands the whole row to the active SIMD level's routine.
#include "layouts.h"
#include "mmx_levels.h"

#define FLYOVER_CONVERTER(name, ...)                                                                                   \
  void ptc_convert_##name(const uint32_t *source, uint8_t *destination, int32_t count) {                               \
    simd_active_level().routines->name(source, destination, count);                                                    \
  }
FLYOVER_SCREEN_LAYOUTS(FLYOVER_CONVERTER)
#undef FLYOVER_CONVERTER

const converted_layout converted_layouts[kScreenLayoutCount] = {
#define FLYOVER_PAIR(name, ...)                                                                                        \
  {FLYOVER_SCREEN_LAYOUT(name, __VA_ARGS__), ptc_convert_##name, reference_convert_##name},
    FLYOVER_SCREEN_LAYOUTS(FLYOVER_PAIR)
#undef FLYOVER_PAIR
};

// The first request also settles the SIMD level that every later row runs
// at, so that the first frame costs no more than the others.
pixel_converter ptc_request_converter(int32_t bits, uint32_t red_mask, uint32_t green_mask, uint32_t blue_mask) {
  simd_active_level();
  for (const converted_layout &layout : converted_layouts)
    if (layout.bits == bits && layout.red == red_mask && layout.green == green_mask && layout.blue == blue_mask)
      return layout.converter;
  return nullptr;
}
