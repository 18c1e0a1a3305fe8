// An animated WebP picture made one frame at a time, for the capture driver:
// lossless, so that every frame decodes to exactly the pixels it was given,
// and each frame held for 1/60 s, the rate the display presents at.
//
// The container is assembled here rather than by libwebp's animation
// encoder, which keeps every encoded frame until the end: each frame is
// encoded on its own and handed out for the file at once, so that memory
// stays the same however long the flight. Only the header's size field is
// unknown until the end; the caller writes the header first and again over
// itself once the last frame is in.
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

  // The file's first bytes, with the size of everything handed out so far.
  void header(std::vector<uint8_t> &out) const;
  // The next frame: width x height pixels 0x??RRGGBB (the top byte is
  // ignored), rows packed. Appends to out what is ready for the file: the
  // frame before, once it is known for how long it shows. A frame equal to
  // the one before only lengthens it.
  bool add(const uint32_t *pixels, std::vector<uint8_t> &out, std::string &error);
  // Appends the last frame; at least one must have been added.
  bool finish(std::vector<uint8_t> &out, std::string &error);

  // Frame i starts at i * 1000 / 60 ms, rounded down: the durations are
  // whole milliseconds (16 or 17) that add up to the exact rate.
  static int64_t startMs(int64_t frame) { return frame * 1000 / 60; }

private:
  struct Encoder;
  WebpAnimation(int32_t width, int32_t height, std::unique_ptr<Encoder> encoder);
  // Appends the waiting frame's chunk, shown until frame `until` starts.
  bool flush(int64_t until, std::vector<uint8_t> &out, std::string &error);

  int32_t width_, height_;
  int64_t frames_ = 0;
  int64_t waitingSince_ = 0;   // the frame whose picture is waiting for its duration
  uint64_t size_ = 0;          // bytes handed out, header included
  std::vector<uint32_t> last_; // the waiting frame's pixels, opaque
  std::vector<uint8_t> image_; // its encoded image chunk, padded
  std::unique_ptr<Encoder> encoder_;
};

} // namespace flyover

#endif
