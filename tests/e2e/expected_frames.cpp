// What the flyover must show, computed without the display: the renderer's
// canvases converted by the plain reference converters. The end-to-end
// tests compare the capture driver's output with this, for flights over maps
// that mkmaps made in DIR.
//
//   expected_frames frames DIR FORMAT N OUT    the first N frames in FORMAT
//   expected_frames png DIR N FILE [FORMAT]    checks FILE shows frame N as a
//       screen in FORMAT (default xrgb8888) shows it: scaled by the largest
//       whole factor that fits the picture, centred, on black
//   expected_frames webp DIR N FILE FORMAT     checks the animation FILE shows
//       frames 1 to N as a screen in FORMAT holds them, each for 1/60 s
#include "layouts.h"
#include "screen_format.h"
#include "terrain.h"

#include <png.h>
#include <webp/demux.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const auto &formats = converted_layouts;

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
  resetCamera();
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
        format.reference(&pixel[y * kCanvasWidth], row.data(), kCanvasWidth);
        bytes.insert(bytes.end(), row.begin(), row.end());
      }
    });
    if (!flown)
      return fail("cannot enter " + dir);
    return writeFile(out, bytes) ? 0 : fail("cannot write " + out);
  }
  return fail("unknown format " + name);
}

const auto *findFormat(const std::string &name) {
  return std::find_if(std::begin(formats), std::end(formats), [&](const auto &f) { return name == f.name; });
}

// The canvas as a screen in format holds it, expanded back to 8-bit
// channels (0x00RRGGBB).
std::vector<uint32_t> shownCanvas(const flyover::PixelExpander &expand, pixel_converter convert, int bytes) {
  std::vector<uint8_t> row(static_cast<size_t>(kCanvasWidth) * bytes);
  std::vector<uint32_t> shown(static_cast<size_t>(kCanvasWidth) * kCanvasHeight);
  for (int32_t y = 0; y < kCanvasHeight; ++y) {
    convert(&pixel[y * kCanvasWidth], row.data(), kCanvasWidth);
    expand.row(row.data(), &shown[static_cast<size_t>(y) * kCanvasWidth], kCanvasWidth);
  }
  for (uint32_t &p : shown)
    p &= 0xFFFFFF;
  return shown;
}

int checkPng(const std::string &dir, long n, const std::string &path, const std::string &name) {
  const auto *format = findFormat(name);
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

  if (!fly(dir, n, [] {}))
    return fail("cannot enter " + dir);
  const std::vector<uint32_t> shown =
      shownCanvas(flyover::PixelExpander(*flyover::findScreenFormat(name)), format->reference, format->bytes);
  const int32_t left = (width - kCanvasWidth * scale) / 2, top = (height - kCanvasHeight * scale) / 2;
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const int32_t cx = (x - left) / scale, cy = (y - top) / scale;
      const bool inside = x >= left && y >= top && cx < kCanvasWidth && cy < kCanvasHeight;
      const uint32_t want = inside ? shown[static_cast<size_t>(cy) * kCanvasWidth + cx] : 0;
      const uint8_t *got = &rgb[(static_cast<size_t>(y) * width + x) * 3];
      if (static_cast<uint32_t>(got[0] << 16 | got[1] << 8 | got[2]) != want)
        return fail(path + ": pixel " + std::to_string(x) + "," + std::to_string(y) + " is not " +
                    (inside ? "frame " + std::to_string(n) + "'s in " + name : std::string("black")) + " (scale " +
                    std::to_string(scale) + ")");
    }
  }
  return 0;
}

bool readFile(const std::string &path, std::vector<uint8_t> &bytes) {
  FILE *file = std::fopen(path.c_str(), "rb");
  if (!file)
    return false;
  uint8_t buffer[65536];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
    bytes.insert(bytes.end(), buffer, buffer + got);
  const bool read = !std::ferror(file);
  return std::fclose(file) == 0 && read;
}

