// How the emulated platform is configured: environment variables read once,
// when the program creates its DirectDraw object.
#ifndef FLYOVER_PLATFORM_SETTINGS_H
#define FLYOVER_PLATFORM_SETTINGS_H

#include "screen_format.h"

#include <stdint.h>

#include <string>
#include <vector>

namespace flyover {

// How the sdl driver puts pictures on its window: chosen from what draws
// them, or forced for tests and comparisons.
enum class SdlPresentation { Auto, Surface, Renderer, XRender };

struct Settings {
  std::string driver;                   // FLYOVER_DRIVER; the build's default driver when unset
  const ScreenFormat *format = nullptr; // FLYOVER_FORMAT
  std::vector<uint32_t> depths;         // FLYOVER_DEPTHS
  uint64_t frames = 0;                  // FLYOVER_FRAMES; 0: run until the user ends it
  std::string capture;                  // FLYOVER_CAPTURE; empty: nothing written
  SdlPresentation sdlPresentation{};    // FLYOVER_SDL_PRESENT; Auto when unset

  // The format a mode of this depth reports; null when the depth is refused.
  const ScreenFormat *formatOfMode(uint32_t bits) const;
};

// Reads the variables through lookup (getenv, or a test's table). On a bad
// value returns false and a one-line reason in error.
using EnvironmentLookup = const char *(*)(const char *name, void *context);
bool readSettings(EnvironmentLookup lookup, void *context, Settings &settings, std::string &error);
bool readSettingsFromEnvironment(Settings &settings, std::string &error);

} // namespace flyover

#endif
