// Headless screen: keeps what is flipped to the front and writes it out.
// FLYOVER_CAPTURE=PATH writes every presented frame to PATH exactly as the
// display holds it (the mode's format, rows packed without the surface's
// padding); a PATH ending in ".png" gets only the last frame, as 8-bit RGB,
// and one ending in ".webp" every frame, as a lossless animation at 60
// frames a second (suffixes in any case). A run that presents no frame
// leaves PATH as it was. Without FLYOVER_CAPTURE nothing is written, which
// makes this driver the cheapest screen for measuring the rest of a frame.
#include "capture_webp.h"
#include "driver.h"
#include "map_files.h"

#include <png.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <random>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace flyover {

namespace {

enum class Kind { Raw, Png, Webp };

bool endsWith(const std::string &text, const char *suffix) {
  const size_t size = std::strlen(suffix);
  if (text.size() < size)
    return false;
  for (size_t i = 0; i < size; ++i)
    if (std::tolower(static_cast<unsigned char>(text[text.size() - size + i])) != suffix[i])
      return false;
  return true;
}

Kind kindOf(const std::string &path) {
  return endsWith(path, ".png") ? Kind::Png : endsWith(path, ".webp") ? Kind::Webp : Kind::Raw;
}

std::string reason(int error) { return error == EINTR ? "interrupted by a signal" : std::strerror(error); }

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

// libpng's own handlers would print lines of their own; the caller says
// what failed, in one line.
struct PngOutput {
  int fd;
  std::string error;
};

void pngFailed(png_structp png, png_const_charp message) {
  static_cast<PngOutput *>(png_get_error_ptr(png))->error = message;
  png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp) {}

void pngWrite(png_structp png, png_bytep data, size_t size) {
  auto *output = static_cast<PngOutput *>(png_get_io_ptr(png));
  if (!writeAll(output->fd, data, size)) {
    output->error = reason(errno);
    png_longjmp(png, 1);
  }
}

void pngFlush(png_structp) {}

bool writePng(int fd, int32_t width, int32_t height, const std::vector<uint32_t> &pixels, std::string &error) {
  PngOutput output{fd, std::string()};
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &output, pngFailed, pngWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    error = "out of memory";
    return false;
  }
  std::vector<png_byte> row(static_cast<size_t>(width) * 3);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    error = output.error;
    return false;
  }
  png_set_write_fn(png, &output, pngWrite, pngFlush);
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

// Where the output goes. Either straight into a descriptor: one the
// program was given (/dev/stdout and the like are never opened again, so
// that its offset and append mode are kept), or a pipe or device opened by
// name. Or into a temporary file created exclusively beside the target,
// renamed over it only when complete, so that until then the target stays
// as it was; the folder is held open, so that the rename lands in it even
// when it is moved during the run.
struct Output {
  int fd = -1;
  int folder = -1;       // the target's folder; -1 when writing straight into fd
  std::string name;      // the target's name in folder
  std::string temporary; // the temporary file's name in folder
  std::string shown;     // the temporary file as the user would spell it
};

// The descriptor a path such as /dev/stdout or /dev/fd/3 stands for; -1
// for any other path.
int descriptorNamed(const std::string &path) {
  static const char *const kStandard[] = {"/dev/stdin", "/dev/stdout", "/dev/stderr"};
  for (int fd = 0; fd < 3; ++fd)
    if (path == kStandard[fd])
      return fd;
  for (const char *prefix : {"/dev/fd/", "/proc/self/fd/"}) {
    const size_t size = std::strlen(prefix);
    if (path.compare(0, size, prefix) != 0 || path.size() == size || path.size() > size + 9)
      continue;
    int fd = 0;
    for (size_t i = size; i < path.size(); ++i) {
      if (!std::isdigit(static_cast<unsigned char>(path[i])))
        return -1;
      fd = fd * 10 + (path[i] - '0');
    }
    return fd;
  }
  return -1;
}

