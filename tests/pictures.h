// Pictures for the map maker's checks, drawn and written by the tests
// themselves: PNGs of grey or colour, 8 or 16 bits, interlaced or not,
// JPEGs baseline or progressive, and a terrain.
#ifndef FLYOVER_TEST_PICTURES_H
#define FLYOVER_TEST_PICTURES_H

#include <cstdint>
#include <string>
#include <vector>

// channels is 1 (grey) or 3 (red, green, blue); samples are depth bits.
bool writePng(const std::string &path, int width, int height, int depth, int channels,
              const std::vector<uint16_t> &samples, bool interlaced = false);
// At the highest quality, so that a picture's values come back within a
// step or two.
bool writeJpeg(const std::string &path, int width, int height, int channels, const std::vector<uint8_t> &pixels,
               bool progressive = false);

// A square 16-bit height picture that repeats at its edges: a crater with a
// raised rim among diagonal ridges, the kind of relief a terrain tool
// exports and nothing like the generated landscape.
std::vector<uint16_t> drawTerrain(int size);

#endif
