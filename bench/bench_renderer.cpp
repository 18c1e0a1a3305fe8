// Time per frame of the renderer next to the cheapest thing a frame must do
// anyway, clearing the 256,000-byte canvas, measured in the same run; and
// next to the reads no exact frame can leave out besides, the height of
// every cell in view (which decides what shows) and the colour of those
// that show, both timed here for every cell in view.
#include "bench_common.h"

#include <cstring>

namespace {

void clearCanvas(benchmark::State &state) {
  for (auto _ : state) {
    std::memset(pixel, kBackgroundByte, sizeof pixel);
    benchmark::ClobberMemory();
  }
}

// The projection's tables as the renderer keeps them, and the lateral
// positions of each row whose bar reaches the canvas.
struct View {
  int16_t top[kRows][256];
  uint8_t fade[kRows][256];
  int32_t first[kRows], last[kRows];
};
View view;

void takeView() {
  for (int32_t k = 0; k < kRows; ++k) {
    for (int32_t v = 0; v < 256; ++v) {
      view.top[k][v] = int16_t(barTop(k, v));
      view.fade[k][v] = uint8_t(fadeChannel(k, v));
    }
    view.first[k] = kColumns;
    view.last[k] = -1;
    for (int32_t i = 0; i < kColumns; ++i)
      if (barLeft(k, kFirstColumn + i) < kCanvasWidth && barLeft(k, kFirstColumn + i) + barWidth(k) > 0) {
        if (view.last[k] < 0)
          view.first[k] = i;
        view.last[k] = i;
      }
  }
}

template <bool Colours> void cellsInView(benchmark::State &state) {
  resetCamera();
  for (auto _ : state) {
    int32_t column[kColumns];
    for (int32_t i = 0; i < kColumns; ++i)
      column[i] = (actorY + (kFirstColumn + i) * 100) / 100 % kMapSize;
    uint32_t sum = 0;
    for (int32_t k = 0; k < kRows; ++k) {
      const int32_t rowBase = (actorX + k * 100) / 100 % kMapSize * kMapSize;
      const uint8_t *fade = view.fade[k];
      for (int32_t i = view.first[k]; i <= view.last[k]; ++i) {
        const int32_t cell = rowBase + column[i];
        const uint8_t *rgb = texture + cell * 3;
        sum += Colours ? uint32_t(fade[rgb[0]]) << 16 | uint32_t(fade[rgb[1]]) << 8 | fade[rgb[2]]
                       : uint32_t(view.top[k][map[cell]]);
      }
    }
    benchmark::DoNotOptimize(sum);
    moveCamera();
  }
}

} // namespace

BENCHMARK(clearCanvas)->Apply(bestOfRepetitions);
BENCHMARK(cellsInView<false>)->Name("heightsInView")->Apply(bestOfRepetitions);
BENCHMARK(cellsInView<true>)->Name("coloursInView")->Apply(bestOfRepetitions);
BENCHMARK(renderFrames<renderFrame>)->Name("renderFrame")->Apply(bestOfRepetitions);
BENCHMARK(renderFrames<renderFrameReference>)->Name("renderFrameReference")->Apply(bestOfRepetitions);

int main(int argc, char **argv) {
  loadDefaultMaps("bench_renderer");
  takeView();
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double clear = reporter.nanoseconds["clearCanvas"];
  if (clear > 0) {
    std::printf("\nTime per frame as a multiple of one canvas clear (%.0f ns):\n", clear);
    for (const char *name : {"renderFrame", "renderFrameReference", "heightsInView", "coloursInView"})
      if (reporter.nanoseconds.count(name))
        std::printf("  %-22s %8.0f ns  %7.1f x\n", name, reporter.nanoseconds[name],
                    reporter.nanoseconds[name] / clear);
    const double heights = reporter.nanoseconds["heightsInView"], colours = reporter.nanoseconds["coloursInView"];
    if (heights > 0 && colours > 0)
      std::printf("Floor of an exact frame: the clear and the heights, %.1f clears (with every colour as well, %.1f)\n",
                  (clear + heights) / clear, (clear + heights + colours) / clear);
  }
  benchmark::Shutdown();
  return 0;
}
