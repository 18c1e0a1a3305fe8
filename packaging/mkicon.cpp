// mkicon PICTURE.png OUT-PREFIX SIZE...: the menu icon, made from a frame
// the flyover rendered: a square at the bottom of the picture's centre,
// where the terrain is (above it is mostly the grey of the distance),
// resampled to SIZE pixels by averaging the source pixels each icon pixel
// covers, written as OUT-PREFIXSIZE.png for each SIZE.
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Writes the icon to a temporary file made exclusively beside name, then
// renames it over name, so that an interrupted build leaves no half icon.
bool writeIcon(const std::string &name, unsigned size, const std::vector<unsigned char> &icon) {
  std::string temporary = name + ".XXXXXX";
  const int fd = mkstemp(temporary.data());
  // mkstemp makes the file private; the icon is for everyone, as umask says.
  const mode_t mask = umask(0);
  umask(mask);
  std::FILE *file = fd < 0 || fchmod(fd, 0666 & ~mask) != 0 ? nullptr : fdopen(fd, "wb");
  if (file == nullptr) {
    std::fprintf(stderr, "mkicon: cannot create a temporary file beside %s\n", name.c_str());
    if (fd >= 0)
      close(fd);
    return false;
  }
  png_image out{};
  out.version = PNG_IMAGE_VERSION;
  out.width = out.height = size;
  out.format = PNG_FORMAT_RGB;
  bool written = png_image_write_to_stdio(&out, file, 0, icon.data(), 0, nullptr) != 0;
  written = std::fclose(file) == 0 && written;
  if (!written || std::rename(temporary.c_str(), name.c_str()) != 0) {
    std::fprintf(stderr, "mkicon: %s: %s\n", name.c_str(), written ? "cannot rename the icon into place" : out.message);
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

} // namespace

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
  const unsigned side = (in.width < in.height ? in.width : in.height) * 5 / 8;
  const unsigned left = (in.width - side) / 2, top = in.height - side;
  for (int a = 3; a < argc; a++) {
    const unsigned size = std::strtoul(argv[a], nullptr, 10);
    if (size == 0 || size > 4096) {
      std::fprintf(stderr, "mkicon: %s is not an icon size\n", argv[a]);
      return 2;
    }
    // Icon pixel (x, y) covers source pixels x*side/size up to (x+1)*side/size:
    // an icon larger than the square repeats pixels, a smaller one averages.
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
    if (!writeIcon(argv[2] + std::to_string(size) + ".png", size, icon))
      return 1;
  }
  return 0;
}
