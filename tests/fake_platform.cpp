#include "fake_platform.h"

#include "directdraw_unsupported.h"

#include <cinttypes>
#include <cstdio>
#include <deque>
#include <map>
#include <utility>

namespace {

// Handles are the addresses of these; they and the DirectDraw objects are
// recorded by role.
struct {
  char library, window, module, icon;
} handles;
std::map<const void *, std::string> roles = {
    {&handles.library, "ddraw"}, {&handles.window, "window"}, {&handles.module, "module"}, {&handles.icon, "icon"}};

template <typename Handle> Handle handle(char &address) { return reinterpret_cast<Handle>(&address); }

// How each argument appears in a recorded line.
std::string text(const std::string &value) { return value; }
std::string text(const char *value) { return value ? value : "null"; }
std::string text(long long value) { return std::to_string(value); }
std::string text(const void *pointer) {
  auto found = roles.find(pointer);
  return !pointer ? "null" : found != roles.end() ? found->second : "out";
}

std::string hex(uint64_t value) {
  char digits[24];
  std::snprintf(digits, sizeof digits, "0x%" PRIX64, value);
  return digits;
}

struct Scene {
  fake::Config config = {
      {sizeof(DDPIXELFORMAT), DDPF_RGB, 0, {32}, {0xFF0000}, {0xFF00}, {0xFF}, {0}}, 320 * 4 + 64, TRUE};
  std::map<std::string, std::deque<intptr_t>> scripts;
  std::function<void(const std::string &)> hook;
  std::vector<std::string> calls;
  std::deque<MSG> queue;
};

Scene scene;
WNDPROC procedure = nullptr; // from the last RegisterClassA, kept across scenes

template <typename... Arguments> void record(const std::string &operation, const Arguments &...arguments) {
  std::string line = operation + "(", separator;
  ((line += separator + text(arguments), separator = ", "), ...);
  scene.calls.push_back(line + ")");
  if (scene.hook)
    scene.hook(scene.calls.back());
}

intptr_t next_result(const std::string &operation, intptr_t otherwise) {
  std::deque<intptr_t> &results = scene.scripts[operation];
  if (results.empty())
    return otherwise;
  intptr_t result = results.front();
  results.pop_front();
  return result;
}

// Records the call; returns its next scripted result, or otherwise.
template <typename... Arguments>
intptr_t answer(const std::string &operation, intptr_t otherwise, const Arguments &...arguments) {
  record(operation, arguments...);
  return next_result(operation, otherwise);
}

std::string size(DWORD bytes) { return "size " + std::to_string(bytes); }

// A DirectDraw object whose calls are recorded as "name.Method(...)"; any
// method the module has no business calling is refused and recorded too.
template <typename Interface> struct Recorded : Interface {
  explicit Recorded(const char *role) : name(role) { roles[static_cast<Interface *>(this)] = role; }
  const std::string name;

  template <typename... Arguments> void called(const char *method, const Arguments &...arguments) {
    record(name + "." + method, arguments...);
  }
  // Scripted by the method's name alone.
  template <typename... Arguments> HRESULT answer(const char *method, const Arguments &...arguments) {
    called(method, arguments...);
    return static_cast<HRESULT>(next_result(method, DD_OK));
  }
  void unsupported(const char *method) override { called(method, "unexpected"); }
  ULONG STDMETHODCALLTYPE AddRef() override {
    called("AddRef");
    return 2;
  }
  ULONG STDMETHODCALLTYPE Release() override {
    called("Release");
    return 0;
  }
};

struct Surface final : Recorded<flyover::UnsupportedDirectDrawSurface> {
  Surface(const char *role, Surface *attached = nullptr) : Recorded(role), attached(attached) {}
  Surface *const attached;
  std::vector<uint8_t> memory;

  HRESULT STDMETHODCALLTYPE Flip(LPDIRECTDRAWSURFACE target, DWORD flags) override {
    return answer("Flip", target, hex(flags));
  }
  HRESULT STDMETHODCALLTYPE GetAttachedSurface(LPDDSCAPS caps, LPDIRECTDRAWSURFACE *surface) override {
    HRESULT result = answer("GetAttachedSurface", "caps " + hex(caps->dwCaps), surface);
    if (result >= 0)
      *surface = attached;
    return result;
  }
  HRESULT STDMETHODCALLTYPE GetPixelFormat(LPDDPIXELFORMAT format) override {
    HRESULT result = answer("GetPixelFormat", size(format->dwSize));
    if (result >= 0)
      *format = scene.config.format;
    return result;
  }
  HRESULT STDMETHODCALLTYPE Lock(LPRECT rect, LPDDSURFACEDESC desc, DWORD flags, HANDLE event) override {
    HRESULT result = answer("Lock", rect, size(desc->dwSize), hex(flags), event);
    if (result >= 0) {
      desc->lPitch = scene.config.pitch;
      desc->lpSurface = memory.data();
    }
    return result;
  }
  HRESULT STDMETHODCALLTYPE Restore() override { return answer("Restore"); }
  HRESULT STDMETHODCALLTYPE Unlock(LPVOID data) override {
    return answer("Unlock", data == memory.data() ? "lpSurface" : "other");
  }
};

// Live as long as the test program, so a pointer kept from an earlier scene
// never dangles.
Surface back("back");
Surface primary("primary", &back);

struct DirectDraw final : Recorded<flyover::UnsupportedDirectDraw> {
  DirectDraw() : Recorded("dd") {}

