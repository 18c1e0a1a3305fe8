// The renderer: its exact arithmetic against independent evaluations, the
// drawing primitives, map loading, whole frames and the frame loop.
#include "ptc.h"
#include "terrain.h"

#include <gtest/gtest.h>
#include <mpfr.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

int flyover_main(); // the program's entry point, renamed for this binary

namespace {

int depthOf(int k) { return 245 - 5 * k; }

// An independent evaluation of the fade: MPFR with a 64-bit significand,
// rounding to nearest after every operation, in the order written.
int mpfrFade(int depth, int c) {
  mpfr_t near, grey;
  mpfr_inits2(64, near, grey, static_cast<mpfr_ptr>(nullptr));
  mpfr_set_ui(near, 250 - depth, MPFR_RNDN);
  mpfr_div_ui(near, near, 250, MPFR_RNDN);
  mpfr_mul_ui(near, near, c, MPFR_RNDN);
  mpfr_set_ui(grey, depth, MPFR_RNDN);
  mpfr_div_ui(grey, grey, 250, MPFR_RNDN);
  mpfr_mul_ui(grey, grey, 180, MPFR_RNDN);
  mpfr_add(near, near, grey, MPFR_RNDN);
  const int result = int(mpfr_get_si(near, MPFR_RNDZ));
  mpfr_clears(near, grey, static_cast<mpfr_ptr>(nullptr));
  return result;
}

template <typename Real> int literalFade(int depth, int c) {
  // volatile keeps every intermediate in the type, rounded, as written.
  volatile Real d = Real(depth);
  volatile Real nearShare = (Real(250) - d) / Real(250);
  volatile Real nearPart = Real(c) * nearShare;
  volatile Real greyShare = d / Real(250);
  volatile Real greyPart = Real(180) * greyShare;
  volatile Real sum = nearPart + greyPart;
  return int(sum);
}

TEST(Projection, FadeIsExactOnEveryDepthAndChannel) {
  // Worked examples: rows 1, 20 and 14 are depths 240, 145 and 175; at
  // 145 the exact rational value of the first would be 117.
  EXPECT_EQ(fadeChannel(1, 180), 180);
  EXPECT_EQ(fadeChannel(1, 5), 173);
  EXPECT_EQ(fadeChannel(20, 30), 116);
  EXPECT_EQ(fadeChannel(14, 0), 126);
  EXPECT_EQ(fadeChannel(39, 255), 240); // the nearest row keeps 80 % of the colour

  const bool hardwareExtended = LDBL_MANT_DIG == 64;
  setExtendedPrecision();
  int differsInDouble = 0;
  for (int k = 0; k < kRows; ++k)
    for (int c = 0; c < 256; ++c) {
      const int expected = mpfrFade(depthOf(k), c);
      ASSERT_EQ(fadeChannel(k, c), expected) << "row " << k << " channel " << c;
      if (hardwareExtended) {
        ASSERT_EQ(literalFade<long double>(depthOf(k), c), expected) << k << " " << c;
      }
      differsInDouble += literalFade<double>(depthOf(k), c) != expected;
    }
  // The reason for all this care: double precision gets these wrong.
  EXPECT_EQ(differsInDouble, 15);
}

TEST(Projection, BarsMatchTheLiteralExpressions) {
  // Compared with the expressions evaluated literally in the widest type
  // at hand, over every input the frame loop can produce.
  setExtendedPrecision();
  for (int k = 0; k < kRows; ++k) {
    const long double depth = depthOf(k);
    EXPECT_EQ(barWidth(k), int((250.0L - depth) / 25.0L + 5.0L)) << k;
    for (int j = kFirstColumn; j < kFirstColumn + kColumns; ++j)
      ASSERT_EQ(barLeft(k, j), int(1000.0L * ((j * 100) / 100.0L) / depth) + 160) << k << " " << j;
    for (int h = 0; h < 256; ++h)
      ASSERT_EQ(barTop(k, h), int(50.0L * ((255 - h) + (k * 100) / 100.0L) / depth) + 100) << k << " " << h;
  }
  EXPECT_EQ(barLeft(0, -35), 18);
  EXPECT_EQ(barLeft(39, -35), -540);
  EXPECT_EQ(barTop(0, 255), 100); // on the horizon
  EXPECT_EQ(barTop(39, 0), 394);  // below the canvas
  EXPECT_EQ(barWidth(0), 5);
  EXPECT_EQ(barWidth(3), 5);
  EXPECT_EQ(barWidth(4), 6);
  EXPECT_EQ(barWidth(39), 13);
}

// --- Primitives -----------------------------------------------------------

class Canvas : public ::testing::Test {
protected:
  void SetUp() override { std::memset(pixel, 0, sizeof pixel); }
  static int painted() {
    int n = 0;
    for (uint32_t p : pixel)
      n += p != 0;
    return n;
  }
  static uint32_t at(int x, int y) { return pixel[y * kCanvasWidth + x]; }
};

TEST_F(Canvas, PutPixelClipsToTheCanvas) {
  putPixel(320, 0, 1, 2, 3);
  putPixel(-1, 0, 1, 2, 3);
  putPixel(0, 200, 1, 2, 3);
  putPixel(0, -1, 1, 2, 3);
  EXPECT_EQ(painted(), 0);
  putPixel(319, 199, 1, 2, 3);
  EXPECT_EQ(pixel[63999], 0x00010203u);
  putPixel(0, 0, 255, 255, 255);
  EXPECT_EQ(pixel[0], 0x00FFFFFFu);
  EXPECT_EQ(painted(), 2);
}

TEST_F(Canvas, DrawBarReachesTheBottomAndClips) {
  drawBar(10, 200, 5, 1, 1, 1);
  drawBar(10, 50, 0, 1, 1, 1);
  drawBar(10, 50, -3, 1, 1, 1);
  EXPECT_EQ(painted(), 0);

  drawBar(318, 150, 5, 9, 8, 7);
  EXPECT_EQ(painted(), 2 * 50);
  for (int y = 150; y < 200; ++y) {
    EXPECT_EQ(at(318, y), 0x00090807u);
    EXPECT_EQ(at(319, y), 0x00090807u);
  }

  std::memset(pixel, 0, sizeof pixel);
  drawBar(-2, -30, 4, 0, 0, 1); // columns -2..1, rows -30..199
  EXPECT_EQ(painted(), 2 * 200);
  EXPECT_EQ(at(0, 0), 1u);
  EXPECT_EQ(at(1, 199), 1u);
}

// --- Map files ---------------------------------------------------------------

class TempDir : public ::testing::Test {
protected:
  void SetUp() override {
    char tmpl[] = "/tmp/flyover-test-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    ASSERT_NE(getcwd(old_, sizeof old_), nullptr);
    ASSERT_EQ(chdir(dir_.c_str()), 0);
  }
  void TearDown() override {
    ASSERT_EQ(chdir(old_), 0);
    std::system(("rm -rf " + dir_).c_str());
  }
  static void write(const char *name, const std::vector<uint8_t> &bytes) {
    FILE *f = std::fopen(name, "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
    std::fclose(f);
  }

  std::string dir_;
  char old_[4096];
};

using MapFiles = TempDir;

TEST_F(MapFiles, AreReadAsFarAsTheyGoAndAnythingAmissIsSaid) {
  const struct {
    const char *name;
    int bytes; // -1: no such file
    const char *said;
  } cases[] = {
      {"absent.raw", -1, "flyover: absent.raw: cannot open"},
      {"short.raw", 10, "flyover: short.raw: only 10 of 100 bytes; the rest stays zero\n"},
      {"long.raw", 150, "flyover: long.raw: longer than 100 bytes; the rest is ignored\n"},
      {"exact.raw", 100, ""},
  };
  for (const auto &c : cases) {
    // Carriage returns and end-of-file characters are taken as they are.
    std::vector<uint8_t> file(std::max(c.bytes, 0));
    for (size_t i = 0; i < file.size(); ++i)
      file[i] = uint8_t(i % 2 ? '\r' : 0x1A + i);
    if (c.bytes >= 0)
      write(c.name, file);
    std::vector<uint8_t> dest(100, 0xEE);
    testing::internal::CaptureStderr();
    EXPECT_EQ(loadMapFile(c.name, dest.data(), dest.size()), std::min<size_t>(file.size(), 100)) << c.name;
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(said.substr(0, std::strlen(c.said)), c.said);
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), *c.said ? 1 : 0) << said;
    for (size_t i = 0; i < dest.size(); ++i)
      ASSERT_EQ(dest[i], i < file.size() ? file[i] : 0xEE) << c.name << " byte " << i;
  }
}

