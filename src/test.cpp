// The terrain renderer: canvas, maps, camera and the frame loop.
//
// Every frame is a pure function of the maps and actorX. The projection is
// defined as extended-precision (64-bit significand) arithmetic rounded after
// every operation; rather than trusting whatever the compiler and the FPU
// happen to do with long double, the few values that depend on it are
// computed once, in integer arithmetic that rounds exactly like that.
#include "terrain.h"

#include "ptc.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

uint32_t pixel[kCanvasWidth * kCanvasHeight];
uint8_t texture[kTextureBytes];
uint8_t map[kHeightBytes];
int32_t actorX;
int32_t actorY;

// --- Drawing primitives -------------------------------------------------

void putPixel(int32_t x, int32_t y, int32_t r, int32_t g, int32_t b) {
  if (x >= 0 && x < kCanvasWidth && y >= 0 && y < kCanvasHeight)
    pixel[y * kCanvasWidth + x] = uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
}

void drawBar(int32_t x, int32_t y, int32_t width, int32_t r, int32_t g, int32_t b) {
  // No clipping of the loops here: putPixel drops what is off the canvas.
  for (int32_t c = x; c < x + width; ++c)
    for (int32_t row = y; row < kCanvasHeight; ++row)
      putPixel(c, row, r, g, b);
}

// --- Map files ------------------------------------------------------------

namespace {

// A FIFO with no writer would hold a plain open for good, before the first
// frame and without a word. Opened without waiting, it then reads as an
// empty file (a read finds end-of-file while nobody has it open for
// writing), and one with a writer is read as its data comes, so its reads
// go back to blocking. Other files that are not regular (a terminal, say)
// stay non-blocking: what they have not got ready ends the read.
FILE *openMap(const char *name) {
#ifdef _WIN32
  return std::fopen(name, "rb");
#else
  const int fd = ::open(name, O_RDONLY | O_NONBLOCK);
  if (fd < 0)
    return nullptr;
  struct stat info {};
  FILE *f = nullptr;
  if (::fstat(fd, &info) == 0) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (!S_ISFIFO(info.st_mode) || (flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0))
      f = ::fdopen(fd, "rb");
  }
  if (!f) {
    const int error = errno;
    ::close(fd);
    errno = error;
  }
  return f;
#endif
}

} // namespace

namespace {

// Reads the opened map f as far as it goes into dest, telling what is amiss.
size_t readMapFile(FILE *f, const char *name, uint8_t *dest, size_t size, const char *program) {
  // A single read may legitimately return less than asked; keep reading
  // until the array is full or the file ends.
  size_t got = 0;
  while (got < size) {
    size_t n = std::fread(dest + got, 1, size - got, f);
    if (n == 0)
      break;
    got += n;
  }
  const bool failed = std::ferror(f) != 0;
  const bool longer = got == size && std::fgetc(f) != EOF;
  std::fclose(f);
  if (failed)
    std::fprintf(stderr, "%s: %s: read error after %zu of %zu bytes; the rest stays zero\n", program, name, got, size);
  else if (got < size)
    std::fprintf(stderr, "%s: %s: only %zu of %zu bytes; the rest stays zero\n", program, name, got, size);
  else if (longer)
    std::fprintf(stderr, "%s: %s: longer than %zu bytes; the rest is ignored\n", program, name, size);
  return got;
}

void tellUnopened(const char *names, int error, const char *program) {
  std::fprintf(stderr, "%s: %s: cannot open (%s); run mkmaps to make the maps\n", program, names, std::strerror(error));
}

} // namespace

size_t loadMapFile(const char *name, uint8_t *dest, size_t size, const char *program) {
  FILE *f = openMap(name);
  if (!f) {
    tellUnopened(name, errno, program);
    return 0;
  }
  return readMapFile(f, name, dest, size, program);
}

bool loadMaps(const char *program) {
  FILE *colours = openMap(kTextureFile);
  const int colourError = errno;
  FILE *heights = openMap(kHeightFile);
  const int heightError = errno;
  // Neither map there is one problem, told in one line: what a program
  // that ends for another reason says first, before that reason.
  if (!colours && !heights && colourError == heightError) {
    tellUnopened((std::string(kTextureFile) + " and " + kHeightFile).c_str(), colourError, program);
    return false;
  }
  const auto load = [program](FILE *f, int error, const char *name, uint8_t *dest, size_t size) {
    if (!f)
      tellUnopened(name, error, program);
    return f && readMapFile(f, name, dest, size, program) > 0;
  };
  const bool gotColours = load(colours, colourError, kTextureFile, texture, sizeof texture);
  return load(heights, heightError, kHeightFile, map, sizeof map) && gotColours;
}

