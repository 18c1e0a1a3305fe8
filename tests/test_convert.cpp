// The eight row converters, the selection of a converter from a pixel format,
// the choice of a SIMD level, and the block routines at every level built
// into this binary that the processor runs, each compared byte for byte with
// the plain reference of its layout.
#include "layouts.h"
#include "mmx_levels.h"

#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

// The levels whose block routines the processor running the test can run.
std::vector<const simd_level *> runnable_levels() {
  size_t count = 0;
  const simd_level *const *runnable = simd_runnable_levels(&count);
  return {runnable, runnable + count};
}

using layout = converted_layout;
const auto &layouts = converted_layouts;

// What converts rows of a layout: its converter (null) and its block routine
// at every level the processor runs.
std::vector<const simd_level *> subjects() {
  std::vector<const simd_level *> all{nullptr};
  for (const simd_level *level : runnable_levels())
    all.push_back(level);
  return all;
}

const char *name_of(const simd_level *level) { return level ? level->name : "converter"; }

// Converts count pixels of layout l with its converter (level null) or with
// its block routine at the level.
void convert(const layout &l, const simd_level *level, const void *source, uint8_t *destination, uint32_t count) {
  const uint32_t *pixels = static_cast<const uint32_t *>(source);
  const pixel_converter routine = level ? level->routines->*simd_layout_routines[&l - layouts] : l.converter;
  routine(pixels, destination, static_cast<int32_t>(count));
}

size_t first_difference(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b) {
  return static_cast<size_t>(std::mismatch(a.begin(), a.end(), b.begin()).first - a.begin());
}

std::vector<uint8_t> random_bytes(size_t count, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes(count);
  for (uint8_t &b : bytes)
    b = static_cast<uint8_t>(random());
  return bytes;
}

// Runs write(destination, source) at every misalignment 0 to 15 of both
// pointers. The source ends where its allocation ends, so that the sanitizer
// reports any read past it; the destination lies between guard bytes. Passes
// when exactly `expected` was written, and nothing outside it.
template <typename Write>
::testing::AssertionResult writes_exactly(const std::vector<uint8_t> &source, const std::vector<uint8_t> &expected,
                                          Write write) {
  const size_t guard = 64;
  std::vector<uint8_t> guards(guard + 16 + expected.size() + guard), out, wanted;
  for (size_t i = 0; i < guards.size(); ++i)
    guards[i] = static_cast<uint8_t>(0xA7 + 31 * i);
  for (size_t source_offset = 0; source_offset < 16; ++source_offset) {
    std::unique_ptr<uint8_t[]> in(new uint8_t[source_offset + source.size()]);
    std::copy(source.begin(), source.end(), in.get() + source_offset);
    for (size_t offset = 0; offset < 16; ++offset) {
      out = wanted = guards;
      std::copy(expected.begin(), expected.end(), wanted.begin() + guard + offset);
      write(out.data() + guard + offset, in.get() + source_offset);
      if (out != wanted)
        return ::testing::AssertionFailure()
               << "offsets " << source_offset << "/" << offset << ": first wrong byte at "
               << static_cast<long>(first_difference(out, wanted)) - static_cast<long>(guard + offset)
               << " from the start of the row";
    }
  }
  return ::testing::AssertionSuccess();
}

class ConvertEveryLayout : public ::testing::TestWithParam<int> {};

// All 2^24 colours under three top bytes, in rows of 65,536 pixels, through
// everything that converts the layout.
TEST_P(ConvertEveryLayout, EveryColourMatchesTheReference) {
  const layout &l = layouts[GetParam()];
  const uint32_t row = 1u << 16;
  std::vector<uint32_t> source(row);
  std::vector<uint8_t> expected(row * l.bits / 8), actual(expected.size());
  for (const uint32_t top : {0x00u, 0xB4u, 0xFFu}) {
    for (uint32_t red = 0; red < 256; ++red) {
      for (uint32_t i = 0; i < row; ++i)
        source[i] = top << 24 | red << 16 | i;
      l.reference(source.data(), expected.data(), row);
      for (const simd_level *level : subjects()) {
        memset(actual.data(), 0x5A, actual.size());
        convert(l, level, source.data(), actual.data(), row);
        ASSERT_TRUE(actual == expected) << name_of(level) << ", top byte " << top << ", red " << red << ", pixel "
                                        << first_difference(actual, expected) * 8 / l.bits;
      }
    }
  }
}

// Every count from 0 to 136 (past two of the widest blocks, 64 pixels,
// through every tail) and around 320, at every misalignment: exactly the
// reference's bytes, nothing written outside the row, nothing read past it.
TEST_P(ConvertEveryLayout, EveryCountAndAlignmentWritesExactlyTheRow) {
  const layout &l = layouts[GetParam()];
  std::vector<uint32_t> counts{319, 320, 321};
  for (uint32_t n = 0; n <= 136; ++n)
    counts.push_back(n);
  for (const uint32_t count : counts) {
    const std::vector<uint8_t> source = random_bytes(4 * count, count);
    std::vector<uint8_t> expected(count * l.bits / 8);
    l.reference(reinterpret_cast<const uint32_t *>(source.data()), expected.data(), static_cast<int32_t>(count));
    for (const simd_level *level : subjects())
      ASSERT_TRUE(
          writes_exactly(source, expected, [&](uint8_t *d, const uint8_t *s) { convert(l, level, s, d, count); }))
          << name_of(level) << ", count " << count;
  }
}

