#include "driver.h"

namespace flyover {

namespace {
// The first entry is the default.
const DriverEntry *const drivers[] = {&sdlDriver, &captureDriver};
} // namespace

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
