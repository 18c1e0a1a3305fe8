// Decoding is stb_image's, resampling stb_image_resize's, both compiled in
// here from their headers alone so that every build (native, Windows and
// the page) carries the same code. Without its SIMD paths, and with
// floating-point contraction off for this file, a picture gives the same
// bytes on every platform.
#include "picture.h"

#include "landscape.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#define STBI_NO_SIMD
#define STBI_NO_PSD
#define STBI_NO_HDR
#define STBI_NO_PIC
#define STBI_NO_LINEAR
#define STBI_MAX_DIMENSIONS kLargestPicture
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

#define STB_IMAGE_RESIZE_STATIC
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#include <stb_image_resize.h>

namespace {

struct FreeImage {
  void operator()(void *data) const { stbi_image_free(data); }
};

struct Picture {
  int width = 0, height = 0, channels = 0;
  std::unique_ptr<void, FreeImage> data;
};

// The header's size and channels: stb_image's header readers one by one, in
// its own order, because its combined answer keeps only the last reader's
// reason, and a header refused as too large must be told from a file of no
// known kind.
bool readHeader(std::FILE *file, Picture &picture, bool &tooLarge) {
  int (*const readers[])(stbi__context *, int *, int *, int *) = {
      stbi__jpeg_info, stbi__png_info, stbi__gif_info, stbi__bmp_info, stbi__pnm_info, stbi__tga_info,
  };
  const long start = std::ftell(file);
  stbi__context context;
  stbi__start_file(&context, file);
  bool found = false;
  for (auto reader : readers) {
    if (reader(&context, &picture.width, &picture.height, &picture.channels)) {
      found = true;
      break;
    }
    tooLarge = tooLarge || std::strcmp(stbi_failure_reason(), "too large") == 0;
  }
  std::fseek(file, start, SEEK_SET);
  return found;
}

// The header first, so that a small file claiming billions of pixels is
// refused before anything is allocated for them; then the pixels, at 16
// bits per channel or at 8 with grey, palette and alpha made into RGB.
bool decode(const std::string &path, bool sixteen, Picture &picture, std::string &error) {
  std::unique_ptr<std::FILE, int (*)(std::FILE *)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!file) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  const std::string tooLarge = path + ": larger than " + std::to_string(kLargestPicture) + " pixels on a side";
  bool refused = false;
  if (!readHeader(file.get(), picture, refused)) {
    error = refused ? tooLarge : path + ": not a picture of a kind that can be read (PNG, JPEG, BMP, TGA, GIF, PNM)";
    return false;
  }
  if (picture.width > kLargestPicture || picture.height > kLargestPicture) {
    error = tooLarge;
    return false;
  }
  int width = 0, height = 0, channels = 0;
  picture.data.reset(sixteen ? static_cast<void *>(stbi_load_from_file_16(file.get(), &width, &height, &channels, 0))
                             : static_cast<void *>(stbi_load_from_file(file.get(), &width, &height, &channels, 3)));
  if (!picture.data) {
    error = path + ": cannot be decoded (" + stbi_failure_reason() + ")";
    return false;
  }
  picture.channels = sixteen ? channels : 3;
  if (picture.width != picture.height)
    std::fprintf(stderr, "mkmaps: %s is %d x %d pixels, not square: stretched to %d x %d\n", path.c_str(),
                 picture.width, picture.height, kMapSize, kMapSize);
  return true;
}

// Area averages when shrinking, which a height or colour map needs so that
// no cell is the luck of one sample; a smooth curve when enlarging. Both
// wrap at the edges, as the landscape does.
stbir_filter filterFor(int size) { return size >= kMapSize ? STBIR_FILTER_BOX : STBIR_FILTER_CATMULLROM; }

bool resample(const Picture &picture, const void *pixels, void *out, stbir_datatype type, int channels,
              stbir_colorspace space) {
  return stbir_resize(pixels, picture.width, picture.height, 0, out, kMapSize, kMapSize, 0, type, channels,
                      STBIR_ALPHA_CHANNEL_NONE, 0, STBIR_EDGE_WRAP, STBIR_EDGE_WRAP, filterFor(picture.width),
                      filterFor(picture.height), space, nullptr) != 0;
}

} // namespace

bool readHeightPicture(const std::string &path, HeightRange range, std::vector<int32_t> &fine, std::string &error) {
  Picture picture;
  if (!decode(path, true, picture, error))
    return false;
  // Grey, or the luminance of colour (the weights of standard-definition
  // video), written over the decoded pixels in place: each grey value
  // lands at or before the pixel it comes from.
  uint16_t *grey = static_cast<uint16_t *>(picture.data.get());
  const size_t count = size_t(picture.width) * size_t(picture.height);
  const int channels = picture.channels;
  for (size_t i = 0; i < count; ++i) {
    const uint16_t *p = grey + i * size_t(channels);
    grey[i] = channels < 3 ? p[0] : uint16_t((299u * p[0] + 587u * p[1] + 114u * p[2] + 500u) / 1000u);
  }

  std::vector<uint16_t> cells(size_t(kMapSize) * kMapSize);
  if (picture.width == kMapSize && picture.height == kMapSize) {
    std::memcpy(cells.data(), grey, cells.size() * sizeof cells[0]);
  } else if (!resample(picture, grey, cells.data(), STBIR_TYPE_UINT16, 1, STBIR_COLORSPACE_LINEAR)) {
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

bool readColourPicture(const std::string &path, std::vector<uint8_t> &texture, std::string &error) {
  Picture picture;
  if (!decode(path, false, picture, error))
    return false;
  texture.resize(size_t(kMapSize) * kMapSize * 3);
  if (picture.width == kMapSize && picture.height == kMapSize) {
    std::memcpy(texture.data(), picture.data.get(), texture.size());
  } else if (!resample(picture, picture.data.get(), texture.data(), STBIR_TYPE_UINT8, 3, STBIR_COLORSPACE_SRGB)) {
    error = path + ": cannot be resampled (out of memory)";
    return false;
  }
  return true;
}
