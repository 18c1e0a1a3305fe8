// Nearest-neighbour scaling of the picture onto the window, one side at a
// time: which picture pixel each window pixel shows, and the same choice
// made by an X server from a RENDER transform.
#ifndef FLYOVER_PLATFORM_NEAREST_SCALE_H
#define FLYOVER_PLATFORM_NEAREST_SCALE_H

#include <algorithm>
#include <cstdint>
#include <optional>

namespace flyover {

// The picture's pixel under the centre of pixel out of size outSize, along
// one side of size size: each pixel repeated by a whole factor, or the
// nearest one when scaled down, as a renderer samples it.
inline int32_t sourceOf(int32_t out, int32_t outSize, int32_t size) {
  return static_cast<int32_t>((2 * int64_t{out} + 1) * size / (2 * int64_t{outSize}));
}

// One side of a RENDER transform in 16.16 fixed point: the server samples
// out's centre at step * (out + 1/2) + offset and takes the pixel it falls
// in.
struct NearestTransform {
  int32_t step = 0;
  int32_t offset = 0;
};

// The transform under which the server picks sourceOf's pixel for every out,
// or none when 16.16 cannot hold the scale closely enough over outSize
// pixels (beyond about 14 times 320 and 20 times 200). The step is even, so
// that step/2 is exact however the server rounds, and no sample lands on
// the edge between two pixels, so that whether the server takes an edge
// point to the left or to the right makes no difference.
inline std::optional<NearestTransform> nearestTransform(int32_t outSize, int32_t size) {
  constexpr int64_t one = 65536;
  const int64_t even = one * size / outSize / 2 * 2;
  const int64_t exact2 = 2 * one * size; // the exact step times outSize, twice over
  // The even step nearest the exact one first.
  const int64_t first = exact2 - even * 2 * outSize <= (even + 2) * 2 * outSize - exact2 ? even : even + 2;
  for (const int64_t step : {first, 2 * even + 2 - first}) {
    if (step <= 0 || step > INT32_MAX)
      continue;
    // Each out bounds the offset from both sides, one unit clear of its
    // pixel's edges.
    int64_t low = INT64_MIN, high = INT64_MAX;
    for (int32_t out = 0; out < outSize && low <= high; ++out) {
      const int64_t sample = step * out + step / 2;
      const int64_t pixel = sourceOf(out, outSize, size);
      low = std::max(low, pixel * one + 1 - sample);
      high = std::min(high, (pixel + 1) * one - 1 - sample);
    }
    // The middle, as far as possible from both.
    const int64_t offset = low + (high - low) / 2;
    if (low <= high && offset >= INT32_MIN && offset <= INT32_MAX)
      return NearestTransform{static_cast<int32_t>(step), static_cast<int32_t>(offset)};
  }
  return std::nullopt;
}

} // namespace flyover

#endif