TEST_F(MapFiles, LoadMapsReadsBothNamesFromTheCurrentDirectory) {
  std::memset(texture, 0, sizeof texture);
  std::memset(map, 0, sizeof map);
  write("texture.raw", std::vector<uint8_t>(10, 0x42));
  testing::internal::CaptureStderr();
  loadMaps();
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("texture.raw: only 10 of 750000 bytes"), std::string::npos) << said;
  EXPECT_NE(said.find("map.raw: cannot open"), std::string::npos) << said;
  EXPECT_EQ(texture[9], 0x42);
  EXPECT_EQ(texture[10], 0);
  EXPECT_EQ(map[0], 0);
}

// --- Frames ---------------------------------------------------------------------

void fillMaps(uint32_t seed, int roughness) {
  // Smooth-ish random terrain with random colours; roughness 0 gives
  // extreme heights (0 and 255 side by side).
  std::mt19937 rng(seed);
  for (auto &t : texture)
    t = uint8_t(rng());
  for (int r = 0; r < kMapSize; ++r)
    for (int c = 0; c < kMapSize; ++c) {
      uint8_t &h = map[r * kMapSize + c];
      if (roughness == 0)
        h = (rng() & 1) ? 255 : 0;
      else
        h = uint8_t(128 + 100 * std::sin(r / double(roughness)) * std::cos(c / 7.0) + int(rng() % 20) - 10);
    }
}