// A name no one can guess, made exclusively: a file or link planted
// there beforehand makes the attempt fail rather than be written through.
// The temporary name fits the folder's limit however long the target's is.
int createTemporary(Output &output) {
  long most = ::fpathconf(output.folder, _PC_NAME_MAX);
  if (most < 0)
    most = 255;
  if (output.name.size() > static_cast<size_t>(most)) {
    errno = ENAMETOOLONG;
    return -1;
  }
  static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string tail = ".";
    for (int i = 0; i < 8; ++i)
      tail += kLetters[random() % (sizeof kLetters - 1)];
    const size_t room = static_cast<size_t>(most) - 1 - tail.size();
    output.temporary = "." + output.name.substr(0, room) + tail;
    const int fd = ::openat(output.folder, output.temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST)
      return fd;
  }
  return -1;
}

class CaptureDriver final : public ScreenDriver {
public:
  CaptureDriver(const std::string &path, Kind kind, Output output)
      : path_(path), kind_(kind), out_(std::move(output)) {}

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
    if (out_.fd < 0)
      return true;
    started_ = true;
    if (kind_ != Kind::Raw) {
      last_.resize(static_cast<size_t>(width_) * height_);
      for (int32_t y = 0; y < height_; ++y)
        expander_->row(pixels + static_cast<ptrdiff_t>(y) * pitch, &last_[static_cast<size_t>(y) * width_], width_);
      return kind_ == Kind::Webp ? addToAnimation(error) : true;
    }
    const size_t rowBytes = static_cast<size_t>(width_) * format_.bytes;
    for (int32_t y = 0; y < height_; ++y)
      if (!writeAll(out_.fd, pixels + static_cast<ptrdiff_t>(y) * pitch, rowBytes))
        return fail(reason(errno), error);
    return true;
  }

  bool finish(std::string &error) override {
    if (out_.fd < 0)
      return true;
    const bool reported = failed_; // the run ended on that failure, which was told then
    bool ok = !failed_;
    if (ok && started_ && kind_ == Kind::Png) {
      std::string problem;
      if (!writePng(out_.fd, width_, height_, last_, problem))
        ok = fail(problem, error);
    }
    if (ok && started_ && kind_ == Kind::Webp)
      ok = finishAnimation(error);
    // A file the system has not yet stored is not complete.
    if (ok && started_ && out_.folder >= 0 && ::fsync(out_.fd) != 0)
      ok = fail(reason(errno), error);
    if (::close(out_.fd) != 0 && ok && started_)
      ok = fail(reason(errno), error);
    out_.fd = -1;
    if (out_.folder < 0)
      return ok || reported;
    if (ok && started_ && ::renameat(out_.folder, out_.temporary.c_str(), out_.folder, out_.name.c_str()) != 0) {
      // Everything is in the temporary file: a long recording is worth
      // rescuing by hand.
      error = "cannot rename " + out_.shown + " to " + path_ + ": " + reason(errno) +
              "; the complete capture is kept in " + out_.shown;
      ok = false;
    } else if (!ok || !started_) {
      ::unlinkat(out_.folder, out_.temporary.c_str(), 0); // no frame, or not all of them: nothing to keep
    }
    ::close(out_.folder);
    out_.folder = -1;
    return ok || reported;
  }

  void restoreMode() override {}
  void pollEvents(std::vector<ScreenEvent> &) override {}
  void showCursor(bool) override {}
  void allowScreenSaver(bool) override {}

private:
  bool fail(const std::string &problem, std::string &error) {
    failed_ = true;
    error = "cannot write " + path_ + ": " + problem;
    return false;
  }

  bool emit(std::string &error) {
    const bool ok = writeAll(out_.fd, bytes_.data(), bytes_.size());
    bytes_.clear();
    return ok || fail(reason(errno), error);
  }

  // Every frame as the screen held it, expanded to RGB as for a .png. An
  // animation has one size: a mode of another size cannot go into it.
  bool addToAnimation(std::string &error) {
    std::string problem;
    if (!animation_) {
      animation_ = WebpAnimation::create(width_, height_, problem);
      if (animation_)
        animation_->header(bytes_);
    } else if (animation_->width() != width_ || animation_->height() != height_) {
      problem = "the screen changed size during the animation";
    }
    if (!problem.empty() || !animation_->add(last_.data(), bytes_, problem))
      return fail(problem, error);
    return emit(error);
  }

  // The last frame, then the header again with the file's size in it.
  bool finishAnimation(std::string &error) {
    std::string problem;
    if (!animation_->finish(bytes_, problem))
      return fail(problem, error);
    if (!emit(error))
      return false;
    animation_->header(bytes_);
    const bool ok = ::pwrite(out_.fd, bytes_.data(), bytes_.size(), 0) == static_cast<ssize_t>(bytes_.size());
    bytes_.clear();
    return ok || fail(reason(errno), error);
  }

  std::string path_;
  Kind kind_;
  Output out_;
  bool started_ = false, failed_ = false;
  int32_t width_ = 0, height_ = 0;
  ScreenFormat format_{};
  std::unique_ptr<PixelExpander> expander_;
  std::vector<uint32_t> last_;
  std::unique_ptr<WebpAnimation> animation_;
  std::vector<uint8_t> bytes_; // encoded animation waiting to be written
};

