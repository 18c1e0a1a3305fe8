#include "fake_platform.h"

#include <cinttypes>
#include <cstdio>
#include <deque>
#include <map>
#include <utility>

namespace {

std::string hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%" PRIX64, value);
  return text;
}

std::string str(const char *text) { return text ? text : "null"; }

std::string ptr(const void *pointer) { return pointer ? "out" : "null"; }

// Handles are addresses inside these rows, one column per scene, so that a
// handle kept from an earlier scene is recognisably stale.
enum HandleKind { kLibrary, kWindow, kModule, kIcon, kHandleKinds };
char handle_space[kHandleKinds][256];

struct Surface;
struct DirectDraw;

struct Scene {
  fake::Config config;
  unsigned generation = 0;
  std::map<std::string, std::deque<intptr_t>> scripts;
  std::function<void(const std::string &)> hook;
  std::vector<std::string> calls;
  std::deque<MSG> queue;
  WNDPROC proc = nullptr;
  DWORD mode_width = 320, mode_height = 200;
};

Scene scene;

void *handle(HandleKind kind) { return &handle_space[kind][scene.generation % 256]; }

std::string name_of(const void *h) {
  if (!h)
    return "null";
  static const char *const names[kHandleKinds] = {"ddraw", "window", "module", "icon"};
  for (int kind = 0; kind < kHandleKinds; ++kind) {
    if (h == handle(static_cast<HandleKind>(kind)))
      return names[kind];
    const char *row = handle_space[kind];
    if (static_cast<const char *>(h) >= row && static_cast<const char *>(h) < row + 256)
      return "stale";
  }
  return "unknown";
}

void record(const std::string &line) {
  scene.calls.push_back(line);
  if (scene.hook)
    scene.hook(line);
}

// The scripted result of the next call of operation, or fallback.
intptr_t next_result(const std::string &operation, intptr_t fallback) {
  auto found = scene.scripts.find(operation);
  if (found == scene.scripts.end() || found->second.empty())
    return fallback;
  intptr_t result = found->second.front();
  found->second.pop_front();
  return result;
}

HRESULT next_hresult(const std::string &operation) { return static_cast<HRESULT>(next_result(operation, DD_OK)); }

struct Surface final : IDirectDrawSurface {
  explicit Surface(const char *role) : name(role) {}

  std::string name;
  std::vector<uint8_t> memory;
  ULONG references = 0;

