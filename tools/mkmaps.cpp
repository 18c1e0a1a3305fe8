// mkmaps: writes the default terrain, "texture.raw" (500 x 500 cells of
// red, green, blue) and "map.raw" (500 x 500 heights), for the flyover.
//
// The landscape is a river valley running along the map rows through the
// columns the camera sees, flanked by mountains, inside a wider land of
// hills and lakes. Both maps wrap seamlessly at their edges, as the renderer
// repeats them.
//
// Every step is integer or fixed-point arithmetic, so a seed gives the same
// bytes on every platform, compiler and floating-point unit.

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace {

constexpr int kSize = 500;    // cells per side of both maps
constexpr int32_t kSub = 256; // positions per cell
constexpr int32_t kPeriod = kSize * kSub;
constexpr int64_t kOne = 65536;      // fixed-point 1.0 for weights
constexpr int32_t kUnit = 256;       // fine height units per map level
constexpr int32_t kWaterLevel = 92;  // lakes and the river lie flat here
constexpr int32_t kViewColumn = 120; // the column the camera flies along
constexpr uint32_t kDefaultSeed = 1;

constexpr const char *kTextureName = "texture.raw";
constexpr const char *kHeightName = "map.raw";

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
  // tiles), at a position given in 1/kSub cells. About -46000..46000.
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
  return int64_t{kViewColumn} * kSub + m * 9 * kSub / 46000;
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
        (34 + noise.fractal(kLayerRiver, riverWidth, int64_t{row} * kSub, 0) * 14 / 46000) * kSub / 10 +
        lake * 8 * kSub / kOne;
    for (int col = 0; col < kSize; ++col) {
      const int64_t pr = int64_t{row} * kSub;
      const int64_t pc = int64_t{col} * kSub;
      // Warp the sampling point so that hills and ridges wind instead of
      // lining up with the lattice.
      const int64_t wr = pr + noise.fractal(kLayerWarpRow, warp, pr, pc) * 14 * kSub / 46000;
      const int64_t wc = pc + noise.fractal(kLayerWarpCol, warp, pr, pc) * 14 * kSub / 46000;

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

      int64_t h = 124 * kUnit + cont * 55 * kUnit / 46000 + hill * 30 * kUnit / 46000 +
                  mountains * peak / kOne * 170 * kUnit / kOne + flank * 20 * kUnit / kOne;

      // The valley: a river bed, a gently rising floor, then the slopes
      // climbing into the mountains.
      const int64_t bumps = noise.fractal(kLayerFloor, floorBumps, wr, wc);
      // Lake shores wander more than river banks.
      const int64_t shore = d + bumps * (kSub + lake * 3 * kSub / kOne) / 46000;
      int64_t floor;
      if (shore < halfWidth) {
        floor = int64_t{kWaterLevel} * kUnit - 3 * kUnit - (halfWidth - shore) * 5 * kUnit / kSub;
      } else {
        const int64_t out = shore - halfWidth < 8 * kSub ? shore - halfWidth : 8 * kSub;
        floor = int64_t{kWaterLevel} * kUnit + kUnit / 2 + out * 3 * kUnit / kSub +
                bumps * 9 * kUnit / 46000 * smoothstep(halfWidth, halfWidth + 4 * kSub, shore) / kOne;
      }
      const int64_t slope = smoothstep(halfWidth + kSub, halfWidth + 19 * kSub, d + bumps * 3 * kSub / 46000);
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

struct Maps {
  std::vector<uint8_t> texture; // kSize * kSize * 3
  std::vector<uint8_t> height;  // kSize * kSize
};

Maps generate(uint32_t seed) {
  const Noise noise{seed};
  std::vector<int32_t> fine = makeHeights(noise);

  static const Noise::Octave forestNoise[] = {{25, 256}, {10, 140}, {5, 50}};
  static const Noise::Octave tintNoise[] = {{50, 256}, {10, 120}};
  static const Noise::Octave snowNoise[] = {{25, 256}, {5, 100}};

  const int32_t water = kWaterLevel * kUnit;
  std::vector<int32_t> forest(fine.size());
  for (int row = 0; row < kSize; ++row) {
    for (int col = 0; col < kSize; ++col) {
      const size_t i = size_t(row) * kSize + size_t(col);
      int32_t h = softLimit(fine[i]);
      const int64_t pr = int64_t{row} * kSub;
      const int64_t pc = int64_t{col} * kSub;
      // Woods on the lower land: a canopy of single trees, a few levels
      // above the ground, that the voxel bars show as a bumpy roof.
      const int64_t f = noise.fractal(kLayerForest, forestNoise, pr, pc);
      const int64_t woods = smoothstep(2000, 12000, f) * smoothstep(water + 5 * kUnit, water + 12 * kUnit, h) / kOne *
                            smoothstep(190 * kUnit, 160 * kUnit, h) / kOne;
      forest[i] = static_cast<int32_t>(woods);
      if (h >= water && woods > 0) {
        const uint32_t tree = noise.cellHash(kLayerTrees, row, col);
        if (int64_t(tree % 65536) < woods)
          h += static_cast<int32_t>(kUnit + (tree >> 16) % 3 * kUnit);
      }
      fine[i] = h;
    }
  }

  Maps maps;
  maps.texture.resize(size_t{kSize} * kSize * 3);
  maps.height.resize(size_t{kSize} * kSize);

  auto surface = [&](int row, int col) -> int64_t {
    const int32_t h = fine[size_t(wrapCell(row)) * kSize + size_t(wrapCell(col))];
    return h < water ? water : h;
  };

  // Light from the left of the flight path, a little from behind and fairly
  // low: direction (columns, rows, up) = (-6, -2, 3) / 7.
  constexpr int64_t kLightCol = -6, kLightRow = -2, kLightUp = 3, kLightLength = 7;
  // A cell's width counts as this many map levels when the slope is lit.
  constexpr int64_t kCellRise = 14;

  // Shadows: walk from each cell towards the light, one cell's width per
  // step, and see how far the terrain rises above the ray. The ray climbs
  // kCellRise * 3 / sqrt(40) levels per cell.
  constexpr int64_t kStepCol = -6 * kSub * 1000 / 6325, kStepRow = -2 * kSub * 1000 / 6325;
  constexpr int64_t kRayRise = kCellRise * kUnit * 3 * 1000 / 6325;
  std::vector<int32_t> shadow(fine.size());
  for (int row = 0; row < kSize; ++row) {
    for (int col = 0; col < kSize; ++col) {
      int64_t ray = surface(row, col);
      int64_t pr = int64_t{row} * kSub, pc = int64_t{col} * kSub;
      int64_t excess = 0;
      while (ray < 256 * kUnit) {
        pr += kStepRow;
        pc += kStepCol;
        ray += kRayRise;
        const int64_t ground = surface(static_cast<int>(wrapPosition(pr + kSub / 2) / kSub),
                                       static_cast<int>(wrapPosition(pc + kSub / 2) / kSub));
        if (ground - ray > excess)
          excess = ground - ray;
      }
      shadow[size_t(row) * kSize + size_t(col)] = static_cast<int32_t>(smoothstep(0, 4 * kUnit, excess));
    }
  }

  const Rgb deepWater{18, 52, 108}, shallowWater{52, 118, 150};
  const Rgb wetSand{150, 134, 92}, sand{206, 190, 136};
  const Rgb lushGrass{66, 128, 44}, dryGrass{128, 138, 62};
  const Rgb woodsDark{34, 82, 32}, woodsLight{58, 104, 40};
  const Rgb rockLight{132, 120, 104}, rockDark{96, 86, 78};
  const Rgb snow{246, 248, 252};

  for (int row = 0; row < kSize; ++row) {
    for (int col = 0; col < kSize; ++col) {
      const size_t i = size_t(row) * kSize + size_t(col);
      const int32_t h = fine[i];
      const int64_t pr = int64_t{row} * kSub;
      const int64_t pc = int64_t{col} * kSub;
      const uint32_t speckle = noise.cellHash(kLayerSpeckle, row, col);
      const int32_t grain = static_cast<int32_t>(speckle % 13) - 6;

      if (h < water) {
        maps.height[i] = static_cast<uint8_t>(kWaterLevel);
        const int64_t depth = smoothstep(0, 14 * kUnit, water - h);
        Rgb c = blend(shallowWater, deepWater, depth);
        // Ripples drawn out along the rows, the way the river flows,
        // and the far shore's shadow on the surface.
        const int64_t wave = noise.gradient(kLayerRipples, 5, pr, pc * 4);
        const int32_t ripple = grain / 3 + static_cast<int32_t>(smoothstep(8000, 30000, wave) * 34 / kOne);
        c = {c.r + ripple, c.g + ripple, c.b + ripple};
        c = scale(c, 256 - shadow[i] * 56 / static_cast<int32_t>(kOne));
        maps.texture[i * 3 + 0] = channel(c.r);
        maps.texture[i * 3 + 1] = channel(c.g);
        maps.texture[i * 3 + 2] = channel(c.b);
        continue;
      }

      int32_t level = (h + kUnit / 2) / kUnit;
      maps.height[i] = static_cast<uint8_t>(level < kWaterLevel ? kWaterLevel : level > 255 ? 255 : level);

      // Surface normal from the neighbours, in fine units.
      const int64_t gc = surface(row, col + 1) - surface(row, col - 1);
      const int64_t gr = surface(row + 1, col) - surface(row - 1, col);
      const int64_t up = 2 * kCellRise * kUnit;
      const int64_t length = static_cast<int64_t>(isqrt(static_cast<uint64_t>(gc * gc + gr * gr + up * up)));
      int64_t lit = (-gc * kLightCol - gr * kLightRow + up * kLightUp) * kOne / (length * kLightLength);
      if (lit < 0)
        lit = 0;
      lit -= lit * shadow[i] / kOne;
      // Flat ground comes out at 1.0; faces towards the light brighter.
      int32_t shade = static_cast<int32_t>(116 + lit * 326 / kOne);
      if (shade > 300)
        shade = 300;

      // Steepness in map levels per cell, times kOne.
      const int64_t steep = static_cast<int64_t>(isqrt(static_cast<uint64_t>(gc * gc + gr * gr))) * kOne / (2 * kUnit);

      const int64_t tint = noise.fractal(kLayerTint, tintNoise, pr, pc);
      Rgb c = blend(lushGrass, dryGrass, smoothstep(-20000, 20000, tint + (h - 150 * kUnit) * 300 / kUnit));
      c = blend(c, blend(woodsDark, woodsLight, int64_t(speckle >> 16) % kOne), forest[i]);

      const int64_t beach =
          smoothstep(water + 7 * kUnit, water + 2 * kUnit, h) * smoothstep(5 * kOne, 2 * kOne, steep) / kOne;
      c = blend(c, blend(wetSand, sand, smoothstep(water, water + 2 * kUnit, h)), beach);

      // Bare rock on steep slopes and high up, in bands of colour like
      // strata.
      const int64_t rocky = smoothstep(int64_t(7) * kOne, int64_t(14) * kOne, steep) +
                            smoothstep(180 * kUnit, 210 * kUnit, h + tint * 15 * kUnit / 46000);
      const uint32_t band = noise.cellHash(kLayerStrata, static_cast<int>(h / kUnit + tint * 8 / 46000 + 64) / 5, 0);
      const Rgb rock = blend(rockDark, rockLight, int64_t(band % kOne));
      c = blend(c, rock, rocky > kOne ? kOne : rocky);

      const int64_t snowLine = 218 * kUnit + noise.fractal(kLayerSnow, snowNoise, pr, pc) * 14 * kUnit / 46000;
      const int64_t snowy = smoothstep(snowLine, snowLine + 10 * kUnit, h) *
                            smoothstep(int64_t(16) * kOne, int64_t(9) * kOne, steep) / kOne;
      c = blend(c, snow, snowy);

      c = scale(c, shade);
      c = {c.r + grain, c.g + grain, c.b + grain};
      maps.texture[i * 3 + 0] = channel(c.r);
      maps.texture[i * 3 + 1] = channel(c.g);
      maps.texture[i * 3 + 2] = channel(c.b);
    }
  }
  return maps;
}

// ---------------------------------------------------------------------------
// Files

std::filesystem::path temporaryFor(const std::filesystem::path &path) {
  std::filesystem::path temp = path;
  temp += ".tmp";
  return temp;
}

// Writes data to the temporary file beside path; the map itself appears
// only by rename once complete, so an interrupted run leaves no short map.
bool writeTemporary(const std::filesystem::path &path, const std::vector<uint8_t> &data) {
  const std::string temp = temporaryFor(path).string();
  std::FILE *file = std::fopen(temp.c_str(), "wb");
  if (file == nullptr) {
    std::fprintf(stderr, "mkmaps: cannot create %s: %s\n", temp.c_str(), std::strerror(errno));
    return false;
  }
  errno = 0;
  const bool written = std::fwrite(data.data(), 1, data.size(), file) == data.size() && std::fflush(file) == 0;
  const int writeError = errno;
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    const int error = !written ? writeError : errno;
    std::fprintf(stderr, "mkmaps: cannot write %s: %s\n", temp.c_str(),
                 error != 0 ? std::strerror(error) : "short write");
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

bool moveIntoPlace(const std::filesystem::path &path) {
  const std::filesystem::path temp = temporaryFor(path);
  std::error_code error;
  std::filesystem::rename(temp, path, error);
  if (error) {
    std::fprintf(stderr, "mkmaps: cannot rename %s to %s: %s\n", temp.string().c_str(), path.string().c_str(),
                 error.message().c_str());
    return false;
  }
  return true;
}

// Both maps or neither: they describe one landscape, and a lone map would
// stop a caller that checks for missing maps from making the pair again.
bool writeMaps(const std::filesystem::path &texturePath, const std::vector<uint8_t> &texture,
               const std::filesystem::path &heightPath, const std::vector<uint8_t> &height) {
  const bool ok = writeTemporary(texturePath, texture) && writeTemporary(heightPath, height);
  if (ok && moveIntoPlace(texturePath)) {
    if (moveIntoPlace(heightPath))
      return true;
    std::remove(texturePath.string().c_str());
  }
  std::remove(temporaryFor(texturePath).string().c_str());
  std::remove(temporaryFor(heightPath).string().c_str());
  return false;
}

void usage(std::FILE *out) {
  std::fprintf(out,
               "usage: mkmaps [--seed N] [--force] [DIRECTORY]\n"
               "Writes the default terrain maps %s and %s into DIRECTORY\n"
               "(the current directory when omitted).\n"
               "  --seed N   landscape number, 0 to 4294967295 (default %u)\n"
               "  --force    replace maps that already exist\n",
               kTextureName, kHeightName, static_cast<unsigned>(kDefaultSeed));
}

bool parseSeed(const char *text, uint32_t &seed) {
  if (text == nullptr || *text < '0' || *text > '9')
    return false;
  uint64_t value = 0;
  for (const char *p = text; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9')
      return false;
    value = value * 10 + uint64_t(*p - '0');
    if (value > 0xffffffffULL)
      return false;
  }
  seed = static_cast<uint32_t>(value);
  return true;
}

} // namespace

int main(int argc, char **argv) {
  uint32_t seed = kDefaultSeed;
  bool force = false;
  const char *directory = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      usage(stdout);
      return 0;
    }
    if (arg == "--force") {
      force = true;
    } else if (arg == "--seed") {
      if (i + 1 >= argc || !parseSeed(argv[i + 1], seed)) {
        std::fprintf(stderr, "mkmaps: --seed needs a whole number from 0 to 4294967295\n");
        usage(stderr);
        return 2;
      }
      ++i;
    } else if (arg.rfind("--seed=", 0) == 0) {
      if (!parseSeed(argv[i] + 7, seed)) {
        std::fprintf(stderr, "mkmaps: --seed needs a whole number from 0 to 4294967295\n");
        usage(stderr);
        return 2;
      }
    } else if (!arg.empty() && arg[0] == '-') {
      std::fprintf(stderr, "mkmaps: unknown option %s\n", argv[i]);
      usage(stderr);
      return 2;
    } else if (directory != nullptr) {
      std::fprintf(stderr, "mkmaps: only one directory may be given\n");
      usage(stderr);
      return 2;
    } else {
      directory = argv[i];
    }
  }

  const std::filesystem::path dir = directory != nullptr ? directory : ".";
  std::error_code error;
  if (!std::filesystem::is_directory(dir, error)) {
    std::fprintf(stderr, "mkmaps: %s is not a directory\n", dir.string().c_str());
    return 1;
  }
  const std::filesystem::path texturePath = dir / kTextureName;
  const std::filesystem::path heightPath = dir / kHeightName;
  if (!force) {
    // The two maps belong together: replace neither when either exists.
    for (const auto &path : {texturePath, heightPath}) {
      if (std::filesystem::exists(std::filesystem::symlink_status(path, error))) {
        std::fprintf(stderr, "mkmaps: %s exists; use --force to replace the maps\n", path.string().c_str());
        return 1;
      }
    }
  }

  const Maps maps = generate(seed);
  return writeMaps(texturePath, maps.texture, heightPath, maps.height) ? 0 : 1;
}
