// Time per frame of the renderer next to the cheapest thing a frame must do
// anyway, clearing the 256,000-byte canvas, measured in the same run.
#include "terrain.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include <unistd.h>

namespace {

void clearCanvas(benchmark::State &state)
{
    for (auto _ : state) {
        std::memset(pixel, kBackgroundByte, sizeof pixel);
        benchmark::ClobberMemory();
    }
}

template <void (*render)()> void renderFrames(benchmark::State &state)
{
    actorY = kStartY;
    actorX = kStartX;
    for (auto _ : state) {
        render();
        benchmark::ClobberMemory();
        moveCamera();
    }
}

// Collects the time per iteration of every run so that the ratios can be
// printed once all have finished.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> nanoseconds;
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs)
            if (run.run_type == Run::RT_Iteration || run.aggregate_name == "median")
                nanoseconds[run.benchmark_name()] = run.GetAdjustedRealTime() *
                                                     (run.time_unit == benchmark::kMicrosecond ? 1e3 : 1.0);
    }
};

// Benchmarks render the default maps: those in the current directory, or
// freshly generated ones.
void loadDefaultMaps()
{
    if (access("texture.raw", R_OK) != 0 || access("map.raw", R_OK) != 0) {
#ifdef MKMAPS_PATH
        char dir[] = "/tmp/flyover-bench-XXXXXX";
        if (!mkdtemp(dir) || chdir(dir) != 0 || std::system(MKMAPS_PATH " > /dev/null") != 0) {
            std::fprintf(stderr, "bench_renderer: cannot make the default maps\n");
            std::exit(1);
        }
#else
        std::fprintf(stderr, "bench_renderer: run it where texture.raw and map.raw are\n");
        std::exit(1);
#endif
    }
    loadMaps();
}

} // namespace

BENCHMARK(clearCanvas);
BENCHMARK(renderFrames<renderFrame>)->Name("renderFrame");
BENCHMARK(renderFrames<renderFrameReference>)->Name("renderFrameReference");

int main(int argc, char **argv)
{
    loadDefaultMaps();
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
