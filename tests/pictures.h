// Pictures for the map maker's checks, drawn and written by the tests
// themselves: grey PNGs of 8 or 16 bits, JPEGs and BMPs, and a terrain.
#ifndef FLYOVER_TEST_PICTURES_H
#define FLYOVER_TEST_PICTURES_H

#include <cstdint>
#include <string>
#include <vector>

bool writeGreyPng(const std::string &path, int width, int height, int depth, const std::vector<uint16_t> &samples);
bool writeJpeg(const std::string &path, int width, int height, int channels, const std::vector<uint8_t> &pixels);
bool writeBmp(const std::string &path, int width, int height, int channels, const std::vector<uint8_t> &pixels);

// A square 16-bit height picture that repeats at its edges: a crater with a
// raised rim among diagonal ridges, the kind of relief a terrain tool
// exports and nothing like the generated landscape.
std::vector<uint16_t> drawTerrain(int size);

#endif
