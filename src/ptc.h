// The display interface seen by the renderer, and the row converters seen by
// the display. One display per process, so nothing here takes a handle.
#ifndef FLYOVER_PTC_H
#define FLYOVER_PTC_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// --- Display -------------------------------------------------------------

// Opens a full-screen width x height display. 1 when ready, 0 on failure.
int ptc_open(const char *title, int32_t width, int32_t height);

// Presents one frame of width x height canvas pixels (0x00RRGGBB, row stride
// width * 4 bytes). Pumps the window's messages first, so Escape or a close
// request ends the process from in here. 1 when presented or inactive, 0
// when the back buffer could not be locked.
int ptc_update(const void *buffer);

// Releases whatever ptc_open acquired; safe in any state.
void ptc_close(void);

// --- Pixel conversion --------------------------------------------------------

// Converts count canvas pixels at source into count destination pixels at
// destination, writing exactly count * (bytes per pixel) bytes. Neither
// pointer needs any alignment.
typedef void (*pixel_converter)(const uint32_t *source, uint8_t *destination, int32_t count);

// The converter for a screen pixel format given as bits per pixel and the
// red, green and blue masks; null when the format is not supported.
pixel_converter ptc_request_converter(int32_t bits, uint32_t red_mask, uint32_t green_mask, uint32_t blue_mask);

#ifdef __cplusplus
}
#endif

#endif
