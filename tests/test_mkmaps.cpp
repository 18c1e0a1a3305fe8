// The map generator through its command line: the files it writes, their
// determinism and seams, and how it guards existing maps and bad input.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

int mkmaps_main(int argc, char **argv);

namespace {

namespace fs = std::filesystem;

constexpr int kSize = 500;

using Bytes = std::vector<uint8_t>;
using Names = std::vector<std::string>;

int run(Names args) {
  args.insert(args.begin(), "mkmaps");
  std::vector<char *> argv;
  for (auto &s : args)
    argv.push_back(s.data());
  argv.push_back(nullptr);
  return mkmaps_main(static_cast<int>(args.size()), argv.data());
}

Bytes readFile(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Names listing(const fs::path &dir) {
  Names names;
  for (const auto &entry : fs::directory_iterator(dir))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Both maps at their exact sizes, and nothing else.
void expectBothMaps(const fs::path &dir) {
  ASSERT_EQ(listing(dir), (Names{"map.raw", "texture.raw"}));
  EXPECT_EQ(fs::file_size(dir / "texture.raw"), 3u * kSize * kSize);
  EXPECT_EQ(fs::file_size(dir / "map.raw"), 1u * kSize * kSize);
}

// The largest step between neighbouring cells of one channel of a map:
// across its wrap edges, and inside it.
std::pair<int, int> largestSteps(const Bytes &data, int channels, int channel) {
  auto at = [&](int row, int col) { return int(data.at((size_t(row) * kSize + col) * channels + channel)); };
  int wrap = 0, inside = 0;
  for (int i = 0; i < kSize; ++i) {
    for (int j = 0; j + 1 < kSize; ++j)
      inside = std::max({inside, std::abs(at(i, j) - at(i, j + 1)), std::abs(at(j, i) - at(j + 1, i))});
    wrap = std::max({wrap, std::abs(at(i, kSize - 1) - at(i, 0)), std::abs(at(kSize - 1, i) - at(0, i))});
  }
  return {wrap, inside};
}

class MkMaps : public ::testing::Test {
protected:
  void SetUp() override { fs::create_directories(dir_); }
  void TearDown() override { fs::remove_all(dir_); }

  const fs::path dir_ = fs::temp_directory_path() / ("mkmaps-test-" + std::to_string(std::random_device()()) +
                                                     std::to_string(std::random_device()()));
};

// The default maps (seed 1) are the same bytes on every platform and compiler,
// which catches arithmetic that drifts with the floating-point unit or library;
// the same seed gives them again, another seed another landscape, and no step
// across the wrap edges is larger than the largest inside the map.
TEST_F(MkMaps, MapsAreFixedByTheSeedAndWrapWithoutSeams) {
  ASSERT_EQ(run({dir_.string()}), 0);
  expectBothMaps(dir_);
  auto fnv = [](const Bytes &data) {
    uint64_t h = 0xcbf29ce484222325ULL;
    for (uint8_t byte : data)
      h = (h ^ byte) * 0x100000001b3ULL;
    return h;
  };
  EXPECT_EQ(fnv(readFile(dir_ / "texture.raw")), 13182076714189022490ULL);
  EXPECT_EQ(fnv(readFile(dir_ / "map.raw")), 14146031943607678545ULL);

  const fs::path same = dir_ / "same", other = dir_ / "other";
  fs::create_directories(same);
  fs::create_directories(other);
  ASSERT_EQ(run({"--seed=1", same.string()}), 0);
  ASSERT_EQ(run({"--seed", "8", other.string()}), 0);
  for (const auto &[name, channels] : {std::pair{"map.raw", 1}, {"texture.raw", 3}}) {
    EXPECT_EQ(readFile(same / name), readFile(dir_ / name)) << name;
    EXPECT_NE(readFile(other / name), readFile(dir_ / name)) << name;
    for (const fs::path &out : {dir_, other}) {
      for (int channel = 0; channel < channels; ++channel) {
        const auto [wrap, inside] = largestSteps(readFile(out / name), channels, channel);
        EXPECT_LE(wrap, inside) << out / name << ", channel " << channel;
      }
    }
  }
}

// The two maps belong together: either one already there stops the run
// unless --force is given, and then both are replaced.
TEST_F(MkMaps, RefusesToReplaceEitherMapWithoutForce) {
  for (const char *existing : {"texture.raw", "map.raw"}) {
    const fs::path folder = dir_ / (std::string("with-") + existing);
    fs::create_directories(folder);
    std::ofstream(folder / existing) << "keep";
    EXPECT_NE(run({folder.string()}), 0);
    EXPECT_EQ(listing(folder), Names{existing});
    EXPECT_EQ(readFile(folder / existing), (Bytes{'k', 'e', 'e', 'p'}));
    EXPECT_EQ(run({"--force", folder.string()}), 0);
    expectBothMaps(folder);
  }
}

// Maps appear only by rename of a complete file: a failed rename leaves no
// half pair and no temporary file, and a temporary file left behind by an
// interrupted run does not get in the way.
TEST_F(MkMaps, WritesThroughTemporaryFilesAndCleansUpOnFailure) {
  fs::create_directories(dir_ / "map.raw" / "occupied");
  EXPECT_NE(run({"--force", dir_.string()}), 0);
  EXPECT_EQ(listing(dir_), Names{"map.raw"});

  fs::remove_all(dir_ / "map.raw");
  std::ofstream(dir_ / "texture.raw.tmp") << "stale";
  std::ofstream(dir_ / "map.raw.tmp") << "stale";
  EXPECT_EQ(run({dir_.string()}), 0);
  expectBothMaps(dir_);
}

TEST_F(MkMaps, RejectsBadArgumentsWithoutWritingAnything) {
  const std::string d = dir_.string(), missing = (dir_ / "no-such-folder").string();
  const Names bad[] = {{"--seed"},
                       {"--seed", "abc", d},
                       {"--seed", "-1", d},
                       {"--seed=", d},
                       {"--seed", "4294967296", d},
                       {"--seed", "12x", d},
                       {"--colour", d},
                       {d, d},
                       {missing}};
  for (const Names &args : bad)
    EXPECT_NE(run(args), 0) << ::testing::PrintToString(args);
  EXPECT_EQ(run({"--help"}), 0);
  EXPECT_TRUE(listing(dir_).empty());
  EXPECT_FALSE(fs::exists(missing));
  EXPECT_EQ(run({"--seed=4294967295", d}), 0);
}

} // namespace
