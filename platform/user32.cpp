// Windows, window classes and their message queues, as the window manager
// keeps them: one thread, each window with a queue of its own, messages
// taken out with PeekMessageA and handed to the window's procedure.
#include "internal.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>

namespace flyover {

namespace {

// Published values the shared declarations have no name for.
constexpr UINT kHitClient = 1;                  // HTCLIENT
constexpr uintptr_t kFirstResourceId = 0x10000; // below: MAKEINTRESOURCE/MAKEINTATOM values
constexpr uintptr_t kIdiApplication = 32512;
constexpr uintptr_t kIdiLast = 32518;

struct WindowClass {
  ATOM atom;
  std::string name;
  WNDPROC procedure;
  HCURSOR cursor;
};

struct QueuedMessage {
  uint64_t sequence;
  MSG message;
};

struct Window {
  HWND handle;
  const WindowClass *windowClass;
  std::string title;
  DWORD style;
  std::deque<QueuedMessage> queue;
};

struct WindowManager {
  std::map<std::string, std::unique_ptr<WindowClass>> classes; // by lower-case name
  std::map<HWND, std::unique_ptr<Window>> windows;
  uintptr_t nextHandle = 0x10010;
  ATOM nextAtom = 0xC000;
  uint64_t nextSequence = 0;
  HCURSOR cursor = nullptr;
  BOOL screenSaverActive = TRUE;
};

WindowManager &manager() {
  static WindowManager instance;
  return instance;
}

std::string lowerCase(const char *text) {
  std::string result(text);
  for (char &c : result)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return result;
}

bool isResourceId(const void *name) { return reinterpret_cast<uintptr_t>(name) < kFirstResourceId; }

Window *findWindow(HWND handle) {
  auto &windows = manager().windows;
  const auto found = windows.find(handle);
  return found == windows.end() ? nullptr : found->second.get();
}

const WindowClass *findClass(LPCSTR name) {
  for (const auto &entry : manager().classes) {
    if (isResourceId(name) ? entry.second->atom == static_cast<ATOM>(reinterpret_cast<uintptr_t>(name))
                           : entry.first == lowerCase(name))
      return entry.second.get();
  }
  return nullptr;
}

bool matches(const MSG &message, UINT first, UINT last) {
  return (first == 0 && last == 0) || (message.message >= first && message.message <= last);
}

DWORD milliseconds() {
  static const auto start = std::chrono::steady_clock::now();
  return static_cast<DWORD>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
}

// The character a key gives, for TranslateMessage; 0 when none.
char keyCharacter(WPARAM key) {
  if (key >= 'A' && key <= 'Z')
    return static_cast<char>(key - 'A' + 'a');
  if ((key >= '0' && key <= '9') || key == VK_SPACE || key == VK_RETURN || key == VK_ESCAPE || key == VK_BACK ||
      key == VK_TAB)
    return static_cast<char>(key);
  return 0;
}

} // namespace

bool isWindow(HWND window) { return findWindow(window) != nullptr; }

std::string windowTitle(HWND window) {
  const Window *found = findWindow(window);
  return found ? found->title : std::string();
}

bool postMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Window *found = findWindow(window);
  if (!found)
    return false;
  MSG msg{};
  msg.hwnd = window;
  msg.message = message;
  msg.wParam = wParam;
  msg.lParam = lParam;
  msg.time = milliseconds();
  found->queue.push_back({manager().nextSequence++, msg});
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

HICON WINAPI LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName) {
  // No module here carries resources; the system's stock icons exist.
  const uintptr_t id = reinterpret_cast<uintptr_t>(lpIconName);
  if (!hInstance && id >= kIdiApplication && id <= kIdiLast)
    return reinterpret_cast<HICON>(id);
  return nullptr;
}

ATOM WINAPI RegisterClassA(const WNDCLASSA *lpWndClass) {
  if (!lpWndClass || !lpWndClass->lpfnWndProc || !lpWndClass->lpszClassName ||
      isResourceId(lpWndClass->lpszClassName) || lpWndClass->lpszClassName[0] == '\0')
    return 0;
  WindowManager &wm = manager();
  const std::string key = lowerCase(lpWndClass->lpszClassName);
  if (wm.classes.count(key))
    return 0; // the class already exists
  auto windowClass = std::make_unique<WindowClass>();
  windowClass->atom = wm.nextAtom++;
  windowClass->name = lpWndClass->lpszClassName;
  windowClass->procedure = lpWndClass->lpfnWndProc;
  windowClass->cursor = lpWndClass->hCursor;
  const ATOM atom = windowClass->atom;
  wm.classes[key] = std::move(windowClass);
  return atom;
}

HWND WINAPI CreateWindowExA(DWORD, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int, int, int, int,
                            HWND hWndParent, HMENU, HINSTANCE, LPVOID) {
  if (!lpClassName)
    return nullptr;
  const WindowClass *windowClass = findClass(lpClassName);
  if (!windowClass || (hWndParent && !isWindow(hWndParent)))
    return nullptr;
  WindowManager &wm = manager();
  auto window = std::make_unique<Window>();
  window->handle = reinterpret_cast<HWND>(wm.nextHandle);
  wm.nextHandle += 4;
  window->windowClass = windowClass;
  window->title = lpWindowName ? lpWindowName : "";
  window->style = dwStyle;
  const HWND handle = window->handle;
  wm.windows[handle] = std::move(window);
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
  manager().windows.erase(hWnd); // its queue goes with it
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
    if ((lParam & 0xFFFF) == kHitClient) {
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
  WindowManager &wm = manager();
  // The oldest matching message among the windows asked about.
  Window *source = nullptr;
  std::deque<QueuedMessage>::iterator best;
  for (auto &entry : wm.windows) {
    Window &window = *entry.second;
    if (hWnd && window.handle != hWnd)
      continue;
    const auto found = std::find_if(window.queue.begin(), window.queue.end(), [&](const QueuedMessage &queued) {
      return matches(queued.message, wMsgFilterMin, wMsgFilterMax);
    });
    if (found != window.queue.end() && (!source || found->sequence < best->sequence)) {
      source = &window;
      best = found;
    }
  }
  if (!source)
    return FALSE;
  *lpMsg = best->message;
  if (wRemoveMsg & PM_REMOVE)
    source->queue.erase(best);
  return TRUE;
}

BOOL WINAPI TranslateMessage(const MSG *lpMsg) {
  if (!lpMsg || (lpMsg->message != WM_KEYDOWN && lpMsg->message != WM_SYSKEYDOWN))
    return FALSE;
  const char character = keyCharacter(lpMsg->wParam);
  if (!character)
    return FALSE;
  return postMessage(lpMsg->hwnd, lpMsg->message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR,
                     static_cast<unsigned char>(character), lpMsg->lParam)
             ? TRUE
             : FALSE;
}

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
