// What the flyover must show, computed without the display: the renderer's
// canvases converted by the plain reference converters. The end-to-end
// tests compare the capture driver's output with this.
//
//   expected_frames maps DIR                   writes small deterministic maps
//   expected_frames frames DIR FORMAT N OUT    the first N frames in FORMAT
//   expected_frames png DIR N FILE             checks FILE is frame N as RGB
#include "convert_reference.h"
#include "terrain.h"

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct Format {
  const char *name;
  int bytes;
  pixel_converter convert;
};

const Format formats[] = {
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
  if (!file)
    return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

// Rough hills from a fixed seed: varied heights make bars cover each other,
// and colours span the whole range of every channel.
int writeMaps(const std::string &dir) {
  uint32_t state = 12345;
  auto next = [&state] {
    state = state * 1103515245u + 12345u;
    return (state >> 16) & 0xFF;
  };
  std::vector<uint8_t> texture(kTextureBytes), heights(kHeightBytes);
  for (uint8_t &byte : texture)
    byte = static_cast<uint8_t>(next());
  for (int32_t row = 0; row < kMapSize; ++row)
    for (int32_t col = 0; col < kMapSize; ++col)
      heights[row * kMapSize + col] = static_cast<uint8_t>(((row * 3 + col * 5) % 200) + (next() % 56));
  if (!writeFile(dir + "/texture.raw", texture) || !writeFile(dir + "/map.raw", heights))
    return fail("cannot write the maps into " + dir);
  return 0;
}

// The program's start: camera, then the maps in dir.
bool startFlight(const std::string &dir) {
  if (chdir(dir.c_str()) != 0)
    return false;
  setExtendedPrecision();
  actorY = kStartY;
  actorX = kStartX;
  loadMaps();
  return true;
}

int writeFrames(const std::string &dir, const std::string &name, long count, const std::string &out) {
  const Format *format = nullptr;
  for (const Format &f : formats)
    if (name == f.name)
      format = &f;
  if (!format)
    return fail("unknown format " + name);
  if (!startFlight(dir))
    return fail("cannot enter " + dir);
  std::vector<uint8_t> bytes;
  std::vector<uint8_t> row(static_cast<size_t>(kCanvasWidth) * format->bytes);
  for (long frame = 0; frame < count; ++frame) {
    renderFrame();
    for (int32_t y = 0; y < kCanvasHeight; ++y) {
      format->convert(&pixel[y * kCanvasWidth], row.data(), kCanvasWidth);
      bytes.insert(bytes.end(), row.begin(), row.end());
    }
    moveCamera();
  }
  return writeFile(out, bytes) ? 0 : fail("cannot write " + out);
}

int checkPng(const std::string &dir, long n, const std::string &path) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str()))
    return fail(path + ": " + image.message);
  if (image.width != kCanvasWidth || image.height != kCanvasHeight || image.format != PNG_FORMAT_RGB) {
    png_image_free(&image);
    return fail(path + " is not a 320x200 8-bit RGB picture");
  }
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr))
    return fail(path + ": " + image.message);
  if (!startFlight(dir))
    return fail("cannot enter " + dir);
  for (long frame = 1; frame <= n; ++frame) {
    if (frame > 1)
      moveCamera();
    renderFrame();
  }
  for (int32_t i = 0; i < kCanvasWidth * kCanvasHeight; ++i) {
    const uint32_t p = pixel[i];
    const uint8_t want[3] = {static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8), static_cast<uint8_t>(p)};
    if (std::memcmp(want, &rgb[i * 3], 3) != 0) {
      char where[96];
      std::snprintf(where, sizeof where, "pixel (%d, %d) is %02X%02X%02X, frame %ld has %02X%02X%02X",
                    i % kCanvasWidth, i / kCanvasWidth, rgb[i * 3], rgb[i * 3 + 1], rgb[i * 3 + 2], n, want[0],
                    want[1], want[2]);
      return fail(path + ": " + where);
    }
  }
  return 0;
}

} // namespace

int main(int argc, char **argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "maps" && argc == 3)
    return writeMaps(argv[2]);
  if (command == "frames" && argc == 6)
    return writeFrames(argv[2], argv[3], std::atol(argv[4]), argv[5]);
  if (command == "png" && argc == 5)
    return checkPng(argv[2], std::atol(argv[3]), argv[4]);
  return fail("usage: expected_frames maps DIR | frames DIR FORMAT N OUT | png DIR N FILE");
}
