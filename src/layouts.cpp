#include "layouts.h"

#include "convert_reference.h"

#define LAYOUT(name, bits, red, green, blue, converter)                                                                \
  { name, bits, bits / 8, red, green, blue, ptc_convert_32_to_##converter, reference_convert_32_to_##converter }

const screen_layout screen_layouts[kScreenLayoutCount] = {
    LAYOUT("xrgb8888", 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 32_rgb888),
    LAYOUT("xbgr8888", 32, 0x000000FF, 0x0000FF00, 0x00FF0000, 32_bgr888),
    LAYOUT("rgb888", 24, 0x00FF0000, 0x0000FF00, 0x000000FF, 24_rgb888),
    LAYOUT("bgr888", 24, 0x000000FF, 0x0000FF00, 0x00FF0000, 24_bgr888),
    LAYOUT("rgb565", 16, 0xF800, 0x07E0, 0x001F, 16_rgb565),
    LAYOUT("bgr565", 16, 0x001F, 0x07E0, 0xF800, 16_bgr565),
    LAYOUT("rgb555", 16, 0x7C00, 0x03E0, 0x001F, 16_rgb555),
    LAYOUT("bgr555", 16, 0x001F, 0x03E0, 0x7C00, 16_bgr555),
};
