// Decoding is libspng's (with zlib) for PNG and libjpeg-turbo's for JPEG,
// libraries made for pictures from anywhere, built from the same Debian
// sources for every target, so that every build reads a picture alike.
// Their limits are set before anything is allocated for the pixels, and
// every warning about the data is taken as a refusal: a picture is read
// whole and intact, or not at all.
//
// Resampling is stb_image_resize's, compiled in here from its header. With
// floating-point contraction off for this file, it gives the same bytes on
// every platform.
#include "picture.h"

#include "landscape.h"

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <new>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <jpeglib.h>
#include <spng.h>

#define STB_IMAGE_RESIZE_STATIC
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#include <stb_image_resize.h>

#ifndef O_BINARY
#define O_BINARY 0
#endif
#ifndef O_NONBLOCK
#define O_NONBLOCK 0
#endif

namespace {

// Chunks beside the pixels (text, colour profiles) that a PNG may carry:
// no one chunk larger, and no more in all, than these.
constexpr size_t kLargestChunk = size_t{8} << 20;
constexpr size_t kChunksInAll = size_t{32} << 20;
// libjpeg's own memory beyond the rows it hands over: a progressive JPEG
// keeps all its coefficients, 6 bytes a pixel at most for the largest
// picture read.
constexpr long kJpegMemory = 448L << 20;
// Scans of a progressive JPEG: encoders write about ten; each is a pass
// over the whole picture.
constexpr int kMostScans = 100;

// ---------------------------------------------------------------------------
// What the maps take from a picture, kept as it is decoded: one 16-bit grey
// value a pixel for heights (grey, or the luminance of colour, with the
// weights of standard-definition video), or red, green and blue bytes for
// colours. Samples arrive as 16 bits whatever the picture's depth, and 16
// bits are rounded to 8 as the heights are rounded to levels.

struct Pixels {
  explicit Pixels(bool forHeights) : heights(forHeights) {}
  const bool heights;
  int width = 0, height = 0;
  std::unique_ptr<uint16_t[]> grey;
  std::unique_ptr<uint8_t[]> rgb;

  // The buffer is left as allocated, untouched: a picture that breaks off
  // early costs no more than the rows it had.
  bool allocate(int w, int h) {
    width = w, height = h;
    const size_t count = size_t(w) * size_t(h);
    if (heights)
      grey.reset(new (std::nothrow) uint16_t[count]);
    else
      rgb.reset(new (std::nothrow) uint8_t[3 * count]);
    return heights ? grey != nullptr : rgb != nullptr;
  }

