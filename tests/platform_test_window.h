// A window whose procedure writes down every message it gets, for the
// stand-in's tests.
#ifndef FLYOVER_TESTS_PLATFORM_TEST_WINDOW_H
#define FLYOVER_TESTS_PLATFORM_TEST_WINDOW_H

#include <windows.h>

#include <string>
#include <vector>

struct Received {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

inline std::vector<Received> &received() {
  static std::vector<Received> log;
  return log;
}

// Messages sent to the procedure; WM_CREATE is refused when the window name
// says so. Everything else gets the default handling.
inline LRESULT CALLBACK recordingProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  received().push_back({hwnd, message, wParam, lParam});
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

inline std::vector<UINT> receivedMessages() {
  std::vector<UINT> messages;
  for (const Received &r : received())
    messages.push_back(r.message);
  return messages;
}

// A fresh class each time: classes stay registered for the whole process.
inline HWND makeWindow(const char *title = "test", WNDPROC procedure = recordingProcedure) {
  static int serial = 0;
  static std::vector<std::string> names;
  names.push_back("platform-test-" + std::to_string(++serial));
  WNDCLASSA wc{};
  wc.lpfnWndProc = procedure;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = names.back().c_str();
  if (!RegisterClassA(&wc))
    return nullptr;
  return CreateWindowExA(0, wc.lpszClassName, title, WS_POPUP | WS_SYSMENU, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                         nullptr);
}

#endif