INSTANTIATE_TEST_SUITE_P(Layouts, ConvertEveryLayout, ::testing::Range(0, kScreenLayoutCount),
                         [](const ::testing::TestParamInfo<int> &info) { return layouts[info.param].name; });

// Pixels whose value in each layout is worked out by hand, in the order of
// the table of layouts, stored low byte first.
TEST(Convert, KnownPixelsGiveTheirBytes) {
  const struct {
    uint32_t pixel, values[8];
  } examples[] = {
      {0x00123456, {0x00123456, 0x00563412, 0x123456, 0x563412, 0x11AA, 0x51A2, 0x08CA, 0x28C2}},
      {0xFF123456, {0xFF123456, 0x00563412, 0x123456, 0x563412, 0x11AA, 0x51A2, 0x08CA, 0x28C2}},
      {0xB4B4B4B4, {0xB4B4B4B4, 0x00B4B4B4, 0xB4B4B4, 0xB4B4B4, 0xB5B6, 0xB5B6, 0x5AD6, 0x5AD6}},
      {0x00FFFFFF, {0x00FFFFFF, 0x00FFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFF, 0xFFFF, 0x7FFF, 0x7FFF}},
      {0x00070307, {0x00070307, 0x00070307, 0x070307, 0x070307, 0x0000, 0x0000, 0x0000, 0x0000}},
      {0x00FF0000, {0x00FF0000, 0x000000FF, 0xFF0000, 0x0000FF, 0xF800, 0x001F, 0x7C00, 0x001F}},
  };
  for (const auto &e : examples) {
    for (int i = 0; i < 8; ++i) {
      const layout &l = layouts[i];
      std::vector<uint8_t> expected(l.bits / 8), reference(expected.size()), converted(expected.size());
      for (size_t k = 0; k < expected.size(); ++k)
        expected[k] = static_cast<uint8_t>(e.values[i] >> 8 * k);
      l.reference(&e.pixel, reference.data(), 1);
      l.converter(&e.pixel, converted.data(), 1);
      EXPECT_EQ(reference, expected) << l.name << ", pixel " << std::hex << e.pixel;
      EXPECT_EQ(converted, expected) << l.name << ", pixel " << std::hex << e.pixel;
    }
  }
}

// The cap makes the converters run at the capped level, or at the widest
// below it when the processor cannot run that one, and write the
// reference's bytes there; no cap, the widest of all; a name that is no
// level of this build changes nothing.
TEST(SimdDispatch, TheCapSetsTheConvertersLevelAndRefusesOthers) {
  size_t count = 0;
  const simd_level *all = simd_levels(&count);
  ASSERT_STREQ(all[0].name, "plain");
  const std::vector<uint8_t> source = random_bytes(4 * 333, 333);
  const simd_level *widest = nullptr;
  for (size_t i = 0; i < count; ++i) {
    if (all[i].runs_here)
      widest = &all[i];
    ASSERT_TRUE(simd_apply_cap(all[i].name));
    EXPECT_EQ(&simd_active_level(), widest) << all[i].name;
    for (const layout &l : layouts) {
      std::vector<uint8_t> expected(333 * l.bytes), converted(expected.size());
      l.reference(reinterpret_cast<const uint32_t *>(source.data()), expected.data(), 333);
      l.converter(reinterpret_cast<const uint32_t *>(source.data()), converted.data(), 333);
      EXPECT_EQ(converted, expected) << all[i].name << ", " << l.name;
    }
  }
  // A level of the other processor family.
  const char *foreign = strstr(simd_level_list, "neon") ? "avx2" : "neon";
  for (const char *unknown : {"avx9", "SSE2", "sse2 ", "mmx,sse2", foreign}) {
    EXPECT_FALSE(simd_apply_cap(unknown)) << unknown;
    EXPECT_EQ(&simd_active_level(), widest) << unknown;
  }
  ASSERT_TRUE(simd_apply_cap("plain"));
  for (const char *none : {"", static_cast<const char *>(nullptr)}) {
    ASSERT_TRUE(simd_apply_cap(none));
    EXPECT_EQ(&simd_active_level(), widest);
  }
}

// Only an exact row of the table selects a converter: each row its own, and
// nothing with any single bit of the bit count or of one mask flipped (no
// tolerance, no alias), nor for the near misses below.
TEST(Convert, OnlyAnExactFormatSelectsItsConverter) {
  for (const layout &l : layouts) {
    EXPECT_EQ(ptc_request_converter(l.bits, l.red, l.green, l.blue), l.converter) << l.name;
    for (int field = 0; field < 4; ++field) {
      for (int bit = 0; bit < 32; ++bit) {
        uint32_t f[] = {static_cast<uint32_t>(l.bits), l.red, l.green, l.blue};
        f[field] ^= 1u << bit;
        EXPECT_EQ(ptc_request_converter(static_cast<int32_t>(f[0]), f[1], f[2], f[3]), nullptr)
            << l.name << ", field " << field << ", bit " << bit;
      }
    }
  }
  const uint32_t near_misses[][4] = {
      {15, 0x7C00, 0x03E0, 0x001F},
      {8, 0, 0, 0},
      {16, 0, 0, 0},
      {32, 0xFF000000, 0x00FF0000, 0x0000FF00},
  };
  for (const auto &m : near_misses)
    EXPECT_EQ(ptc_request_converter(static_cast<int32_t>(m[0]), m[1], m[2], m[3]), nullptr) << m[0] << " bits";
}

} // namespace
