// The emulated display: one DirectDraw object at a time, exclusive
// full-screen control, 320 by 200 modes at the configured depths, and a
// flip chain of surfaces in memory whose rows lie further apart than
// their pixels need. Every flip hands the new front buffer to the screen
// driver chosen by FLYOVER_DRIVER.
#include "directdraw_unsupported.h"
#include "internal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace flyover {

namespace {

constexpr int32_t kModeWidth = 320;
constexpr int32_t kModeHeight = 200;
constexpr DWORD kMostBackBuffers = 3;
// Rows start this many bytes after a row's last pixel (rounded up to 16
// first), so that a program stepping by the width instead of the pitch
// shows at once.
constexpr int32_t kRowPadding = 32;

class Surface;
class DirectDrawObject;

struct Mode {
  int32_t width = 0, height = 0;
  const ScreenFormat *format = nullptr;
};

// A front buffer with its back buffers. Surfaces keep their place in the
// chain; a flip moves the memory one place towards the front.
struct FlipChain {
  std::vector<Surface *> surfaces; // [0] is the front buffer
  std::vector<std::vector<uint8_t>> memory;
  Mode mode;
  int32_t pitch = 0;
  size_t rotation = 0;
  bool lost = false;

  uint8_t *memoryOf(size_t place) { return memory[(place + rotation) % memory.size()].data(); }
};

// The display hardware and who holds it.
struct Display {
  Settings settings;
  std::unique_ptr<ScreenDriver> driver;
  DirectDrawObject *object = nullptr;
  HWND exclusiveWindow = nullptr;
  bool active = false;
  Mode mode;
  FlipChain *chain = nullptr;
  uint64_t presented = 0;
  bool framesDone = false; // FLYOVER_FRAMES were presented and Escape sent
  bool pointerMoved = false;
  std::vector<ScreenEvent> events; // kept, so that looking for messages allocates nothing
  std::string unfinished;          // why a driver's output is incomplete; empty when it is not
};

Display display;

void fillPixelFormat(const ScreenFormat &format, DDPIXELFORMAT &pf) {
  pf.dwFlags = format.flags;
  pf.dwFourCC = format.fourcc;
  pf.dwRGBBitCount = format.bits;
  pf.dwRBitMask = format.red;
  pf.dwGBitMask = format.green;
  pf.dwBBitMask = format.blue;
  pf.dwRGBAlphaBitMask = 0;
}

// A record the caller sized for this build's layout, as every DirectDraw
// call that fills one checks.
template <typename Record> bool sized(const Record *record) { return record && record->dwSize == sizeof(Record); }

// What the driver could not complete is kept until the process ends, which
// reports it once; the first reason is the one told.
void keepUnfinished(const std::string &error) {
  if (display.unfinished.empty())
    display.unfinished = error;
}

void destroyChain();
void leaveMode();
void endDisplay();

// Hands the front buffer to the screen. A screen that takes no more
// pictures is gone for good: a program going on would be running for
// nobody, and its output would silently be incomplete.
void present(FlipChain &chain) {
  std::string error;
  if (!display.driver->present(chain.memoryOf(0), chain.pitch, error)) {
    keepUnfinished(error);
    endProcess(1);
  }
  ++display.presented;
  if (pendingSignal())
    endProcess(0);
}

// A surface does what the display module asks of one (lock, unlock, flip,
// restore, its pixel format and attached back buffer); the rest (blits,
// overlays, clippers, palettes, device contexts, status queries) the base
// refuses.
class Surface final : public UnsupportedDirectDrawSurface {
public:
  Surface(FlipChain *chain, size_t place, DWORD caps) : chain_(chain), place_(place), caps_(caps) {}

  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    if (references_ == 0)
      return 0;
    if (--references_ > 0 || place_ != 0)
      return references_; // back buffers go when their front buffer goes
    destroyChain();
    return 0;
  }

