// frametime: the time per frame of rendering plus converting, per screen
// format, as the program's loop does both; no benchmark library, so that
// the same program builds natively and for WebAssembly and the two can be
// compared by a script. Renders the maps of the current folder.
//
//   frametime [frames]   frames per timed run (default 300); each figure is
//                        the best of several runs, in nanoseconds per frame
#include "screen_layouts.h"
#include "ptc.h"
#include "terrain.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int kRuns = 7;

// Best time per frame of frames frames from the start position; converter
// null times rendering alone.
double bestNanoseconds(pixel_converter converter, int32_t bytesPerPixel, int32_t frames) {
  // Rows as far apart as on the display's surfaces.
  const int32_t pitch = (kCanvasWidth * bytesPerPixel + 15) / 16 * 16 + 32;
  std::vector<uint8_t> surface(size_t(pitch) * kCanvasHeight);
  double best = 0;
  for (int run = 0; run < kRuns; ++run) {
    resetCamera();
    const auto start = std::chrono::steady_clock::now();
    for (int32_t f = 0; f < frames; ++f) {
      renderFrame();
      moveCamera();
      if (converter)
        for (int32_t y = 0; y < kCanvasHeight; ++y)
          converter(&pixel[y * kCanvasWidth], &surface[size_t(y) * pitch], kCanvasWidth);
    }
    const std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
    const double perFrame = took.count() / frames;
    if (run == 0 || perFrame < best)
      best = perFrame;
  }
  return best;
}

} // namespace

int main(int argc, char **argv) {
  int32_t frames = 300;
  if (argc == 2) {
    char *end = nullptr;
    const long n = std::strtol(argv[1], &end, 10);
    if (*end != '\0' || n < 1 || n > 100000) {
      std::fprintf(stderr, "usage: frametime [frames (1-100000)]\n");
      return 2;
    }
    frames = int32_t(n);
  } else if (argc > 2) {
    std::fprintf(stderr, "usage: frametime [frames (1-100000)]\n");
    return 2;
  }
  loadMaps();
  std::printf("render %.0f\n", bestNanoseconds(nullptr, 4, frames));
  for (const screen_layout &format : screen_layouts) {
    const pixel_converter converter = ptc_request_converter(format.bits, format.red, format.green, format.blue);
    if (!converter) {
      std::fprintf(stderr, "frametime: no converter for %s\n", format.name);
      return 1;
    }
    std::printf("frame %s %.0f\n", format.name, bestNanoseconds(converter, format.bits / 8, frames));
  }
  return 0;
}
