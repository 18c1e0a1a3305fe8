#include "settings.h"

#include "driver.h"
#include "simd_levels.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace flyover {

const ScreenFormat *Settings::formatOfMode(uint32_t bits) const {
  if (std::find(depths.begin(), depths.end(), bits) == depths.end())
    return nullptr;
  return bits == format->bits ? format : usualFormatOfDepth(bits);
}

namespace {

// A value as a message shows it: on the message's one line, whatever bytes
// the variable holds.
std::string shown(const std::string &value) {
  std::string text;
  for (const unsigned char c : value) {
    if (c < 0x20 || c == 0x7f) {
      static const char hex[] = "0123456789abcdef";
      text += {'\\', 'x', hex[c >> 4], hex[c & 15]};
    } else {
      text += char(c);
    }
  }
  return text;
}

// Empty is no cap.
bool isSimdLevel(const std::string &value) {
#define FLYOVER_NAMES(level) value == #level ||
  return value.empty() || FLYOVER_SIMD_LEVELS(FLYOVER_NAMES) false;
#undef FLYOVER_NAMES
}

bool parseWholeNumber(const std::string &text, uint64_t &value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  errno = 0;
  char *end = nullptr;
  value = std::strtoull(text.c_str(), &end, 10);
  return errno == 0 && *end == '\0';
}

bool parseDepths(const std::string &text, std::vector<uint32_t> &depths) {
  depths.clear();
  size_t start = 0;
  while (true) {
    const size_t comma = text.find(',', start);
    const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    uint64_t depth = 0;
    if (!parseWholeNumber(item, depth) || !usualFormatOfDepth(static_cast<uint32_t>(depth)) || depth > 32)
      return false;
    depths.push_back(static_cast<uint32_t>(depth));
    if (comma == std::string::npos)
      return true;
    start = comma + 1;
  }
}

} // namespace

bool readSettings(EnvironmentLookup lookup, void *context, Settings &settings, std::string &error) {
  settings = Settings();
  auto variable = [&](const char *name, std::string &value) {
    const char *text = lookup(name, context);
    value = text ? text : "";
    return text != nullptr;
  };
  std::string value;

  settings.driver = defaultDriver().name;
  if (variable("FLYOVER_DRIVER", value)) {
    if (!findDriver(value)) {
      error = "FLYOVER_DRIVER=" + shown(value) + " is not a display driver (" + driverNames() + ")";
      return false;
    }
    settings.driver = value;
  }

  settings.format = findScreenFormat("xrgb8888");
  if (variable("FLYOVER_FORMAT", value)) {
    settings.format = findScreenFormat(value);
    if (!settings.format || value == "pal8") {
      error = "FLYOVER_FORMAT=" + shown(value) + " is not a screen format (" + screenFormatNames() + ")";
      return false;
    }
  }

  settings.depths = {settings.format->bits};
  if (variable("FLYOVER_DEPTHS", value) && !parseDepths(value, settings.depths)) {
    error = "FLYOVER_DEPTHS=" + shown(value) + " is not a comma-separated list of display depths (32, 24, 16, 8)";
    return false;
  }

  if (variable("FLYOVER_FRAMES", value) && (!parseWholeNumber(value, settings.frames) || settings.frames == 0)) {
    error = "FLYOVER_FRAMES=" + shown(value) + " is not a positive whole number of frames";
    return false;
  }

  if (variable("FLYOVER_CAPTURE", value)) {
    if (value.empty()) {
      error = "FLYOVER_CAPTURE is set but empty: give the file to write the frames to";
      return false;
    }
    // A build without the capture driver (the web page's) would otherwise
    // send the user to FLYOVER_DRIVER=capture, which it does not have.
    if (!findDriver("capture")) {
      error = "FLYOVER_CAPTURE=" + shown(value) +
              ": this build cannot capture its frames; the desktop program does (FLYOVER_DRIVER=capture)";
      return false;
    }
    if (settings.driver != "capture") {
      error = "FLYOVER_CAPTURE=" + shown(value) + " needs FLYOVER_DRIVER=capture";
      return false;
    }
    settings.capture = value;
  }

  if (variable("FLYOVER_SDL_PRESENT", value)) {
    if (value == "surface")
      settings.sdlPresentation = SdlPresentation::Surface;
    else if (value == "renderer")
      settings.sdlPresentation = SdlPresentation::Renderer;
    else if (value == "xrender")
      settings.sdlPresentation = SdlPresentation::XRender;
    else if (value != "auto") {
      error = "FLYOVER_SDL_PRESENT=" + shown(value) + " is not a presentation (auto, surface, renderer, xrender)";
      return false;
    }
  }

  // The row converters read it themselves; a level this build does not
  // have is refused here, with the rest.
  if (variable("FLYOVER_SIMD_MAX", value) && !isSimdLevel(value)) {
    error = "FLYOVER_SIMD_MAX=" + shown(value) + " is not a SIMD level of this build (" + simd_level_list + ")";
    return false;
  }
  return true;
}

bool readSettingsFromEnvironment(Settings &settings, std::string &error) {
  return readSettings([](const char *name, void *) -> const char * { return std::getenv(name); }, nullptr, settings,
                      error);
}

} // namespace flyover
