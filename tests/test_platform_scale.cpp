// The sdl driver's scaling by the X server: a RENDER transform must make
// the server show, on every window pixel, the picture pixel that the
// driver's own scaling shows there.
#include "nearest_scale.h"

#include <gtest/gtest.h>

namespace {

using flyover::nearestTransform;
using flyover::sourceOf;

// Every side from one pixel to a 4K display's width, against the picture's
// width and height: a transform, where there is one, samples each pixel
// inside sourceOf's pixel, off its edges; and there is one for the picture
// as it is and for every whole factor that fits 3840x2160.
TEST(NearestScale, TheServersSamplesFallInTheDriversPixels) {
  for (const int32_t size : {320, 200}) {
    const int32_t fits = (size == 320 ? 3840 : 2160) / size;
    for (int32_t outSize = 1; outSize <= 3840; ++outSize) {
      const auto transform = nearestTransform(outSize, size);
      if (outSize == size || (outSize % size == 0 && outSize / size <= fits)) {
        ASSERT_TRUE(transform) << outSize << " from " << size;
      }
      if (!transform)
        continue;
      ASSERT_EQ(transform->step % 2, 0);
      for (int32_t out = 0; out < outSize; ++out) {
        const int64_t sample = int64_t{transform->step} * out + transform->step / 2 + transform->offset;
        ASSERT_NE(sample % 65536, 0) << out << " of " << outSize << " from " << size;
        ASSERT_EQ(sample >> 16, sourceOf(out, outSize, size)) << out << " of " << outSize << " from " << size;
      }
    }
  }
}

} // namespace
