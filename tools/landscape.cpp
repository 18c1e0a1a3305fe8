// The generated landscape: a river valley running along the map rows
// through the columns the camera sees, flanked by mountains, inside a wider
// land of hills and lakes. Both maps wrap seamlessly at their edges, as the
// renderer repeats them.
//
// Every step is integer or fixed-point arithmetic, so a seed gives the same
// bytes on every platform, compiler and floating-point unit.
#include "landscape.h"

#include <cstddef>

namespace {

constexpr int kSize = kMapSize;
constexpr int32_t kSub = 256; // positions per cell
constexpr int32_t kPeriod = kSize * kSub;
constexpr int64_t kOne = 65536;      // fixed-point 1.0 for weights
constexpr int32_t kWaterLevel = 92;  // lakes and the river lie flat here
constexpr int32_t kViewColumn = 120; // the column the camera flies along
// What Noise::gradient reaches at most either side of zero: fields are
// divided by it to scale them to a wanted span.
constexpr int64_t kNoiseAmplitude = 46000;

// ---------------------------------------------------------------------------
// Hashing and noise

uint32_t mix32(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7feb352dU;
  x ^= x >> 15;
  x *= 0x846ca68bU;
  x ^= x >> 16;
  return x;
}

uint32_t hash4(uint32_t seed, uint32_t layer, uint32_t a, uint32_t b) {
  return mix32(seed ^ mix32(layer * 0x9e3779b9U ^ mix32(a ^ mix32(b + 0x632be5abU))));
}

int32_t wrapPosition(int64_t p) {
  int64_t m = p % kPeriod;
  return static_cast<int32_t>(m < 0 ? m + kPeriod : m);
}

// 6t^5 - 15t^4 + 10t^3 for t in [0, kOne]; its zero slope at both ends
// hides the lattice.
int64_t fade(int64_t t) {
  const int64_t t2 = t * t / kOne;
  const int64_t t3 = t2 * t / kOne;
  const int64_t inner = t * (6 * t - 15 * kOne) / kOne + 10 * kOne;
  return t3 * inner / kOne;
}

int64_t lerp(int64_t a, int64_t b, int64_t w) { return a + (b - a) * w / kOne; }

// Integer gradients of length exactly 5, twelve directions.
constexpr int32_t kGradients[12][2] = {
    {5, 0}, {-5, 0}, {0, 5}, {0, -5}, {4, 3}, {-4, 3}, {4, -3}, {-4, -3}, {3, 4}, {-3, 4}, {3, -4}, {-3, -4},
};

struct Noise {
  uint32_t seed;

  // Gradient noise with lattice spacing `cell` (a divisor of kSize, so it
  // tiles), at a position given in 1/kSub cells. About -kNoiseAmplitude to
  // kNoiseAmplitude.
  int32_t gradient(uint32_t layer, int32_t cell, int64_t row, int64_t col) const {
    const int32_t pr = wrapPosition(row);
    const int32_t pc = wrapPosition(col);
    const int32_t span = cell * kSub;
    const uint32_t n = static_cast<uint32_t>(kSize / cell);
    const uint32_t ir = static_cast<uint32_t>(pr / span);
    const uint32_t ic = static_cast<uint32_t>(pc / span);
    const int64_t fr = static_cast<int64_t>(pr % span) * kOne / span;
    const int64_t fc = static_cast<int64_t>(pc % span) * kOne / span;
    auto corner = [&](uint32_t dr, uint32_t dc) -> int64_t {
      const uint32_t h = hash4(seed, layer, (ir + dr) % n, (ic + dc) % n) % 12;
      return kGradients[h][0] * (fr - static_cast<int64_t>(dr) * kOne) +
             kGradients[h][1] * (fc - static_cast<int64_t>(dc) * kOne);
    };
    const int64_t wr = fade(fr);
    const int64_t wc = fade(fc);
    const int64_t top = lerp(corner(0, 0), corner(0, 1), wc);
    const int64_t bottom = lerp(corner(1, 0), corner(1, 1), wc);
    return static_cast<int32_t>(lerp(top, bottom, wr) / 5);
  }

  struct Octave {
    int32_t cell;
    int32_t weight; // in 1/256
  };

