#include "driver.h"

namespace flyover {

namespace {
// The first entry is the default.
const DriverEntry *const drivers[] = {
#ifdef FLYOVER_DRIVER_SDL
    &sdlDriver,
#endif
#ifdef FLYOVER_DRIVER_CAPTURE
    &captureDriver,
#endif
#ifdef FLYOVER_DRIVER_CANVAS
    &canvasDriver,
#endif
};
} // namespace

const DriverEntry &defaultDriver() { return *drivers[0]; }

const DriverEntry *findDriver(const std::string &name) {
  for (const DriverEntry *driver : drivers)
    if (name == driver->name)
      return driver;
  return nullptr;
}

std::string driverNames() {
  std::string names;
  for (const DriverEntry *driver : drivers) {
    if (!names.empty())
      names += ", ";
    names += driver->name;
  }
  return names;
}

} // namespace flyover
