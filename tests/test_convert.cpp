// The eight row converters, the selection of a converter from a pixel format,
// and the block routines at every instruction-set level built into this
// binary, each compared byte for byte with the plain reference of its layout.
#include "convert_reference.h"
#include "ptc.h"

#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

// --- What is under test ------------------------------------------------------

using copy_routine = void (*)(void *, const void *, uint32_t);
using block_routine = void (*)(uint8_t *, const uint32_t *, uint32_t);

// The block routines of one instruction-set level.
struct block_set {
    const char *name;
    bool (*supported)();
    copy_routine copy;
    block_routine bgr888_32, rgb888_24, bgr888_24, rgb565, bgr565, rgb555, bgr555;
};

#define LEVEL_ROUTINES(level)                                                         \
    extern "C" void level##_mmx_memcpy(void *, const void *, uint32_t);               \
    extern "C" void level##_mmx_convert_32_to_32_bgr888(uint8_t *, const uint32_t *, uint32_t); \
    extern "C" void level##_mmx_convert_32_to_24_rgb888(uint8_t *, const uint32_t *, uint32_t); \
    extern "C" void level##_mmx_convert_32_to_24_bgr888(uint8_t *, const uint32_t *, uint32_t); \
    extern "C" void level##_mmx_convert_32_to_16_rgb565(uint8_t *, const uint32_t *, uint32_t); \
    extern "C" void level##_mmx_convert_32_to_16_bgr565(uint8_t *, const uint32_t *, uint32_t); \
    extern "C" void level##_mmx_convert_32_to_16_rgb555(uint8_t *, const uint32_t *, uint32_t); \
    extern "C" void level##_mmx_convert_32_to_16_bgr555(uint8_t *, const uint32_t *, uint32_t);
#define LEVEL_SET(level, supported)                                                                  \
    block_set{#level, supported, level##_mmx_memcpy, level##_mmx_convert_32_to_32_bgr888,           \
              level##_mmx_convert_32_to_24_rgb888, level##_mmx_convert_32_to_24_bgr888,           \
              level##_mmx_convert_32_to_16_rgb565, level##_mmx_convert_32_to_16_bgr565,            \
              level##_mmx_convert_32_to_16_rgb555, level##_mmx_convert_32_to_16_bgr555}

}  // namespace

// The build's own routines of the two BGR layouts, which the shared header
// does not list.

LEVEL_ROUTINES(portable)
#ifdef FLYOVER_TEST_LEVEL_MMX
LEVEL_ROUTINES(mmx)
LEVEL_ROUTINES(sse2)
LEVEL_ROUTINES(ssse3)
LEVEL_ROUTINES(avx2)
#endif

