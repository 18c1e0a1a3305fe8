// What the flyover must show, computed without the display: the renderer's
// canvases converted by the plain reference converters. The end-to-end
// tests compare the capture driver's output with this, for flights over maps
// that mkmaps made in DIR.
//
//   expected_frames frames DIR FORMAT N OUT    the first N frames in FORMAT
//   expected_frames png DIR N FILE [FORMAT]    checks FILE shows frame N as a
//       screen in FORMAT (default xrgb8888) shows it: scaled by the largest
//       whole factor that fits the picture, centred, on black
#include "convert_reference.h"
#include "screen_format.h"
#include "terrain.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const struct {
  const char *name;
  int bytes;
  pixel_converter convert;
} formats[] = {
    {"xrgb8888", 4, reference_convert_32_to_32_rgb888}, {"xbgr8888", 4, reference_convert_32_to_32_bgr888},
    {"rgb888", 3, reference_convert_32_to_24_rgb888},   {"bgr888", 3, reference_convert_32_to_24_bgr888},
    {"rgb565", 2, reference_convert_32_to_16_rgb565},   {"bgr565", 2, reference_convert_32_to_16_bgr565},
    {"rgb555", 2, reference_convert_32_to_16_rgb555},   {"bgr555", 2, reference_convert_32_to_16_bgr555},
};

int fail(const std::string &message) {
  std::fprintf(stderr, "expected_frames: %s\n", message.c_str());
  return 2;
}

bool writeFile(const std::string &path, const std::vector<uint8_t> &bytes) {
  FILE *file = std::fopen(path.c_str(), "wb");
  const bool written = file && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return file && std::fclose(file) == 0 && written;
}

// The program's flight over the maps in dir: frames 1 to n, each handed to
// eachFrame once rendered.
bool fly(const std::string &dir, long n, const std::function<void()> &eachFrame) {
  if (chdir(dir.c_str()) != 0)
    return false;
  setExtendedPrecision();
  actorY = kStartY;
  actorX = kStartX;
  loadMaps();
  for (long frame = 1; frame <= n; ++frame) {
    if (frame > 1)
      moveCamera();
    renderFrame();
    eachFrame();
  }
  return true;
}

int writeFrames(const std::string &dir, const std::string &name, long n, const std::string &out) {
  for (const auto &format : formats) {
    if (name != format.name)
      continue;
    std::vector<uint8_t> bytes, row(static_cast<size_t>(kCanvasWidth) * format.bytes);
    const bool flown = fly(dir, n, [&] {
      for (int32_t y = 0; y < kCanvasHeight; ++y) {
        format.convert(&pixel[y * kCanvasWidth], row.data(), kCanvasWidth);
        bytes.insert(bytes.end(), row.begin(), row.end());
      }
    });
    if (!flown)
      return fail("cannot enter " + dir);
    return writeFile(out, bytes) ? 0 : fail("cannot write " + out);
  }
  return fail("unknown format " + name);
}

int checkPng(const std::string &dir, long n, const std::string &path, const std::string &name) {
  const auto *format = std::find_if(std::begin(formats), std::end(formats), [&](const auto &f) { return name == f.name; });
  if (format == std::end(formats))
    return fail("unknown format " + name);
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str()))
    return fail(path + ": " + image.message);
  image.format = PNG_FORMAT_RGB;
  const int32_t width = static_cast<int32_t>(image.width), height = static_cast<int32_t>(image.height);
  const int32_t scale = std::min(width / kCanvasWidth, height / kCanvasHeight);
  std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
  if (scale < 1) {
    png_image_free(&image);
    return fail(path + " is smaller than the canvas");
  }
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr))
    return fail(path + ": " + image.message);

  // The picture as the screen holds it, expanded back to 8-bit channels.
  std::vector<uint8_t> row(static_cast<size_t>(kCanvasWidth) * format->bytes);
  std::vector<uint32_t> shown(static_cast<size_t>(kCanvasWidth) * kCanvasHeight);
  const flyover::PixelExpander expand(*flyover::findScreenFormat(name));
  if (!fly(dir, n, [] {}))
    return fail("cannot enter " + dir);
  for (int32_t y = 0; y < kCanvasHeight; ++y) {
    format->convert(&pixel[y * kCanvasWidth], row.data(), kCanvasWidth);
    expand.row(row.data(), &shown[static_cast<size_t>(y) * kCanvasWidth], kCanvasWidth);
  }
  const int32_t left = (width - kCanvasWidth * scale) / 2, top = (height - kCanvasHeight * scale) / 2;
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const int32_t cx = (x - left) / scale, cy = (y - top) / scale;
      const bool inside = x >= left && y >= top && cx < kCanvasWidth && cy < kCanvasHeight;
      const uint32_t want = inside ? shown[static_cast<size_t>(cy) * kCanvasWidth + cx] & 0xFFFFFF : 0;
      const uint8_t *got = &rgb[(static_cast<size_t>(y) * width + x) * 3];
      if (static_cast<uint32_t>(got[0] << 16 | got[1] << 8 | got[2]) != want)
        return fail(path + ": pixel " + std::to_string(x) + "," + std::to_string(y) + " is not " +
                    (inside ? "frame " + std::to_string(n) + "'s in " + name : std::string("black")) +
                    " (scale " + std::to_string(scale) + ")");
    }
  }
  return 0;
}

} // namespace

int main(int argc, char **argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "frames" && argc == 6)
    return writeFrames(argv[2], argv[3], std::atol(argv[4]), argv[5]);
  if (command == "png" && (argc == 5 || argc == 6))
    return checkPng(argv[2], std::atol(argv[3]), argv[4], argc == 6 ? argv[5] : "xrgb8888");
  return fail("usage: expected_frames frames DIR FORMAT N OUT | png DIR N FILE [FORMAT]");
}