struct Frame {
  std::vector<uint32_t> pixels;
  explicit Frame(bool fast) {
    fast ? renderFrame() : renderFrameReference();
    pixels.assign(pixel, pixel + kCanvasWidth * kCanvasHeight);
  }
  uint32_t at(int x, int y) const { return pixels[y * kCanvasWidth + x]; }
};

int firstDifference(const Frame &a, const Frame &b) {
  for (size_t i = 0; i < a.pixels.size(); ++i)
    if (a.pixels[i] != b.pixels[i])
      return int(i);
  return -1;
}

TEST(Frames, FastPathEqualsTheLiteralLoopOnManyMapsAndCameras) {
  actorY = kStartY;
  const int positions[] = {5000, 4950, 50, 0, 50000, 49950, 49000, 46050, 25000, 12345 / 50 * 50};
  for (uint32_t seed = 1; seed <= 4; ++seed) {
    fillMaps(seed, seed == 4 ? 0 : int(seed) * 3);
    for (int x : positions) {
      actorX = x;
      const Frame reference(false), fast(true);
      ASSERT_EQ(firstDifference(reference, fast), -1) << "seed " << seed << " actorX " << x;
    }
  }
  // Other lateral positions too: the fast path must not assume the view.
  for (int y : {3500, 8500, 15400, 49900}) {
    actorY = y;
    actorX = 1000;
    const Frame reference(false), fast(true);
    ASSERT_EQ(firstDifference(reference, fast), -1) << "actorY " << y;
  }
  actorY = kStartY;
}

TEST(Frames, TheMapWrapsEveryFiftyThousandUnits) {
  fillMaps(7, 5);
  actorY = kStartY;
  actorX = 0;
  const Frame atZero(true);
  actorX = 50000;
  const Frame atWrap(true);
  EXPECT_EQ(firstDifference(atZero, atWrap), -1);

  // At 49950 the farthest row is map row 499 and the next one row 0.
  std::memset(map, 0, sizeof map);
  std::memset(texture, 0, sizeof texture);
  for (int c = 0; c < kMapSize; ++c)
    map[499 * kMapSize + c] = 255;
  actorX = 49950;
  const Frame tallFarRow(true);
  EXPECT_EQ(tallFarRow.at(160, 100), uint32_t(fadeChannel(0, 0) * 0x010101));
}