  template <size_t N> int32_t fractal(uint32_t layer, const Octave (&octaves)[N], int64_t row, int64_t col) const {
    int64_t sum = 0;
    for (size_t i = 0; i < N; ++i)
      sum += static_cast<int64_t>(gradient(layer + static_cast<uint32_t>(i), octaves[i].cell, row, col)) *
             octaves[i].weight;
    return static_cast<int32_t>(sum / 256);
  }

  // Sharp crests where the noise crosses zero: mountain ridges.
  template <size_t N> int32_t ridged(uint32_t layer, const Octave (&octaves)[N], int64_t row, int64_t col) const {
    int64_t sum = 0;
    for (size_t i = 0; i < N; ++i) {
      const int64_t g = gradient(layer + static_cast<uint32_t>(i), octaves[i].cell, row, col);
      int64_t r = kOne - (g < 0 ? -g : g) * 3 / 2;
      if (r < 0)
        r = 0;
      sum += r * r / kOne * octaves[i].weight;
    }
    return static_cast<int32_t>(sum / 256);
  }

  uint32_t cellHash(uint32_t layer, int row, int col) const {
    return hash4(seed, layer, static_cast<uint32_t>(row), static_cast<uint32_t>(col));
  }
};

// Hermite step from 0 at x = e0 to kOne at x = e1; e1 may lie below e0
// for a falling step.
int64_t smoothstep(int64_t e0, int64_t e1, int64_t x) {
  int64_t t = (x - e0) * kOne / (e1 - e0);
  if (t <= 0)
    return 0;
  if (t >= kOne)
    return kOne;
  return t * t / kOne * (3 * kOne - 2 * t) / kOne;
}

uint64_t isqrt(uint64_t v) {
  uint64_t root = 0;
  uint64_t bit = uint64_t{1} << 62;
  while (bit > v)
    bit >>= 2;
  while (bit != 0) {
    if (v >= root + bit) {
      v -= root + bit;
      root = (root >> 1) + bit;
    } else {
      root >>= 1;
    }
    bit >>= 2;
  }
  return root;
}

int wrapCell(int i) { return (i % kSize + kSize) % kSize; }

// Signed distance from a to b across the wrap, in [-kPeriod/2, kPeriod/2).
int64_t wrappedOffset(int64_t a, int64_t b) {
  int64_t d = (b - a) % kPeriod;
  if (d < -kPeriod / 2)
    d += kPeriod;
  if (d >= kPeriod / 2)
    d -= kPeriod;
  return d;
}

// ---------------------------------------------------------------------------
// Heights

// Layers keep every noise field independent of the others.
enum : uint32_t {
  kLayerWarpRow = 10,
  kLayerWarpCol = 20,
  kLayerContinent = 30,
  kLayerHills = 40,
  kLayerRidges = 50,
  kLayerMeander = 60,
  kLayerRiver = 70,
  kLayerFloor = 80,
  kLayerForest = 90,
  kLayerTint = 100,
  kLayerSnow = 110,
  kLayerSpeckle = 120,
  kLayerTrees = 130,
  kLayerStrata = 140,
  kLayerRipples = 150,
  kLayerLakes = 160,
};

// The river's centre at a map row, in 1/kSub cells: the camera's column
// with a slow meander that keeps the water within the view.
int64_t riverCentre(const Noise &noise, int row) {
  static const Noise::Octave meander[] = {{125, 256}, {50, 110}, {25, 30}};
  const int64_t m = noise.fractal(kLayerMeander, meander, int64_t{row} * kSub, 0);
  return int64_t{kViewColumn} * kSub + m * 9 * kSub / kNoiseAmplitude;
}

// Fine heights (kUnit per map level) for every cell, before the water is
// levelled.
std::vector<int32_t> makeHeights(const Noise &noise) {
  static const Noise::Octave warp[] = {{125, 256}, {50, 128}, {25, 48}};
  static const Noise::Octave continent[] = {{250, 256}, {125, 140}, {50, 60}};
  static const Noise::Octave hills[] = {{50, 256}, {25, 128}, {10, 64}, {5, 28}, {2, 10}};
  static const Noise::Octave ridges[] = {{50, 256}, {25, 120}, {10, 50}, {5, 18}};
  static const Noise::Octave floorBumps[] = {{25, 256}, {10, 128}, {5, 48}};
  static const Noise::Octave riverWidth[] = {{50, 256}, {20, 128}};
  static const Noise::Octave lakes[] = {{125, 256}, {50, 128}};

  std::vector<int32_t> height(size_t{kSize} * kSize);
  for (int row = 0; row < kSize; ++row) {
    const int64_t centre = riverCentre(noise, row);
    // The river's half width, here and there widening into a lake.
    const int64_t lake = smoothstep(9000, 26000, noise.fractal(kLayerLakes, lakes, int64_t{row} * kSub, 0));
    const int64_t halfWidth =
        (34 + noise.fractal(kLayerRiver, riverWidth, int64_t{row} * kSub, 0) * 14 / kNoiseAmplitude) * kSub / 10 +
        lake * 8 * kSub / kOne;
    for (int col = 0; col < kSize; ++col) {
      const int64_t pr = int64_t{row} * kSub;
      const int64_t pc = int64_t{col} * kSub;
      // Warp the sampling point so that hills and ridges wind instead of
      // lining up with the lattice.
      const int64_t wr = pr + noise.fractal(kLayerWarpRow, warp, pr, pc) * 14 * kSub / kNoiseAmplitude;
      const int64_t wc = pc + noise.fractal(kLayerWarpCol, warp, pr, pc) * 14 * kSub / kNoiseAmplitude;

      const int64_t cont = noise.fractal(kLayerContinent, continent, pr, pc);
      const int64_t hill = noise.fractal(kLayerHills, hills, wr, wc);
      const int64_t ridge = noise.ridged(kLayerRidges, ridges, wr, wc);

      // Distance from the river, in 1/kSub cells.
      int64_t d = wrappedOffset(centre, pc);
      if (d < 0)
        d = -d;

      // Mountains rise where the land is high and along both sides of
      // the valley, so the flight passes between peaks.
      const int64_t flank = smoothstep(50 * kSub, 16 * kSub, d);
      const int64_t mountains = smoothstep(6000, 30000, cont + flank * 26000 / kOne);
      const int64_t crest = ridge * kOne / 113000; // 0 .. kOne
      const int64_t peak = crest * crest / kOne;

      int64_t h = 124 * kUnit + cont * 55 * kUnit / kNoiseAmplitude + hill * 30 * kUnit / kNoiseAmplitude +
                  mountains * peak / kOne * 170 * kUnit / kOne + flank * 20 * kUnit / kOne;

      // The valley: a river bed, a gently rising floor, then the slopes
      // climbing into the mountains.
      const int64_t bumps = noise.fractal(kLayerFloor, floorBumps, wr, wc);
      // Lake shores wander more than river banks.
      const int64_t shore = d + bumps * (kSub + lake * 3 * kSub / kOne) / kNoiseAmplitude;
      int64_t floor;
      if (shore < halfWidth) {
        floor = int64_t{kWaterLevel} * kUnit - 3 * kUnit - (halfWidth - shore) * 5 * kUnit / kSub;
      } else {
        const int64_t out = shore - halfWidth < 8 * kSub ? shore - halfWidth : 8 * kSub;
        floor = int64_t{kWaterLevel} * kUnit + kUnit / 2 + out * 3 * kUnit / kSub +
                bumps * 9 * kUnit / kNoiseAmplitude * smoothstep(halfWidth, halfWidth + 4 * kSub, shore) / kOne;
      }
      const int64_t slope = smoothstep(halfWidth + kSub, halfWidth + 19 * kSub, d + bumps * 3 * kSub / kNoiseAmplitude);
      // Near the valley the land stays above its floor; further out it
      // may sink into lakes.
      if (h < floor)
        h += (floor - h) * smoothstep(40 * kSub, 25 * kSub, d) / kOne;
      h = floor + (h - floor) * slope / kOne;

      height[size_t(row) * kSize + size_t(col)] = static_cast<int32_t>(h);
    }
  }
  return height;
}

// Peaks approach the top level gently instead of being cut flat.
int32_t softLimit(int32_t h) {
  const int32_t knee = 200 * kUnit;
  const int32_t room = 255 * kUnit - knee;
  if (h <= knee)
    return h;
  const int64_t over = h - knee;
  return knee + static_cast<int32_t>(over * room / (over + room));
}

// ---------------------------------------------------------------------------
// Colours

struct Rgb {
  int32_t r, g, b;
};

Rgb blend(Rgb a, Rgb b, int64_t w) {
  return {static_cast<int32_t>(lerp(a.r, b.r, w)), static_cast<int32_t>(lerp(a.g, b.g, w)),
          static_cast<int32_t>(lerp(a.b, b.b, w))};
}

Rgb scale(Rgb c, int32_t s) { // s in 1/256
  return {c.r * s / 256, c.g * s / 256, c.b * s / 256};
}

uint8_t channel(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

constexpr int32_t kWater = kWaterLevel * kUnit;

// Where woods grow, 0 to kOne: on the lower land, above the shore and
// below the mountains.
std::vector<int32_t> forestCover(const Noise &noise, const std::vector<int32_t> &fine) {
  static const Noise::Octave forestNoise[] = {{25, 256}, {10, 140}, {5, 50}};
  std::vector<int32_t> forest(fine.size());
  for (int row = 0; row < kSize; ++row) {
    for (int col = 0; col < kSize; ++col) {
      const size_t i = size_t(row) * kSize + size_t(col);
      const int32_t h = fine[i];
      const int64_t f = noise.fractal(kLayerForest, forestNoise, int64_t{row} * kSub, int64_t{col} * kSub);
      forest[i] =
          static_cast<int32_t>(smoothstep(2000, 12000, f) * smoothstep(kWater + 5 * kUnit, kWater + 12 * kUnit, h) /
                               kOne * smoothstep(190 * kUnit, 160 * kUnit, h) / kOne);
    }
  }
  return forest;
}

// The generated heights' peaks softened, and in the woods a canopy of
// single trees a few levels above the ground, that the voxel bars show as
// a bumpy roof. Returns the woods' cover.
std::vector<int32_t> plantTrees(const Noise &noise, std::vector<int32_t> &fine) {
  for (int32_t &h : fine)
    h = softLimit(h);
  std::vector<int32_t> forest = forestCover(noise, fine);
  for (int row = 0; row < kSize; ++row) {
    for (int col = 0; col < kSize; ++col) {
      const size_t i = size_t(row) * kSize + size_t(col);
      if (fine[i] >= kWater && forest[i] > 0) {
        const uint32_t tree = noise.cellHash(kLayerTrees, row, col);
        if (int64_t(tree % 65536) < forest[i])
          fine[i] += static_cast<int32_t>(kUnit + (tree >> 16) % 3 * kUnit);
      }
    }
  }
  return forest;
}

// The height the light meets: water lies flat over whatever is below it.
int64_t surface(const std::vector<int32_t> &fine, int row, int col) {
  const int32_t h = fine[size_t(wrapCell(row)) * kSize + size_t(wrapCell(col))];
  return h < kWater ? kWater : h;
}

// Light from the left of the flight path, a little from behind and fairly
// low: direction (columns, rows, up) = (-6, -2, 3) / 7.
constexpr int64_t kLightCol = -6, kLightRow = -2, kLightUp = 3, kLightLength = 7;
// The light's length along the ground, sqrt(6 * 6 + 2 * 2) = 6.3246, in
// thousandths: one step of a shadow ray across the ground is one cell long.
constexpr int64_t kLightFlat = 6325;
// A cell's width counts as this many map levels when the slope is lit.
constexpr int64_t kCellRise = 14;

// Shadows, 0 (none) to kOne: walk from each cell towards the light, one
// cell's width per step, and see how far the terrain rises above the ray.
// The ray climbs kCellRise * 3 / sqrt(40) levels per cell.
std::vector<int32_t> castShadows(const std::vector<int32_t> &fine) {
  constexpr int64_t kStepCol = kLightCol * kSub * 1000 / kLightFlat, kStepRow = kLightRow * kSub * 1000 / kLightFlat;
  constexpr int64_t kRayRise = kCellRise * kUnit * kLightUp * 1000 / kLightFlat;
  std::vector<int32_t> shadow(fine.size());
  for (int row = 0; row < kSize; ++row) {
    for (int col = 0; col < kSize; ++col) {
      int64_t ray = surface(fine, row, col);
      int64_t pr = int64_t{row} * kSub, pc = int64_t{col} * kSub;
      int64_t excess = 0;
      while (ray < 256 * kUnit) {
        pr += kStepRow;
        pc += kStepCol;
        ray += kRayRise;
        const int64_t ground = surface(fine, static_cast<int>(wrapPosition(pr + kSub / 2) / kSub),
                                       static_cast<int>(wrapPosition(pc + kSub / 2) / kSub));
        if (ground - ray > excess)
          excess = ground - ray;
      }
      shadow[size_t(row) * kSize + size_t(col)] = static_cast<int32_t>(smoothstep(0, 4 * kUnit, excess));
    }
  }
  return shadow;
}

// What the colour passes read for every cell.
struct Ground {
  const Noise &noise;
  const std::vector<int32_t> &fine, &forest, &shadow;
};

void store(std::vector<uint8_t> &texture, size_t i, Rgb c) {
  texture[i * 3 + 0] = channel(c.r);
  texture[i * 3 + 1] = channel(c.g);
  texture[i * 3 + 2] = channel(c.b);
}

int32_t grainOf(uint32_t speckle) { return static_cast<int32_t>(speckle % 13) - 6; }

// Below the water level: deeper is darker.
Rgb waterColour(const Ground &ground, int row, int col) {
  const Rgb deepWater{18, 52, 108}, shallowWater{52, 118, 150};
  const size_t i = size_t(row) * kSize + size_t(col);
  const int64_t depth = smoothstep(0, 14 * kUnit, kWater - ground.fine[i]);
  Rgb c = blend(shallowWater, deepWater, depth);
  // Ripples drawn out along the rows, the way the river flows, and the far
  // shore's shadow on the surface.
  const int64_t wave = ground.noise.gradient(kLayerRipples, 5, int64_t{row} * kSub, int64_t{col} * kSub * 4);
  const int32_t grain = grainOf(ground.noise.cellHash(kLayerSpeckle, row, col));
  const int32_t ripple = grain / 3 + static_cast<int32_t>(smoothstep(8000, 30000, wave) * 34 / kOne);
  c = {c.r + ripple, c.g + ripple, c.b + ripple};
  return scale(c, 256 - ground.shadow[i] * 56 / static_cast<int32_t>(kOne));
}

// Above it: grass and woods, sand on the shore, rock on steep and high
// ground, snow on top, shaded by the slope towards the light.
Rgb landColour(const Ground &ground, int row, int col) {
  static const Noise::Octave tintNoise[] = {{50, 256}, {10, 120}};
  static const Noise::Octave snowNoise[] = {{25, 256}, {5, 100}};
  const Rgb wetSand{150, 134, 92}, sand{206, 190, 136};
  const Rgb lushGrass{66, 128, 44}, dryGrass{128, 138, 62};
  const Rgb woodsDark{34, 82, 32}, woodsLight{58, 104, 40};
  const Rgb rockLight{132, 120, 104}, rockDark{96, 86, 78};
  const Rgb snow{246, 248, 252};
  const Noise &noise = ground.noise;
  const size_t i = size_t(row) * kSize + size_t(col);
  const int32_t h = ground.fine[i];
  const int64_t pr = int64_t{row} * kSub;
  const int64_t pc = int64_t{col} * kSub;
  const uint32_t speckle = noise.cellHash(kLayerSpeckle, row, col);

  // Surface normal from the neighbours, in fine units.
  const int64_t gc = surface(ground.fine, row, col + 1) - surface(ground.fine, row, col - 1);
  const int64_t gr = surface(ground.fine, row + 1, col) - surface(ground.fine, row - 1, col);
  const int64_t up = 2 * kCellRise * kUnit;
  const int64_t length = static_cast<int64_t>(isqrt(static_cast<uint64_t>(gc * gc + gr * gr + up * up)));
  int64_t lit = (-gc * kLightCol - gr * kLightRow + up * kLightUp) * kOne / (length * kLightLength);
  if (lit < 0)
    lit = 0;
  lit -= lit * ground.shadow[i] / kOne;
  // Flat ground comes out at 1.0; faces towards the light brighter.
  int32_t shade = static_cast<int32_t>(116 + lit * 326 / kOne);
  if (shade > 300)
    shade = 300;

  // Steepness in map levels per cell, times kOne.
  const int64_t steep = static_cast<int64_t>(isqrt(static_cast<uint64_t>(gc * gc + gr * gr))) * kOne / (2 * kUnit);

  const int64_t tint = noise.fractal(kLayerTint, tintNoise, pr, pc);
  Rgb c = blend(lushGrass, dryGrass, smoothstep(-20000, 20000, tint + (h - 150 * kUnit) * 300 / kUnit));
  c = blend(c, blend(woodsDark, woodsLight, int64_t(speckle >> 16) % kOne), ground.forest[i]);

  const int64_t beach =
      smoothstep(kWater + 7 * kUnit, kWater + 2 * kUnit, h) * smoothstep(5 * kOne, 2 * kOne, steep) / kOne;
  c = blend(c, blend(wetSand, sand, smoothstep(kWater, kWater + 2 * kUnit, h)), beach);

  // Bare rock on steep slopes and high up, in bands of colour like strata.
  const int64_t rocky = smoothstep(int64_t(7) * kOne, int64_t(14) * kOne, steep) +
                        smoothstep(180 * kUnit, 210 * kUnit, h + tint * 15 * kUnit / kNoiseAmplitude);
  const uint32_t band =
      noise.cellHash(kLayerStrata, static_cast<int>(h / kUnit + tint * 8 / kNoiseAmplitude + 64) / 5, 0);
  const Rgb rock = blend(rockDark, rockLight, int64_t(band % kOne));
  c = blend(c, rock, rocky > kOne ? kOne : rocky);

  const int64_t snowLine = 218 * kUnit + noise.fractal(kLayerSnow, snowNoise, pr, pc) * 14 * kUnit / kNoiseAmplitude;
  const int64_t snowy =
      smoothstep(snowLine, snowLine + 10 * kUnit, h) * smoothstep(int64_t(16) * kOne, int64_t(9) * kOne, steep) / kOne;
  c = blend(c, snow, snowy);

  c = scale(c, shade);
  const int32_t grain = grainOf(speckle);
  return {c.r + grain, c.g + grain, c.b + grain};
}

// Colours every cell; heights are levelled by the caller's rule.
template <typename Level> Maps paint(const Ground &ground, Level level) {
  Maps maps;
  maps.texture.resize(size_t{kSize} * kSize * 3);
  maps.height.resize(size_t{kSize} * kSize);
  for (int row = 0; row < kSize; ++row) {
    for (int col = 0; col < kSize; ++col) {
      const size_t i = size_t(row) * kSize + size_t(col);
      const bool under = ground.fine[i] < kWater;
      store(maps.texture, i, under ? waterColour(ground, row, col) : landColour(ground, row, col));
      maps.height[i] = level(ground.fine[i]);
    }
  }
  return maps;
}

uint8_t nearestLevel(int32_t h) {
  const int32_t level = (h + kUnit / 2) / kUnit;
  return static_cast<uint8_t>(level < 0 ? 0 : level > 255 ? 255 : level);
}

} // namespace

Maps generateLandscape(uint32_t seed) {
  const Noise noise{seed};
  std::vector<int32_t> fine = makeHeights(noise);
  const std::vector<int32_t> forest = plantTrees(noise, fine);
  const std::vector<int32_t> shadow = castShadows(fine);
  // Lakes and the river lie flat at the water level.
  return paint(Ground{noise, fine, forest, shadow},
               [](int32_t h) { return h < kWater ? uint8_t{kWaterLevel} : nearestLevel(h); });
}

Maps colourHeights(const std::vector<int32_t> &fine, uint32_t seed) {
  const Noise noise{seed};
  const std::vector<int32_t> forest = forestCover(noise, fine);
  const std::vector<int32_t> shadow = castShadows(fine);
  return paint(Ground{noise, fine, forest, shadow}, nearestLevel);
}
