// Pictures from anywhere, through the decoders and the resampler as mkmaps
// reads them: the fuzzer's bytes as a picture file, for the heights and for
// the colours. Whatever the bytes, the reading ends with the maps' sizes,
// or with one line that names the file.
#include "landscape.h"
#include "picture.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

// Smaller than mkmaps' own, so that each run stays short under the
// sanitizers; the limits themselves are the same code.
const PictureLimits kLimits{4096, 1 << 20};

std::string picturePath() {
  char folder[] = "/tmp/fuzz_picture.XXXXXX";
  if (!mkdtemp(folder))
    std::abort();
  return std::string(folder) + "/picture";
}

void expectOneLine(bool read, const std::string &error, const std::string &path) {
  if (!read && (error.rfind(path + ": ", 0) != 0 || error.find('\n') != std::string::npos))
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const std::string path = picturePath();
  std::FILE *file = std::fopen(path.c_str(), "wb");
  if (!file || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0)
    std::abort();

  std::string error;
  std::vector<int32_t> fine;
  const bool heights =
      readHeightPicture(path, size % 2 ? HeightRange::Keep : HeightRange::Spread, fine, error, kLimits);
  expectOneLine(heights, error, path);
  if (heights && (fine.size() != size_t(kMapSize) * kMapSize ||
                  std::any_of(fine.begin(), fine.end(), [](int32_t v) { return v < 0 || v > kHighest; })))
    std::abort();

  std::vector<uint8_t> texture;
  const bool colours = readColourPicture(path, texture, error, kLimits);
  expectOneLine(colours, error, path);
  if (colours != heights || (colours && texture.size() != size_t(3) * kMapSize * kMapSize))
    std::abort();
  return 0;
}
