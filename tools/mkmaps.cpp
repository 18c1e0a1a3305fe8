// mkmaps: writes the terrain maps for the flyover, kTextureFile (cells of
// red, green, blue) and kHeightFile (heights): the generated landscape of
// a seed, or maps made from a height picture and, if given, a colour one.

#include "landscape.h"
#include "picture.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>
#include <vector>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#ifndef O_BINARY
#define O_BINARY 0
#endif

namespace {

constexpr uint32_t kDefaultSeed = 1;

// ---------------------------------------------------------------------------
// Files

namespace fs = std::filesystem;

// A path's text for the system's narrow calls and for messages: UTF-8, which
// is what the command line gives on Windows too (the programs' manifest
// makes it the code page there; path::string() would use another).
std::string text(const fs::path &path) { return path.u8string(); }

// Tries make(name) under names beside path that nobody can guess, each
// ending in kind, while the name it tried was taken. Returns make's last
// result.
template <typename Make> std::error_code unusedName(const fs::path &path, const char *kind, fs::path &name, Make make) {
  std::random_device random;
  std::error_code error = std::make_error_code(std::errc::file_exists);
  for (int attempt = 0; attempt < 16 && error == std::errc::file_exists; ++attempt) {
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".%08x.%s", static_cast<unsigned>(random()), kind);
    name = path;
    name += suffix;
    error = make(name);
  }
  return error;
}