  HRESULT STDMETHODCALLTYPE Flip(LPDIRECTDRAWSURFACE lpDDSurfaceTargetOverride, DWORD) override {
    if (place_ != 0 || chain_->surfaces.size() < 2)
      return DDERR_NOTFLIPPABLE;
    if (lpDDSurfaceTargetOverride)
      return DDERR_UNSUPPORTED; // the chain always flips in order
    if (chain_->lost)
      return DDERR_SURFACELOST;
    for (const Surface *surface : chain_->surfaces)
      if (surface->locked_)
        return DDERR_SURFACEBUSY;
    chain_->rotation = (chain_->rotation + 1) % chain_->memory.size();
    present(*chain_);
    return DD_OK;
  }

  HRESULT STDMETHODCALLTYPE GetAttachedSurface(LPDDSCAPS lpDDSCaps,
                                               LPDIRECTDRAWSURFACE *lplpDDAttachedSurface) override {
    if (!lpDDSCaps || !lplpDDAttachedSurface)
      return DDERR_INVALIDPARAMS;
    *lplpDDAttachedSurface = nullptr;
    if (chain_->surfaces.size() < 2)
      return DDERR_NOTFOUND;
    // Each surface of a flip chain has the next one attached; the last
    // back buffer has the front buffer.
    Surface *next = chain_->surfaces[(place_ + 1) % chain_->surfaces.size()];
    if ((next->caps_ & lpDDSCaps->dwCaps) != lpDDSCaps->dwCaps)
      return DDERR_NOTFOUND;
    next->AddRef();
    *lplpDDAttachedSurface = next;
    return DD_OK;
  }

  HRESULT STDMETHODCALLTYPE GetPixelFormat(LPDDPIXELFORMAT lpDDPixelFormat) override {
    if (!sized(lpDDPixelFormat))
      return DDERR_INVALIDPARAMS;
    fillPixelFormat(*chain_->mode.format, *lpDDPixelFormat);
    return DD_OK;
  }

  HRESULT STDMETHODCALLTYPE Lock(LPRECT lpDestRect, LPDDSURFACEDESC lpDDSurfaceDesc, DWORD, HANDLE) override {
    if (!sized(lpDDSurfaceDesc))
      return DDERR_INVALIDPARAMS;
    if (lpDestRect)
      return DDERR_UNSUPPORTED; // only whole surfaces are locked here
    if (chain_->lost)
      return DDERR_SURFACELOST;
    if (locked_)
      return DDERR_SURFACEBUSY;
    describe(*lpDDSurfaceDesc);
    locked_ = lpDDSurfaceDesc->lpSurface = chain_->memoryOf(place_);
    return DD_OK;
  }

  HRESULT STDMETHODCALLTYPE Restore() override {
    if (!chain_->lost)
      return DD_OK;
    // Only the display mode the surfaces were made for brings them back,
    // and only while the program holds the screen.
    if (!display.active || display.mode.format != chain_->mode.format)
      return DDERR_WRONGMODE;
    chain_->lost = false;
    return DD_OK;
  }

  HRESULT STDMETHODCALLTYPE Unlock(LPVOID lpSurfaceData) override {
    if (!locked_)
      return DDERR_NOTLOCKED;
    if (lpSurfaceData && lpSurfaceData != locked_)
      return DDERR_INVALIDPARAMS;
    locked_ = nullptr;
    return DD_OK;
  }

private:
  void describe(DDSURFACEDESC &desc) const {
    const DWORD size = desc.dwSize;
    std::memset(&desc, 0, sizeof desc);
    desc.dwSize = size;
    desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PITCH | DDSD_PIXELFORMAT;
    desc.dwWidth = static_cast<DWORD>(chain_->mode.width);
    desc.dwHeight = static_cast<DWORD>(chain_->mode.height);
    desc.lPitch = chain_->pitch;
    if (place_ == 0 && chain_->surfaces.size() > 1) {
      desc.dwFlags |= DDSD_BACKBUFFERCOUNT;
      desc.dwBackBufferCount = static_cast<DWORD>(chain_->surfaces.size() - 1);
    }
    desc.ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
    fillPixelFormat(*chain_->mode.format, desc.ddpfPixelFormat);
    desc.ddsCaps.dwCaps = caps_;
  }