// --- Exact extended-precision arithmetic ---------------------------------
//
// A value is m * 2^e with m holding 64 significant bits (bit 63 set), the
// format of the x87 extended type. Each operation forms the exact result in
// 128 bits (plus a sticky bit for anything shifted out below them) and rounds
// it to 64 bits, ties to even. Only positive values occur.

namespace {

struct Ext {
  uint64_t m;
  int e;
};

Ext round64(uint64_t hi, uint64_t lo, int e, bool sticky) {
  if (hi == 0 && lo == 0)
    return {0, 0};
  while (!(hi >> 63)) {
    hi = hi << 1 | lo >> 63;
    lo <<= 1;
    --e;
  }
  const uint64_t half = uint64_t(1) << 63;
  const bool up = lo > half || (lo == half && (sticky || (hi & 1)));
  e += 64;
  if (up && ++hi == 0) {
    hi = half;
    ++e;
  }
  return {hi, e};
}

// a / b for 0 <= a < 2^31, 0 < b < 2^32.
Ext divide(uint32_t a, uint32_t b) {
  // The numerator a * 2^96 as four 32-bit limbs, divided limb by limb.
  const uint32_t limbs[4] = {a, 0, 0, 0};
  uint32_t q[4];
  uint64_t rem = 0;
  for (int i = 0; i < 4; ++i) {
    const uint64_t cur = rem << 32 | limbs[i];
    q[i] = uint32_t(cur / b);
    rem = cur % b;
  }
  return round64(uint64_t(q[0]) << 32 | q[1], uint64_t(q[2]) << 32 | q[3], -96, rem != 0);
}

// c * x for 0 <= c < 2^31.
Ext multiply(uint32_t c, Ext x) {
  const uint64_t lowPart = uint64_t(c) * uint32_t(x.m);
  const uint64_t highPart = uint64_t(c) * (x.m >> 32);
  // c * m = highPart * 2^32 + lowPart, as a 128-bit hi:lo.
  uint64_t lo = lowPart + (highPart << 32);
  uint64_t hi = (highPart >> 32) + (lo < lowPart ? 1 : 0);
  return round64(hi, lo, x.e, false);
}

Ext add(Ext x, Ext y) {
  if (x.m == 0)
    return y;
  if (y.m == 0)
    return x;
  if (x.e < y.e) {
    Ext t = x;
    x = y;
    y = t;
  }
  // x sits one bit below the top of 128 bits so the sum cannot carry out.
  uint64_t hi = x.m >> 1, lo = x.m << 63;
  const int d = x.e - y.e;
  uint64_t yhi = 0, ylo = 0;
  bool sticky = false;
  if (d <= 63) {
    const int s = 63 - d; // shift y left by s within 128 bits
    yhi = s == 0 ? 0 : y.m >> (64 - s);
    ylo = y.m << s;
  } else if (d < 127) {
    const int s = d - 63; // shift y right by s
    ylo = y.m >> s;
    sticky = (y.m << (64 - s)) != 0;
  } else {
    sticky = true;
  }
  lo += ylo;
  hi += yhi + (lo < ylo ? 1 : 0);
  return round64(hi, lo, x.e - 63, sticky);
}

int32_t toInt(Ext x) {
  if (x.m == 0 || x.e <= -64)
    return 0;
  return int32_t(x.e >= 0 ? x.m << x.e : x.m >> -x.e);
}

int32_t depthOf(int32_t k) { return 245 - 5 * k; }

// What the projection needs per frame, worked out once: the faded value of
// every channel in every row, and the bars' place and size.
struct Projection {
  uint8_t fade[kRows][256];
  int16_t top[kRows][256];
  int16_t left[kRows][kColumns];
  int32_t width[kRows];
  int32_t firstVisible[kRows], lastVisible[kRows]; // column indices on the canvas

