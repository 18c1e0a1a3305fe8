// The platform's variables, whatever they are set to: the fuzzer's bytes
// are their values, separated by NUL bytes, in the order below; a value of
// one byte 0x01 leaves its variable unset. Settings that are taken must
// make a display that can be opened; refused ones give one line.
#include "driver.h"
#include "settings.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const char *const kVariables[] = {"FLYOVER_DRIVER",  "FLYOVER_FORMAT",      "FLYOVER_DEPTHS",  "FLYOVER_FRAMES",
                                  "FLYOVER_CAPTURE", "FLYOVER_SDL_PRESENT", "FLYOVER_SIMD_MAX"};
constexpr size_t kCount = sizeof kVariables / sizeof kVariables[0];

struct Values {
  std::string text[kCount];
  bool set[kCount] = {};
};

const char *lookup(const char *name, void *context) {
  const Values &values = *static_cast<Values *>(context);
  for (size_t i = 0; i < kCount; ++i)
    if (std::string(name) == kVariables[i])
      return values.set[i] ? values.text[i].c_str() : nullptr;
  return nullptr;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  Values values;
  const std::string input(reinterpret_cast<const char *>(data), size);
  size_t start = 0;
  for (size_t i = 0; i < kCount && start <= input.size(); ++i) {
    const size_t end = std::min(input.find('\0', start), input.size());
    values.text[i] = input.substr(start, end - start);
    values.set[i] = values.text[i] != "\x01";
    start = end + 1;
  }

  flyover::Settings settings;
  std::string error;
  if (!flyover::readSettings(lookup, &values, settings, error)) {
    if (error.empty() || error.find('\n') != std::string::npos)
      std::abort();
    return 0;
  }
  if (!flyover::findDriver(settings.driver) || !settings.format || settings.depths.empty() ||
      settings.capture.empty() == values.set[4])
    std::abort();
  for (uint32_t bits : settings.depths)
    if (!settings.formatOfMode(bits))
      std::abort();
  return 0;
}
