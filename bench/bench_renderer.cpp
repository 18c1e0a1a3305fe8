// Time per frame of the renderer next to the cheapest thing a frame must do
// anyway, clearing the 256,000-byte canvas, measured in the same run.
#include "bench_common.h"

#include <cstring>

namespace {

void clearCanvas(benchmark::State &state) {
  for (auto _ : state) {
    std::memset(pixel, kBackgroundByte, sizeof pixel);
    benchmark::ClobberMemory();
  }
}

} // namespace

BENCHMARK(clearCanvas);
BENCHMARK(renderFrames<renderFrame>)->Name("renderFrame");
BENCHMARK(renderFrames<renderFrameReference>)->Name("renderFrameReference");

int main(int argc, char **argv) {
  loadDefaultMaps("bench_renderer");
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double clear = reporter.nanoseconds["clearCanvas"];
  if (clear > 0) {
    std::printf("\nTime per frame as a multiple of one canvas clear (%.0f ns):\n", clear);
    for (const char *name : {"renderFrame", "renderFrameReference"})
      if (reporter.nanoseconds.count(name))
        std::printf("  %-22s %8.0f ns  %7.1f x\n", name, reporter.nanoseconds[name],
                    reporter.nanoseconds[name] / clear);
  }
  benchmark::Shutdown();
  return 0;
}