// Creates a temporary file beside path, and only if nothing, not even a
// link, is there already: a link planted in the folder cannot make mkmaps
// write anywhere else. Returns the descriptor, or -1 with errno set.
int createTemporary(const fs::path &path, fs::path &temp) {
  int fd = -1;
  const std::error_code error = unusedName(path, "tmp", temp, [&fd](const fs::path &name) {
    fd = ::open(text(name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_BINARY, 0666);
    return std::error_code(fd >= 0 ? 0 : errno, std::generic_category());
  });
  errno = error.value();
  return fd;
}

// Writes data to a new temporary file beside path; the map itself appears
// only by rename once complete, so an interrupted run leaves no short map.
bool writeTemporary(const std::filesystem::path &path, const std::vector<uint8_t> &data, std::filesystem::path &temp) {
  const int fd = createTemporary(path, temp);
  if (fd < 0) {
    std::fprintf(stderr, "mkmaps: cannot create a temporary file beside %s: %s\n", text(path).c_str(),
                 std::strerror(errno));
    temp.clear();
    return false;
  }
  size_t done = 0;
  int error = 0;
  while (done < data.size() && error == 0) {
    const auto n = ::write(fd, data.data() + done, static_cast<unsigned>(data.size() - done));
    if (n > 0)
      done += size_t(n);
    else if (n == 0 || errno != EINTR)
      error = n == 0 ? ENOSPC : errno;
  }
  if (::close(fd) != 0 && error == 0)
    error = errno;
  if (error != 0) {
    std::fprintf(stderr, "mkmaps: cannot write %s: %s\n", text(temp).c_str(), std::strerror(error));
    std::remove(text(temp).c_str());
    temp.clear();
    return false;
  }
  return true;
}

// A second name for the map at path, kept until its new partner is in
// place so that it can be put back: a hard link, or where the file system
// has none (FAT), the map itself moved aside, which sets away. Nothing is
// kept where there is no map; false, having said why, when it cannot be.
bool keepOld(const fs::path &path, fs::path &kept, bool &away) {
  std::error_code error;
  if (!fs::exists(fs::symlink_status(path, error))) {
    kept.clear();
    return true;
  }
  error = unusedName(path, "old", kept, [&path](const fs::path &name) {
    std::error_code linked;
    fs::create_hard_link(path, name, linked);
    return linked;
  });
  if (error && error != std::errc::file_exists) {
    error.clear();
    fs::rename(path, kept, error);
    away = !error;
  }
  if (error) {
    std::fprintf(stderr, "mkmaps: cannot keep %s as %s until the new maps are in place: %s; no map was replaced\n",
                 text(path).c_str(), text(kept).c_str(), error.message().c_str());
    kept.clear();
  }
  return !error;
}

// Both maps or neither: they describe one landscape, and a lone map would
// stop a caller that checks for missing maps from making the pair again.
// The colour map goes first, its old self kept under a second name, so that
// a height map that cannot follow it puts it back.
bool writeMaps(const fs::path &dir, const Maps &maps) {
  const fs::path texturePath = dir / kTextureFile, heightPath = dir / kHeightFile;
  fs::path textureTemp, heightTemp, kept;
  bool away = false; // the old colour map is no longer at texturePath
  const auto removeTemporaries = [&] {
    for (const fs::path *temp : {&textureTemp, &heightTemp})
      if (!temp->empty())
        std::remove(text(*temp).c_str());
  };
  if (!writeTemporary(texturePath, maps.texture, textureTemp) || !writeTemporary(heightPath, maps.height, heightTemp) ||
      !keepOld(texturePath, kept, away)) {
    removeTemporaries();
    return false;
  }
  std::error_code error;
  const fs::path *from = &textureTemp, *to = &texturePath;
  fs::rename(textureTemp, texturePath, error);
  if (!error) {
    away = true;
    textureTemp.clear();
    from = &heightTemp;
    to = &heightPath;
    fs::rename(heightTemp, heightPath, error);
  }
  if (!error) {
    if (!kept.empty())
      std::remove(text(kept).c_str());
    return true;
  }
  std::error_code undone;
  if (!away && !kept.empty())
    std::remove(text(kept).c_str()); // only the link was made
  else if (away && kept.empty())
    fs::remove(texturePath, undone); // there was no colour map
  else if (away)
    fs::rename(kept, texturePath, undone);
  const std::string what = !undone        ? "the maps there are as they were"
                           : kept.empty() ? "the new " + text(texturePath) + " stays: " + undone.message()
                                          : "the old " + text(texturePath) + " is kept as " + text(kept);
  std::fprintf(stderr, "mkmaps: cannot rename %s to %s: %s; %s\n", text(*from).c_str(), text(*to).c_str(),
               error.message().c_str(), what.c_str());
  removeTemporaries();
  return false;
}

// ---------------------------------------------------------------------------
// Command line

void usage(std::FILE *out) {
  std::fprintf(out,
               "usage: mkmaps [--seed N] [--force] [DIRECTORY]\n"
               "       mkmaps --height IMAGE [--colour IMAGE] [--height-range keep] [--force] [DIRECTORY]\n"
               "Writes the terrain maps %s and %s into DIRECTORY (the current\n"
               "directory when omitted): the generated landscape, or maps made from pictures\n"
               "(PNG or JPEG, up to %d pixels on a side and %lld in all).\n"
               "  --seed N             landscape number, 0 to 4294967295 (default %u)\n"
               "  --height IMAGE       heights from the picture's grey or luminance, lowest to\n"
               "                       highest spread over levels 0 to 255\n"
               "  --colour IMAGE       the colour map from a picture; without it the heights\n"
               "                       are coloured as the generated landscape is\n"
               "  --height-range keep  take an 8-bit picture's values as the levels\n"
               "  --force              replace maps that already exist\n",
               kTextureFile, kHeightFile, kLargestSide, static_cast<long long>(kMostPixels),
               static_cast<unsigned>(kDefaultSeed));
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

struct Options {
  uint32_t seed = kDefaultSeed;
  bool force = false;
  const char *directory = nullptr;
  const char *heightPicture = nullptr;
  const char *colourPicture = nullptr;
  HeightRange range = HeightRange::Spread;
  bool rangeGiven = false;
};

// An option's value, as "--name VALUE" or "--name=VALUE"; null when absent.
const char *valueOf(const std::string &name, int argc, char **argv, int &i) {
  const std::string arg = argv[i];
  if (arg == name)
    return i + 1 < argc ? argv[++i] : nullptr;
  return argv[i] + name.size() + 1;
}

bool isOption(const std::string &arg, const std::string &name) { return arg == name || arg.rfind(name + "=", 0) == 0; }

// False, having said why, when the command line is wrong.
bool parse(int argc, char **argv, Options &options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--force") {
      options.force = true;
    } else if (isOption(arg, "--seed")) {
      if (!parseSeed(valueOf("--seed", argc, argv, i), options.seed)) {
        std::fprintf(stderr, "mkmaps: --seed needs a whole number from 0 to 4294967295\n");
        return false;
      }
    } else if (isOption(arg, "--height") || isOption(arg, "--colour")) {
      const std::string name = arg.substr(0, arg.find('='));
      const char *value = valueOf(name, argc, argv, i);
      if (value == nullptr || *value == '\0') {
        std::fprintf(stderr, "mkmaps: %s needs a picture file\n", name.c_str());
        return false;
      }
      (name == "--height" ? options.heightPicture : options.colourPicture) = value;
    } else if (isOption(arg, "--height-range")) {
      const char *value = valueOf("--height-range", argc, argv, i);
      const std::string range = value != nullptr ? value : "";
      if (range != "keep" && range != "spread") {
        std::fprintf(stderr, "mkmaps: --height-range is keep or spread\n");
        return false;
      }
      options.range = range == "keep" ? HeightRange::Keep : HeightRange::Spread;
      options.rangeGiven = true;
    } else if (!arg.empty() && arg[0] == '-') {
      std::fprintf(stderr, "mkmaps: unknown option %s (mkmaps --help lists them)\n", argv[i]);
      return false;
    } else if (arg.empty()) {
      std::fprintf(stderr, "mkmaps: the directory is an empty argument\n");
      return false;
    } else if (options.directory != nullptr) {
      std::fprintf(stderr, "mkmaps: only one directory may be given\n");
      return false;
    } else {
      options.directory = argv[i];
    }
  }
  if (options.heightPicture == nullptr && (options.colourPicture != nullptr || options.rangeGiven)) {
    std::fprintf(stderr, "mkmaps: --colour and --height-range go with --height\n");
    return false;
  }
  return true;
}