// The animation decoded with libwebp's own demuxer and decoder. The encoder
// may merge a frame into the one before when they are the same picture, so
// frames are matched by time: presented frame i (from 0) starts at
// i * 1000 / 60 ms, rounded down, and the decoded frame showing then must be
// it; the animation ends when frame n would have started.
int checkWebp(const std::string &dir, long n, const std::string &path, const std::string &name) {
  const auto *format = findFormat(name);
  if (format == std::end(formats))
    return fail("unknown format " + name);
  std::vector<uint8_t> file;
  if (!readFile(path, file))
    return fail("cannot read " + path);
  const WebPData data = {file.data(), file.size()};
  WebPAnimDecoderOptions options;
  if (!WebPAnimDecoderOptionsInit(&options))
    return fail("libwebp version mismatch");
  options.color_mode = MODE_RGBA;
  std::unique_ptr<WebPAnimDecoder, void (*)(WebPAnimDecoder *)> decoder(WebPAnimDecoderNew(&data, &options),
                                                                        WebPAnimDecoderDelete);
  WebPAnimInfo info;
  if (!decoder || !WebPAnimDecoderGetInfo(decoder.get(), &info))
    return fail(path + " is not an animated WebP picture");
  if (info.canvas_width != kCanvasWidth || info.canvas_height != kCanvasHeight)
    return fail(path + " is " + std::to_string(info.canvas_width) + "x" + std::to_string(info.canvas_height));

  std::vector<std::vector<uint32_t>> wanted;
  const flyover::PixelExpander expand(*flyover::findScreenFormat(name));
  if (!fly(dir, n, [&] { wanted.push_back(shownCanvas(expand, format->reference, format->bytes)); }))
    return fail("cannot enter " + dir);

  const auto startMs = [](long frame) { return static_cast<int>(frame * 1000 / 60); };
  long frame = 0;
  int end = 0;
  while (WebPAnimDecoderHasMoreFrames(decoder.get())) {
    uint8_t *rgba = nullptr;
    if (!WebPAnimDecoderGetNext(decoder.get(), &rgba, &end))
      return fail(path + ": a frame does not decode");
    // Every presented frame that starts while this one shows.
    const long first = frame;
    for (; frame < n && startMs(frame) < end; ++frame) {
      for (size_t i = 0; i < wanted[frame].size(); ++i) {
        const uint8_t *got = rgba + i * 4;
        if (static_cast<uint32_t>(got[0] << 16 | got[1] << 8 | got[2]) != wanted[frame][i] || got[3] != 255)
          return fail(path + ": at " + std::to_string(startMs(frame)) + " ms, pixel " +
                      std::to_string(i % kCanvasWidth) + "," + std::to_string(i / kCanvasWidth) + " is not frame " +
                      std::to_string(frame + 1) + "'s in " + name);
      }
    }
    if (frame == first)
      return fail(path + ": a frame ending at " + std::to_string(end) + " ms shows no presented frame");
  }
  if (frame != n || end != startMs(n))
    return fail(path + " ends at " + std::to_string(end) + " ms after " + std::to_string(frame) + " frames, not at " +
                std::to_string(startMs(n)) + " ms after " + std::to_string(n));
  return 0;
}

} // namespace

int main(int argc, char **argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "frames" && argc == 6)
    return writeFrames(argv[2], argv[3], std::atol(argv[4]), argv[5]);
  if (command == "png" && (argc == 5 || argc == 6))
    return checkPng(argv[2], std::atol(argv[3]), argv[4], argc == 6 ? argv[5] : "xrgb8888");
  if (command == "webp" && argc == 6)
    return checkWebp(argv[2], std::atol(argv[3]), argv[4], argv[5]);
  return fail("usage: expected_frames frames DIR FORMAT N OUT | png DIR N FILE [FORMAT] | webp DIR N FILE FORMAT");
}
