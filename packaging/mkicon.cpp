// mkicon PICTURE.png OUT-PREFIX SIZE...: the menu icon, made from a frame
// the flyover rendered: the picture's centred square, scaled down by
// averaging every source pixel into the icon pixels it covers, written as
// OUT-PREFIXSIZE.png for each SIZE.
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char **argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: mkicon PICTURE.png OUT-PREFIX SIZE...\n");
    return 2;
  }
  png_image in{};
  in.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&in, argv[1])) {
    std::fprintf(stderr, "mkicon: %s: %s\n", argv[1], in.message);
    return 1;
  }
  in.format = PNG_FORMAT_RGB;
  std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(in));
  if (!png_image_finish_read(&in, nullptr, pixels.data(), 0, nullptr)) {
    std::fprintf(stderr, "mkicon: %s: %s\n", argv[1], in.message);
    return 1;
  }
  const unsigned side = in.width < in.height ? in.width : in.height;
  const unsigned left = (in.width - side) / 2, top = (in.height - side) / 2;
  for (int a = 3; a < argc; a++) {
    const unsigned size = std::strtoul(argv[a], nullptr, 10);
    if (size == 0 || size > 4096) {
      std::fprintf(stderr, "mkicon: %s is not an icon size\n", argv[a]);
      return 2;
    }
    // Sums in units of 1/(side*size) of a pixel, so that an icon larger than
    // the square repeats pixels and a smaller one averages them exactly.
    std::vector<unsigned char> icon(size * size * 3);
    for (unsigned y = 0; y < size; y++)
      for (unsigned x = 0; x < size; x++)
        for (unsigned c = 0; c < 3; c++) {
          unsigned long sum = 0, weight = 0;
          for (unsigned sy = y * side / size; sy * size < (y + 1) * side; sy++)
            for (unsigned sx = x * side / size; sx * size < (x + 1) * side; sx++) {
              sum += pixels[((top + sy) * in.width + left + sx) * 3 + c];
              weight++;
            }
          icon[(y * size + x) * 3 + c] = static_cast<unsigned char>((sum + weight / 2) / weight);
        }
    png_image out{};
    out.version = PNG_IMAGE_VERSION;
    out.width = out.height = size;
    out.format = PNG_FORMAT_RGB;
    const std::string name = argv[2] + std::to_string(size) + ".png";
    if (!png_image_write_to_file(&out, name.c_str(), 0, icon.data(), 0, nullptr)) {
      std::fprintf(stderr, "mkicon: %s: %s\n", name.c_str(), out.message);
      return 1;
    }
  }
  return 0;
}
