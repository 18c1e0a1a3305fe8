#include "pictures.h"

#include <cstdio>
#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <cmath>

bool writePng(const std::string &path, int width, int height, int depth, int channels,
              const std::vector<uint16_t> &samples, bool interlaced) {
  std::FILE *file = std::fopen(path.c_str(), "wb");
  if (!file)
    return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, file);
  png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), depth,
               channels == 1 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB,
               interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  const size_t perRow = size_t(width) * channels;
  std::vector<png_byte> image(perRow * height * 2);
  std::vector<png_bytep> rows(height);
  for (int y = 0; y < height; ++y) {
    rows[y] = image.data() + size_t(y) * perRow * (depth / 8);
    for (size_t i = 0; i < perRow; ++i) {
      const uint16_t v = samples[size_t(y) * perRow + i];
      if (depth == 8)
        rows[y][i] = png_byte(v);
      else
        rows[y][2 * i] = png_byte(v >> 8), rows[y][2 * i + 1] = png_byte(v);
    }
  }
  png_write_image(png, rows.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return std::fclose(file) == 0;
}

bool writeJpeg(const std::string &path, int width, int height, int channels, const std::vector<uint8_t> &pixels,
               bool progressive) {
  std::FILE *file = std::fopen(path.c_str(), "wb");
  if (!file)
    return false;
  jpeg_compress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  jpeg_stdio_dest(&info, file);
  info.image_width = JDIMENSION(width);
  info.image_height = JDIMENSION(height);
  info.input_components = channels;
  info.in_color_space = channels == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 100, TRUE);
  if (progressive)
    jpeg_simple_progression(&info);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(pixels.data() + size_t(info.next_scanline) * width * channels);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return std::fclose(file) == 0;
}

std::vector<uint16_t> drawTerrain(int size) {
  // The crater sits where a flight from the start position passes over it
  // early: the maps' row 25 and column 120 of 500.
  const double pi = 3.14159265358979323846, cu = 0.24, cv = 0.05, radius = 0.03, rim = 0.008;
  std::vector<double> relief(size_t(size) * size);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const double u = double(x) / size, v = double(y) / size;
      // Whole periods across the picture, and the crater's distance taken
      // the short way round, so that the edges meet.
      const double ridges = std::sin(2 * pi * (17 * u + 6 * v)) * std::cos(2 * pi * (5 * u - 11 * v)) +
                            0.4 * std::sin(2 * pi * (31 * u - 23 * v));
      const double du = std::min(std::fabs(u - cu), 1 - std::fabs(u - cu));
      const double dv = std::min(std::fabs(v - cv), 1 - std::fabs(v - cv));
      const double d = std::sqrt(du * du + dv * dv) / radius;
      const double bowl = d < 1 ? 1 - d * d : 0;
      const double ring = std::exp(-(d - 1) * (d - 1) * radius * radius / (rim * rim));
      const double peak = std::exp(-d * d * 40);
      relief[size_t(y) * size + x] = ridges * std::min(0.25 + d / 4, 1.0) + 2.5 * ring - 3 * bowl + 2 * peak;
    }
  }
  const auto [low, high] = std::minmax_element(relief.begin(), relief.end());
  std::vector<uint16_t> heights(relief.size());
  for (size_t i = 0; i < relief.size(); ++i)
    heights[i] = uint16_t(std::lround((relief[i] - *low) / (*high - *low) * 65535));
  return heights;
}
