// Plain per-pixel conversions of canvas pixels into each of the eight screen
// layouts, one function per layout with the pixel_converter signature. They
// state each layout as directly as possible, field by field, and are the
// yardstick that the fast converters and block routines are checked against.
#ifndef FLYOVER_CONVERT_REFERENCE_H
#define FLYOVER_CONVERT_REFERENCE_H

#include "ptc.h"

void reference_convert_32_to_32_rgb888(const uint32_t *source, uint8_t *destination, int32_t count);
void reference_convert_32_to_32_bgr888(const uint32_t *source, uint8_t *destination, int32_t count);
void reference_convert_32_to_24_rgb888(const uint32_t *source, uint8_t *destination, int32_t count);
void reference_convert_32_to_24_bgr888(const uint32_t *source, uint8_t *destination, int32_t count);
void reference_convert_32_to_16_rgb565(const uint32_t *source, uint8_t *destination, int32_t count);
void reference_convert_32_to_16_bgr565(const uint32_t *source, uint8_t *destination, int32_t count);
void reference_convert_32_to_16_rgb555(const uint32_t *source, uint8_t *destination, int32_t count);
void reference_convert_32_to_16_bgr555(const uint32_t *source, uint8_t *destination, int32_t count);

#endif
