// The terrain renderer: the canvas, the two maps, the camera and the frame
// loop's pieces, exposed so that tests, benchmarks and tools can drive them.
#ifndef FLYOVER_TERRAIN_H
#define FLYOVER_TERRAIN_H

#include "map_files.h"

#include <stddef.h>
#include <stdint.h>

enum : int32_t {
  kCanvasWidth = 320,
  kCanvasHeight = 200,
  kTextureBytes = kMapSize * kMapSize * 3,
  kHeightBytes = kMapSize * kMapSize,
  kRows = 40,         // map rows drawn per frame, far to near
  kColumns = 70,      // map cells per row, left to right
  kFirstColumn = -35, // lateral offset of the leftmost cell
  kStartX = 5000,
  kStartY = 12000,
  kCameraStep = 50,
  kWrap = 50000,
};

// Background and fade grey: the canvas is cleared bytewise to this.
constexpr uint8_t kBackgroundByte = 0xB4;

extern uint32_t pixel[kCanvasWidth * kCanvasHeight];
extern uint8_t texture[kTextureBytes];
extern uint8_t map[kHeightBytes];
extern int32_t actorX;
extern int32_t actorY;

void putPixel(int32_t x, int32_t y, int32_t r, int32_t g, int32_t b);
void drawBar(int32_t x, int32_t y, int32_t width, int32_t r, int32_t g, int32_t b);

// Reads up to size bytes of the named file into dest and tells standard
// error, in a line starting with program's name, when the file is missing
// or short. Returns the bytes read.
size_t loadMapFile(const char *name, uint8_t *dest, size_t size, const char *program = "flyover");
// kTextureFile then kHeightFile from the current directory; false when
// either gave no bytes at all (missing, unreadable or empty).
bool loadMaps(const char *program = "flyover");

// The camera where every flight starts: actorY first, then actorX, in the
// order the program's start sets them.
inline void resetCamera() {
  actorY = kStartY;
  actorX = kStartX;
}

// The projection, exact to the last bit and independent of the floating
// point unit's state. Row k is 0 (farthest, depth 245) to 39 (nearest,
// depth 50); column j is -35 to 34; c is a channel value; h a height.
int32_t fadeChannel(int32_t k, int32_t c);
int32_t barLeft(int32_t k, int32_t j);
int32_t barTop(int32_t k, int32_t h);
int32_t barWidth(int32_t k);

// Sets the x87 unit to a 64-bit significand and round-to-nearest, as the
// program's start does; a no-op where there is no x87 unit. Nothing in the
// renderer depends on it (its arithmetic is exact integer work), but code
// that evaluates the projection in long double to check it does.
void setExtendedPrecision();

// One frame at the current camera into pixel: the literal clear-and-paint
// loop, and the fast path, which draws the same bytes from the bars' first
// rows.
void renderFrameReference();
void renderFrame();
// The camera's step after each frame: 50 units forward, wrapping below 0.
void moveCamera();

#endif