  // Row y's pixels from column x0 on, every step columns, taken from the
  // same columns of samples (red, green, blue first among channels).
  void put(int y, int x0, int step, const uint16_t *samples, int channels) {
    const size_t base = size_t(y) * size_t(width);
    for (int x = x0; x < width; x += step) {
      const uint16_t *p = samples + size_t(x) * size_t(channels);
      if (heights) {
        grey[base + x] = uint16_t((299u * p[0] + 587u * p[1] + 114u * p[2] + 500u) / 1000u);
      } else {
        for (int c = 0; c < 3; ++c)
          rgb[3 * (base + x) + c] = uint8_t((p[c] * 510u + 65535u) / 131070u);
      }
    }
  }
};

std::string dimensions(uint64_t width, uint64_t height) {
  return std::to_string(width) + " x " + std::to_string(height) + " pixels";
}

// Why a picture of this size is not read, or empty when it is.
std::string sizeRefusal(uint64_t width, uint64_t height, const PictureLimits &limits) {
  if (width > uint64_t(limits.side) || height > uint64_t(limits.side))
    return dimensions(width, height) + ", larger than " + std::to_string(limits.side) + " pixels on a side";
  if (width * height > uint64_t(limits.pixels))
    return dimensions(width, height) + ", more than " + std::to_string(limits.pixels) + " in all";
  return "";
}

// ---------------------------------------------------------------------------
// PNG

bool decodePng(std::FILE *file, const PictureLimits &limits, Pixels &pixels, std::string &error) {
  std::unique_ptr<spng_ctx, void (*)(spng_ctx *)> owned(spng_ctx_new(0), spng_ctx_free);
  spng_ctx *ctx = owned.get();
  if (ctx == nullptr) {
    error = "not enough memory";
    return false;
  }
  auto failed = [&](int code) {
    error = code == SPNG_EUSER_WIDTH || code == SPNG_EUSER_HEIGHT
                ? "larger than " + std::to_string(limits.side) + " pixels on a side"
            : code == SPNG_IO_EOF || code == SPNG_EOF ? "cannot be decoded: the file ends before the picture does"
                                                      : std::string("cannot be decoded: ") + spng_strerror(code);
    return false;
  };
  spng_set_crc_action(ctx, SPNG_CRC_ERROR, SPNG_CRC_ERROR);
  spng_set_image_limits(ctx, uint32_t(limits.side), uint32_t(limits.side));
  spng_set_chunk_limits(ctx, kLargestChunk, kChunksInAll);
  spng_set_png_file(ctx, file);
  spng_ihdr header;
  if (int code = spng_get_ihdr(ctx, &header))
    return failed(code);
  if (std::string refusal = sizeRefusal(header.width, header.height, limits); !refusal.empty()) {
    error = refusal;
    return false;
  }
  if (!pixels.allocate(int(header.width), int(header.height))) {
    error = dimensions(header.width, header.height) + ": not enough memory";
    return false;
  }
  if (int code = spng_decode_image(ctx, nullptr, 0, SPNG_FMT_RGBA16, SPNG_DECODE_PROGRESSIVE))
    return failed(code);

  // Rows come whole, or for an interlaced picture pass by pass: a pass
  // fills every step-th column of its rows from a first column.
  static constexpr int first[7] = {0, 4, 0, 2, 0, 1, 0}, step[7] = {8, 8, 4, 4, 2, 2, 1};
  const bool interlaced = header.interlace_method == SPNG_INTERLACE_ADAM7;
  std::vector<uint16_t> row(size_t(header.width) * 4);
  int code = 0;
  while (code == 0) {
    spng_row_info info;
    if ((code = spng_get_row_info(ctx, &info)) != 0)
      break;
    code = spng_decode_row(ctx, row.data(), row.size() * sizeof row[0]);
    if (code == 0 || code == SPNG_EOI)
      pixels.put(int(info.row_num), interlaced ? first[info.pass] : 0, interlaced ? step[info.pass] : 1, row.data(), 4);
  }
  // The chunks after the pixels too, up to the end marker, so that a file
  // cut short or damaged there is refused as well.
  if (code == SPNG_EOI)
    code = spng_decode_chunks(ctx);
  return code == 0 || failed(code);
}

// ---------------------------------------------------------------------------
// JPEG. libjpeg reports errors by calling back, and the callback returns
// here by longjmp, so everything the decoding touches lives in one session
// owned by the caller, and nothing with a destructor is skipped.

struct JpegSession {
  jpeg_decompress_struct info;
  jpeg_error_mgr errors;
  jpeg_progress_mgr progress;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
  std::vector<JSAMPLE> row;
  std::vector<uint16_t> wide;
};

JpegSession &sessionOf(j_common_ptr info) { return *static_cast<JpegSession *>(info->client_data); }

[[noreturn]] void jpegFailed(j_common_ptr info) {
  JpegSession &session = sessionOf(info);
  info->err->format_message(info, session.message);
  std::longjmp(session.jump, 1);
}

// Level -1 is a warning: corrupt data that libjpeg would paper over.
void jpegMessage(j_common_ptr info, int level) {
  if (level < 0)
    jpegFailed(info);
}

void jpegProgress(j_common_ptr info) {
  JpegSession &session = sessionOf(info);
  if (session.info.input_scan_number > kMostScans) {
    std::snprintf(session.message, sizeof session.message, "more than %d scans", kMostScans);
    std::longjmp(session.jump, 1);
  }
}

// Why a JPEG whose header has been read is not decoded, or empty.
std::string jpegRefusal(jpeg_decompress_struct &info, uint64_t fileSize, const PictureLimits &limits) {
  if (std::string refusal = sizeRefusal(info.image_width, info.image_height, limits); !refusal.empty())
    return refusal;
  if (info.arith_code)
    return "an arithmetic-coded JPEG, which is not read";
  if (info.jpeg_color_space != JCS_GRAYSCALE && info.jpeg_color_space != JCS_YCbCr && info.jpeg_color_space != JCS_RGB)
    return "a JPEG in CMYK or another colour space than grey and RGB, which is not read";
  // A JPEG of several scans is held whole as coefficients, allocated before
  // the first scan is read. Each 8 by 8 block of each component takes at
  // least one bit of the file, so a file that claims more blocks than
  // that is refused before the allocation.
  if (jpeg_has_multiple_scans(&info)) {
    uint64_t blocks = 0;
    for (int c = 0; c < info.num_components; ++c)
      blocks += uint64_t(info.comp_info[c].width_in_blocks) * info.comp_info[c].height_in_blocks;
    if (blocks > fileSize * 8)
      return "cannot be decoded: " + dimensions(info.image_width, info.image_height) + " in a file of " +
             std::to_string(fileSize) + " bytes, too few to hold them";
  }
  return "";
}

bool decodeJpeg(JpegSession &session, std::FILE *file, uint64_t fileSize, const PictureLimits &limits, Pixels &pixels,
                std::string &error) {
  jpeg_decompress_struct &info = session.info;
  info.err = jpeg_std_error(&session.errors);
  session.errors.error_exit = jpegFailed;
  session.errors.emit_message = jpegMessage;
  info.client_data = &session;
  if (setjmp(session.jump)) {
    jpeg_destroy_decompress(&info);
    error = std::string("cannot be decoded: ") + session.message;
    return false;
  }
  jpeg_create_decompress(&info);
  info.mem->max_memory_to_use = kJpegMemory;
  jpeg_stdio_src(&info, file);
  jpeg_read_header(&info, TRUE);
  error = jpegRefusal(info, fileSize, limits);
  if (error.empty() && !pixels.allocate(int(info.image_width), int(info.image_height)))
    error = dimensions(info.image_width, info.image_height) + ": not enough memory";
  if (!error.empty()) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  info.out_color_space = JCS_RGB;
  session.progress.progress_monitor = jpegProgress;
  info.progress = &session.progress;
  jpeg_start_decompress(&info);
  session.row.resize(size_t(info.output_width) * 3);
  session.wide.resize(session.row.size());
  while (info.output_scanline < info.output_height) {
    const int y = int(info.output_scanline);
    JSAMPROW row = session.row.data();
    jpeg_read_scanlines(&info, &row, 1);
    for (size_t i = 0; i < session.row.size(); ++i)
      session.wide[i] = uint16_t(session.row[i] * 257u);
    pixels.put(y, 0, 1, session.wide.data(), 3);
  }
  // Up to the end marker: damage after the last row is refused too.
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

// ---------------------------------------------------------------------------
// Files

struct CloseFile {
  void operator()(std::FILE *file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, CloseFile>;

// The picture file, if it is a regular one: a FIFO would block, and a
// directory or a device is no picture. Opened without waiting for a
// writer, so that a FIFO is refused at once.
File openRegular(const std::string &path, uint64_t &size, std::string &error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_BINARY | O_NONBLOCK);
  if (fd < 0) {
    // Windows does not open a directory as a file at all.
    struct stat status;
    const bool directory = errno == EACCES && stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
    error = directory ? "a directory, not a picture file" : std::strerror(errno);
    return nullptr;
  }
#ifdef _WIN32
  struct _stati64 status;
  const bool known = _fstati64(fd, &status) == 0;
#else
  struct stat status;
  const bool known = fstat(fd, &status) == 0;
#endif
  const auto type = known ? status.st_mode & S_IFMT : 0;
  if (type != S_IFREG) {
    error = !known            ? std::strerror(errno)
            : type == S_IFDIR ? "a directory, not a picture file"
#ifdef S_IFIFO
            : type == S_IFIFO ? "a FIFO, not a picture file"
#endif
            : type == S_IFCHR ? "a device, not a picture file"
                              : "not a regular file";
    ::close(fd);
    return nullptr;
  }
  size = uint64_t(status.st_size);
#ifdef _WIN32
  File file(_fdopen(fd, "rb"));
#else
  File file(fdopen(fd, "rb"));
#endif
  if (!file) {
    error = std::strerror(errno);
    ::close(fd);
  }
  return file;
}

// The picture at path decoded into pixels; false, with error holding the
// reason as one line naming the file, when it cannot be.
bool decode(const std::string &path, const PictureLimits &limits, Pixels &pixels, std::string &error) {
  uint64_t size = 0;
  File file = openRegular(path, size, error);
  bool decoded = false;
  if (file) {
    unsigned char signature[8] = {};
    const size_t got = std::fread(signature, 1, sizeof signature, file.get());
    static constexpr unsigned char png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    const bool unreadable = std::ferror(file.get()) != 0;
    std::rewind(file.get());
    if (unreadable)
      error = std::strerror(errno);
    else if (got == sizeof png && std::memcmp(signature, png, sizeof png) == 0)
      decoded = decodePng(file.get(), limits, pixels, error);
    else if (got >= 3 && signature[0] == 0xff && signature[1] == 0xd8 && signature[2] == 0xff)
      decoded = decodeJpeg(*std::make_unique<JpegSession>(), file.get(), size, limits, pixels, error);
    else
      error = "not a PNG or JPEG picture";
  }
  if (!decoded) {
    error = path + ": " + error;
    return false;
  }
  if (pixels.width != pixels.height)
    std::fprintf(stderr, "mkmaps: %s is %d x %d pixels, not square: stretched to %d x %d\n", path.c_str(), pixels.width,
                 pixels.height, kMapSize, kMapSize);
  return true;
}

// Area averages when shrinking, which a height or colour map needs so that
// no cell is the luck of one sample; a smooth curve when enlarging. Both
// wrap at the edges, as the landscape does.
stbir_filter filterFor(int size) { return size >= kMapSize ? STBIR_FILTER_BOX : STBIR_FILTER_CATMULLROM; }

// The pixels at the maps' size, as they are when they have it already.
bool resample(const Pixels &pixels, const void *in, void *out, size_t outBytes, stbir_datatype type, int channels,
              stbir_colorspace space) {
  if (pixels.width == kMapSize && pixels.height == kMapSize) {
    std::memcpy(out, in, outBytes);
    return true;
  }
  return stbir_resize(in, pixels.width, pixels.height, 0, out, kMapSize, kMapSize, 0, type, channels,
                      STBIR_ALPHA_CHANNEL_NONE, 0, STBIR_EDGE_WRAP, STBIR_EDGE_WRAP, filterFor(pixels.width),
                      filterFor(pixels.height), space, nullptr) != 0;
}

} // namespace

bool readHeightPicture(const std::string &path, HeightRange range, std::vector<int32_t> &fine, std::string &error,
                       const PictureLimits &limits) {
  Pixels pixels(true);
  if (!decode(path, limits, pixels, error))
    return false;
  std::vector<uint16_t> cells(size_t(kMapSize) * kMapSize);
  if (!resample(pixels, pixels.grey.get(), cells.data(), cells.size() * sizeof cells[0], STBIR_TYPE_UINT16, 1,
                STBIR_COLORSPACE_LINEAR)) {
    error = path + ": cannot be resampled (out of memory)";
    return false;
  }

  // Still 16 bits here; the fine units keep them until the map is written.
  uint16_t lowest = 65535, highest = 0;
  for (uint16_t v : cells) {
    lowest = v < lowest ? v : lowest;
    highest = v > highest ? v : highest;
  }
  if (range == HeightRange::Keep || lowest == highest) {
    lowest = 0;
    highest = 65535;
  }
  const int64_t span = highest - lowest;
  fine.resize(cells.size());
  for (size_t i = 0; i < cells.size(); ++i)
    fine[i] = static_cast<int32_t>(((cells[i] - lowest) * int64_t{kHighest} * 2 + span) / (2 * span));
  return true;
}

bool readColourPicture(const std::string &path, std::vector<uint8_t> &texture, std::string &error,
                       const PictureLimits &limits) {
  Pixels pixels(false);
  if (!decode(path, limits, pixels, error))
    return false;
  texture.resize(size_t(kMapSize) * kMapSize * 3);
  if (!resample(pixels, pixels.rgb.get(), texture.data(), texture.size(), STBIR_TYPE_UINT8, 3, STBIR_COLORSPACE_SRGB)) {
    error = path + ": cannot be resampled (out of memory)";
    return false;
  }
  return true;
}