  Projection() {
    for (int32_t k = 0; k < kRows; ++k) {
      const int32_t depth = depthOf(k);
      // c * ((250 - depth) / 250) + 180 * (depth / 250), rounded at each step.
      const Ext nearShare = divide(uint32_t(250 - depth), 250);
      const Ext grey = multiply(180, divide(uint32_t(depth), 250));
      for (int32_t c = 0; c < 256; ++c)
        fade[k][c] = uint8_t(toInt(add(multiply(uint32_t(c), nearShare), grey)));
      // The other expressions are ratios of small integers whose exact
      // value is never within 2^-60 of an integer it is not equal to,
      // so rounding cannot move them across one: integer division
      // (which truncates toward zero) gives the same result.
      for (int32_t h = 0; h < 256; ++h)
        top[k][h] = int16_t(50 * (255 - h + k) / depth + 100);
      width[k] = 5 * (k + 1) / 25 + 5;
      firstVisible[k] = kColumns;
      lastVisible[k] = -1;
      for (int32_t i = 0; i < kColumns; ++i) {
        const int32_t j = kFirstColumn + i;
        left[k][i] = int16_t(1000 * j / depth + 160);
        if (left[k][i] < kCanvasWidth && left[k][i] + width[k] > 0) {
          if (firstVisible[k] == kColumns)
            firstVisible[k] = i;
          lastVisible[k] = i;
        }
      }
    }
  }
};

const Projection projection;

} // namespace

int32_t fadeChannel(int32_t k, int32_t c) { return projection.fade[k][c]; }
int32_t barLeft(int32_t k, int32_t j) { return projection.left[k][j - kFirstColumn]; }
int32_t barTop(int32_t k, int32_t h) { return projection.top[k][h]; }
int32_t barWidth(int32_t k) { return projection.width[k]; }

void setExtendedPrecision() {
#if defined(__i386__) || defined(__x86_64__)
  uint16_t cw;
  __asm__ volatile("fnstcw %0" : "=m"(cw));
  cw = uint16_t((cw & ~0x0F00u) | 0x0300u); // precision: 64 bits; rounding: nearest
  __asm__ volatile("fldcw %0" : : "m"(cw));
#endif
}

// --- Frames -------------------------------------------------------------------

namespace {

// The map cell under world position (xw along the rows, yw along the
// columns): 100 units a cell, wrapping every 500 cells.
inline int32_t cellIndex(int32_t xw, int32_t yw) {
  const int32_t col = yw / 100 % kMapSize;
  const int32_t row = xw / 100 % kMapSize;
  return row * kMapSize + col;
}

inline uint32_t fadedColour(int32_t k, int32_t cell) {
  const uint8_t *rgb = texture + cell * 3;
  const uint8_t *f = projection.fade[k];
  return uint32_t(f[rgb[0]]) << 16 | uint32_t(f[rgb[1]]) << 8 | f[rgb[2]];
}

} // namespace

void renderFrameReference() {
  std::memset(pixel, kBackgroundByte, sizeof pixel);
  for (int32_t xw = actorX; xw < actorX + kRows * 100; xw += 100) {
    const int32_t k = (xw - actorX) / 100;
    for (int32_t yw = actorY - 3500; yw < actorY + 3500; yw += 100) {
      const int32_t j = (yw - actorY) / 100;
      const int32_t cell = cellIndex(xw, yw);
      const uint8_t *rgb = texture + cell * 3;
      drawBar(barLeft(k, j), barTop(k, map[cell]), barWidth(k), fadeChannel(k, rgb[0]), fadeChannel(k, rgb[1]),
              fadeChannel(k, rgb[2]));
    }
  }
}