  std::string call(const std::string &method, const std::string &arguments = "") const {
    return name + "." + method + "(" + arguments + ")";
  }
  HRESULT unsupported(const char *method) {
    record(call(method, "unexpected"));
    return DDERR_UNSUPPORTED;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void **) override { return unsupported("QueryInterface"); }
  ULONG STDMETHODCALLTYPE AddRef() override {
    record(call("AddRef"));
    return ++references;
  }
  ULONG STDMETHODCALLTYPE Release() override {
    record(call("Release"));
    return references ? --references : 0;
  }
  HRESULT STDMETHODCALLTYPE AddAttachedSurface(LPDIRECTDRAWSURFACE) override {
    return unsupported("AddAttachedSurface");
  }
  HRESULT STDMETHODCALLTYPE AddOverlayDirtyRect(LPRECT) override { return unsupported("AddOverlayDirtyRect"); }
  HRESULT STDMETHODCALLTYPE Blt(LPRECT, LPDIRECTDRAWSURFACE, LPRECT, DWORD, LPDDBLTFX) override {
    return unsupported("Blt");
  }
  HRESULT STDMETHODCALLTYPE BltBatch(LPDDBLTBATCH, DWORD, DWORD) override { return unsupported("BltBatch"); }
  HRESULT STDMETHODCALLTYPE BltFast(DWORD, DWORD, LPDIRECTDRAWSURFACE, LPRECT, DWORD) override {
    return unsupported("BltFast");
  }
  HRESULT STDMETHODCALLTYPE DeleteAttachedSurface(DWORD, LPDIRECTDRAWSURFACE) override {
    return unsupported("DeleteAttachedSurface");
  }
  HRESULT STDMETHODCALLTYPE EnumAttachedSurfaces(LPVOID, LPDDENUMSURFACESCALLBACK) override {
    return unsupported("EnumAttachedSurfaces");
  }
  HRESULT STDMETHODCALLTYPE EnumOverlayZOrders(DWORD, LPVOID, LPDDENUMSURFACESCALLBACK) override {
    return unsupported("EnumOverlayZOrders");
  }
  HRESULT STDMETHODCALLTYPE Flip(LPDIRECTDRAWSURFACE target, DWORD flags) override;
  HRESULT STDMETHODCALLTYPE GetAttachedSurface(LPDDSCAPS caps, LPDIRECTDRAWSURFACE *attached) override;
  HRESULT STDMETHODCALLTYPE GetBltStatus(DWORD) override { return unsupported("GetBltStatus"); }
  HRESULT STDMETHODCALLTYPE GetCaps(LPDDSCAPS) override { return unsupported("GetCaps"); }
  HRESULT STDMETHODCALLTYPE GetClipper(LPDIRECTDRAWCLIPPER *) override { return unsupported("GetClipper"); }
  HRESULT STDMETHODCALLTYPE GetColorKey(DWORD, LPDDCOLORKEY) override { return unsupported("GetColorKey"); }
  HRESULT STDMETHODCALLTYPE GetDC(HDC *) override { return unsupported("GetDC"); }
  HRESULT STDMETHODCALLTYPE GetFlipStatus(DWORD) override { return unsupported("GetFlipStatus"); }
  HRESULT STDMETHODCALLTYPE GetOverlayPosition(LPLONG, LPLONG) override { return unsupported("GetOverlayPosition"); }
  HRESULT STDMETHODCALLTYPE GetPalette(LPDIRECTDRAWPALETTE *) override { return unsupported("GetPalette"); }
  HRESULT STDMETHODCALLTYPE GetPixelFormat(LPDDPIXELFORMAT format) override {
    record(call("GetPixelFormat", "size " + std::to_string(format->dwSize)));
    if (format->dwSize != sizeof(DDPIXELFORMAT))
      return DDERR_INVALIDPARAMS;
    HRESULT result = next_hresult("GetPixelFormat");
    if (result >= 0)
      *format = scene.config.format;
    return result;
  }
  HRESULT STDMETHODCALLTYPE GetSurfaceDesc(LPDDSURFACEDESC) override { return unsupported("GetSurfaceDesc"); }
  HRESULT STDMETHODCALLTYPE Initialize(LPDIRECTDRAW, LPDDSURFACEDESC) override { return unsupported("Initialize"); }
  HRESULT STDMETHODCALLTYPE IsLost() override { return unsupported("IsLost"); }
  HRESULT STDMETHODCALLTYPE Lock(LPRECT rect, LPDDSURFACEDESC desc, DWORD flags, HANDLE event) override {
    record(call("Lock", ptr(rect) + ", size " + std::to_string(desc->dwSize) + ", " + hex(flags) + ", " + ptr(event)));
    if (desc->dwSize != sizeof(DDSURFACEDESC))
      return DDERR_INVALIDPARAMS;
    HRESULT result = next_hresult("Lock");
    if (result < 0)
      return result;
    desc->dwFlags = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT | DDSD_LPSURFACE;
    desc->dwWidth = scene.mode_width;
    desc->dwHeight = scene.mode_height;
    desc->lPitch = scene.config.pitch;
    desc->lpSurface = memory.data();
    desc->ddpfPixelFormat = scene.config.format;
    return result;
  }
  HRESULT STDMETHODCALLTYPE ReleaseDC(HDC) override { return unsupported("ReleaseDC"); }
  HRESULT STDMETHODCALLTYPE Restore() override {
    record(call("Restore"));
    return next_hresult("Restore");
  }
  HRESULT STDMETHODCALLTYPE SetClipper(LPDIRECTDRAWCLIPPER) override { return unsupported("SetClipper"); }
  HRESULT STDMETHODCALLTYPE SetColorKey(DWORD, LPDDCOLORKEY) override { return unsupported("SetColorKey"); }
  HRESULT STDMETHODCALLTYPE SetOverlayPosition(LONG, LONG) override { return unsupported("SetOverlayPosition"); }
  HRESULT STDMETHODCALLTYPE SetPalette(LPDIRECTDRAWPALETTE) override { return unsupported("SetPalette"); }
  HRESULT STDMETHODCALLTYPE Unlock(LPVOID data) override {
    record(call("Unlock", data == memory.data() ? "lpSurface" : "other"));
    return next_hresult("Unlock");
  }
  HRESULT STDMETHODCALLTYPE UpdateOverlay(LPRECT, LPDIRECTDRAWSURFACE, LPRECT, DWORD, LPDDOVERLAYFX) override {
    return unsupported("UpdateOverlay");
  }
  HRESULT STDMETHODCALLTYPE UpdateOverlayDisplay(DWORD) override { return unsupported("UpdateOverlayDisplay"); }
  HRESULT STDMETHODCALLTYPE UpdateOverlayZOrder(DWORD, LPDIRECTDRAWSURFACE) override {
    return unsupported("UpdateOverlayZOrder");
  }
};