  FlipChain *chain_;
  size_t place_;
  DWORD caps_;
  ULONG references_ = place_ == 0 ? 1 : 0;
  void *locked_ = nullptr;
};

// Likewise the object: surfaces, the cooperative level and display modes.
class DirectDrawObject final : public UnsupportedDirectDraw {
public:
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    if (--references_ > 0)
      return references_;
    endDisplay(); // deletes this object
    return 0;
  }

  HRESULT STDMETHODCALLTYPE CreateSurface(LPDDSURFACEDESC lpDDSurfaceDesc, LPDIRECTDRAWSURFACE *lplpDDSurface,
                                          IUnknown *pUnkOuter) override {
    if (!sized(lpDDSurfaceDesc) || !lplpDDSurface)
      return DDERR_INVALIDPARAMS;
    *lplpDDSurface = nullptr;
    if (pUnkOuter)
      return CLASS_E_NOAGGREGATION;
    const DDSURFACEDESC &desc = *lpDDSurfaceDesc;
    if (!(desc.dwFlags & DDSD_CAPS))
      return DDERR_INVALIDPARAMS;
    const DWORD caps = desc.ddsCaps.dwCaps;
    // Only the screen's own surfaces exist here, in the display's memory.
    if (!(caps & DDSCAPS_PRIMARYSURFACE) || (caps & DDSCAPS_SYSTEMMEMORY))
      return DDERR_UNSUPPORTED;
    const bool flipping = (caps & DDSCAPS_FLIP) != 0;
    const bool counted = (desc.dwFlags & DDSD_BACKBUFFERCOUNT) != 0;
    if (flipping != counted || (flipping && !(caps & DDSCAPS_COMPLEX)))
      return DDERR_INVALIDCAPS;
    if (flipping && desc.dwBackBufferCount == 0)
      return DDERR_INVALIDPARAMS;
    if (flipping && desc.dwBackBufferCount > kMostBackBuffers)
      return DDERR_OUTOFVIDEOMEMORY;
    if (flipping && !display.exclusiveWindow)
      return DDERR_NOEXCLUSIVEMODE;
    if (!display.mode.format)
      return DDERR_UNSUPPORTEDMODE; // no mode of ours is set
    if (display.chain)
      return DDERR_PRIMARYSURFACEALREADYEXISTS;

    auto *chain = new FlipChain;
    chain->mode = display.mode;
    const int32_t rowBytes = chain->mode.width * static_cast<int32_t>(chain->mode.format->bytes);
    chain->pitch = (rowBytes + 15) / 16 * 16 + kRowPadding;
    const size_t count = flipping ? desc.dwBackBufferCount + 1 : 1;
    const DWORD chainCaps = DDSCAPS_VIDEOMEMORY | (flipping ? DDSCAPS_FLIP | DDSCAPS_COMPLEX : 0);
    for (size_t place = 0; place < count; ++place) {
      chain->memory.emplace_back(static_cast<size_t>(chain->pitch) * chain->mode.height, uint8_t{0});
      DWORD surfaceCaps = chainCaps;
      if (place == 0)
        surfaceCaps |= DDSCAPS_PRIMARYSURFACE | (flipping ? DDSCAPS_FRONTBUFFER : 0);
      else if (place == 1)
        surfaceCaps |= DDSCAPS_BACKBUFFER;
      chain->surfaces.push_back(new Surface(chain, place, surfaceCaps));
    }
    display.chain = chain;
    *lplpDDSurface = chain->surfaces[0];
    return DD_OK;
  }

  HRESULT STDMETHODCALLTYPE RestoreDisplayMode() override {
    leaveMode();
    return DD_OK;
  }

  HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND hWnd, DWORD dwFlags) override {
    const bool exclusive = (dwFlags & DDSCL_EXCLUSIVE) != 0;
    const bool fullScreen = (dwFlags & DDSCL_FULLSCREEN) != 0;
    const bool normal = (dwFlags & DDSCL_NORMAL) != 0;
    if (exclusive == normal || exclusive != fullScreen)
      return DDERR_INVALIDPARAMS;
    if (!exclusive) {
      leaveMode();
      display.exclusiveWindow = nullptr;
      display.active = false;
      return DD_OK;
    }
    if (!isWindow(hWnd))
      return DDERR_INVALIDPARAMS;
    if (display.exclusiveWindow == hWnd)
      return DD_OK;
    if (display.exclusiveWindow)
      return DDERR_HWNDALREADYSET;
    display.exclusiveWindow = hWnd;
    display.active = true;
    // Taking the screen over makes the program the active one.
    sendMessage(hWnd, WM_ACTIVATEAPP, TRUE, 0);
    return DD_OK;
  }

  HRESULT STDMETHODCALLTYPE SetDisplayMode(DWORD dwWidth, DWORD dwHeight, DWORD dwBPP) override {
    if (!display.exclusiveWindow)
      return DDERR_NOEXCLUSIVEMODE;
    const ScreenFormat *format = display.settings.formatOfMode(dwBPP);
    if (dwWidth != kModeWidth || dwHeight != kModeHeight || !format)
      return DDERR_INVALIDMODE;
    if (display.chain)
      display.chain->lost = true; // a mode change loses the surfaces, as on real hardware
    std::string error;
    if (!display.driver->setMode(kModeWidth, kModeHeight, *format, windowTitle(display.exclusiveWindow), error))
      refuseToStart("the " + display.settings.driver + " display cannot show the mode: " + error);
    display.mode = {kModeWidth, kModeHeight, format};
    return DD_OK;
  }

