// Converts a whole 320x200 canvas into each of the eight screen layouts the
// way the display does (200 calls of 320 pixels through the selected
// converter, source stride 1,280 bytes, destination rows packed), and at
// every SIMD level this processor runs through that level's block routines
// directly, and reports every time as a ratio to a memcpy of the same frame
// measured in the same run. Where libyuv and pixman are installed, their byte-exact equivalents
// are checked against our bytes and timed beside ours.
#include "mmx_levels.h"

#include <benchmark/benchmark.h>

#ifdef FLYOVER_HAVE_LIBYUV
#include <libyuv/convert_from_argb.h>
#endif
#ifdef FLYOVER_HAVE_PIXMAN
#include <pixman.h>
#endif

#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int width = 320, height = 200;
constexpr int source_stride = width * 4;
constexpr size_t frame_bytes = size_t{width} * height * 4;

alignas(64) uint32_t canvas[width * height];
alignas(64) uint8_t screen[frame_bytes];
alignas(64) uint8_t ours[frame_bytes];

// At most this many times the memcpy of the frame, for every layout.
constexpr double target = 1.05;

// The levels this processor runs.
std::vector<const simd_level *> runnable_levels() {
  size_t count = 0;
  const simd_level *const *runnable = simd_runnable_levels(&count);
  return {runnable, runnable + count};
}

void convert_frame(const screen_layout &f, uint8_t *destination) {
  const pixel_converter convert = ptc_request_converter(f.bits, f.red, f.green, f.blue);
  for (int y = 0; y < height; ++y)
    convert(canvas + y * width, destination + size_t{static_cast<size_t>(y)} * width * f.bytes, width);
}

void convert_frame_at(const simd_level &level, int i, uint8_t *destination) {
  const pixel_converter convert = level.routines->*simd_layout_routines[i];
  for (int y = 0; y < height; ++y)
    convert(canvas + y * width, destination + size_t{static_cast<size_t>(y)} * width * screen_layouts[i].bytes, width);
}

// Another library's whole-frame conversion into one of our layouts.
struct peer {
  const char *library;
  const screen_layout *target;
  std::function<void()> convert; // canvas to screen
};

[[maybe_unused]] const screen_layout *layout_named(const char *name) {
  for (const screen_layout &l : screen_layouts)
    if (strcmp(l.name, name) == 0)
      return &l;
  return nullptr;
}

std::vector<peer> peers() {
  std::vector<peer> list;
#ifdef FLYOVER_HAVE_LIBYUV
  const struct {
    const char *layout;
    int (*convert)(const uint8_t *, int, uint8_t *, int, int, int);
  } libyuv_calls[] = {{"rgb888", libyuv::ARGBToRGB24}, {"bgr888", libyuv::ARGBToRAW}, {"rgb565", libyuv::ARGBToRGB565}};
  for (const auto &call : libyuv_calls) {
    const screen_layout *l = layout_named(call.layout);
    const auto convert = call.convert;
    list.push_back({"libyuv", l, [l, convert] {
                      convert(reinterpret_cast<const uint8_t *>(canvas), source_stride, screen, width * l->bytes, width,
                              height);
                    }});
  }
#endif
#ifdef FLYOVER_HAVE_PIXMAN
  const struct {
    const char *layout;
    pixman_format_code_t format;
  } pixman_formats[] = {{"xbgr8888", PIXMAN_x8b8g8r8}, {"rgb888", PIXMAN_r8g8b8}, {"bgr888", PIXMAN_b8g8r8},
                        {"rgb565", PIXMAN_r5g6b5},     {"bgr565", PIXMAN_b5g6r5}, {"rgb555", PIXMAN_x1r5g5b5},
                        {"bgr555", PIXMAN_x1b5g5r5}};
  pixman_image_t *source = pixman_image_create_bits(PIXMAN_x8r8g8b8, width, height, canvas, source_stride);
  for (const auto &f : pixman_formats) {
    const screen_layout *l = layout_named(f.layout);
    pixman_image_t *destination =
        pixman_image_create_bits(f.format, width, height, reinterpret_cast<uint32_t *>(screen), width * l->bytes);
    list.push_back({"pixman", l, [source, destination] {
                      pixman_image_composite32(PIXMAN_OP_SRC, source, nullptr, destination, 0, 0, 0, 0, 0, 0, width,
                                               height);
                    }});
  }
#endif
  return list;
}

// Collects the best and the median time of every benchmark while printing
// as usual.
class collecting_reporter : public benchmark::ConsoleReporter {
public:
  std::map<std::string, double> best_ns, median_ns;

