// The map files as the program loads them, whatever they hold, and the
// frames drawn from them: the fuzzer's bytes as both map files, the loaded
// bytes repeated over the rest of each map so that the whole landscape is
// theirs, and a frame at a camera position they choose, drawn by the fast
// renderer and by the literal one, which must agree to the byte.
#include "terrain.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

std::string folder() {
  char name[] = "/tmp/fuzz_maps.XXXXXX";
  if (!mkdtemp(name))
    std::abort();
  return name;
}

void load(const std::string &path, const uint8_t *data, size_t size, uint8_t *dest, size_t length) {
  std::FILE *file = std::fopen(path.c_str(), "wb");
  if (!file || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0)
    std::abort();
  std::memset(dest, 0, length);
  const size_t got = loadMapFile(path.c_str(), dest, length, "fuzz_maps");
  if (got != (size < length ? size : length))
    std::abort();
  for (size_t i = got; got > 0 && i < length; ++i)
    dest[i] = dest[i % got];
}

uint32_t frame[kCanvasWidth * kCanvasHeight];

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const std::string dir = folder();
  load(dir + "/texture.raw", data, size, texture, sizeof texture);
  load(dir + "/map.raw", data, size, map, sizeof map);
  resetCamera();
  if (size >= 2)
    actorX = int32_t((data[0] << 8 | data[1]) * int64_t{kWrap + 1} / 65536);
  renderFrameReference();
  std::memcpy(frame, pixel, sizeof frame);
  renderFrame();
  if (std::memcmp(frame, pixel, sizeof frame) != 0)
    std::abort();
  return 0;
}
