// Writes the tests' terrain as a picture, for checks and demonstrations
// outside the unit tests: a 16-bit grey PNG, or a colour JPEG of the same
// relief tinted by height.
//
//   drawpicture FILE.png|FILE.jpg [SIZE]   (SIZE pixels square, default 1024)
#include "pictures.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char **argv) {
  const std::string path = argc > 1 ? argv[1] : "";
  const std::string suffix = path.size() > 4 ? path.substr(path.size() - 4) : "";
  const int size = argc > 2 ? std::atoi(argv[2]) : 1024;
  if (argc < 2 || argc > 3 || (suffix != ".png" && suffix != ".jpg") || size < 1 || size > 16384) {
    std::fprintf(stderr, "usage: drawpicture FILE.png|FILE.jpg [SIZE]\n");
    return 2;
  }
  const std::vector<uint16_t> heights = drawTerrain(size);
  bool written;
  if (suffix == ".png") {
    written = writePng(path, size, size, 16, 1, heights);
  } else {
    std::vector<uint8_t> rgb(heights.size() * 3);
    for (size_t i = 0; i < heights.size(); ++i) {
      const int h = heights[i] >> 8;
      rgb[3 * i] = uint8_t(h), rgb[3 * i + 1] = uint8_t(255 - h / 2), rgb[3 * i + 2] = uint8_t(255 - h);
    }
    written = writeJpeg(path, size, size, 3, rgb);
  }
  if (!written) {
    std::fprintf(stderr, "drawpicture: cannot write %s\n", path.c_str());
    return 1;
  }
  return 0;
}
