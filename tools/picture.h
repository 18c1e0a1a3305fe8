// Maps from pictures: a height picture becomes fine heights, a colour
// picture the colour map, each resampled to the maps' size. Pictures are
// PNG (1 to 16 bits, any colour type, interlaced or not) and JPEG (grey or
// colour, baseline or progressive), read from regular files only.
#ifndef FLYOVER_PICTURE_H
#define FLYOVER_PICTURE_H

#include <cstdint>
#include <string>
#include <vector>

// The largest picture read, checked from its header before anything is
// allocated for its pixels: so many pixels on a side, and in all.
constexpr int kLargestSide = 16384;
constexpr int64_t kMostPixels = int64_t{8192} * 8192;

struct PictureLimits {
  int side = kLargestSide;
  int64_t pixels = kMostPixels;
};

enum class HeightRange {
  Spread, // the lowest height becomes level 0, the highest 255
  Keep,   // values as they stand (a 16-bit picture's scaled to 0..255)
};

// Fine heights (see landscape.h) from a picture's grey or luminance. On
// failure, error holds the reason, one line naming the file.
bool readHeightPicture(const std::string &path, HeightRange range, std::vector<int32_t> &fine, std::string &error,
                       const PictureLimits &limits = {});

// The colour map, red, green, blue per cell, from a picture.
bool readColourPicture(const std::string &path, std::vector<uint8_t> &texture, std::string &error,
                       const PictureLimits &limits = {});

#endif