// A frame worked out by hand. Both maps zero (black and flat, as when the
// files are missing) except one cell: row 50, column 120, height 255, pure
// red. At the start position that cell is the centre of the farthest row
// (depth 245), drawn at x = 160..164 from the horizon down.
TEST(Frames, HandmadeMapGivesTheWorkedOutPicture) {
  std::memset(map, 0, sizeof map);
  std::memset(texture, 0, sizeof texture);
  map[50 * kMapSize + 120] = 255;
  texture[(50 * kMapSize + 120) * 3] = 255;
  resetCamera();
  const Frame frame(true);

  // Greys of black cells, from the fade with c = 0: 180 * (depth / 250)
  // rounded to 64 bits; they are integers exactly where depth is a
  // multiple of 25 and rounding then lands just below, as at depth 175.
  auto grey = [](int k) { return uint32_t(mpfrFade(depthOf(k), 0)) * 0x010101u; };
  EXPECT_EQ(grey(14), 126u * 0x010101u);

  // Flat black rows: row k's bars start at 100 + floor(50 (255 + k) /
  // depth); rows 22 and nearer start below the canvas. Row k reaches
  // from x = 160 + trunc(-35000 / depth) to 160 + trunc(34000 / depth) +
  // width - 1 (the outermost bars).
  auto topOf = [](int k) { return 100 + 50 * (255 + k) / depthOf(k); };
  auto leftOf = [](int k) { return 160 - 35000 / depthOf(k); };
  auto rightOf = [](int k) { return 160 + 34000 / depthOf(k) + 5 + (k + 1) / 5 - 1; };
  EXPECT_EQ(topOf(21), 198);
  EXPECT_GE(topOf(22), 200);

  for (int y = 0; y < kCanvasHeight; ++y)
    for (int x = 0; x < kCanvasWidth; ++x) {
      uint32_t expected = 0xB4B4B4B4u;
      for (int k = 21; k >= 0; --k)
        if (y >= topOf(k) && x >= leftOf(k) && x <= rightOf(k)) {
          expected = grey(k);
          break;
        }
      // The red cell: its bar (x 160..164, from row 100) shows above
      // the flat bars drawn after it, that is above the farthest
      // row's own top where its right neighbour (x 164..168) covers
      // it, and above row 1's top elsewhere.
      if (x >= 160 && x <= 164 && y >= 100 && y < (x == 164 ? topOf(0) : topOf(1)))
        expected = uint32_t(mpfrFade(245, 255)) << 16 | (grey(0) & 0xFFFFu);
      ASSERT_EQ(frame.at(x, y), expected) << "x " << x << " y " << y;
    }
}

// --- The frame loop ----------------------------------------------------------------

// The display as the frame loop sees it, replaced for these tests.
bool openSucceeds;
int framesToPresent;
std::vector<uint32_t> presentedHashes;
struct Stop {};

uint32_t hashOf(const uint32_t *p) {
  uint32_t h = 2166136261u;
  for (int i = 0; i < kCanvasWidth * kCanvasHeight; ++i)
    h = (h ^ p[i]) * 16777619u;
  return h;
}

using FrameLoop = TempDir;

TEST_F(FrameLoop, FailedOpenReturnsOneBeforeDrawing) {
  std::memset(pixel, 0, sizeof pixel);
  openSucceeds = false;
  actorX = actorY = -1;
  testing::internal::CaptureStderr();
  EXPECT_EQ(flyover_main(), 1);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(actorY, 12000);
  EXPECT_EQ(actorX, 5000);
  for (uint32_t p : pixel)
    ASSERT_EQ(p, 0u);
}

TEST_F(FrameLoop, FramesFollowTheCameraSequenceThroughTheWrap) {
  fillMaps(3, 4);
  write("texture.raw", std::vector<uint8_t>(texture, texture + kTextureBytes));
  write("map.raw", std::vector<uint8_t>(map, map + kHeightBytes));
  std::memset(texture, 0, sizeof texture);
  std::memset(map, 0, sizeof map);

  openSucceeds = true;
  framesToPresent = 104;
  presentedHashes.clear();
  EXPECT_THROW(flyover_main(), Stop);
  ASSERT_EQ(presentedHashes.size(), 104u);

  // Frames 1..101 at 5000, 4950, ..., 0; frame 102 at 50000, then on.
  actorY = kStartY;
  for (int frame = 1; frame <= 104; ++frame) {
    actorX = frame <= 101 ? 5000 - 50 * (frame - 1) : 50000 - 50 * (frame - 102);
    renderFrameReference();
    ASSERT_EQ(presentedHashes[frame - 1], hashOf(pixel)) << "frame " << frame;
  }
}

} // namespace

extern "C" int ptc_open(const char *title, int32_t width, int32_t height) {
  EXPECT_STREQ(title, "test");
  EXPECT_EQ(width, 320);
  EXPECT_EQ(height, 200);
  return openSucceeds ? 1 : 0;
}

extern "C" int ptc_update(const void *buffer) {
  EXPECT_EQ(buffer, static_cast<const void *>(pixel));
  presentedHashes.push_back(hashOf(pixel));
  if (int(presentedHashes.size()) == framesToPresent)
    throw Stop();
  return 1;
}

extern "C" void ptc_close(void) { ADD_FAILURE() << "the frame loop never closes the display"; }
