// An animated WebP picture made one frame at a time, for the capture driver:
// lossless, so that every frame decodes to exactly the pixels it was given,
// and each frame held for 1/60 s, the rate the display presents at.
#ifndef FLYOVER_PLATFORM_CAPTURE_WEBP_H
#define FLYOVER_PLATFORM_CAPTURE_WEBP_H

#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

namespace flyover {

class WebpAnimation {
public:
  // Null with a reason when the encoder cannot be made.
  static std::unique_ptr<WebpAnimation> create(int32_t width, int32_t height, std::string &error);
  ~WebpAnimation();
  WebpAnimation(const WebpAnimation &) = delete;
  WebpAnimation &operator=(const WebpAnimation &) = delete;

  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  int64_t frames() const { return frames_; }

  // The next frame: width x height pixels 0x??RRGGBB (the top byte is
  // ignored), rows packed. Each is encoded as it comes, so that a long
  // flight keeps compressed frames in memory rather than whole pictures.
  bool add(const uint32_t *pixels, std::string &error);
  // The whole file, once the last frame has been added; at least one must
  // have been.
  bool finish(std::vector<uint8_t> &bytes, std::string &error);

  // Frame i starts at i * 1000 / 60 ms, rounded down: the durations are
  // whole milliseconds (16 or 17) that add up to the exact rate.
  static int32_t startMs(int64_t frame) { return static_cast<int32_t>(frame * 1000 / 60); }

private:
  struct Encoder;
  WebpAnimation(int32_t width, int32_t height, std::unique_ptr<Encoder> encoder);

  int32_t width_, height_;
  int64_t frames_ = 0;
  std::unique_ptr<Encoder> encoder_;
};

} // namespace flyover

#endif
