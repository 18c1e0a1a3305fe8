// Headless screen: keeps what is flipped to the front and writes it out.
// FLYOVER_CAPTURE=PATH appends every presented frame to PATH exactly as the
// display holds it (the mode's format, rows packed without the surface's
// padding); a PATH ending in ".png" gets only the last frame, as 8-bit RGB,
// and one ending in ".webp" every frame, as a lossless animation at 60
// frames a second.
// Without FLYOVER_CAPTURE nothing is written, which makes this driver the
// cheapest screen for measuring the rest of a frame.
#include "capture_webp.h"
#include "driver.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace flyover {

namespace {

bool endsWith(const std::string &text, const std::string &suffix) {
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool writePng(FILE *file, int32_t width, int32_t height, const std::vector<uint32_t> &pixels, std::string &error) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    error = "out of memory";
    return false;
  }
  std::vector<png_byte> row(static_cast<size_t>(width) * 3);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    error = "libpng could not write the picture";
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t p = pixels[static_cast<size_t>(y) * width + x];
      row[x * 3] = static_cast<png_byte>(p >> 16);
      row[x * 3 + 1] = static_cast<png_byte>(p >> 8);
      row[x * 3 + 2] = static_cast<png_byte>(p);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

class CaptureDriver final : public ScreenDriver {
public:
  CaptureDriver(const std::string &path, FILE *file)
      : path_(path), file_(file), png_(endsWith(path, ".png")), webp_(endsWith(path, ".webp")) {}

  ~CaptureDriver() override {
    if (!file_)
      return;
    std::string error;
    if (png_ && !last_.empty() && !writePng(file_, width_, height_, last_, error))
      std::fprintf(stderr, "flyover: cannot write %s: %s\n", path_.c_str(), error.c_str());
    if (webp_ && animation_ && !failed_ && !writeWebp(error))
      std::fprintf(stderr, "flyover: cannot write %s: %s\n", path_.c_str(), error.c_str());
    if (std::fclose(file_) != 0 && !failed_)
      std::fprintf(stderr, "flyover: cannot write %s: %s\n", path_.c_str(), std::strerror(errno));
    if ((png_ || webp_) && last_.empty())
      std::remove(path_.c_str()); // no frame was ever shown: leave no empty picture behind
  }

  bool setMode(int32_t width, int32_t height, const ScreenFormat &format, const std::string &,
               std::string &) override {
    width_ = width;
    height_ = height;
    format_ = format;
    expander_ = std::make_unique<PixelExpander>(format);
    return true;
  }

  void present(const uint8_t *pixels, int32_t pitch) override {
    if (!file_ || failed_)
      return;
    if (png_ || webp_) {
      last_.resize(static_cast<size_t>(width_) * height_);
      for (int32_t y = 0; y < height_; ++y)
        expander_->row(pixels + static_cast<ptrdiff_t>(y) * pitch, &last_[static_cast<size_t>(y) * width_], width_);
      if (webp_)
        addToAnimation();
      return;
    }
    const size_t rowBytes = static_cast<size_t>(width_) * format_.bytes;
    for (int32_t y = 0; y < height_; ++y) {
      if (std::fwrite(pixels + static_cast<ptrdiff_t>(y) * pitch, 1, rowBytes, file_) != rowBytes) {
        // Say it once; the program goes on as a real screen would.
        std::fprintf(stderr, "flyover: cannot write %s: %s\n", path_.c_str(), std::strerror(errno));
        failed_ = true;
        return;
      }
    }
  }

  void restoreMode() override {}
  void pollEvents(std::vector<ScreenEvent> &) override {}
  void showCursor(bool) override {}
  void allowScreenSaver(bool) override {}

private:
  // Every frame is kept as the screen held it, expanded to RGB as for a
  // .png. An animation has one size: a mode of another size ends it.
  void addToAnimation() {
    std::string error;
    if (!animation_)
      animation_ = WebpAnimation::create(width_, height_, error);
    else if (animation_->width() != width_ || animation_->height() != height_)
      error = "the screen changed size during the animation";
    if (animation_ && error.empty() && animation_->add(last_.data(), error))
      return;
    std::fprintf(stderr, "flyover: cannot write %s: %s\n", path_.c_str(), error.c_str());
    failed_ = true;
  }

  bool writeWebp(std::string &error) {
    std::vector<uint8_t> bytes;
    if (!animation_->finish(bytes, error))
      return false;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
      error = std::strerror(errno);
      return false;
    }
    return true;
  }

  std::string path_;
  FILE *file_;
  bool png_, webp_;
  bool failed_ = false;
  int32_t width_ = 0, height_ = 0;
  ScreenFormat format_{};
  std::unique_ptr<PixelExpander> expander_;
  std::vector<uint32_t> last_;
  std::unique_ptr<WebpAnimation> animation_;
};

std::unique_ptr<ScreenDriver> createCapture(const Settings &settings, std::string &error) {
  FILE *file = nullptr;
  if (!settings.capture.empty()) {
    // Opened now so that a path that cannot be written fails the open
    // rather than the end of a long run.
    file = std::fopen(settings.capture.c_str(), "wb");
    if (!file) {
      error = "cannot write " + settings.capture + ": " + std::strerror(errno);
      return nullptr;
    }
  }
  return std::make_unique<CaptureDriver>(settings.capture, file);
}

} // namespace

const DriverEntry captureDriver = {"capture", "headless; FLYOVER_CAPTURE=PATH writes the frames", createCapture};

} // namespace flyover
