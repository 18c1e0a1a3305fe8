// A scriptable stand-in for the Win32 and DirectDraw operations, linked into
// the display module's unit tests in place of the platform stand-in.
//
// Every call is recorded as one line with its arguments; handles and objects
// appear by role ("ddraw", "window", "primary", "back"; "out" for any other
// pointer), so a test compares the module's behaviour call by call.
// ExitProcess throws instead of ending the test program.
#ifndef FLYOVER_TESTS_FAKE_PLATFORM_H
#define FLYOVER_TESTS_FAKE_PLATFORM_H

#include <windows.h>
#include <ddraw.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace fake {

// Thrown by ExitProcess, carrying the exit code.
struct ProcessExit {
  UINT code;
};

// The emulated machine; the pitch takes effect when the primary is created.
struct Config {
  DDPIXELFORMAT format; // what GetPixelFormat reports
  LONG pitch;           // bytes from one surface row to the next
  BOOL screensaver;     // the system's screen-saver setting
};

// A new scene: an XRGB8888 display at pitch 1344 with the screen saver on;
// no scripts, queued messages, hook or recorded calls.
void reset();
Config &config();

// The next calls of the operation as recorded ("LoadLibraryA",
// "SetDisplayMode", "Lock", ...) return these results, then it succeeds.
// For a handle or pointer, 0 makes it null.
void script(const std::string &operation, const std::vector<intptr_t> &results);

// Runs after each call is recorded: a platform sends messages from inside
// some calls.
void on_call(std::function<void(const std::string &line)> hook);

// The calls recorded since the last time, which are then forgotten.
std::vector<std::string> take_calls();

// Queues a message for the window (PeekMessageA hands them out in order),
// or runs the registered window procedure at once (nothing before one is).
void post(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
LRESULT send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

// Where the back buffer's rows are; Lock hands this out.
uint8_t *back_buffer();

} // namespace fake

#endif
