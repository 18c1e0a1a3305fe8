// Headless screen: keeps what is flipped to the front and writes it out.
// FLYOVER_CAPTURE=PATH appends every presented frame to PATH exactly as the
// display holds it (the mode's format, rows packed without the surface's
// padding); a PATH ending in ".png" gets only the last frame, as 8-bit RGB,
// and one ending in ".webp" every frame, as a lossless animation at 60
// frames a second. A run that presents no frame leaves PATH as it was.
// Without FLYOVER_CAPTURE nothing is written, which makes this driver the
// cheapest screen for measuring the rest of a frame.
#include "capture_webp.h"
#include "driver.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace flyover {

namespace {

bool endsWith(const std::string &text, const std::string &suffix) {
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// libpng's own handler would print a line of its own; the caller says what
// failed, in one line.
void pngFailed(png_structp png, png_const_charp message) {
  std::string &error = *static_cast<std::string *>(png_get_error_ptr(png));
  // A failed write leaves its reason in errno.
  error = errno ? std::strerror(errno) : message;
  png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp) {}

bool writePng(FILE *file, int32_t width, int32_t height, const std::vector<uint32_t> &pixels, std::string &error) {
  errno = 0;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &error, pngFailed, pngWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    error = "out of memory";
    return false;
  }
  std::vector<png_byte> row(static_cast<size_t>(width) * 3);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
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

std::string reason(int error) { return std::strerror(error); }

// write(2) until everything is out. False with errno set when the output
// failed, or when a termination signal interrupted a write that was waiting
// (for a stalled reader of a pipe, say).
bool writeAll(int fd, const uint8_t *data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR && !pendingSignal())
        continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// The two ways of writing frames out. Raw frames go straight to the path,
// which may be a pipe or a device; a regular file is truncated only when the
// first frame arrives and keeps whole frames only. A picture goes to a file
// of its own beside the target and replaces it, complete, at the end; until
// then the target stays as it was. An animation is such a picture: its
// frames are encoded as they come and the file is written at the end.
class CaptureDriver final : public ScreenDriver {
public:
  CaptureDriver(const std::string &path, int fd, bool picture, bool regular, bool created, std::string temporary)
      : path_(path), fd_(fd), picture_(picture), webp_(picture && endsWith(path, ".webp")), regular_(regular),
        created_(created), temporary_(std::move(temporary)) {}

  ~CaptureDriver() override {
    std::string error;
    finish(error);
  }

  bool setMode(int32_t width, int32_t height, const ScreenFormat &format, const std::string &, std::string &) override {
    width_ = width;
    height_ = height;
    format_ = format;
    expander_ = std::make_unique<PixelExpander>(format);
    return true;
  }

  bool present(const uint8_t *pixels, int32_t pitch, std::string &error) override {
    if (fd_ < 0)
      return true;
    if (picture_) {
      last_.resize(static_cast<size_t>(width_) * height_);
      for (int32_t y = 0; y < height_; ++y)
        expander_->row(pixels + static_cast<ptrdiff_t>(y) * pitch, &last_[static_cast<size_t>(y) * width_], width_);
      return webp_ ? addToAnimation(error) : true;
    }
    if (regular_ && !started_ && ::ftruncate(fd_, 0) != 0)
      return fail(errno, error);
    started_ = true;
    const size_t rowBytes = static_cast<size_t>(width_) * format_.bytes;
    for (int32_t y = 0; y < height_; ++y)
      if (!writeAll(fd_, pixels + static_cast<ptrdiff_t>(y) * pitch, rowBytes))
        return fail(errno, error);
    whole_ += rowBytes * static_cast<size_t>(height_);
    return true;
  }

  bool finish(std::string &error) override {
    if (fd_ < 0)
      return true;
    const int fd = fd_;
    fd_ = -1;
    if (picture_)
      return finishPicture(fd, error);
    bool ok = true;
    // Half a frame is no frame: cut what a failed write or a signal left.
    if (regular_ && started_ && ::ftruncate(fd, static_cast<off_t>(whole_)) != 0 && !failed_)
      ok = fail(errno, error);
    if (::close(fd) != 0 && ok && !failed_)
      ok = fail(errno, error);
    if (!started_ && created_)
      ::unlink(path_.c_str()); // made only to check the path: no frame, no file
    return ok;
  }

  void restoreMode() override {}
  void pollEvents(std::vector<ScreenEvent> &) override {}
  void showCursor(bool) override {}
  void allowScreenSaver(bool) override {}

private:
  bool fail(int number, std::string &error) {
    failed_ = true;
    error = "cannot write " + path_ + ": " + (number == EINTR ? "interrupted by a signal" : reason(number));
    return false;
  }

  // Every frame as the screen held it, expanded to RGB as for a .png. An
  // animation has one size: a mode of another size cannot go into it.
  bool addToAnimation(std::string &error) {
    std::string problem;
    if (!animation_)
      animation_ = WebpAnimation::create(width_, height_, problem);
    else if (animation_->width() != width_ || animation_->height() != height_)
      problem = "the screen changed size during the animation";
    if (animation_ && problem.empty() && animation_->add(last_.data(), problem))
      return true;
    failed_ = true;
    error = "cannot write " + path_ + ": " + problem;
    return false;
  }

  bool writeAnimation(FILE *file, std::string &error) {
    std::vector<uint8_t> bytes;
    if (!animation_->finish(bytes, error))
      return false;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
      error = reason(errno);
      return false;
    }
    return true;
  }

  bool finishPicture(int fd, std::string &error) {
    // After a frame the animation could not take, the picture would lack
    // frames: better none.
    FILE *file = last_.empty() || failed_ ? nullptr : ::fdopen(fd, "wb");
    bool ok = true;
    if (file) {
      std::string problem;
      if (!(webp_ ? writeAnimation(file, problem) : writePng(file, width_, height_, last_, problem))) {
        ok = false;
        error = "cannot write " + path_ + ": " + problem;
      }
      if (ok && std::fflush(file) != 0)
        ok = fail(errno, error);
      if (ok && ::fsync(fd) != 0 && errno != EINVAL)
        ok = fail(errno, error);
      if (std::fclose(file) != 0 && ok)
        ok = fail(errno, error);
      if (ok && std::rename(temporary_.c_str(), path_.c_str()) != 0)
        ok = fail(errno, error);
    } else {
      ::close(fd); // no frame, or not all of them: the target stays as it was
    }
    if (!file || !ok)
      ::unlink(temporary_.c_str());
    return ok;
  }

  std::string path_;
  int fd_;
  bool picture_, webp_, regular_, created_;
  std::string temporary_;
  bool started_ = false, failed_ = false;
  size_t whole_ = 0; // bytes of complete frames written
  int32_t width_ = 0, height_ = 0;
  ScreenFormat format_{};
  std::unique_ptr<PixelExpander> expander_;
  std::vector<uint32_t> last_;
  std::unique_ptr<WebpAnimation> animation_;
};

// The program reads its maps from these files in the directory it runs in;
// frames written over one of them would destroy it.
const char *const kMapFiles[] = {"texture.raw", "map.raw"};

bool sameFile(const struct stat &a, const struct stat &b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

std::unique_ptr<ScreenDriver> createCapture(const Settings &settings, std::string &error) {
  const std::string &path = settings.capture;
  if (path.empty())
    return std::make_unique<CaptureDriver>(path, -1, false, false, false, std::string());
  auto cannot = [&](int number) {
    error = "cannot write " + path + ": " + reason(number);
    return nullptr;
  };
  struct stat target {};
  const bool exists = ::stat(path.c_str(), &target) == 0;
  if (exists) {
    // By the file itself, not its name: a link or another spelling of the
    // path names the same map.
    for (const char *map : kMapFiles) {
      struct stat info {};
      if (::stat(map, &info) == 0 && sameFile(info, target)) {
        error = "FLYOVER_CAPTURE=" + path + " is the map file " + map + "; frames would overwrite it";
        return nullptr;
      }
    }
  }
  // Opened or made now, so that a path that cannot be written fails the
  // start rather than the end of a long run; nothing is truncated yet.
  if (endsWith(path, ".png") || endsWith(path, ".webp")) {
    const size_t slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temporary = directory + "." + base + ".XXXXXX";
    const int fd = ::mkstemp(&temporary[0]);
    if (fd < 0)
      return cannot(errno);
    // mkstemp's 0600 would make the finished picture private.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    return std::make_unique<CaptureDriver>(path, fd, true, true, false, temporary);
  }
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0)
    return cannot(errno);
  struct stat opened {};
  if (::fstat(fd, &opened) != 0) {
    const int number = errno;
    ::close(fd);
    return cannot(number);
  }
  return std::make_unique<CaptureDriver>(path, fd, false, S_ISREG(opened.st_mode), !exists, std::string());
}

} // namespace

const DriverEntry captureDriver = {"capture", createCapture};

} // namespace flyover
