// The stand-in's configuration from the environment, and the exact
// expansion of every screen format that the drivers show and write.
#include "convert_reference.h"
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
  return readSettings(
      [](const char *name, void *context) -> const char * {
        const auto &vars = *static_cast<const Variables *>(context);
        const auto found = vars.find(name);
        return found == vars.end() ? nullptr : found->second.c_str();
      },
      const_cast<Variables *>(&variables), settings, error);
}

TEST(PlatformSettings, DefaultsAreTheSdlWindowInXrgb8888AtThirtyTwoBitsOnly) {
  Settings settings;
  std::string error;
  ASSERT_TRUE(read({}, settings, error)) << error;
  EXPECT_EQ(settings.driver, "sdl");
  EXPECT_STREQ(settings.format->name, "xrgb8888");
  EXPECT_EQ(settings.depths, std::vector<uint32_t>{32});
  EXPECT_EQ(settings.frames, 0u);
  EXPECT_TRUE(settings.capture.empty());
  EXPECT_EQ(settings.formatOfMode(32), settings.format);
  EXPECT_EQ(settings.formatOfMode(24), nullptr);
  EXPECT_EQ(settings.formatOfMode(16), nullptr);
}

TEST(PlatformSettings, ModeAtTheFormatsDepthReportsItOtherDepthsTheirUsualFormat) {
  Settings settings;
  std::string error;
  ASSERT_TRUE(read({{"FLYOVER_FORMAT", "bgr555"}, {"FLYOVER_DEPTHS", "32,24,16,8"}}, settings, error)) << error;
  EXPECT_STREQ(settings.formatOfMode(16)->name, "bgr555");
  EXPECT_STREQ(settings.formatOfMode(24)->name, "rgb888");
  EXPECT_STREQ(settings.formatOfMode(32)->name, "xrgb8888");
  EXPECT_STREQ(settings.formatOfMode(8)->name, "pal8");
  EXPECT_EQ(settings.formatOfMode(15), nullptr);

  ASSERT_TRUE(read({{"FLYOVER_FORMAT", "bgr888"}}, settings, error)) << error;
  EXPECT_EQ(settings.depths, std::vector<uint32_t>{24});
  ASSERT_TRUE(read({{"FLYOVER_FORMAT", "yuy2"}, {"FLYOVER_DEPTHS", "24,16"}}, settings, error)) << error;
  EXPECT_STREQ(settings.formatOfMode(16)->name, "yuy2");
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

TEST(PixelExpansion, NarrowChannelsWidenByRepeatingTheirBits) {
  EXPECT_EQ(widenChannel(0, 5), 0u);
  EXPECT_EQ(widenChannel(31, 5), 255u);
  EXPECT_EQ(widenChannel(16, 5), 132u);
  EXPECT_EQ(widenChannel(22, 5), 181u); // the background 0xB4 in 5 bits
  EXPECT_EQ(widenChannel(63, 6), 255u);
  EXPECT_EQ(widenChannel(45, 6), 182u);
  EXPECT_EQ(widenChannel(0xA, 4), 0xAAu);
  EXPECT_EQ(widenChannel(0xB4, 8), 0xB4u);
}

// Every 16-bit value survives expansion and the converters' reduction
// (dropping low bits): nothing is rounded, so the window shows exactly what
// the program stored.
TEST(PixelExpansion, SixteenBitFormatsAreExactForEveryValue) {
  for (const char *name : {"rgb565", "bgr565", "rgb555", "bgr555", "rgb444"}) {
    const ScreenFormat &format = *findScreenFormat(name);
    const PixelExpander expander(format);
    for (uint32_t value = 0; value < 65536; ++value) {
      const uint32_t stored = value & (format.red | format.green | format.blue);
      const uint8_t bytes[2] = {static_cast<uint8_t>(stored), static_cast<uint8_t>(stored >> 8)};
      uint32_t shown = 0;
      expander.row(bytes, &shown, 1);
      auto field = [](uint32_t channel, uint32_t mask) {
        const uint32_t width = __builtin_popcount(mask);
        return (channel >> (8 - width)) << __builtin_ctz(mask);
      };
      const uint32_t back = field((shown >> 16) & 0xFF, format.red) | field((shown >> 8) & 0xFF, format.green) |
                            field(shown & 0xFF, format.blue);
      ASSERT_EQ(back, stored) << name << " value " << value;
      ASSERT_EQ(shown >> 24, 0u);
    }
  }
}

// A canvas row through each of the eight reference converters and back
// through the expansion: 8-bit channels come back unchanged, narrower ones
// with their low bits replaced by copies of their high bits.
TEST(PixelExpansion, EachConverterFormatShowsTheCanvasColours) {
  struct Case {
    const char *format;
    pixel_converter convert;
    int redBits, greenBits, blueBits;
  };
  const Case cases[] = {
      {"xrgb8888", reference_convert_32_to_32_rgb888, 8, 8, 8}, {"xbgr8888", reference_convert_32_to_32_bgr888, 8, 8, 8},
      {"rgb888", reference_convert_32_to_24_rgb888, 8, 8, 8},   {"bgr888", reference_convert_32_to_24_bgr888, 8, 8, 8},
      {"rgb565", reference_convert_32_to_16_rgb565, 5, 6, 5},   {"bgr565", reference_convert_32_to_16_bgr565, 5, 6, 5},
      {"rgb555", reference_convert_32_to_16_rgb555, 5, 5, 5},   {"bgr555", reference_convert_32_to_16_bgr555, 5, 5, 5},
  };
  std::mt19937 random(7);
  std::vector<uint32_t> canvas(320);
  for (uint32_t &p : canvas)
    p = random();
  canvas[0] = 0xB4B4B4B4; // the background, top byte set
  canvas[1] = 0x00FFFFFF;
  canvas[2] = 0;
  for (const Case &c : cases) {
    const PixelExpander expander(*findScreenFormat(c.format));
    std::vector<uint8_t> row(320 * 4);
    std::vector<uint32_t> shown(320);
    c.convert(canvas.data(), row.data(), 320);
    expander.row(row.data(), shown.data(), 320);
    for (int i = 0; i < 320; ++i) {
      auto expect = [&](int shift, int bits) {
        return widenChannel(((canvas[i] >> shift) & 0xFF) >> (8 - bits), bits) << shift;
      };
      const uint32_t want = expect(16, c.redBits) | expect(8, c.greenBits) | expect(0, c.blueBits);
      ASSERT_EQ(shown[i], want) << c.format << " pixel " << i << " canvas " << std::hex << canvas[i];
    }
  }
}

TEST(PixelExpansion, Yuy2AndPaletteModesShowSomethingSensible) {
  const PixelExpander yuy2(*findScreenFormat("yuy2"));
  const uint8_t pairs[8] = {235, 128, 16, 128, 81, 90, 81, 240}; // white, black; red, red
  uint32_t shown[4];
  yuy2.row(pairs, shown, 4);
  EXPECT_EQ(shown[0], 0xFFFFFFu);
  EXPECT_EQ(shown[1], 0x000000u);
  EXPECT_EQ(shown[2] >> 16, 255u);
  EXPECT_LT(shown[2] & 0xFFFF, 0x0400u);

  const PixelExpander pal8(*findScreenFormat("pal8"));
  const uint8_t indices[2] = {0, 0x7F};
  pal8.row(indices, shown, 2);
  EXPECT_EQ(shown[0], 0u);
  EXPECT_EQ(shown[1], 0x7F7F7Fu);
}

} // namespace
} // namespace flyover
