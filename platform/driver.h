// The emulated display's screen: one driver per back end, chosen by name at
// run time from a small table, each in a file of its own.
#ifndef FLYOVER_PLATFORM_DRIVER_H
#define FLYOVER_PLATFORM_DRIVER_H

#include "screen_format.h"
#include "settings.h"

#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

namespace flyover {

// What a driver reports from the user's side; the platform turns these into
// window messages.
struct ScreenEvent {
  // Lost: the display server went away; nothing can be shown any more.
  enum Kind { Key, Close, Focus, Pointer, Lost } kind;
  uint32_t virtualKey = 0; // Key: a VK_* code
  bool down = false;       // Key: pressed rather than released
  bool alt = false;        // Key: with Alt held (F10 needs none to be a system key)
  bool focused = false;    // Focus: gained rather than lost
};

class ScreenDriver {
public:
  virtual ~ScreenDriver() = default;
  // Takes the screen over for a width x height picture in format. The
  // title names the window that asked for it. False with a reason on error.
  virtual bool setMode(int32_t width, int32_t height, const ScreenFormat &format, const std::string &title,
                       std::string &error) = 0;
  // Shows a picture of the mode's size and format; pitch is the byte
  // distance between rows. Only called while a mode is set. False with a
  // reason when the screen can take no more pictures (output that cannot
  // be written): the process then ends with an error.
  virtual bool present(const uint8_t *pixels, int32_t pitch, std::string &error) = 0;
  // Gives the screen back; the next picture needs a new setMode.
  virtual void restoreMode() = 0;
  // Appends what happened since the last call.
  virtual void pollEvents(std::vector<ScreenEvent> &events) = 0;
  virtual void showCursor(bool visible) = 0;
  virtual void allowScreenSaver(bool allowed) = 0;
  // Completes whatever the driver writes, before it is destroyed. False
  // with a reason when that failed.
  virtual bool finish(std::string &) { return true; }
};

struct DriverEntry {
  const char *name;
  // Null with a reason when the back end cannot be used here.
  std::unique_ptr<ScreenDriver> (*create)(const Settings &settings, std::string &error);
};

// The drivers a build carries are chosen when it is configured (a target
// without SDL2 has no sdl driver, a browser only its canvas); each is
// defined in its own file.
extern const DriverEntry sdlDriver;
extern const DriverEntry captureDriver;
extern const DriverEntry canvasDriver;

// A termination signal received and not yet acted on, 0 when none: a
// driver blocked in a write gives up when one arrives.
int pendingSignal();
// True when the process started with standard descriptor fd (0 to 2)
// closed: it holds /dev/null since, and nothing written to it is kept.
bool startedClosed(int fd);

// The first driver of the build's table: the screen a person sees.
const DriverEntry &defaultDriver();
// Null when no driver has that name.
const DriverEntry *findDriver(const std::string &name);
std::string driverNames();

} // namespace flyover

#endif