  void ReportRuns(const std::vector<Run> &runs) override {
    for (const Run &run : runs) {
      if (run.run_type != Run::RT_Aggregate || run.error_occurred)
        continue;
      if (run.aggregate_name == "best")
        best_ns[run.run_name.function_name] = run.GetAdjustedRealTime();
      else if (run.aggregate_name == "median")
        median_ns[run.run_name.function_name] = run.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

// Registers a benchmark that times fn once per iteration, with the best
// repetition as an extra statistic.
void add(const std::string &name, std::function<void()> fn) {
  benchmark::RegisterBenchmark(name.c_str(), [fn](benchmark::State &state) {
    for (auto _ : state) {
      fn();
      benchmark::ClobberMemory();
    }
  })->ComputeStatistics("best", [](const std::vector<double> &v) { return *std::min_element(v.begin(), v.end()); });
}

void print_summary(const collecting_reporter &reporter, const std::map<std::string, std::string> &not_exact) {
  const auto find = [](const std::map<std::string, double> &times, const std::string &name) {
    const auto it = times.find(name);
    return it == times.end() ? -1.0 : it->second;
  };
  const double memcpy_best = find(reporter.best_ns, "memcpy/frame");
  const double memcpy_median = find(reporter.median_ns, "memcpy/frame");
  if (memcpy_best <= 0 || memcpy_median <= 0) {
    std::printf("\nNo memcpy time, so no ratios.\n");
    return;
  }
  std::printf("\nWhole 320x200 frame. ratio = time / time of one memcpy of the frame (%.2f us best, %.2f us median),\n"
              "from the best of the repetitions; \"median\" is the same ratio from the medians.\n",
              memcpy_best / 1000, memcpy_median / 1000);
  const double rows = find(reporter.best_ns, "memcpy/200_rows");
  if (rows > 0)
    std::printf("memcpy as 200 rows of 1280 bytes: %.2f us, ratio %.2f\n", rows / 1000, rows / memcpy_best);
  const std::vector<const simd_level *> levels = runnable_levels();
  std::printf("\nThe converters run at level %s here. Ratios of the best times, every level this\n"
              "processor runs side by side, then the converter (\"ours\", at the chosen level);\n"
              "\"median\" is the converter's ratio from the medians.\n\n",
              simd_active_level().name);
  std::printf("%-10s", "layout");
  for (const simd_level *level : levels)
    std::printf(" %6s", level->name);
  std::printf(" %6s %6s %6s %4s   %-15s %-15s\n", "ours", "median", "target", "met", "libyuv", "pixman");
  for (const screen_layout &l : screen_layouts) {
    const std::string name = std::string("ours/") + l.name;
    const double best = find(reporter.best_ns, name), median = find(reporter.median_ns, name);
    if (best <= 0 || median <= 0)
      continue;
    const double ratio = best / memcpy_best;
    std::printf("%-10s", l.name);
    for (const simd_level *level : levels) {
      const double at = find(reporter.best_ns, std::string(level->name) + "/" + l.name);
      if (at > 0)
        std::printf(" %6.2f", at / memcpy_best);
      else
        std::printf(" %6s", "-");
    }
    std::printf(" %6.2f %6.2f %6.2f %4s", ratio, median / memcpy_median, target, ratio <= target ? "yes" : "NO");
    for (const char *library : {"libyuv", "pixman"}) {
      const std::string peer = std::string(library) + "/" + l.name;
      const double peer_best = find(reporter.best_ns, peer);
      char cell[64] = "-";
      if (not_exact.count(peer))
        std::snprintf(cell, sizeof cell, "not exact");
      else if (peer_best > 0)
        std::snprintf(cell, sizeof cell, "%.2f us %.2f", peer_best / 1000, peer_best / memcpy_best);
      std::printf("   %-15s", cell);
    }
    std::printf("\n");
  }
  for (const auto &entry : not_exact)
    std::printf("%s: %s\n", entry.first.c_str(), entry.second.c_str());
}

} // namespace

int main(int argc, char **argv) {
  // A frame of random colours, the top byte included, as the background
  // 0xB4B4B4B4 and drawn pixels make it in a real frame.
  std::mt19937 random(1);
  for (uint32_t &p : canvas)
    p = static_cast<uint32_t>(random());

  add("memcpy/frame", [] { memcpy(screen, canvas, frame_bytes); });
  add("memcpy/200_rows", [] {
    for (int y = 0; y < height; ++y)
      memcpy(screen + y * source_stride, canvas + y * width, source_stride);
  });
  for (const screen_layout &l : screen_layouts)
    add(std::string("ours/") + l.name, [&l] { convert_frame(l, screen); });
  for (const simd_level *level : runnable_levels())
    for (int i = 0; i < kScreenLayoutCount; ++i)
      add(std::string(level->name) + "/" + screen_layouts[i].name, [level, i] { convert_frame_at(*level, i, screen); });

  // A peer is timed only when it writes exactly our bytes.
  std::map<std::string, std::string> not_exact;
  for (const peer &p : peers()) {
    const std::string name = std::string(p.library) + "/" + p.target->name;
    const size_t bytes = size_t{width} * height * p.target->bytes;
    convert_frame(*p.target, ours);
    memset(screen, 0x5A, sizeof screen);
    p.convert();
    if (memcmp(ours, screen, bytes) != 0) {
      size_t at = 0;
      while (ours[at] == screen[at])
        ++at;
      char what[128];
      std::snprintf(what, sizeof what, "differs from ours, first at pixel %zu (byte %zu: %02X, ours %02X)",
                    at / p.target->bytes, at, screen[at], ours[at]);
      not_exact[name] = what;
      continue;
    }
    add(name, p.convert);
  }

  // Defaults that the command line can override: many short repetitions in
  // random order, so that a slow spell of the machine does not fall on one
  // row and the best of them is a quiet moment; on a loaded machine the best
  // of 300 runs of 2 ms each repeats to a few percent, where 20 of 50 ms
  // were a fifth apart.
  std::vector<char *> args(argv, argv + argc);
  char repetitions[] = "--benchmark_repetitions=300";
  char interleave[] = "--benchmark_enable_random_interleaving=true";
  char min_time[] = "--benchmark_min_time=0.002";
  char aggregates[] = "--benchmark_report_aggregates_only=true";
  args.insert(args.begin() + 1, {repetitions, interleave, min_time, aggregates});
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data()))
    return 1;
  collecting_reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  print_summary(reporter, not_exact);
  return 0;
}
