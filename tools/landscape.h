// The map maker's landscape: generated from a seed, or coloured from
// heights that came from elsewhere (a picture) by the same rules.
#ifndef FLYOVER_LANDSCAPE_H
#define FLYOVER_LANDSCAPE_H

#include "map_files.h"

#include <cstdint>
#include <vector>

// Heights are worked in fine units, kUnit to one level of the height map,
// and rounded to levels only when the map is written.
constexpr int32_t kUnit = 256;
constexpr int32_t kHighest = 255 * kUnit;

struct Maps {
  std::vector<uint8_t> texture; // kMapSize * kMapSize cells of red, green, blue
  std::vector<uint8_t> height;  // kMapSize * kMapSize levels
};

// The default terrain for a seed: the same bytes everywhere.
Maps generateLandscape(uint32_t seed);

// Colours for fine heights (kMapSize * kMapSize cells, 0 to kHighest) as
// the generated land has them: water at the low levels, then grass, woods,
// rock and snow with height, shaded by the slope. The heights come back
// rounded to levels and otherwise as given; seed varies the speckle.
Maps colourHeights(const std::vector<int32_t> &fine, uint32_t seed);

#endif
