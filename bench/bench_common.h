// What the benchmarks of whole frames share: the default maps to render, and
// a reporter that keeps every run's time so that ratios between runs of the
// same process can be printed at the end.
#ifndef FLYOVER_BENCH_COMMON_H
#define FLYOVER_BENCH_COMMON_H

#include "terrain.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

class RatioReporter : public benchmark::ConsoleReporter {
public:
  // Time per iteration by benchmark name; with repetitions, the best of them
  // where the benchmark computes that ("best", as bestOfRepetitions adds),
  // else their median. A statistic of its own is reported after the median,
  // so it takes the median's place.
  std::map<std::string, double> nanoseconds;

  void ReportRuns(const std::vector<Run> &runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run &run : runs)
      if (!run.error_occurred &&
          (run.run_type == Run::RT_Iteration || run.aggregate_name == "median" || run.aggregate_name == "best"))
        nanoseconds[run.run_name.function_name] =
            run.GetAdjustedRealTime() * 1e9 / benchmark::GetTimeUnitMultiplier(run.time_unit);
  }
};

// Many short repetitions, of which the reporter takes the best: on a shared
// machine that finds a quiet moment, which a few long runs do not.
inline void bestOfRepetitions(benchmark::internal::Benchmark *b) {
  b->Repetitions(40)->ReportAggregatesOnly(true)->ComputeStatistics(
      "best", [](const std::vector<double> &v) { return *std::min_element(v.begin(), v.end()); });
}

// Frames one after another from the start position, as the program draws
// them (the camera moves between frames).
template <void (*render)()> void renderFrames(benchmark::State &state) {
  resetCamera();
  for (auto _ : state) {
    render();
    benchmark::ClobberMemory();
    moveCamera();
  }
}

// The maps in the current folder, or freshly generated default ones.
inline void loadDefaultMaps(const char *program) {
  if (access(kTextureFile, R_OK) != 0 || access(kHeightFile, R_OK) != 0) {
    char dir[] = "/tmp/flyover-bench-XXXXXX";
    if (!mkdtemp(dir) || chdir(dir) != 0 || std::system(MKMAPS_PATH " > /dev/null") != 0) {
      std::fprintf(stderr, "%s: cannot make the default maps\n", program);
      std::exit(1);
    }
  }
  loadMaps();
}

#endif
