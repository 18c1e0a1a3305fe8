// framehash: prints what the renderer draws, as hashes, so that two builds
// (Linux and Windows, 32 and 64 bits) can be compared by their output.
//
//   framehash [frames]   hashes of the first frames (default 120) as the
//                        program's frame loop renders them from the maps in
//                        the current directory, one combined hash, and per
//                        screen pixel layout a hash of those frames converted
//                        by that layout's row converter, at the SIMD level
//                        chosen at run time (the "simd" line names it)
//   framehash --pictures one hash per distinct picture the loop can show
//                        (actorX 0, 50, ..., 49950), as it looks on a
//                        screen: the canvas without its top byte
//
// Lines starting with "x87" describe the floating-point unit of this build,
// and the "simd" line the row converters' level on this processor; they may
// differ between builds, every other line must be identical.
//
// The projection's fade is defined in extended precision (64-bit
// significand). The renderer computes it in exact integer arithmetic; this
// tool also evaluates it in long double, once with the x87 control word as
// the C runtime left it and once after setExtendedPrecision(), and counts
// the differences. The runtime's start-up is not required to leave 64-bit
// precision (64-bit Windows starts programs at 53 bits), which is why the
// program sets the control word itself. Other processors have no x87 unit
// and another long double (binary128 on aarch64, double on armhf), so there
// the comparison says nothing about the renderer and is left out.
#include "layouts.h"
#include "mmx_levels.h"
#include "ptc.h"
#include "terrain.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

constexpr uint64_t kFnvOffset = 0xCBF29CE484222325u;
constexpr uint64_t kFnvPrime = 0x100000001B3u;

uint64_t fnv1a(uint64_t h, const void *data, size_t size) {
  const unsigned char *p = static_cast<const unsigned char *>(data);
  for (size_t i = 0; i < size; ++i)
    h = (h ^ p[i]) * kFnvPrime;
  return h;
}

#if defined(__i386__) || defined(__x86_64__)
#define FRAMEHASH_X87 1

uint16_t controlWord() {
  uint16_t cw;
  __asm__ volatile("fnstcw %0" : "=m"(cw));
  return cw;
}

void setControlWord(uint16_t cw) { __asm__ volatile("fldcw %0" : : "m"(cw)); }

#ifdef _WIN32
// The control word as the system hands the process over, before the C
// runtime's start-up code runs: a TLS callback runs ahead of the entry point.
uint16_t beforeRuntime;
bool beforeRuntimeSeen;

void NTAPI readControlWordEarly(PVOID, DWORD reason, PVOID) {
  if (reason == DLL_PROCESS_ATTACH && !beforeRuntimeSeen) {
    beforeRuntime = controlWord();
    beforeRuntimeSeen = true;
  }
}
#endif

const char *precisionName(uint16_t cw) {
  switch ((cw >> 8) & 3) {
  case 0:
    return "24-bit significand";
  case 2:
    return "53-bit significand";
  case 3:
    return "64-bit significand";
  default:
    return "reserved precision";
  }
}

const char *roundingName(uint16_t cw) {
  static const char *const names[] = {"to nearest", "down", "up", "toward zero"};
  return names[(cw >> 10) & 3];
}

// The fade as written, in long double at whatever precision the unit has:
// c * ((250 - depth) / 250) + 180 * (depth / 250), truncated. volatile keeps
// the compiler from folding it at build time, where its own (exact)
// arithmetic would hide the unit's.
int32_t fadeInLongDouble(int32_t k, int32_t c) {
  volatile float depth = float(245 - 5 * k);
  volatile long double channel = c;
  const long double d = depth;
  const long double nearPart = channel * ((250.0L - d) / 250.0L);
  const long double greyPart = 180.0L * (d / 250.0L);
  return int32_t(nearPart + greyPart);
}

