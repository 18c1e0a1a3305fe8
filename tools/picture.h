// Maps from pictures: a height picture becomes fine heights, a colour
// picture the colour map, each resampled to the maps' size.
#ifndef FLYOVER_PICTURE_H
#define FLYOVER_PICTURE_H

#include <cstdint>
#include <string>
#include <vector>

// Pictures larger than this on a side are refused from their header.
constexpr int kLargestPicture = 16384;

enum class HeightRange {
  Spread, // the lowest height becomes level 0, the highest 255
  Keep,   // values as they stand (a 16-bit picture's scaled to 0..255)
};

// Fine heights (see landscape.h) from a picture's grey or luminance. On
// failure, error holds the reason, one line naming the file.
bool readHeightPicture(const std::string &path, HeightRange range, std::vector<int32_t> &fine, std::string &error);

// The colour map, red, green, blue per cell, from a picture.
bool readColourPicture(const std::string &path, std::vector<uint8_t> &texture, std::string &error);

#endif