private:
  ULONG references_ = 1;
};

void destroyChain() {
  FlipChain *chain = display.chain;
  if (!chain)
    return;
  display.chain = nullptr;
  for (Surface *surface : chain->surfaces)
    delete surface;
  delete chain;
}

// The object's end, by its last Release or with the process: it takes its
// surfaces, the display mode, the screen and the driver with it.
void endDisplay() {
  destroyChain();
  leaveMode();
  display.exclusiveWindow = nullptr;
  display.active = false;
  delete display.object;
  display.object = nullptr;
  std::string error;
  if (display.driver && !display.driver->finish(error))
    keepUnfinished(error);
  display.driver.reset();
}

void leaveMode() {
  if (!display.mode.format)
    return;
  display.mode = Mode();
  if (display.chain)
    display.chain->lost = true;
  display.driver->restoreMode();
}

} // namespace

void pumpScreen() {
  if (pendingSignal())
    endProcess(0);
  if (!display.driver)
    return;
  display.events.clear();
  display.driver->pollEvents(display.events);
  for (const ScreenEvent &event : display.events)
    handleScreenEvent(event);
  // Many pointer moves between two looks at the queue make one message.
  if (display.pointerMoved) {
    display.pointerMoved = false;
    postMessage(display.exclusiveWindow, WM_SETCURSOR, reinterpret_cast<WPARAM>(display.exclusiveWindow),
                HTCLIENT | (static_cast<LPARAM>(WM_MOUSEMOVE) << 16));
  }
  // After the last of FLYOVER_FRAMES, as if the user pressed Escape.
  if (display.settings.frames && display.presented >= display.settings.frames && !display.framesDone) {
    display.framesDone = true;
    for (const bool down : {true, false})
      handleScreenEvent(ScreenEvent{ScreenEvent::Key, VK_ESCAPE, down});
  }
}

