// What the pieces of the platform stand-in tell each other: the window
// manager (user32), the process functions (kernel32) and the display
// (DirectDraw with its screen driver).
#ifndef FLYOVER_PLATFORM_INTERNAL_H
#define FLYOVER_PLATFORM_INTERNAL_H

#include "driver.h"

#include <ddraw.h>
#include <windows.h>

#include <string>

namespace flyover {

// --- Windows and messages (user32.cpp) ---
bool isWindow(HWND window);
std::string windowTitle(HWND window);
// Queues a message for the window, as PostMessage does. False when the
// window does not exist.
bool postMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Calls the window's procedure at once, as SendMessage does; 0 when the
// window does not exist.
LRESULT sendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
bool cursorShown();
bool screenSaverActive();

// --- The display (directdraw.cpp) ---
// Collects what the screen driver saw and turns it into messages for the
// window holding the display. Called whenever a message is looked for.
void pumpScreen();
// One screen event, as the driver reports it.
void handleScreenEvent(const ScreenEvent &event);
void screenCursorChanged(bool visible);
void screenSaverChanged(bool active);
// Releases whatever the display holds and closes the driver, so that its
// output is complete; the process is about to end. False with a one-line
// reason when the driver's output could not be completed; the reason is
// handed out once.
bool shutdownDisplay(std::string &error);

// --- The process (kernel32.cpp) ---
// Shuts the display down and gives the code the process ends with instead
// of code: after printing the line of what the display's output lacks, 1
// instead of 0, for the output is incomplete; after a termination signal,
// 128 plus its number. Safe to call again: what was told is not told twice.
unsigned exitCode(unsigned code);
// Ends the process with exitCode(code).
[[noreturn]] void endProcess(unsigned code);
// Refuses a start the stand-in cannot give (a bad setting, a screen driver
// that cannot be used) with one line saying why, and ends the process with
// code 1, as a display that cannot be opened does; the program is spared
// adding a second, technical line about the call that failed.
[[noreturn]] void refuseToStart(const std::string &reason);

// --- Signals (process_posix.cpp; process_browser.cpp in a web page) ---
// From now on SIGINT, SIGTERM and SIGHUP are noted rather than fatal; the
// display acts on them the next time messages are looked for.
void watchTerminationSignals();

// --- Waiting (wait_thread.cpp; wait_browser.cpp in a web page) ---
// What Sleep does: 0 gives the processor up for a moment after a presented
// frame, anything else waits at least that many milliseconds.
void waitFor(uint32_t milliseconds);

} // namespace flyover

#endif