// The program reads its maps from these files in the directory it runs in;
// frames written over one of them would destroy it.
const char *const kMapFiles[] = {kTextureFile, kHeightFile};

bool sameFile(const struct stat &a, const struct stat &b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Null, with the reason, when the path is one of the map files: by name in
// the current folder, however the folder is spelled and whether or not the
// map exists yet, and by the file itself, which a link may name.
const char *mapFileAt(const std::string &folder, const std::string &name, const std::string &path) {
  struct stat here {
  }, there{}, target{};
  const bool inHere =
      ::stat(".", &here) == 0 && ::stat(folder.empty() ? "." : folder.c_str(), &there) == 0 && sameFile(here, there);
  const bool exists = ::stat(path.c_str(), &target) == 0;
  for (const char *map : kMapFiles) {
    struct stat info {};
    if ((inHere && name == map) || (exists && ::stat(map, &info) == 0 && sameFile(info, target)))
      return map;
  }
  return nullptr;
}

std::unique_ptr<ScreenDriver> createCapture(const Settings &settings, std::string &error) {
  const std::string &path = settings.capture;
  const Kind kind = kindOf(path);
  Output out;
  if (path.empty())
    return std::make_unique<CaptureDriver>(path, kind, out);
  auto cannot = [&](const std::string &problem) {
    error = "cannot write " + path + ": " + problem;
    if (out.fd >= 0)
      ::close(out.fd);
    if (out.folder >= 0)
      ::close(out.folder);
    return nullptr;
  };

  if (const int given = descriptorNamed(path); given >= 0) {
    if (startedClosed(given))
      return cannot("descriptor " + std::to_string(given) + " was closed when the program started");
    const int flags = ::fcntl(given, F_GETFL);
    if (flags == -1)
      return cannot("descriptor " + std::to_string(given) + " is not open");
    if ((flags & O_ACCMODE) == O_RDONLY)
      return cannot("descriptor " + std::to_string(given) + " is open for reading only");
    out.fd = ::fcntl(given, F_DUPFD_CLOEXEC, 3);
    if (out.fd < 0)
      return cannot(reason(errno));
    return std::make_unique<CaptureDriver>(path, Kind::Raw, out);
  }

  if (path.back() == '/')
    return cannot("the path ends in '/', so it names a folder; give a file name");
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : slash == 0 ? "/" : path.substr(0, slash);
  out.name = path.substr(slash == std::string::npos ? 0 : slash + 1);
  if (const char *map = mapFileAt(folder, out.name, path)) {
    error = "FLYOVER_CAPTURE=" + path + " is the map file " + map + "; frames would overwrite it";
    return nullptr;
  }

  // Opened or made now, so that a path that cannot be written fails the
  // start rather than the end of a long run.
  struct stat target {};
  if (::stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode))
    return cannot(reason(EISDIR));
  if (::stat(path.c_str(), &target) == 0 && !S_ISREG(target.st_mode)) {
    // A pipe or a device: frames are written into it, nothing is renamed.
    if (kind != Kind::Raw)
      return cannot("a picture is written to a regular file, and this is not one");
    out.fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (out.fd < 0)
      return cannot(reason(errno));
    return std::make_unique<CaptureDriver>(path, kind, out);
  }
  out.folder = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (out.folder < 0)
    return cannot(reason(errno));
  out.fd = createTemporary(out);
  if (out.fd < 0)
    return cannot(reason(errno));
  out.shown = (slash == std::string::npos ? "" : path.substr(0, slash + 1)) + out.temporary;
  return std::make_unique<CaptureDriver>(path, kind, out);
}

} // namespace

const DriverEntry captureDriver = {"capture", createCapture};

} // namespace flyover