namespace {

bool always() { return true; }
#ifdef FLYOVER_TEST_LEVEL_MMX
bool has_mmx() { return __builtin_cpu_supports("mmx"); }
bool has_sse2() { return __builtin_cpu_supports("sse2"); }
bool has_ssse3() { return __builtin_cpu_supports("ssse3"); }
bool has_avx2() { return __builtin_cpu_supports("avx2"); }
#endif

// The build's own routines (what the converters call) first, then the others.
const std::vector<block_set> &block_sets()
{
    static const std::vector<block_set> sets = {
        block_set{"build", always, mmx_memcpy, mmx_convert_32_to_32_bgr888, mmx_convert_32_to_24_rgb888,
                  mmx_convert_32_to_24_bgr888, mmx_convert_32_to_16_rgb565, mmx_convert_32_to_16_bgr565,
                  mmx_convert_32_to_16_rgb555, mmx_convert_32_to_16_bgr555},
        LEVEL_SET(portable, always),
#ifdef FLYOVER_TEST_LEVEL_MMX
        LEVEL_SET(mmx, has_mmx),
        LEVEL_SET(sse2, has_sse2),
        LEVEL_SET(ssse3, has_ssse3),
        LEVEL_SET(avx2, has_avx2),
#endif
    };
    return sets;
}

// One row of the table of supported formats, with its reference.
struct layout {
    const char *name;
    int32_t bits;
    uint32_t red_mask, green_mask, blue_mask;
    int bytes;
    pixel_converter converter, reference;
    block_routine block_set::*block;  // its block routine, unless it is the copy
    bool copy;                        // carried out by the byte copy instead
};

const layout layouts[] = {
    {"32 rgb888", 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 4, ptc_convert_32_to_32_rgb888,
     reference_convert_32_to_32_rgb888, nullptr, true},
    {"32 bgr888", 32, 0x000000FF, 0x0000FF00, 0x00FF0000, 4, ptc_convert_32_to_32_bgr888,
     reference_convert_32_to_32_bgr888, &block_set::bgr888_32, false},
    {"24 rgb888", 24, 0x00FF0000, 0x0000FF00, 0x000000FF, 3, ptc_convert_32_to_24_rgb888,
     reference_convert_32_to_24_rgb888, &block_set::rgb888_24, false},
    {"24 bgr888", 24, 0x000000FF, 0x0000FF00, 0x00FF0000, 3, ptc_convert_32_to_24_bgr888,
     reference_convert_32_to_24_bgr888, &block_set::bgr888_24, false},
    {"16 rgb565", 16, 0xF800, 0x07E0, 0x001F, 2, ptc_convert_32_to_16_rgb565, reference_convert_32_to_16_rgb565,
     &block_set::rgb565, false},
    {"16 bgr565", 16, 0x001F, 0x07E0, 0xF800, 2, ptc_convert_32_to_16_bgr565, reference_convert_32_to_16_bgr565,
     &block_set::bgr565, false},
    {"16 rgb555", 16, 0x7C00, 0x03E0, 0x001F, 2, ptc_convert_32_to_16_rgb555, reference_convert_32_to_16_rgb555,
     &block_set::rgb555, false},
    {"16 bgr555", 16, 0x001F, 0x03E0, 0x7C00, 2, ptc_convert_32_to_16_bgr555, reference_convert_32_to_16_bgr555,
     &block_set::bgr555, false},
};

// Something that converts a row of one layout: the converter, or a block
// routine of one level.
struct subject {
    std::string name;
    std::function<void(const uint32_t *, uint8_t *, uint32_t)> run;
};

std::vector<subject> subjects_of(const layout &l)
{
    std::vector<subject> subjects{{"converter", [&l](const uint32_t *s, uint8_t *d, uint32_t n) {
                                       l.converter(s, d, static_cast<int32_t>(n));
                                   }}};
    for (const block_set &set : block_sets()) {
        if (!set.supported())
            continue;
        const std::string name = std::string(set.name) + " block routine";
        if (l.copy) {
            const copy_routine copy = set.copy;
            subjects.push_back({name, [copy](const uint32_t *s, uint8_t *d, uint32_t n) { copy(d, s, n * 4); }});
        } else if (l.block) {
            const block_routine routine = set.*(l.block);
            subjects.push_back({name, [routine](const uint32_t *s, uint8_t *d, uint32_t n) { routine(d, s, n); }});
        }
    }
    return subjects;
}

void reference(const layout &l, const uint32_t *source, uint8_t *destination, uint32_t count)
{
    l.reference(source, destination, static_cast<int32_t>(count));
}

// Index of the first byte where a and b differ, or -1.
long first_difference(const uint8_t *a, const uint8_t *b, size_t size)
{
    if (size == 0 || memcmp(a, b, size) == 0)
        return -1;
    for (size_t i = 0; i < size; ++i)
        if (a[i] != b[i])
            return static_cast<long>(i);
    return -1;
}

// --- Counts, alignments, guard bytes -----------------------------------------

// A destination buffer with guard bytes of known values on both sides of
// the row.
class guarded {
public:
    guarded(size_t offset, size_t size) : offset_(offset), size_(size), buffer_(guard + offset + size + guard)
    {
        for (size_t i = 0; i < buffer_.size(); ++i)
            buffer_[i] = static_cast<uint8_t>(0xA7 + 31 * i);
    }
    uint8_t *row() { return buffer_.data() + guard + offset_; }
    // Whether every byte outside the row still holds its value.
    bool guards_intact() const
    {
        for (size_t i = 0; i < buffer_.size(); ++i) {
            const bool inside = i >= guard + offset_ && i < guard + offset_ + size_;
            if (!inside && buffer_[i] != static_cast<uint8_t>(0xA7 + 31 * i))
                return false;
        }
        return true;
    }

private:
    static constexpr size_t guard = 64;
    size_t offset_, size_;
    std::vector<uint8_t> buffer_;
};

// A source row at the given misalignment that ends where its allocation
// ends, so that the sanitizer reports any read past the last pixel.
class exact_source {
public:
    exact_source(size_t offset, const std::vector<uint32_t> &pixels)
        : buffer_(new uint8_t[offset + 4 * pixels.size()]), offset_(offset)
    {
        if (!pixels.empty())
            memcpy(buffer_.get() + offset, pixels.data(), 4 * pixels.size());
    }
    const uint32_t *pixels() const { return reinterpret_cast<const uint32_t *>(buffer_.get() + offset_); }

private:
    std::unique_ptr<uint8_t[]> buffer_;
    size_t offset_;
};

std::vector<uint32_t> random_pixels(size_t count, uint32_t seed)
{
    std::mt19937 random(seed);
    std::vector<uint32_t> pixels(count);
    for (uint32_t &p : pixels)
        p = static_cast<uint32_t>(random());
    return pixels;
}

std::vector<uint32_t> counts_to_test()
{
    std::vector<uint32_t> counts;
    for (uint32_t n = 0; n <= 72; ++n)
        counts.push_back(n);
    for (uint32_t n : {95u, 96u, 97u, 319u, 320u, 321u})
        counts.push_back(n);
    return counts;
}

class ConvertEveryLayout : public ::testing::TestWithParam<int> {};

// All 2^24 colours under three top bytes, in rows of 65,536 pixels, through
// everything that converts the layout.
TEST_P(ConvertEveryLayout, EveryColourMatchesTheReference)
{
    const layout &l = layouts[GetParam()];
    const std::vector<subject> subjects = subjects_of(l);
    const uint32_t row = 1u << 16;
    const size_t bytes = static_cast<size_t>(row) * l.bytes;
    std::vector<uint32_t> source(row);
    std::vector<uint8_t> expected(bytes), actual(bytes);
    for (const uint32_t top : {0x00u, 0xB4u, 0xFFu}) {
        for (uint32_t red = 0; red < 256; ++red) {
            for (uint32_t i = 0; i < row; ++i)
                source[i] = (top << 24) | (red << 16) | i;
            reference(l, source.data(), expected.data(), row);
            for (const subject &s : subjects) {
                memset(actual.data(), 0x5A, bytes);
                s.run(source.data(), actual.data(), row);
                const long at = first_difference(expected.data(), actual.data(), bytes);
                ASSERT_EQ(at, -1) << s.name << ", top byte " << top << ", red " << red << ", pixel " << at / l.bytes;
            }
        }
    }
}

// Every count from 0 to 72 (past two of the widest blocks and every tail)
// and around 320, at every misalignment of source and destination: exactly
// the reference's bytes, and nothing written outside the row.
TEST_P(ConvertEveryLayout, EveryCountAndAlignmentWritesExactlyTheRow)
{
    const layout &l = layouts[GetParam()];
    const std::vector<subject> subjects = subjects_of(l);
    for (const uint32_t count : counts_to_test()) {
        const std::vector<uint32_t> pixels = random_pixels(count, count + 1);
        const size_t bytes = static_cast<size_t>(count) * l.bytes;
        std::vector<uint8_t> expected(bytes + 1);
        reference(l, pixels.data(), expected.data(), count);
        for (size_t source_offset = 0; source_offset < 16; ++source_offset) {
            const exact_source source(source_offset, pixels);
            for (size_t destination_offset = 0; destination_offset < 16; ++destination_offset) {
                for (const subject &s : subjects) {
                    guarded destination(destination_offset, bytes);
                    s.run(source.pixels(), destination.row(), count);
                    const long at = first_difference(expected.data(), destination.row(), bytes);
                    ASSERT_EQ(at, -1) << s.name << ", count " << count << ", offsets " << source_offset << "/"
                                      << destination_offset;
                    ASSERT_TRUE(destination.guards_intact()) << s.name << " wrote outside the row, count " << count
                                                             << ", offsets " << source_offset << "/"
                                                             << destination_offset;
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, ConvertEveryLayout, ::testing::Range(0, 8),
                         [](const ::testing::TestParamInfo<int> &info) {
                             std::string name = layouts[info.param].name;
                             for (char &c : name)
                                 if (c == ' ')
                                     c = '_';
                             return name;
                         });

// The byte copy counts bytes: every count up to 200 and around a row of
// 320 pixels, at every misalignment, copies exactly that many.
TEST(Convert, ByteCopyCopiesExactlyCountBytes)
{
    std::vector<uint32_t> counts;
    for (uint32_t n = 0; n <= 200; ++n)
        counts.push_back(n);
    for (uint32_t n : {1279u, 1280u, 1281u})
        counts.push_back(n);
    for (const block_set &set : block_sets()) {
        if (!set.supported())
            continue;
        for (const uint32_t count : counts) {
            std::vector<uint8_t> bytes(count + 1);
            for (size_t i = 0; i < count; ++i)
                bytes[i] = static_cast<uint8_t>(i * 7 + 3);
            for (size_t source_offset = 0; source_offset < 16; ++source_offset) {
                std::unique_ptr<uint8_t[]> source(new uint8_t[source_offset + count]);
                memcpy(source.get() + source_offset, bytes.data(), count);
                for (size_t destination_offset = 0; destination_offset < 16; ++destination_offset) {
                    guarded destination(destination_offset, count);
                    set.copy(destination.row(), source.get() + source_offset, count);
                    ASSERT_EQ(first_difference(bytes.data(), destination.row(), count), -1)
                        << set.name << ", " << count << " bytes, offsets " << source_offset << "/"
                        << destination_offset;
                    ASSERT_TRUE(destination.guards_intact())
                        << set.name << ", " << count << " bytes, offsets " << source_offset << "/"
                        << destination_offset;
                }
            }
        }
    }
}

// --- Known values ------------------------------------------------------------

// Pixels whose bytes in each layout are worked out by hand, listed low byte
// first, one column per row of the format table.
TEST(Convert, KnownPixelsGiveTheirBytes)
{
    struct example {
        uint32_t pixel;
        std::vector<uint8_t> bytes[8];
    };
    const example examples[] = {
        {0x00123456,
         {{0x56, 0x34, 0x12, 0x00}, {0x12, 0x34, 0x56, 0x00}, {0x56, 0x34, 0x12}, {0x12, 0x34, 0x56},
          {0xAA, 0x11}, {0xA2, 0x51}, {0xCA, 0x08}, {0xC2, 0x28}}},
        {0xFF123456,
         {{0x56, 0x34, 0x12, 0xFF}, {0x12, 0x34, 0x56, 0x00}, {0x56, 0x34, 0x12}, {0x12, 0x34, 0x56},
          {0xAA, 0x11}, {0xA2, 0x51}, {0xCA, 0x08}, {0xC2, 0x28}}},
        {0xB4B4B4B4,
         {{0xB4, 0xB4, 0xB4, 0xB4}, {0xB4, 0xB4, 0xB4, 0x00}, {0xB4, 0xB4, 0xB4}, {0xB4, 0xB4, 0xB4},
          {0xB6, 0xB5}, {0xB6, 0xB5}, {0xD6, 0x5A}, {0xD6, 0x5A}}},
        {0x00FFFFFF,
         {{0xFF, 0xFF, 0xFF, 0x00}, {0xFF, 0xFF, 0xFF, 0x00}, {0xFF, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF},
          {0xFF, 0xFF}, {0xFF, 0xFF}, {0xFF, 0x7F}, {0xFF, 0x7F}}},
        {0x00070307,
         {{0x07, 0x03, 0x07, 0x00}, {0x07, 0x03, 0x07, 0x00}, {0x07, 0x03, 0x07}, {0x07, 0x03, 0x07},
          {0x00, 0x00}, {0x00, 0x00}, {0x00, 0x00}, {0x00, 0x00}}},
        {0x00FF0000,
         {{0x00, 0x00, 0xFF, 0x00}, {0xFF, 0x00, 0x00, 0x00}, {0x00, 0x00, 0xFF}, {0xFF, 0x00, 0x00},
          {0x00, 0xF8}, {0x1F, 0x00}, {0x00, 0x7C}, {0x1F, 0x00}}},
    };
    for (int row = 0; row < 8; ++row) {
        const layout &l = layouts[row];
        std::vector<subject> subjects = subjects_of(l);
        subjects.push_back({"reference", [&l](const uint32_t *s, uint8_t *d, uint32_t n) { reference(l, s, d, n); }});
        for (const example &e : examples) {
            // Alone, and at every place in a row long enough for every block.
            for (const uint32_t count : {1u, 64u}) {
                const std::vector<uint32_t> pixels(count, e.pixel);
                std::vector<uint8_t> expected;
                for (uint32_t i = 0; i < count; ++i)
                    expected.insert(expected.end(), e.bytes[row].begin(), e.bytes[row].end());
                for (const subject &s : subjects) {
                    std::vector<uint8_t> actual(expected.size());
                    s.run(pixels.data(), actual.data(), count);
                    EXPECT_EQ(actual, expected) << l.name << ", " << s.name << ", pixel " << std::hex << e.pixel;
                }
            }
        }
    }
}

// Names the levels whose block routines this run compares, and those that
// the processor cannot run.
TEST(Convert, LevelsUnderTest)
{
    for (const block_set &set : block_sets())
        std::printf("block routines %-9s %s\n", set.name, set.supported() ? "tested" : "not supported here, skipped");
}

// --- Selection -------------------------------------------------------------

pixel_converter expected_converter(int32_t bits, uint32_t red, uint32_t green, uint32_t blue)
{
    for (const layout &l : layouts)
        if (l.bits == bits && l.red_mask == red && l.green_mask == green && l.blue_mask == blue)
            return l.converter;
    return nullptr;
}

TEST(Convert, EachSupportedFormatSelectsItsConverter)
{
    for (const layout &l : layouts)
        EXPECT_EQ(ptc_request_converter(l.bits, l.red_mask, l.green_mask, l.blue_mask), l.converter) << l.name;
}

TEST(Convert, NearMissesSelectNothing)
{
    EXPECT_EQ(ptc_request_converter(15, 0x7C00, 0x03E0, 0x001F), nullptr);
    EXPECT_EQ(ptc_request_converter(32, 0x00FF0000, 0x0000FF00, 0x000000FE), nullptr);
    EXPECT_EQ(ptc_request_converter(8, 0, 0, 0), nullptr);
    EXPECT_EQ(ptc_request_converter(16, 0, 0, 0), nullptr);
    EXPECT_EQ(ptc_request_converter(32, 0xFF000000, 0x00FF0000, 0x0000FF00), nullptr);
    EXPECT_EQ(ptc_request_converter(16, 0x7C00, 0x07E0, 0x001F), nullptr);
    EXPECT_EQ(ptc_request_converter(32, 0x00FF0000, 0x0000FF00, 0x000000FF), ptc_convert_32_to_32_rgb888);
    EXPECT_EQ(ptc_request_converter(16, 0x7C00, 0x03E0, 0x001F), ptc_convert_32_to_16_rgb555);
    EXPECT_EQ(ptc_request_converter(24, 0x000000FF, 0x0000FF00, 0x00FF0000), ptc_convert_32_to_24_bgr888);

    // Every single bit flipped in the bit count or in one mask of every row:
    // no tolerance, no alias; only an exact row of the table matches.
    for (const layout &l : layouts) {
        for (int bit = 0; bit < 32; ++bit) {
            const uint32_t flip = 1u << bit;
            const int32_t bits = static_cast<int32_t>(static_cast<uint32_t>(l.bits) ^ flip);
            EXPECT_EQ(ptc_request_converter(bits, l.red_mask, l.green_mask, l.blue_mask),
                      expected_converter(bits, l.red_mask, l.green_mask, l.blue_mask))
                << l.name << ", bits " << bits;
            EXPECT_EQ(ptc_request_converter(l.bits, l.red_mask ^ flip, l.green_mask, l.blue_mask),
                      expected_converter(l.bits, l.red_mask ^ flip, l.green_mask, l.blue_mask))
                << l.name << ", red bit " << bit;
            EXPECT_EQ(ptc_request_converter(l.bits, l.red_mask, l.green_mask ^ flip, l.blue_mask),
                      expected_converter(l.bits, l.red_mask, l.green_mask ^ flip, l.blue_mask))
                << l.name << ", green bit " << bit;
            EXPECT_EQ(ptc_request_converter(l.bits, l.red_mask, l.green_mask, l.blue_mask ^ flip),
                      expected_converter(l.bits, l.red_mask, l.green_mask, l.blue_mask ^ flip))
                << l.name << ", blue bit " << bit;
        }
    }
}

}  // namespace