// Both live as long as the test program, so a pointer the module keeps from
// an earlier scene never dangles.
Surface primary("primary");
Surface back("back");

std::string surface_name(const void *surface) {
  if (!surface)
    return "null";
  if (surface == &primary)
    return "primary";
  if (surface == &back)
    return "back";
  return "unknown";
}

HRESULT Surface::Flip(LPDIRECTDRAWSURFACE target, DWORD flags) {
  record(call("Flip", surface_name(target) + ", " + hex(flags)));
  HRESULT result = next_hresult("Flip");
  if (result >= 0 && this == &primary)
    std::swap(primary.memory, back.memory);
  return result;
}

HRESULT Surface::GetAttachedSurface(LPDDSCAPS caps, LPDIRECTDRAWSURFACE *attached) {
  record(call("GetAttachedSurface", "caps " + hex(caps->dwCaps) + ", " + ptr(attached)));
  HRESULT result = next_hresult("GetAttachedSurface");
  if (result < 0)
    return result;
  if (this != &primary || caps->dwCaps != DDSCAPS_BACKBUFFER || !scene.config.back_buffer)
    return DDERR_NOTFOUND;
  *attached = &back;
  return result;
}

struct DirectDraw final : IDirectDraw {
  ULONG references = 0;

  static std::string call(const std::string &method, const std::string &arguments = "") {
    return "dd." + method + "(" + arguments + ")";
  }
  HRESULT unsupported(const char *method) {
    record(call(method, "unexpected"));
    return DDERR_UNSUPPORTED;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void **) override { return unsupported("QueryInterface"); }
  ULONG STDMETHODCALLTYPE AddRef() override {
    record(call("AddRef"));
    return ++references;
  }
  ULONG STDMETHODCALLTYPE Release() override {
    record(call("Release"));
    return references ? --references : 0;
  }
  HRESULT STDMETHODCALLTYPE Compact() override { return unsupported("Compact"); }
  HRESULT STDMETHODCALLTYPE CreateClipper(DWORD, LPDIRECTDRAWCLIPPER *, IUnknown *) override {
    return unsupported("CreateClipper");
  }
  HRESULT STDMETHODCALLTYPE CreatePalette(DWORD, LPPALETTEENTRY, LPDIRECTDRAWPALETTE *, IUnknown *) override {
    return unsupported("CreatePalette");
  }
  HRESULT STDMETHODCALLTYPE CreateSurface(LPDDSURFACEDESC desc, LPDIRECTDRAWSURFACE *surface,
                                          IUnknown *outer) override {
    record(call("CreateSurface", "size " + std::to_string(desc->dwSize) + ", flags " + hex(desc->dwFlags) +
                                     ", backbuffers " + std::to_string(desc->dwBackBufferCount) + ", caps " +
                                     hex(desc->ddsCaps.dwCaps) + ", " + ptr(surface) + ", " + ptr(outer)));
    if (desc->dwSize != sizeof(DDSURFACEDESC))
      return DDERR_INVALIDPARAMS;
    HRESULT result = next_hresult("CreateSurface");
    if (result < 0)
      return result;
    size_t bytes = static_cast<size_t>(scene.config.pitch) * scene.mode_height;
    primary.memory.assign(bytes, 0);
    back.memory.assign(bytes, 0);
    primary.references = 1;
    *surface = &primary;
    return result;
  }
  HRESULT STDMETHODCALLTYPE DuplicateSurface(LPDIRECTDRAWSURFACE, LPDIRECTDRAWSURFACE *) override {
    return unsupported("DuplicateSurface");
  }
  HRESULT STDMETHODCALLTYPE EnumDisplayModes(DWORD, LPDDSURFACEDESC, LPVOID, LPDDENUMMODESCALLBACK) override {
    return unsupported("EnumDisplayModes");
  }
  HRESULT STDMETHODCALLTYPE EnumSurfaces(DWORD, LPDDSURFACEDESC, LPVOID, LPDDENUMSURFACESCALLBACK) override {
    return unsupported("EnumSurfaces");
  }
  HRESULT STDMETHODCALLTYPE FlipToGDISurface() override { return unsupported("FlipToGDISurface"); }
  HRESULT STDMETHODCALLTYPE GetCaps(LPDDCAPS, LPDDCAPS) override { return unsupported("GetCaps"); }
  HRESULT STDMETHODCALLTYPE GetDisplayMode(LPDDSURFACEDESC) override { return unsupported("GetDisplayMode"); }
  HRESULT STDMETHODCALLTYPE GetFourCCCodes(LPDWORD, LPDWORD) override { return unsupported("GetFourCCCodes"); }
  HRESULT STDMETHODCALLTYPE GetGDISurface(LPDIRECTDRAWSURFACE *) override { return unsupported("GetGDISurface"); }
  HRESULT STDMETHODCALLTYPE GetMonitorFrequency(LPDWORD) override { return unsupported("GetMonitorFrequency"); }
  HRESULT STDMETHODCALLTYPE GetScanLine(LPDWORD) override { return unsupported("GetScanLine"); }
  HRESULT STDMETHODCALLTYPE GetVerticalBlankStatus(BOOL *) override { return unsupported("GetVerticalBlankStatus"); }
  HRESULT STDMETHODCALLTYPE Initialize(GUID *) override { return unsupported("Initialize"); }
  HRESULT STDMETHODCALLTYPE RestoreDisplayMode() override {
    record(call("RestoreDisplayMode"));
    return next_hresult("RestoreDisplayMode");
  }
  HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND window, DWORD flags) override {
    record(call("SetCooperativeLevel", name_of(window) + ", " + hex(flags)));
    return next_hresult("SetCooperativeLevel");
  }
  HRESULT STDMETHODCALLTYPE SetDisplayMode(DWORD width, DWORD height, DWORD bits) override {
    record(call("SetDisplayMode", std::to_string(width) + ", " + std::to_string(height) + ", " + std::to_string(bits)));
    HRESULT result = next_hresult("SetDisplayMode");
    if (result >= 0) {
      scene.mode_width = width;
      scene.mode_height = height;
    }
    return result;
  }
  HRESULT STDMETHODCALLTYPE WaitForVerticalBlank(DWORD, HANDLE) override {
    return unsupported("WaitForVerticalBlank");
  }
};