void handleScreenEvent(const ScreenEvent &event) {
  if (event.kind == ScreenEvent::Lost) {
    // Nothing can be restored on a server that is gone, and the driver's
    // clean-up would only talk to a closed connection: end at once.
    std::fprintf(stderr, "flyover: the display server went away\n");
    std::fflush(nullptr);
    std::_Exit(1);
  }
  const HWND window = display.exclusiveWindow;
  if (!window)
    return; // nobody holds the screen
  switch (event.kind) {
  case ScreenEvent::Key: {
    // Alt and F10, the key of the window menu, make system keys.
    const bool system = event.alt || event.virtualKey == VK_MENU || event.virtualKey == VK_F10;
    const UINT message = event.down ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
    // Repeat count 1; bit 29 Alt held; bits 30 and 31 for a release.
    uint32_t lParam = 1;
    if (event.alt)
      lParam |= 1u << 29;
    if (!event.down)
      lParam |= 3u << 30;
    postMessage(window, message, event.virtualKey, static_cast<LPARAM>(lParam));
    break;
  }
  case ScreenEvent::Close:
    postMessage(window, WM_CLOSE, 0, 0);
    break;
  case ScreenEvent::Focus:
    if (event.focused == display.active)
      break; // only changes are news
    display.active = event.focused;
    // A full-screen program that loses the screen loses its surfaces too.
    if (!event.focused && display.chain)
      display.chain->lost = true;
    postMessage(window, WM_ACTIVATEAPP, event.focused ? TRUE : FALSE, 0);
    break;
  case ScreenEvent::Pointer:
    display.pointerMoved = true;
    break;
  case ScreenEvent::Lost:
    break; // handled above
  }
}

void screenCursorChanged(bool visible) {
  if (display.driver)
    display.driver->showCursor(visible);
}

void screenSaverChanged(bool active) {
  if (display.driver)
    display.driver->allowScreenSaver(active);
}

bool shutdownDisplay(std::string &error) {
  // Whatever references the program still holds, the process ends now.
  endDisplay();
  error.clear();
  error.swap(display.unfinished); // told once
  return error.empty();
}

} // namespace flyover

using namespace flyover;

extern "C" HRESULT WINAPI DirectDrawCreate(GUID *lpGUID, LPDIRECTDRAW *lplpDD, IUnknown *pUnkOuter) {
  if (!lplpDD)
    return DDERR_INVALIDPARAMS;
  *lplpDD = nullptr;
  if (pUnkOuter)
    return CLASS_E_NOAGGREGATION;
  // Null, or one of the two special values, picks the one display there is.
  if (reinterpret_cast<uintptr_t>(lpGUID) > 2)
    return DDERR_INVALIDPARAMS;
  if (display.object)
    return DDERR_DIRECTDRAWALREADYCREATED;

  std::string error;
  Settings settings;
  if (!readSettingsFromEnvironment(settings, error))
    refuseToStart(error);
  // Before the driver starts, so that a signal during its start is noted
  // too and ends the program through the same clean-up.
  watchTerminationSignals();
  std::unique_ptr<ScreenDriver> driver = findDriver(settings.driver)->create(settings, error);
  if (!driver)
    refuseToStart("the " + settings.driver + " display cannot be used: " + error);
  // When main returns, its code stands unless the rule of exitCode changes
  // it; only ending here can change it any more.
  static const bool registered = std::atexit([] {
                                   if (const unsigned code = exitCode(0)) {
                                     std::fflush(nullptr);
                                     std::_Exit(static_cast<int>(code));
                                   }
                                 }) == 0;
  (void)registered;

  display.settings = settings;
  display.driver = std::move(driver);
  display.driver->showCursor(cursorShown());
  display.driver->allowScreenSaver(screenSaverActive());
  display.presented = 0;
  display.framesDone = false;
  display.pointerMoved = false;
  display.object = new DirectDrawObject;
  *lplpDD = display.object;
  return DD_OK;
}