// The fast path. Bars reach the bottom edge and later bars paint over
// earlier ones, so a pixel ends up with the colour of the last bar drawn
// over it: the nearest row's, and within a row the rightmost bar's. Walking
// the bars in reverse order (near to far, right to left) and keeping, per
// canvas column, the highest row painted so far, each bar only has to paint
// its first row, in the columns where it shows; every other pixel of the
// lower half is the pixel above it. So the canvas is cleared as the literal
// loop clears it, the bars paint their first rows, and one pass down the
// lower half copies each pixel still clear from the one above. A bar's top
// never lies above the horizon row 100, so the upper half stays clear, and
// a colour's top byte is zero where the clear's is not, which tells the two
// apart.
//
// Both loops work on four columns at a time with the compiler's generic
// vectors, which become SIMD instructions wherever the target has them.
namespace {

typedef int32_t Lanes __attribute__((vector_size(16)));

// Four lanes at any 4-byte boundary. A copy is how to say so to every
// compiler: a vector type of lowered alignment is one that clang loads with
// aligned instructions all the same, which fault off a 16-byte boundary.
// The lanes go by reference: by value, a target without SSE (32-bit
// Windows' baseline) would pass them otherwise than one with it.
inline void load(Lanes &lanes, const void *p) { std::memcpy(&lanes, p, sizeof lanes); }
inline void store(void *p, const Lanes &lanes) { std::memcpy(p, &lanes, sizeof lanes); }

constexpr int32_t kHorizon = 100;
constexpr int32_t kPad = 16; // more than a bar can stick out, rounded to whole lanes
constexpr int32_t kStride = kPad + kCanvasWidth + kPad;

// A bar paints all the lanes it spans and keeps the pixels of those where it
// does not show. Off the canvas's sides that is a pixel of the row before or
// after, kept as it is; past the canvas's end there is no pixel, so the
// bottom row, and every bar that starts below the canvas (which shows
// nowhere), is painted here, in a row with side margins of its own.
uint32_t bottomRow[kStride];
// The highest row painted so far in each column; 0 in the margins, so that
// nothing ever shows there.
int32_t painted[kStride];

// The bars of map row k, right to left, each over Chunks groups of four
// columns. The count is a constant here, so that the groups' loop unrolls
// and their masks stay in registers: as a loop of one to four turns it cost
// the page half its bar time again (a wasm engine checks for interrupts at
// every turn and kept the masks in memory).
template <int32_t Chunks> void drawRowBars(int32_t k, const int32_t *column) {
  const int32_t rowBase = (actorX + k * 100) / 100 % kMapSize * kMapSize;
  const int16_t *top = projection.top[k];
  const int16_t *left = projection.left[k];
  // Built by comparison, not lane by lane: a vector written one lane at a
  // time and then read whole waits for the stores.
  Lanes inBar[Chunks];
  for (int32_t q = 0; q < Chunks; ++q)
    inBar[q] = Lanes{0, 1, 2, 3} + 4 * q < projection.width[k];

  for (int32_t i = projection.lastVisible[k]; i >= projection.firstVisible[k]; --i) {
    const int32_t cell = rowBase + column[i];
    const int32_t sy = top[map[cell]];
    const Lanes barTop = Lanes{} + sy;
    const Lanes colour = Lanes{} + int32_t(fadedColour(k, cell));
    // The bar's first column within the margins; a bar may start left of
    // the canvas, never left of the margin.
    const int32_t c = left[i] + kPad;
    uint32_t *start = sy < kCanvasHeight - 1 ? pixel + sy * kCanvasWidth + left[i] : bottomRow + c;
    int32_t *highestOf = painted + c;
    for (int32_t q = 0; q < Chunks; ++q) {
      Lanes highest, below;
      load(highest, highestOf + 4 * q);
      load(below, start + 4 * q);
      const Lanes shows = (barTop < highest) & inBar[q];
      store(highestOf + 4 * q, Lanes((highest & ~shows) | (barTop & shows)));
      store(start + 4 * q, Lanes((below & ~shows) | (colour & shows)));
    }
  }
}

} // namespace

void renderFrame() {
  std::memset(pixel, kBackgroundByte, sizeof pixel);
  std::memset(bottomRow, kBackgroundByte, sizeof bottomRow);
  for (int32_t c = 0; c < kStride; ++c)
    painted[c] = c >= kPad && c < kPad + kCanvasWidth ? kCanvasHeight : 0;
  int32_t column[kColumns]; // map column of each lateral position
  for (int32_t i = 0; i < kColumns; ++i)
    column[i] = (actorY + (kFirstColumn + i) * 100) / 100 % kMapSize;

  for (int32_t k = kRows - 1; k >= 0; --k) {
    switch ((projection.width[k] + 3) / 4) {
    case 1:
      drawRowBars<1>(k, column);
      break;
    case 2:
      drawRowBars<2>(k, column);
      break;
    case 3:
      drawRowBars<3>(k, column);
      break;
    default:
      drawRowBars<4>(k, column);
      break;
    }
  }
  std::memcpy(pixel + (kCanvasHeight - 1) * kCanvasWidth, bottomRow + kPad, sizeof(uint32_t) * kCanvasWidth);

  // Down the lower half, each pixel still clear takes the one above it:
  // the row above was written just before, so it is read from the cache.
  const Lanes topByte = Lanes{} + int32_t(0xFF000000u);
  for (int32_t p = kHorizon * kCanvasWidth; p < kCanvasWidth * kCanvasHeight; p += 4) {
    Lanes here, above;
    load(here, pixel + p);
    load(above, pixel + p - kCanvasWidth);
    const Lanes barStarts = (here & topByte) == 0;
    store(pixel + p, Lanes((here & barStarts) | (above & ~barStarts)));
  }
}

void moveCamera() {
  actorX -= kCameraStep;
  if (actorX < 0)
    actorX = kWrap;
}

int main() {
  setExtendedPrecision();
  resetCamera();
  loadMaps();
  if (!ptc_open("test", kCanvasWidth, kCanvasHeight))
    return 1;
  for (;;) {
    renderFrame();
    moveCamera();
    ptc_update(pixel);
  }
}
