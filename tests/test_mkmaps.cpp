// The map generator through its command line: the files it writes, their
// determinism and seams, and how it guards existing maps and bad input.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <random>
#include <string>
#include <vector>

int mkmaps_main(int argc, char **argv);

namespace {

namespace fs = std::filesystem;

constexpr int kSize = 500;
constexpr size_t kTextureBytes = 750000;
constexpr size_t kHeightBytes = 250000;

using Bytes = std::vector<uint8_t>;

int run(std::initializer_list<std::string> args) {
    std::vector<std::string> strings{"mkmaps"};
    strings.insert(strings.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (auto &s : strings)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    return mkmaps_main(static_cast<int>(strings.size()), argv.data());
}

Bytes readFile(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const fs::path &path, const std::string &text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> listing(const fs::path &dir) {
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class MkMaps : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        dir_ = fs::temp_directory_path() / ("mkmaps-test-" + std::to_string(random()) + std::to_string(random()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // A fresh subdirectory with maps made from the given seed.
    fs::path generate(const std::string &name, const std::string &seed) {
        const fs::path out = dir_ / name;
        fs::create_directories(out);
        EXPECT_EQ(run({"--seed", seed, out.string()}), 0);
        return out;
    }

    fs::path dir_;
};

// Largest step between two cells, across the wrap edges or inside the map.
struct Steps {
    int wrap = 0;
    int inside = 0;
};

Steps steps(const Bytes &data, int channels, int channel) {
    Steps s;
    auto at = [&](int row, int col) { return int(data[(size_t(row) * kSize + size_t(col)) * channels + channel]); };
    for (int i = 0; i < kSize; ++i) {
        for (int j = 0; j + 1 < kSize; ++j) {
            s.inside = std::max({s.inside, std::abs(at(i, j) - at(i, j + 1)), std::abs(at(j, i) - at(j + 1, i))});
        }
        s.wrap = std::max({s.wrap, std::abs(at(i, kSize - 1) - at(i, 0)), std::abs(at(kSize - 1, i) - at(0, i))});
    }
    return s;
}

TEST_F(MkMaps, WritesBothMapsAtTheirExactSizesAndNothingElse) {
    ASSERT_EQ(run({dir_.string()}), 0);
    EXPECT_EQ(fs::file_size(dir_ / "texture.raw"), kTextureBytes);
    EXPECT_EQ(fs::file_size(dir_ / "map.raw"), kHeightBytes);
    EXPECT_EQ(listing(dir_), (std::vector<std::string>{"map.raw", "texture.raw"}));
}

TEST_F(MkMaps, SameSeedGivesSameBytesAndAnotherSeedAnotherLandscape) {
    const fs::path a = generate("a", "7");
    const fs::path b = generate("b", "7");
    const fs::path c = generate("c", "8");
    EXPECT_EQ(readFile(a / "texture.raw"), readFile(b / "texture.raw"));
    EXPECT_EQ(readFile(a / "map.raw"), readFile(b / "map.raw"));
    EXPECT_NE(readFile(a / "texture.raw"), readFile(c / "texture.raw"));
    EXPECT_NE(readFile(a / "map.raw"), readFile(c / "map.raw"));
}

// The default maps are the same bytes on every platform and compiler; this
// catches arithmetic that drifts with the floating-point unit or library.
TEST_F(MkMaps, DefaultMapsHaveFixedContents) {
    ASSERT_EQ(run({dir_.string()}), 0);
    auto fnv = [](const Bytes &data) {
        uint64_t h = 0xcbf29ce484222325ULL;
        for (uint8_t byte : data)
            h = (h ^ byte) * 0x100000001b3ULL;
        return h;
    };
    EXPECT_EQ(fnv(readFile(dir_ / "texture.raw")), 13182076714189022490ULL);
    EXPECT_EQ(fnv(readFile(dir_ / "map.raw")), 14146031943607678545ULL);
}

TEST_F(MkMaps, MapsWrapWithoutSeams) {
    for (const char *seed : {"1", "2024"}) {
        const fs::path out = generate(std::string("seed") + seed, seed);
        const Bytes heights = readFile(out / "map.raw");
        const Bytes colours = readFile(out / "texture.raw");
        ASSERT_EQ(heights.size(), kHeightBytes);
        ASSERT_EQ(colours.size(), kTextureBytes);
        const Steps h = steps(heights, 1, 0);
        EXPECT_LE(h.wrap, h.inside) << "seed " << seed;
        for (int channel = 0; channel < 3; ++channel) {
            const Steps c = steps(colours, 3, channel);
            EXPECT_LE(c.wrap, c.inside) << "seed " << seed << " channel " << channel;
        }
    }
}

// What the flight needs: flat water at the lowest level, a river under the
// camera's columns (85 to 154) in every row, and real relief beside it.
TEST_F(MkMaps, LandscapeHasLevelWaterAlongTheFlightPath) {
    for (const char *seed : {"1", "99"}) {
        const Bytes heights = readFile(generate(std::string("seed") + seed, seed) / "map.raw");
        ASSERT_EQ(heights.size(), kHeightBytes);
        const uint8_t lowest = *std::min_element(heights.begin(), heights.end());
        const uint8_t highest = *std::max_element(heights.begin(), heights.end());
        EXPECT_GE(std::count(heights.begin(), heights.end(), lowest), 5000) << "seed " << seed;
        EXPECT_GE(highest - lowest, 120) << "seed " << seed;
        for (int row = 0; row < kSize; ++row) {
            const auto first = heights.begin() + row * kSize + 85;
            const auto last = heights.begin() + row * kSize + 155;
            ASSERT_NE(std::find(first, last, lowest), last) << "seed " << seed << " row " << row;
            ASSERT_GE(*std::max_element(first, last) - lowest, 40) << "seed " << seed << " row " << row;
        }
    }
}

TEST_F(MkMaps, RefusesToReplaceEitherMapWithoutForce) {
    for (const char *existing : {"texture.raw", "map.raw"}) {
        const fs::path folder = dir_ / (std::string("with-") + existing);
        fs::create_directories(folder);
        writeFile(folder / existing, "keep");
        EXPECT_NE(run({folder.string()}), 0);
        EXPECT_EQ(listing(folder), std::vector<std::string>{existing});
        EXPECT_EQ(readFile(folder / existing), (Bytes{'k', 'e', 'e', 'p'}));

        EXPECT_EQ(run({"--force", folder.string()}), 0);
        EXPECT_EQ(fs::file_size(folder / "texture.raw"), kTextureBytes);
        EXPECT_EQ(fs::file_size(folder / "map.raw"), kHeightBytes);
    }
}

// Maps appear only by rename of a complete file: a failed write leaves no
// partial map and no temporary file, and a temporary file left behind by an
// interrupted run does not get in the way.
TEST_F(MkMaps, WritesThroughTemporaryFilesAndCleansUpOnFailure) {
    fs::create_directories(dir_ / "map.raw" / "occupied");
    EXPECT_NE(run({"--force", dir_.string()}), 0);
    EXPECT_EQ(listing(dir_), std::vector<std::string>{"map.raw"});
    EXPECT_TRUE(fs::is_directory(dir_ / "map.raw"));

    fs::remove_all(dir_ / "map.raw");
    writeFile(dir_ / "texture.raw.tmp", "stale");
    writeFile(dir_ / "map.raw.tmp", "stale");
    EXPECT_EQ(run({dir_.string()}), 0);
    EXPECT_EQ(listing(dir_), (std::vector<std::string>{"map.raw", "texture.raw"}));
    EXPECT_EQ(fs::file_size(dir_ / "texture.raw"), kTextureBytes);
}

TEST_F(MkMaps, RejectsBadArgumentsWithoutWritingAnything) {
    const std::string d = dir_.string();
    const std::string missing = (dir_ / "no-such-folder").string();
    EXPECT_NE(run({"--seed"}), 0);
    EXPECT_NE(run({"--seed", "abc", d}), 0);
    EXPECT_NE(run({"--seed", "-1", d}), 0);
    EXPECT_NE(run({"--seed", "4294967296", d}), 0);
    EXPECT_NE(run({"--seed=", d}), 0);
    EXPECT_NE(run({"--seed", "12x", d}), 0);
    EXPECT_NE(run({"--colour", d}), 0);
    EXPECT_NE(run({d, d}), 0);
    EXPECT_NE(run({missing}), 0);
    EXPECT_TRUE(listing(dir_).empty());
    EXPECT_FALSE(fs::exists(missing));

    EXPECT_EQ(run({"--help"}), 0);
    EXPECT_EQ(run({"--seed=4294967295", d}), 0);
}

}  // namespace
