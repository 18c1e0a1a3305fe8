// The stand-in's configuration from the environment, and the exact
// expansion of every screen format that the drivers show and write.
#include "convert_reference.h"
#include "driver.h"
#include "screen_format.h"
#include "settings.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <tuple>

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
}

TEST(PlatformSettings, BadValuesAreRefusedWithOneLineNamingTheVariable) {
  const std::vector<std::pair<Variables, std::string>> cases = {
      {{{"FLYOVER_DRIVER", "SDL"}}, "FLYOVER_DRIVER=SDL"},
      {{{"FLYOVER_DRIVER", ""}}, "FLYOVER_DRIVER="},
      {{{"FLYOVER_FORMAT", "rgb888 "}}, "FLYOVER_FORMAT=rgb888 "},
      {{{"FLYOVER_FORMAT", "pal8"}}, "FLYOVER_FORMAT=pal8"},
      {{{"FLYOVER_DEPTHS", ""}}, "FLYOVER_DEPTHS="},
      {{{"FLYOVER_DEPTHS", "24,"}}, "FLYOVER_DEPTHS=24,"},
      {{{"FLYOVER_DEPTHS", "15"}}, "FLYOVER_DEPTHS=15"},
      {{{"FLYOVER_DEPTHS", "4294967328"}}, "FLYOVER_DEPTHS=4294967328"},
      {{{"FLYOVER_FRAMES", "0"}}, "FLYOVER_FRAMES=0"},
      {{{"FLYOVER_FRAMES", "+5"}}, "FLYOVER_FRAMES=+5"},
      {{{"FLYOVER_FRAMES", "99999999999999999999999"}}, "FLYOVER_FRAMES=9"},
      {{{"FLYOVER_CAPTURE", "out.raw"}}, "FLYOVER_CAPTURE=out.raw needs FLYOVER_DRIVER=capture"},
      {{{"FLYOVER_DRIVER", "capture"}, {"FLYOVER_CAPTURE", ""}}, "FLYOVER_CAPTURE is set but empty"},
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
  const std::tuple<const char *, pixel_converter, int, int> cases[] = {
      // red and blue bits, green bits
      {"xrgb8888", reference_convert_32_to_32_rgb888, 8, 8}, {"xbgr8888", reference_convert_32_to_32_bgr888, 8, 8},
      {"rgb888", reference_convert_32_to_24_rgb888, 8, 8},   {"bgr888", reference_convert_32_to_24_bgr888, 8, 8},
      {"rgb565", reference_convert_32_to_16_rgb565, 5, 6},   {"bgr565", reference_convert_32_to_16_bgr565, 5, 6},
      {"rgb555", reference_convert_32_to_16_rgb555, 5, 5},   {"bgr555", reference_convert_32_to_16_bgr555, 5, 5},
  };
  constexpr uint32_t kCount = 65536;
  std::mt19937 random(7);
  std::vector<uint32_t> canvas(kCount), shown(kCount);
  for (uint32_t i = 0; i < kCount; ++i) // 5, 6 and 5 high bits from i; the rest at random
    canvas[i] = (i >> 11) << 19 | ((i >> 5) & 63) << 10 | (i & 31) << 3 | (random() & 0xFF070307);
  auto widened = [](uint32_t channel, int bits) {
    const uint32_t high = (channel & 0xFF) >> (8 - bits);
    return high << (8 - bits) | high >> (2 * bits - 8);
  };
  for (const auto &[name, convert, redBlueBits, greenBits] : cases) {
    std::vector<uint8_t> stored(kCount * 4);
    convert(canvas.data(), stored.data(), kCount);
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