  HRESULT STDMETHODCALLTYPE CreateSurface(LPDDSURFACEDESC desc, LPDIRECTDRAWSURFACE *surface,
                                          IUnknown *outer) override {
    HRESULT result = answer("CreateSurface", size(desc->dwSize), "flags " + hex(desc->dwFlags),
                            "backbuffers " + std::to_string(desc->dwBackBufferCount),
                            "caps " + hex(desc->ddsCaps.dwCaps), surface, outer);
    if (result < 0)
      return result;
    for (Surface *each : {&primary, &back})
      each->memory.assign(static_cast<size_t>(scene.config.pitch) * 200, 0);
    *surface = &primary;
    return result;
  }
  HRESULT STDMETHODCALLTYPE RestoreDisplayMode() override { return answer("RestoreDisplayMode"); }
  HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND window, DWORD flags) override {
    return answer("SetCooperativeLevel", window, hex(flags));
  }
  HRESULT STDMETHODCALLTYPE SetDisplayMode(DWORD width, DWORD height, DWORD bits) override {
    return answer("SetDisplayMode", width, height, bits);
  }
};

DirectDraw directdraw;

} // namespace

namespace fake {

void reset() { scene = Scene(); }

Config &config() { return scene.config; }

void script(const std::string &operation, const std::vector<intptr_t> &results) {
  scene.scripts[operation].insert(scene.scripts[operation].end(), results.begin(), results.end());
}

void on_call(std::function<void(const std::string &)> hook) { scene.hook = std::move(hook); }

std::vector<std::string> take_calls() { return std::exchange(scene.calls, {}); }

void post(UINT message, WPARAM wParam, LPARAM lParam) {
  scene.queue.push_back({handle<HWND>(handles.window), message, wParam, lParam, 0, {0, 0}});
}

LRESULT send(UINT message, WPARAM wParam, LPARAM lParam) {
  return procedure ? procedure(handle<HWND>(handles.window), message, wParam, lParam) : 0;
}

uint8_t *back_buffer() { return back.memory.data(); }

} // namespace fake

// --- The platform's functions ---------------------------------------------------

extern "C" {

HMODULE WINAPI LoadLibraryA(LPCSTR name) {
  return answer("LoadLibraryA", 1, name) ? handle<HMODULE>(handles.library) : nullptr;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name) {
  if (!answer("GetProcAddress", 1, module, name))
    return nullptr;
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)(void)>(&DirectDrawCreate));
}

BOOL WINAPI FreeLibrary(HMODULE module) { return static_cast<BOOL>(answer("FreeLibrary", TRUE, module)); }

HMODULE WINAPI GetModuleHandleA(LPCSTR name) {
  return answer("GetModuleHandleA", 1, name) ? handle<HMODULE>(handles.module) : nullptr;
}

void WINAPI Sleep(DWORD milliseconds) { record("Sleep", milliseconds); }

void WINAPI ExitProcess(UINT code) {
  record("ExitProcess", code);
  throw fake::ProcessExit{code};
}

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name) {
  return answer("LoadIconA", 1, instance, name) ? handle<HICON>(handles.icon) : nullptr;
}

ATOM WINAPI RegisterClassA(const WNDCLASSA *wc) {
  procedure = wc->lpfnWndProc;
  return static_cast<ATOM>(answer("RegisterClassA", 1, "style " + std::to_string(wc->style),
                                  wc->lpfnWndProc ? "proc" : "null", wc->cbClsExtra, wc->cbWndExtra, wc->hInstance,
                                  wc->hIcon, wc->hCursor, wc->hbrBackground, wc->lpszMenuName, wc->lpszClassName));
}

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                            int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
  if (!answer("CreateWindowExA", 1, hex(exStyle), className, windowName, hex(style), x, y, width, height, parent, menu,
              instance, param))
    return nullptr;
  return handle<HWND>(handles.window);
}

BOOL WINAPI DestroyWindow(HWND window) { return static_cast<BOOL>(answer("DestroyWindow", TRUE, window)); }

HCURSOR WINAPI SetCursor(HCURSOR cursor) {
  record("SetCursor", cursor);
  return nullptr;
}

// Like the platform's, turns the system close command into a close request.
LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = answer("DefWindowProcA", 0, window, hex(message), hex(wParam), hex(static_cast<uint64_t>(lParam)));
  return message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE ? fake::send(WM_CLOSE) : result;
}

BOOL WINAPI PeekMessageA(LPMSG msg, HWND window, UINT first, UINT last, UINT remove) {
  record("PeekMessageA", msg, window, first, last, remove);
  if (scene.queue.empty())
    return FALSE;
  *msg = scene.queue.front();
  scene.queue.pop_front();
  return TRUE;
}

BOOL WINAPI TranslateMessage(const MSG *msg) {
  return static_cast<BOOL>(answer("TranslateMessage", FALSE, hex(msg->message)));
}

LRESULT WINAPI DispatchMessageA(const MSG *msg) {
  record("DispatchMessageA", hex(msg->message));
  return fake::send(msg->message, msg->wParam, msg->lParam);
}

BOOL WINAPI SystemParametersInfoA(UINT action, UINT uiParam, PVOID pvParam, UINT winIni) {
  BOOL done = static_cast<BOOL>(answer("SystemParametersInfoA", TRUE, action, uiParam, pvParam, winIni));
  if (done && action == SPI_GETSCREENSAVEACTIVE)
    *static_cast<BOOL *>(pvParam) = scene.config.screensaver;
  return done;
}

HRESULT WINAPI DirectDrawCreate(GUID *guid, LPDIRECTDRAW *dd, IUnknown *outer) {
  HRESULT result = static_cast<HRESULT>(answer("DirectDrawCreate", DD_OK, guid, dd, outer));
  if (result >= 0)
    *dd = &directdraw;
  return result;
}

} // extern "C"