DirectDraw directdraw;

fake::Config default_config() {
  fake::Config config = {};
  config.format.dwSize = sizeof(DDPIXELFORMAT);
  config.format.dwFlags = DDPF_RGB;
  config.format.dwRGBBitCount = 32;
  config.format.dwRBitMask = 0x00FF0000;
  config.format.dwGBitMask = 0x0000FF00;
  config.format.dwBBitMask = 0x000000FF;
  config.pitch = 320 * 4 + 64;
  config.back_buffer = true;
  config.screensaver = TRUE;
  return config;
}

} // namespace

namespace fake {

void reset() {
  WNDPROC proc = scene.proc;
  unsigned generation = scene.generation + 1;
  scene = Scene();
  scene.proc = proc;
  scene.generation = generation;
  scene.config = default_config();
  primary.memory.clear();
  back.memory.clear();
  primary.references = back.references = directdraw.references = 0;
}

Config &config() { return scene.config; }

void script(const std::string &operation, std::initializer_list<intptr_t> results) {
  auto &queue = scene.scripts[operation];
  queue.insert(queue.end(), results.begin(), results.end());
}

void on_call(std::function<void(const std::string &)> hook) { scene.hook = std::move(hook); }

const std::vector<std::string> &calls() { return scene.calls; }

void clear_calls() { scene.calls.clear(); }

void post(UINT message, WPARAM wParam, LPARAM lParam) {
  MSG msg = {};
  msg.hwnd = window();
  msg.message = message;
  msg.wParam = wParam;
  msg.lParam = lParam;
  scene.queue.push_back(msg);
}

LRESULT send(UINT message, WPARAM wParam, LPARAM lParam) { return scene.proc(window(), message, wParam, lParam); }

WNDPROC window_procedure() { return scene.proc; }

HWND window() { return static_cast<HWND>(handle(kWindow)); }

std::vector<uint8_t> &front_memory() { return primary.memory; }

std::vector<uint8_t> &back_memory() { return back.memory; }

} // namespace fake

// --- The platform's functions ---------------------------------------------------

extern "C" {

HMODULE WINAPI LoadLibraryA(LPCSTR name) {
  record("LoadLibraryA(" + str(name) + ")");
  if (!next_result("LoadLibraryA", 1) || std::string(str(name)) != "ddraw.dll")
    return nullptr;
  return static_cast<HMODULE>(handle(kLibrary));
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name) {
  record("GetProcAddress(" + name_of(module) + ", " + str(name) + ")");
  if (!next_result("GetProcAddress", 1) || module != handle(kLibrary) || str(name) != "DirectDrawCreate")
    return nullptr;
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)(void)>(&DirectDrawCreate));
}

BOOL WINAPI FreeLibrary(HMODULE module) {
  record("FreeLibrary(" + name_of(module) + ")");
  return TRUE;
}

