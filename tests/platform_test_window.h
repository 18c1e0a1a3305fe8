// A window whose procedure writes down every message it is sent, for the
// stand-in's tests.
#ifndef FLYOVER_TESTS_PLATFORM_TEST_WINDOW_H
#define FLYOVER_TESTS_PLATFORM_TEST_WINDOW_H

#include <windows.h>

#include <string>
#include <vector>

inline std::vector<MSG> received;

inline LRESULT CALLBACK recordingProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  received.push_back({hwnd, message, wParam, lParam, 0, {}});
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

inline std::vector<UINT> receivedMessages() {
  std::vector<UINT> messages;
  for (const MSG &msg : received)
    messages.push_back(msg.message);
  return messages;
}

// A fresh class each time: classes stay registered for the whole process.
inline HWND makeWindow(WNDPROC procedure = recordingProcedure) {
  static int serial = 0;
  const std::string name = "platform-test-" + std::to_string(++serial);
  WNDCLASSA wc{};
  wc.lpfnWndProc = procedure;
  wc.lpszClassName = name.c_str();
  return RegisterClassA(&wc)
             ? CreateWindowExA(0, name.c_str(), "test", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr)
             : nullptr;
}

#endif
