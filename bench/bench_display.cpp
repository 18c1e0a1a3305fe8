// What a presented frame costs on the platform stand-in, against its two
// unavoidable parts measured in the same run: rendering the canvas and
// converting it into the screen's format. What a frame costs beyond those is
// the display's own share: pumping messages, locking, flipping and the
// capture driver taking the frame (it writes nothing without
// FLYOVER_CAPTURE).
#include "screen_layouts.h"
#include "ptc.h"
#include "terrain.h"

#include "bench_common.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

// 200 rows into a buffer with the same padded pitch as the display's.
void convert(benchmark::State &state, const screen_layout &format) {
  const pixel_converter converter = ptc_request_converter(format.bits, format.red, format.green, format.blue);
  if (!converter) {
    state.SkipWithError("no converter");
    return;
  }
  const int32_t pitch = kCanvasWidth * format.bits / 8 + 32;
  std::vector<uint8_t> surface(static_cast<size_t>(pitch) * kCanvasHeight);
  resetCamera();
  renderFrame();
  for (auto _ : state) {
    for (int32_t y = 0; y < kCanvasHeight; ++y)
      converter(&pixel[y * kCanvasWidth], &surface[static_cast<size_t>(y) * pitch], kCanvasWidth);
    benchmark::ClobberMemory();
  }
}

// The program's loop: render, move, present.
void frame(benchmark::State &state, const screen_layout &format) {
  setenv("FLYOVER_DRIVER", "capture", 1);
  setenv("FLYOVER_FORMAT", format.name, 1);
  for (const char *name : {"FLYOVER_DEPTHS", "FLYOVER_FRAMES", "FLYOVER_CAPTURE"})
    unsetenv(name);
  if (!ptc_open("bench", kCanvasWidth, kCanvasHeight)) {
    state.SkipWithError("the display did not open");
    ptc_close();
    return;
  }
  resetCamera();
  for (auto _ : state) {
    renderFrame();
    moveCamera();
    if (!ptc_update(pixel))
      state.SkipWithError("a frame was dropped");
  }
  ptc_close();
}

} // namespace

int main(int argc, char **argv) {
  loadDefaultMaps("bench_display");
  benchmark::RegisterBenchmark("render", renderFrames<renderFrame>)->Unit(benchmark::kMicrosecond);
  for (const screen_layout &format : screen_layouts) {
    benchmark::RegisterBenchmark((std::string("convert/") + format.name).c_str(), convert, format)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark((std::string("frame/") + format.name).c_str(), frame, format)
        ->Unit(benchmark::kMicrosecond);
  }
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  const double renderTime = reporter.nanoseconds["render"];
  if (renderTime > 0) {
    std::printf("\nPer frame, against rendering alone (%.0f ns) and against rendering plus converting:\n", renderTime);
    std::printf("  %-10s %16s %16s %24s\n", "format", "convert/render", "frame/render", "frame/(render+convert)");
    for (const screen_layout &format : screen_layouts) {
      const double converted = reporter.nanoseconds[std::string("convert/") + format.name];
      const double whole = reporter.nanoseconds[std::string("frame/") + format.name];
      if (converted <= 0 || whole <= 0)
        continue;
      // Near 1 in the last column: the display adds little beyond the two.
      std::printf("  %-10s %15.2fx %15.2fx %23.2fx\n", format.name, converted / renderTime, whole / renderTime,
                  whole / (renderTime + converted));
    }
  }
  benchmark::Shutdown();
  return 0;
}
