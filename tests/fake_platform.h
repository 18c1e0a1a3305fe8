// A scriptable stand-in for the Win32 and DirectDraw operations, linked into
// the display module's unit tests in place of the real platform stand-in.
//
// Every platform call is recorded as one line of text with its arguments, in
// the order made; handles and objects appear by role ("ddraw", "window",
// "primary", "back"), so a test compares the module's behaviour call by
// call. Results are scripted per operation, messages are queued for the
// window, and ExitProcess throws instead of ending the test program.
#ifndef FLYOVER_TESTS_FAKE_PLATFORM_H
#define FLYOVER_TESTS_FAKE_PLATFORM_H

#include <windows.h>
#include <ddraw.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace fake {

// Thrown by ExitProcess, carrying the exit code.
struct ProcessExit {
  UINT code;
};

// What the emulated machine is like. Changes take effect at the next call
// that reads them (surfaces are laid out when the primary is created).
struct Config {
  DDPIXELFORMAT format; // what GetPixelFormat reports (dwSize is checked, then overwritten)
  LONG pitch;           // bytes from one surface row to the next
  bool back_buffer;     // whether the primary has an attached back buffer
  BOOL screensaver;     // the system's screen-saver setting
};

// Starts a new scene: default configuration (an XRGB8888 display, pitch
// 1344 bytes, a back buffer, screen saver on), no scripts, no queued
// messages, no hook, an empty call record and fresh objects. Handles change,
// so a handle from before shows up as "stale".
void reset();

Config &config();

// The next calls of the named operation (as recorded: "LoadLibraryA",
// "SetDisplayMode", "CreateSurface", "Lock", ...) return these results in
// order; once they are used up the operation succeeds. For an operation that
// returns a handle or pointer, 0 makes it return null and anything else lets
// it succeed. "SystemParametersInfoA" scripts only the reading of a setting.
void script(const std::string &operation, std::initializer_list<intptr_t> results);

// Called after each call is recorded, with its line: lets a test queue or
// send messages at a chosen moment, as a real platform does from inside
// some calls.
void on_call(std::function<void(const std::string &line)> hook);

const std::vector<std::string> &calls();
void clear_calls();

// Queues a message for the window; PeekMessageA hands queued messages out
// in order.
void post(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

// Runs the registered window procedure at once, as a sent message does.
LRESULT send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

// The window procedure from the last RegisterClassA (kept across resets).
WNDPROC window_procedure();

HWND window();

// Memory of the surface that is on screen (the primary) and of the one
// frames are drawn into; Flip exchanges them.
std::vector<uint8_t> &front_memory();
std::vector<uint8_t> &back_memory();

} // namespace fake

#endif