HMODULE WINAPI GetModuleHandleA(LPCSTR name) {
  record("GetModuleHandleA(" + str(name) + ")");
  return static_cast<HMODULE>(handle(kModule));
}

void WINAPI Sleep(DWORD milliseconds) { record("Sleep(" + std::to_string(milliseconds) + ")"); }

void WINAPI ExitProcess(UINT code) {
  record("ExitProcess(" + std::to_string(code) + ")");
  throw fake::ProcessExit{code};
}

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name) {
  record("LoadIconA(" + name_of(instance) + ", " + str(name) + ")");
  return static_cast<HICON>(handle(kIcon));
}

ATOM WINAPI RegisterClassA(const WNDCLASSA *wc) {
  record("RegisterClassA(style " + std::to_string(wc->style) + ", " + (wc->lpfnWndProc ? "proc" : "null") + ", " +
         std::to_string(wc->cbClsExtra) + ", " + std::to_string(wc->cbWndExtra) + ", " + name_of(wc->hInstance) +
         ", " + name_of(wc->hIcon) + ", " + name_of(wc->hCursor) + ", " + name_of(wc->hbrBackground) + ", " +
         str(wc->lpszMenuName) + ", " + str(wc->lpszClassName) + ")");
  scene.proc = wc->lpfnWndProc;
  return 1;
}

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                            int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
  record("CreateWindowExA(" + hex(exStyle) + ", " + str(className) + ", " + str(windowName) + ", " + hex(style) +
         ", " + std::to_string(x) + ", " + std::to_string(y) + ", " + std::to_string(width) + ", " +
         std::to_string(height) + ", " + name_of(parent) + ", " + name_of(menu) + ", " + name_of(instance) + ", " +
         ptr(param) + ")");
  if (!next_result("CreateWindowExA", 1))
    return nullptr;
  return fake::window();
}

BOOL WINAPI DestroyWindow(HWND window) {
  record("DestroyWindow(" + name_of(window) + ")");
  return window == fake::window();
}

HCURSOR WINAPI SetCursor(HCURSOR cursor) {
  record("SetCursor(" + name_of(cursor) + ")");
  return nullptr;
}

// Like the platform's, turns the system close command into a close request.
LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  record("DefWindowProcA(" + name_of(window) + ", " + hex(message) + ", " + hex(wParam) + ", " +
         hex(static_cast<uint64_t>(lParam)) + ")");
  if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE && scene.proc)
    return scene.proc(window, WM_CLOSE, 0, 0);
  return next_result("DefWindowProcA", 0);
}

BOOL WINAPI PeekMessageA(LPMSG msg, HWND window, UINT first, UINT last, UINT remove) {
  record("PeekMessageA(" + ptr(msg) + ", " + name_of(window) + ", " + std::to_string(first) + ", " +
         std::to_string(last) + ", " + std::to_string(remove) + ")");
  if (scene.queue.empty() || (window && window != fake::window()))
    return FALSE;
  *msg = scene.queue.front();
  if (remove & PM_REMOVE)
    scene.queue.pop_front();
  return TRUE;
}

BOOL WINAPI TranslateMessage(const MSG *msg) {
  record("TranslateMessage(" + hex(msg->message) + ")");
  return FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG *msg) {
  record("DispatchMessageA(" + hex(msg->message) + ")");
  if (msg->hwnd != fake::window() || !scene.proc)
    return 0;
  return scene.proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL WINAPI SystemParametersInfoA(UINT action, UINT uiParam, PVOID pvParam, UINT winIni) {
  record("SystemParametersInfoA(" + std::to_string(action) + ", " + std::to_string(uiParam) + ", " + ptr(pvParam) +
         ", " + std::to_string(winIni) + ")");
  switch (action) {
  case SPI_GETSCREENSAVEACTIVE:
    if (!pvParam || !next_result("SystemParametersInfoA", 1))
      return FALSE;
    *static_cast<BOOL *>(pvParam) = scene.config.screensaver;
    return TRUE;
  case SPI_SETSCREENSAVEACTIVE:
    scene.config.screensaver = uiParam ? TRUE : FALSE;
    return TRUE;
  default:
    return FALSE;
  }
}

HRESULT WINAPI DirectDrawCreate(GUID *guid, LPDIRECTDRAW *dd, IUnknown *outer) {
  record("DirectDrawCreate(" + ptr(guid) + ", " + ptr(dd) + ", " + ptr(outer) + ")");
  HRESULT result = next_hresult("DirectDrawCreate");
  if (result < 0)
    return result;
  directdraw.references = 1;
  *dd = &directdraw;
  return result;
}

} // extern "C"
