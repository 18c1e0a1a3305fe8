// The stand-in's configuration from the environment, and the exact
// expansion of every screen format that the drivers show and write.
#include "layouts.h"
#include "mmx_levels.h"
#include "driver.h"
#include "screen_format.h"
#include "settings.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>

namespace flyover {
namespace {

using Variables = std::map<std::string, std::string>;

bool read(const Variables &variables, Settings &settings, std::string &error) {
  auto lookup = [](const char *name, void *context) -> const char * {
    const auto &table = *static_cast<const Variables *>(context);
    return table.count(name) ? table.at(name).c_str() : nullptr;
  };
  return readSettings(lookup, const_cast<Variables *>(&variables), settings, error);
}

TEST(PlatformSettings, FormatAndDepthsChooseTheModes) {
  Settings settings;
  std::string error;
  // Unset: the build's default screen at 32 bits only, in xrgb8888.
  ASSERT_TRUE(read({}, settings, error)) << error;
  EXPECT_EQ(settings.driver, defaultDriver().name);
  EXPECT_STREQ(settings.formatOfMode(32)->name, "xrgb8888");
  EXPECT_EQ(settings.formatOfMode(16), nullptr);
  // A format alone brings its own depth.
  ASSERT_TRUE(read({{"FLYOVER_FORMAT", "bgr888"}}, settings, error)) << error;
  EXPECT_EQ(settings.depths, std::vector<uint32_t>{24});
  // The format's depth reports it, other depths their usual format.
  ASSERT_TRUE(read({{"FLYOVER_FORMAT", "bgr555"}, {"FLYOVER_DEPTHS", "32,24,16,8"}}, settings, error)) << error;
  for (const auto &[bits, name] :
       {std::pair<uint32_t, const char *>{16, "bgr555"}, {24, "rgb888"}, {32, "xrgb8888"}, {8, "pal8"}})
    EXPECT_STREQ(settings.formatOfMode(bits)->name, name) << bits;
  EXPECT_EQ(settings.formatOfMode(15), nullptr);
  // Every SIMD level the converters carry is a cap.
  size_t count = 0;
  const simd_level *levels = simd_levels(&count);
  for (size_t i = 0; i < count; ++i)
    EXPECT_TRUE(read({{"FLYOVER_SIMD_MAX", levels[i].name}}, settings, error)) << error;
}

TEST(PlatformSettings, BadValuesAreRefusedWithOneLineNamingTheVariable) {
  const std::vector<std::pair<Variables, std::string>> cases = {
      {{{"FLYOVER_DRIVER", "SDL"}}, "FLYOVER_DRIVER=SDL"},
      {{{"FLYOVER_DRIVER", ""}}, "FLYOVER_DRIVER="},
      {{{"FLYOVER_FORMAT", "rgb888 "}}, "FLYOVER_FORMAT=rgb888 "},
      {{{"FLYOVER_FORMAT", "pal8"}}, "FLYOVER_FORMAT=pal8"},
      {{{"FLYOVER_FORMAT", "rgb\n565"}}, "FLYOVER_FORMAT=rgb\\x0a565 is"},
      {{{"FLYOVER_DEPTHS", ""}}, "FLYOVER_DEPTHS="},
      {{{"FLYOVER_DEPTHS", "24,"}}, "FLYOVER_DEPTHS=24,"},
      {{{"FLYOVER_DEPTHS", "15"}}, "FLYOVER_DEPTHS=15"},
      {{{"FLYOVER_DEPTHS", "4294967328"}}, "FLYOVER_DEPTHS=4294967328"},
      {{{"FLYOVER_FRAMES", "0"}}, "FLYOVER_FRAMES=0"},
      {{{"FLYOVER_FRAMES", "+5"}}, "FLYOVER_FRAMES=+5"},
      {{{"FLYOVER_FRAMES", "99999999999999999999999"}}, "FLYOVER_FRAMES=9"},
      {{{"FLYOVER_CAPTURE", "out.raw"}}, "FLYOVER_CAPTURE=out.raw needs FLYOVER_DRIVER=capture"},
      {{{"FLYOVER_DRIVER", "capture"}, {"FLYOVER_CAPTURE", ""}}, "FLYOVER_CAPTURE is set but empty"},
      {{{"FLYOVER_SDL_PRESENT", "Surface"}}, "FLYOVER_SDL_PRESENT=Surface is not a presentation"},
      {{{"FLYOVER_SIMD_MAX", "SSE2"}}, "FLYOVER_SIMD_MAX=SSE2 is not a SIMD level of this build (plain"},
  };
  for (const auto &[variables, message] : cases) {
    Settings settings;
    std::string error;
    EXPECT_FALSE(read(variables, settings, error)) << message;
    EXPECT_NE(error.find(message), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
  }
}

// The canvas through each of the eight reference converters and back through
// the expansion: 8-bit channels come back unchanged, narrower ones with their
// low bits replaced by copies of their high bits, so the window shows exactly
// what the program stored. The canvas reaches every value of the 16-bit formats.
TEST(PixelExpansion, EveryConverterFormatShowsTheCanvasColoursExactly) {
  constexpr uint32_t kCount = 65536;
  std::mt19937 random(7);
  std::vector<uint32_t> canvas(kCount), shown(kCount);
  for (uint32_t i = 0; i < kCount; ++i) // 5, 6 and 5 high bits from i; the rest at random
    canvas[i] = (i >> 11) << 19 | ((i >> 5) & 63) << 10 | (i & 31) << 3 | (random() & 0xFF070307);
  auto widened = [](uint32_t channel, int bits) {
    const uint32_t high = (channel & 0xFF) >> (8 - bits);
    return high << (8 - bits) | high >> (2 * bits - 8);
  };
  for (const converted_layout &layout : converted_layouts) {
    const char *name = layout.name;
    const int redBlueBits = __builtin_popcount(layout.red), greenBits = __builtin_popcount(layout.green);
    std::vector<uint8_t> stored(kCount * 4);
    layout.reference(canvas.data(), stored.data(), kCount);
    PixelExpander(*findScreenFormat(name)).row(stored.data(), shown.data(), kCount);
    for (uint32_t i = 0; i < kCount; ++i) {
      const uint32_t c = canvas[i];
      const uint32_t want =
          widened(c >> 16, redBlueBits) << 16 | widened(c >> 8, greenBits) << 8 | widened(c, redBlueBits);
      ASSERT_EQ(shown[i], want) << name << " canvas " << std::hex << c;
    }
  }
}

} // namespace
} // namespace flyover