// How many of the 40 x 256 (row, channel) pairs differ from the renderer's.
int32_t fadeMismatches(int32_t *firstK, int32_t *firstC) {
  int32_t count = 0;
  for (int32_t k = 0; k < kRows; ++k)
    for (int32_t c = 0; c < 256; ++c)
      if (fadeInLongDouble(k, c) != fadeChannel(k, c)) {
        if (count++ == 0) {
          *firstK = k;
          *firstC = c;
        }
      }
  return count;
}

void reportFade(const char *prefix, const char *when) {
  int32_t k = 0, c = 0;
  const int32_t n = fadeMismatches(&k, &c);
  std::printf("%sfade in long double %s: %" PRId32 " of %d differ from the renderer", prefix, when, n, kRows * 256);
  if (n > 0)
    std::printf(" (first: row %" PRId32 " channel %" PRId32 ": %" PRId32 ", renderer %" PRId32 ")", k, c,
                fadeInLongDouble(k, c), fadeChannel(k, c));
  std::printf("\n");
}
#endif

uint64_t layoutHashes[kScreenLayoutCount];

// Every row of the canvas through every converter: once whole, as the
// display converts it, and once from a varying start to a varying end into
// a destination at a varying offset, which exercises the per-pixel tails and
// unaligned pointers of the block paths.
void hashConversions() {
  static uint8_t destination[kCanvasWidth * 4 + 8];
  for (int32_t i = 0; i < kScreenLayoutCount; ++i) {
    const converted_layout &layout = converted_layouts[i];
    uint64_t &hash = layoutHashes[i];
    for (int32_t y = 0; y < kCanvasHeight; ++y) {
      const uint32_t *row = pixel + y * kCanvasWidth;
      layout.converter(row, destination, kCanvasWidth);
      hash = fnv1a(hash, destination, size_t(kCanvasWidth) * layout.bytes);
      const int32_t skip = y % 7, count = kCanvasWidth - skip - y % 5, offset = y % 3;
      layout.converter(row + skip, destination + offset, count);
      hash = fnv1a(hash, destination + offset, size_t(count) * layout.bytes);
    }
  }
}

int hashFrames(int32_t frames) {
  static uint32_t reference[kCanvasWidth * kCanvasHeight];
  // Builds and processors differ here; the converted hashes must not.
  std::printf("simd level %s (of %s)\n", simd_active_level().name, simd_level_list);
  resetCamera();
  uint64_t combined = kFnvOffset;
  for (uint64_t &hash : layoutHashes)
    hash = kFnvOffset;
  int32_t fastPathDiffers = 0;
  for (int32_t f = 0; f < frames; ++f) {
    const int32_t at = actorX;
    renderFrameReference();
    std::memcpy(reference, pixel, sizeof pixel);
    renderFrame();
    if (std::memcmp(reference, pixel, sizeof pixel) != 0)
      ++fastPathDiffers;
    std::printf("frame %" PRId32 " actorX %" PRId32 " %016" PRIx64 "\n", f, at, fnv1a(kFnvOffset, pixel, sizeof pixel));
    combined = fnv1a(combined, pixel, sizeof pixel);
    hashConversions();
    moveCamera();
  }
  std::printf("renderer: fast path and literal loop differ in %" PRId32 " of %" PRId32 " frames\n", fastPathDiffers,
              frames);
  std::printf("combined %" PRId32 " frames %016" PRIx64 "\n", frames, combined);
  for (int32_t i = 0; i < kScreenLayoutCount; ++i)
    std::printf("converted %s %016" PRIx64 "\n", screen_layouts[i].name, layoutHashes[i]);
  return fastPathDiffers == 0 ? 0 : 1;
}

int hashPictures() {
  resetCamera();
  for (actorX = 0; actorX < kWrap; actorX += kCameraStep) {
    renderFrame();
    uint64_t h = kFnvOffset;
    for (uint32_t p : pixel) {
      const unsigned char bytes[4] = {uint8_t(p), uint8_t(p >> 8), uint8_t(p >> 16), 0};
      h = fnv1a(h, bytes, sizeof bytes);
    }
    std::printf("picture %016" PRIx64 " actorX %" PRId32 "\n", h, actorX);
  }
  return 0;
}