// The maps from the pictures; false, having said why, when one cannot be
// used.
bool mapsFromPictures(const Options &options, Maps &maps) {
  std::string error;
  std::vector<int32_t> fine;
  std::vector<uint8_t> colours;
  if (!readHeightPicture(options.heightPicture, options.range, fine, error) ||
      (options.colourPicture != nullptr && !readColourPicture(options.colourPicture, colours, error))) {
    std::fprintf(stderr, "mkmaps: %s\n", error.c_str());
    return false;
  }
  maps = colourHeights(fine, options.seed);
  if (!colours.empty())
    maps.texture = std::move(colours);
  return true;
}

} // namespace

int main(int argc, char **argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      usage(stdout);
      return 0;
    }
  }
  // A wrong command line is told in the one line parse() writes, not
  // buried above a page of usage.
  Options options;
  if (!parse(argc, argv, options))
    return 2;

  const fs::path dir = fs::u8path(options.directory != nullptr ? options.directory : ".");
  std::error_code error;
  if (!fs::is_directory(dir, error)) {
    std::fprintf(stderr, "mkmaps: %s is not a directory\n", text(dir).c_str());
    return 1;
  }
  // The two maps belong together: replace neither when either exists,
  // unless forced, and nothing but a file: a folder or a device in a map's
  // place would take one map and not the other.
  for (const char *name : {kTextureFile, kHeightFile}) {
    const fs::path path = dir / name;
    const fs::file_type type = fs::symlink_status(path, error).type();
    if (type == fs::file_type::not_found)
      continue;
    if (!options.force || type != fs::file_type::regular) {
      std::fprintf(stderr,
                   options.force ? "mkmaps: %s is not a regular file; no map was written\n"
                                 : "mkmaps: %s exists; use --force to replace the maps\n",
                   text(path).c_str());
      return 1;
    }
  }

  Maps maps;
  if (options.heightPicture == nullptr)
    maps = generateLandscape(options.seed);
  else if (!mapsFromPictures(options, maps))
    return 1;
  return writeMaps(dir, maps) ? 0 : 1;
}
