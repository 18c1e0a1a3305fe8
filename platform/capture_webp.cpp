#include "capture_webp.h"

#include <webp/encode.h>

#include <algorithm>
#include <cstring>

namespace flyover {

namespace {

// RIFF, VP8X and ANIM chunks.
constexpr size_t kHeaderBytes = 12 + 18 + 14;
// A RIFF size field counts the file less its first 8 bytes, and the format
// allows at most 2^32 - 10.
constexpr uint64_t kMostRiffBytes = 0xFFFFFFF6u;
// Frame durations and canvas sides are 24-bit fields.
constexpr int64_t kLongestMs = 0xFFFFFF;

void put(std::vector<uint8_t> &out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i)
    out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void putTag(std::vector<uint8_t> &out, const char *tag) { out.insert(out.end(), tag, tag + 4); }

} // namespace

struct WebpAnimation::Encoder {
  WebPConfig config;
  WebPPicture picture;
  WebPMemoryWriter written;

  ~Encoder() {
    WebPPictureFree(&picture);
    WebPMemoryWriterClear(&written);
  }
};

std::unique_ptr<WebpAnimation> WebpAnimation::create(int32_t width, int32_t height, std::string &error) {
  if (width < 1 || height < 1 || width > kLongestMs + 1 || height > kLongestMs + 1) {
    error = "a WebP animation cannot be " + std::to_string(width) + "x" + std::to_string(height);
    return nullptr;
  }
  auto encoder = std::make_unique<Encoder>();
  WebPMemoryWriterInit(&encoder->written);
  if (!WebPPictureInit(&encoder->picture) || !WebPConfigInit(&encoder->config)) {
    error = "libwebp is not the version this program was built with";
    return nullptr;
  }
  // Effort 3 of 9: three seconds of flight come out as small as at the
  // default effort 6 (558 against 565 kB) in 70% of its time, about 7 ms a
  // frame, less than the 16.7 ms the frame is shown for.
  if (!WebPConfigLosslessPreset(&encoder->config, 3)) {
    error = "libwebp refuses its own lossless settings";
    return nullptr;
  }
  encoder->picture.use_argb = 1;
  encoder->picture.width = width;
  encoder->picture.height = height;
  encoder->picture.writer = WebPMemoryWrite;
  encoder->picture.custom_ptr = &encoder->written;
  if (!WebPPictureAlloc(&encoder->picture)) {
    error = "out of memory";
    return nullptr;
  }
  return std::unique_ptr<WebpAnimation>(new WebpAnimation(width, height, std::move(encoder)));
}

WebpAnimation::WebpAnimation(int32_t width, int32_t height, std::unique_ptr<Encoder> encoder)
    : width_(width), height_(height), size_(kHeaderBytes), encoder_(std::move(encoder)) {}

WebpAnimation::~WebpAnimation() = default;

void WebpAnimation::header(std::vector<uint8_t> &out) const {
  putTag(out, "RIFF");
  put(out, size_ - 8, 4);
  putTag(out, "WEBP");
  putTag(out, "VP8X");
  put(out, 10, 4);
  put(out, 0x02, 4); // an animation; no alpha, profile or metadata
  put(out, width_ - 1, 3);
  put(out, height_ - 1, 3);
  putTag(out, "ANIM");
  put(out, 6, 4);
  put(out, 0xFF000000u, 4); // background opaque black, as B, G, R, A
  put(out, 0, 2);           // looping for ever
}

bool WebpAnimation::flush(int64_t until, std::vector<uint8_t> &out, std::string &error) {
  const uint64_t chunk = 8 + 16 + image_.size();
  if (size_ + chunk - 8 > kMostRiffBytes) {
    error = "the animation would be larger than a WebP file can be (4 GiB)";
    return false;
  }
  putTag(out, "ANMF");
  put(out, chunk - 8, 4);
  put(out, 0, 3); // at the canvas's top left corner, covering it
  put(out, 0, 3);
  put(out, width_ - 1, 3);
  put(out, height_ - 1, 3);
  put(out, static_cast<uint64_t>(startMs(until) - startMs(waitingSince_)), 3);
  put(out, 0x02, 1); // replaces what was there; nothing to blend with an opaque frame
  out.insert(out.end(), image_.begin(), image_.end());
  size_ += chunk;
  return true;
}

bool WebpAnimation::add(const uint32_t *pixels, std::vector<uint8_t> &out, std::string &error) {
  const size_t count = static_cast<size_t>(width_) * height_;
  WebPPicture &picture = encoder_->picture;
  for (int32_t y = 0; y < height_; ++y) {
    uint32_t *row = picture.argb + static_cast<ptrdiff_t>(y) * picture.argb_stride;
    for (int32_t x = 0; x < width_; ++x)
      row[x] = 0xFF000000u | (pixels[static_cast<size_t>(y) * width_ + x] & 0xFFFFFFu);
  }
  const bool same = frames_ > 0 && std::equal(last_.begin(), last_.end(), picture.argb);
  if (same && startMs(frames_ + 1) - startMs(waitingSince_) <= kLongestMs) {
    ++frames_;
    return true;
  }
  if (frames_ > 0 && !flush(frames_, out, error))
    return false;
  waitingSince_ = frames_;
  ++frames_;
  if (same)
    return true; // the same picture again, after the longest duration a frame can have
  last_.assign(picture.argb, picture.argb + count);
  // The writer's buffer is kept from frame to frame.
  encoder_->written.size = 0;
  if (!WebPEncode(&encoder_->config, &picture)) {
    error = "libwebp could not encode a frame (error " + std::to_string(picture.error_code) + ")";
    return false;
  }
  // A whole lossless WebP file: RIFF header, then the one image chunk.
  const uint8_t *file = encoder_->written.mem;
  const size_t bytes = encoder_->written.size;
  if (bytes < 20 || std::memcmp(file + 12, "VP8L", 4) != 0) {
    error = "libwebp gave a frame that is not one lossless image";
    return false;
  }
  image_.assign(file + 12, file + bytes);
  return true;
}

bool WebpAnimation::finish(std::vector<uint8_t> &out, std::string &error) {
  if (frames_ == 0) {
    error = "no frame to write";
    return false;
  }
  return flush(frames_, out, error);
}

} // namespace flyover