void usage(std::FILE *out) {
  std::fprintf(out,
               "usage: framehash [FRAMES] | framehash --pictures\n"
               "Prints hashes of what the renderer draws from the maps texture.raw and map.raw\n"
               "in the current directory, so that two builds can be compared by their output.\n"
               "  FRAMES      hash the first FRAMES frames of the flight, 1 to 100000 (default\n"
               "              120), their conversions to every screen layout and, on x87, the\n"
               "              fade in long double; lines starting with \"x87\" or \"simd\" may\n"
               "              differ between builds, every other line must not\n"
               "  --pictures  one hash per distinct picture the flight can show\n"
               "SIMD level of the row converters here: %s\n"
               "  (this build has %s; FLYOVER_SIMD_MAX=LEVEL caps it,\n"
               "  and every level converts to the same bytes)\n",
               simd_active_level().name, simd_level_list);
}

} // namespace

#if defined(_WIN32) && defined(FRAMEHASH_X87)
// Registered in the image's TLS callback table (.CRT$XL*), which the
// mingw-w64 runtime's TLS directory spans.
extern "C" __attribute__((section(".CRT$XLF"), used)) const PIMAGE_TLS_CALLBACK framehashEarlyCallback =
    readControlWordEarly;
#endif

int main(int argc, char **argv) {
#ifdef FRAMEHASH_X87
  // First of all, before anything can touch the unit.
  const uint16_t atStart = controlWord();
#endif

  // The one setting of the converters; this tool may run without the
  // platform that checks it for the program.
  if (!simd_apply_environment_cap("framehash"))
    return 2;
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    usage(stdout);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--pictures") == 0) {
    if (!loadMaps("framehash"))
      return 1;
    return hashPictures();
  }
  int32_t frames = 120;
  if (argc == 2) {
    char *end = nullptr;
    const long n = std::strtol(argv[1], &end, 10);
    if (*end != '\0' || n < 1 || n > 100000) {
      std::fprintf(stderr, "framehash: %s is not a number of frames from 1 to 100000\n", argv[1]);
      usage(stderr);
      return 2;
    }
    frames = int32_t(n);
  } else if (argc > 2) {
    usage(stderr);
    return 2;
  }

  bool fadeExact = true;
#ifdef FRAMEHASH_X87
  {
#ifdef _WIN32
    if (beforeRuntimeSeen)
      std::printf("x87 control word before the C runtime's start-up: 0x%04x (%s, rounding %s)\n", beforeRuntime,
                  precisionName(beforeRuntime), roundingName(beforeRuntime));
#endif
    std::printf("x87 control word at main (as the C runtime left it): 0x%04x (%s, rounding %s)\n", atStart,
                precisionName(atStart), roundingName(atStart));
    reportFade("x87 ", "at the start precision");
    setExtendedPrecision();
    const uint16_t set = controlWord();
    std::printf("x87 control word after setExtendedPrecision: 0x%04x (%s, rounding %s)\n", set, precisionName(set),
                roundingName(set));
    int32_t k = 0, c = 0;
    fadeExact = fadeMismatches(&k, &c) == 0;
    reportFade("", "at 64-bit precision");
    // The other way round: at 53 bits long double behaves like double,
    // which the renderer must not follow.
    setControlWord(uint16_t((set & ~0x0300u) | 0x0200u));
    reportFade("", "at 53-bit precision");
    setControlWord(set);
  }
#else
  std::printf("x87 none: long double is not the extended type here\n");
#endif

  if (!loadMaps("framehash"))
    return 1;
  const int framesResult = hashFrames(frames);
  if (!fadeExact)
    std::fprintf(stderr, "framehash: the renderer's fade differs from long double at 64-bit precision\n");
  return fadeExact && framesResult == 0 ? 0 : 1;
}
