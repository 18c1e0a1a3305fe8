// Windows, window classes and the message queue, as the window manager
// keeps them: one thread, one queue in posting order, messages taken out
// with PeekMessageA and handed to the window's procedure.
#include "internal.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <deque>
#include <map>
#include <memory>

namespace flyover {

namespace {

struct WindowClass {
  WNDPROC procedure;
  HCURSOR cursor;
};

struct Window {
  const WindowClass *windowClass;
  std::string title;
};

struct WindowManager {
  std::map<std::string, WindowClass> classes; // by lower-case name
  std::map<HWND, Window> windows;
  std::deque<MSG> queue;
  uintptr_t nextHandle = 0x10010;
  HCURSOR cursor = nullptr;
  BOOL screenSaverActive = TRUE;
};

WindowManager &manager() {
  static WindowManager instance;
  return instance;
}

// Class names are compared without regard to case; one given as an atom
// (a value below 0x10000) names no class here.
const char *className(LPCSTR name) { return reinterpret_cast<uintptr_t>(name) < 0x10000 ? nullptr : name; }

std::string lowerCase(const char *text) {
  std::string result(text);
  for (char &c : result)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return result;
}

Window *findWindow(HWND handle) {
  auto &windows = manager().windows;
  const auto found = windows.find(handle);
  return found == windows.end() ? nullptr : &found->second;
}

DWORD milliseconds() {
  static const auto start = std::chrono::steady_clock::now();
  return static_cast<DWORD>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
}

} // namespace

bool isWindow(HWND window) { return findWindow(window) != nullptr; }

std::string windowTitle(HWND window) {
  const Window *found = findWindow(window);
  return found ? found->title : std::string();
}

bool postMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!isWindow(window))
    return false;
  MSG msg{};
  msg.hwnd = window;
  msg.message = message;
  msg.wParam = wParam;
  msg.lParam = lParam;
  msg.time = milliseconds();
  manager().queue.push_back(msg);
  return true;
}

LRESULT sendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const Window *found = findWindow(window);
  if (!found)
    return 0;
  return found->windowClass->procedure(window, message, wParam, lParam);
}

bool cursorShown() { return manager().cursor != nullptr; }
bool screenSaverActive() { return manager().screenSaverActive != FALSE; }

} // namespace flyover

using namespace flyover;

extern "C" {

// No module here carries resources, and the program shows no icon.
HICON WINAPI LoadIconA(HINSTANCE, LPCSTR) { return nullptr; }

ATOM WINAPI RegisterClassA(const WNDCLASSA *lpWndClass) {
  if (!lpWndClass || !lpWndClass->lpfnWndProc || !className(lpWndClass->lpszClassName) ||
      lpWndClass->lpszClassName[0] == '\0')
    return 0;
  const bool added =
      manager()
          .classes
          .emplace(lowerCase(lpWndClass->lpszClassName), WindowClass{lpWndClass->lpfnWndProc, lpWndClass->hCursor})
          .second;
  // Any non-zero atom says the class exists now; nothing finds a class by it.
  return added ? 0xC000 : 0;
}

HWND WINAPI CreateWindowExA(DWORD, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD, int, int, int, int, HWND hWndParent,
                            HMENU, HINSTANCE, LPVOID) {
  WindowManager &wm = manager();
  const auto windowClass = className(lpClassName) ? wm.classes.find(lowerCase(lpClassName)) : wm.classes.end();
  if (windowClass == wm.classes.end() || (hWndParent && !isWindow(hWndParent)))
    return nullptr;
  const HWND handle = reinterpret_cast<HWND>(wm.nextHandle);
  wm.nextHandle += 4;
  wm.windows[handle] = Window{&windowClass->second, lpWindowName ? lpWindowName : ""};
  // The procedure sees the window being made and may refuse it.
  if (!sendMessage(handle, WM_NCCREATE, 0, 0) || sendMessage(handle, WM_CREATE, 0, 0) == -1) {
    DestroyWindow(handle);
    return nullptr;
  }
  return handle;
}

BOOL WINAPI DestroyWindow(HWND hWnd) {
  if (!isWindow(hWnd))
    return FALSE;
  sendMessage(hWnd, WM_DESTROY, 0, 0);
  sendMessage(hWnd, WM_NCDESTROY, 0, 0);
  WindowManager &wm = manager();
  wm.windows.erase(hWnd);
  // Its messages go with it.
  wm.queue.erase(std::remove_if(wm.queue.begin(), wm.queue.end(), [&](const MSG &msg) { return msg.hwnd == hWnd; }),
                 wm.queue.end());
  return TRUE;
}

HCURSOR WINAPI SetCursor(HCURSOR hCursor) {
  WindowManager &wm = manager();
  const HCURSOR previous = wm.cursor;
  wm.cursor = hCursor;
  screenCursorChanged(hCursor != nullptr);
  return previous;
}

LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  switch (Msg) {
  case WM_NCCREATE:
    return TRUE;
  case WM_CLOSE:
    DestroyWindow(hWnd);
    return 0;
  case WM_SYSKEYDOWN:
    // Alt+F4 is the system close command.
    if (wParam == VK_F4 && (lParam & (1 << 29)))
      sendMessage(hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    return 0;
  case WM_SYSCOMMAND:
    if ((wParam & 0xFFF0) == SC_CLOSE)
      sendMessage(hWnd, WM_CLOSE, 0, 0);
    return 0;
  case WM_SETCURSOR:
    if ((lParam & 0xFFFF) == HTCLIENT) {
      const Window *window = findWindow(hWnd);
      if (window && window->windowClass->cursor)
        SetCursor(window->windowClass->cursor);
    }
    return FALSE;
  default:
    return 0;
  }
}

BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg) {
  if (!lpMsg || (hWnd && !isWindow(hWnd)))
    return FALSE;
  pumpScreen();
  std::deque<MSG> &queue = manager().queue;
  // The oldest message for the window asked about (any, when null) within the range (all, when 0 to 0).
  const auto found = std::find_if(queue.begin(), queue.end(), [&](const MSG &msg) {
    return (!hWnd || msg.hwnd == hWnd) && ((wMsgFilterMin == 0 && wMsgFilterMax == 0) ||
                                           (msg.message >= wMsgFilterMin && msg.message <= wMsgFilterMax));
  });
  if (found == queue.end())
    return FALSE;
  *lpMsg = *found;
  if (wRemoveMsg & PM_REMOVE)
    queue.erase(found);
  return TRUE;
}

// The window procedure reads key codes only, so keys give no characters.
BOOL WINAPI TranslateMessage(const MSG *) { return FALSE; }

LRESULT WINAPI DispatchMessageA(const MSG *lpMsg) {
  if (!lpMsg || !isWindow(lpMsg->hwnd))
    return 0;
  return sendMessage(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

BOOL WINAPI SystemParametersInfoA(UINT uiAction, UINT uiParam, PVOID pvParam, UINT) {
  WindowManager &wm = manager();
  switch (uiAction) {
  case SPI_GETSCREENSAVEACTIVE:
    if (!pvParam)
      return FALSE;
    *static_cast<BOOL *>(pvParam) = wm.screenSaverActive;
    return TRUE;
  case SPI_SETSCREENSAVEACTIVE:
    wm.screenSaverActive = uiParam ? TRUE : FALSE;
    screenSaverChanged(uiParam != 0);
    return TRUE;
  default:
    return FALSE;
  }
}

} // extern "C"
