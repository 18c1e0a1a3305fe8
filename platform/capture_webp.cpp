#include "capture_webp.h"

#include <webp/encode.h>
#include <webp/mux.h>

#include <climits>

namespace flyover {

struct WebpAnimation::Encoder {
  WebPAnimEncoder *animation = nullptr;
  WebPConfig config;
  WebPPicture picture;

  ~Encoder() {
    WebPPictureFree(&picture);
    WebPAnimEncoderDelete(animation);
  }
};

std::unique_ptr<WebpAnimation> WebpAnimation::create(int32_t width, int32_t height, std::string &error) {
  auto encoder = std::make_unique<Encoder>();
  WebPAnimEncoderOptions options;
  if (!WebPPictureInit(&encoder->picture) || !WebPConfigInit(&encoder->config) ||
      !WebPAnimEncoderOptionsInit(&options)) {
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
  options.allow_mixed = 0; // every frame lossless
  options.anim_params.loop_count = 0;
  options.anim_params.bgcolor = 0xFF000000; // opaque black
  encoder->picture.use_argb = 1;
  encoder->picture.width = width;
  encoder->picture.height = height;
  encoder->animation = WebPAnimEncoderNew(width, height, &options);
  if (!encoder->animation || !WebPPictureAlloc(&encoder->picture)) {
    error = "out of memory";
    return nullptr;
  }
  return std::unique_ptr<WebpAnimation>(new WebpAnimation(width, height, std::move(encoder)));
}

WebpAnimation::WebpAnimation(int32_t width, int32_t height, std::unique_ptr<Encoder> encoder)
    : width_(width), height_(height), encoder_(std::move(encoder)) {}

WebpAnimation::~WebpAnimation() = default;

bool WebpAnimation::add(const uint32_t *pixels, std::string &error) {
  if (frames_ + 1 > INT_MAX / 1000 * 60) { // the last frame's end must fit an int too
    error = "the animation is longer than WebP timestamps reach";
    return false;
  }
  WebPPicture &picture = encoder_->picture;
  for (int32_t y = 0; y < height_; ++y) {
    uint32_t *row = picture.argb + static_cast<ptrdiff_t>(y) * picture.argb_stride;
    for (int32_t x = 0; x < width_; ++x)
      row[x] = 0xFF000000u | (pixels[static_cast<size_t>(y) * width_ + x] & 0xFFFFFFu);
  }
  if (!WebPAnimEncoderAdd(encoder_->animation, &picture, startMs(frames_), &encoder_->config)) {
    error = WebPAnimEncoderGetError(encoder_->animation);
    return false;
  }
  ++frames_;
  return true;
}

bool WebpAnimation::finish(std::vector<uint8_t> &bytes, std::string &error) {
  if (frames_ == 0) {
    error = "no frame to write";
    return false;
  }
  // A last call without a picture gives the last frame its duration.
  WebPData data;
  WebPDataInit(&data);
  if (!WebPAnimEncoderAdd(encoder_->animation, nullptr, startMs(frames_), nullptr) ||
      !WebPAnimEncoderAssemble(encoder_->animation, &data)) {
    error = WebPAnimEncoderGetError(encoder_->animation);
    return false;
  }
  bytes.assign(data.bytes, data.bytes + data.size);
  WebPDataClear(&data);
  return true;
}

} // namespace flyover
