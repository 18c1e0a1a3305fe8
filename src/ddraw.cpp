// The full-screen display: a page-flipped DirectDraw primary surface in
// exclusive mode, its window, and the presentation of each finished canvas.
//
// The same source builds for Windows, against the platform's own headers and
// the real user32 and kernel32, and for Linux, against our declarations of
// the same operations and the stand-in that implements them. DirectDraw is
// bound at run time ("ddraw.dll", "DirectDrawCreate") in both, so the
// program starts even where the library is missing and can say so.
#include <windows.h>
#include <ddraw.h>

#include <stdint.h>
#include <stdio.h>

#include "mmx_levels.h"
#include "ptc.h"

typedef HRESULT(WINAPI *DirectDrawCreateEntry)(GUID *guid, LPDIRECTDRAW *dd, IUnknown *outer);

static HMODULE library = nullptr;
static LPDIRECTDRAW lpDD = nullptr;
static LPDIRECTDRAWSURFACE lpDDS = nullptr;
// Belongs to the primary's flip chain: releasing the primary takes it along,
// so it is never released on its own.
static LPDIRECTDRAWSURFACE lpDDS_back = nullptr;
static WNDCLASSA wc;
static HWND wnd = nullptr;
// The wParam of the last WM_ACTIVATEAPP; frames are presented only while it
// is non-zero, so nothing is drawn before the platform reports us active.
static int32_t active = 0;
static int32_t dx = 0;
static int32_t dy = 0;

// The user's screen-saver setting, read just before the open switches the
// screen saver off, so that the close can put exactly that back. Nothing is
// restored when the open never got that far.
static BOOL screensaver_setting = TRUE;
static bool screensaver_switched_off = false;

// One line on standard error naming the step of the open that failed: the
// result 0 alone does not tell a user why the flyover did not start.
static void report_hresult(const char *what, HRESULT result) {
  fprintf(stderr, "flyover: %s (error 0x%08X)\n", what, static_cast<unsigned>(result));
}

static LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
  case WM_ACTIVATEAPP:
    active = static_cast<int32_t>(static_cast<uint32_t>(wParam));
    return 0;
  case WM_SETCURSOR:
    SetCursor(nullptr);
    return 0;
  case WM_KEYDOWN:
    // Virtual-key codes are single bytes (1 to 254): only the low byte of
    // wParam is the key, whatever a platform leaves in the bits above it.
    if ((wParam & 0xFF) != VK_ESCAPE)
      return 0;
    ptc_close();
    ExitProcess(0);
  case WM_CLOSE:
    ptc_close();
    ExitProcess(0);
  default:
    return DefWindowProcA(hwnd, message, wParam, lParam);
  }
}

pixel_converter convert = nullptr;

// The steps of the open, in order. Each says in one line why it failed and
// returns false; what it acquired stays in place for ptc_close.

// DirectDraw, bound at run time, and its object.
static bool open_directdraw(void) {
  library = LoadLibraryA("ddraw.dll");
  if (!library) {
    fprintf(stderr, "flyover: ddraw.dll could not be loaded\n");
    return false;
  }
  FARPROC entry = GetProcAddress(library, "DirectDrawCreate");
  if (!entry) {
    fprintf(stderr, "flyover: ddraw.dll has no DirectDrawCreate entry point\n");
    return false;
  }
  // Through void (*)(void), the one function-pointer type that converts to
  // any other without a warning.
  DirectDrawCreateEntry create = reinterpret_cast<DirectDrawCreateEntry>(reinterpret_cast<void (*)(void)>(entry));
  HRESULT result = create(nullptr, &lpDD, nullptr);
  if (result < 0) {
    report_hresult("DirectDrawCreate could not create a DirectDraw object", result);
    return false;
  }
  return true;
}

static void create_window(const char *title) {
  wc.style = 0;
  wc.lpfnWndProc = WndProc;
  wc.cbClsExtra = 0;
  wc.cbWndExtra = 0;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hIcon = LoadIconA(wc.hInstance, "IDI_MAIN");
  wc.hCursor = nullptr;
  wc.hbrBackground = nullptr;
  wc.lpszMenuName = nullptr;
  wc.lpszClassName = title;
  RegisterClassA(&wc);

  // A pop-up of no size: the exclusive full-screen level below gives it the
  // whole screen, so it is never shown, moved or focused from here.
  wnd = CreateWindowExA(0, title, title, WS_POPUP | WS_SYSMENU, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
}

// Exclusive full-screen access, then the deepest mode the display accepts;
// the primary's pixel format, read later, says which one it was.
static bool set_mode(int32_t width, int32_t height) {
  HRESULT result = lpDD->SetCooperativeLevel(wnd, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN);
  if (result < 0) {
    report_hresult("exclusive full-screen access was refused", result);
    return false;
  }
  if (lpDD->SetDisplayMode(width, height, 32) < 0 && lpDD->SetDisplayMode(width, height, 24) < 0 &&
      lpDD->SetDisplayMode(width, height, 16) < 0) {
    fprintf(stderr, "flyover: no %dx%d display mode was accepted at 32, 24 or 16 bits per pixel\n",
            static_cast<int>(width), static_cast<int>(height));
    return false;
  }
  return true;
}

// Two back buffers where the display allows them, else one; the last try
// asks for a plain primary and succeeds only if the display attaches a back
// buffer of its own, which the attachment then checks.
static bool create_surfaces(void) {
  DDSURFACEDESC ddsd = {};
  ddsd.dwSize = sizeof(ddsd);
  ddsd.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
  ddsd.dwBackBufferCount = 2;
  ddsd.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_VIDEOMEMORY;
  HRESULT result = lpDD->CreateSurface(&ddsd, &lpDDS, nullptr);
  if (result < 0) {
    ddsd.dwBackBufferCount = 1;
    result = lpDD->CreateSurface(&ddsd, &lpDDS, nullptr);
  }
  if (result < 0) {
    ddsd.dwFlags = DDSD_CAPS;
    ddsd.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_VIDEOMEMORY;
    result = lpDD->CreateSurface(&ddsd, &lpDDS, nullptr);
  }
  if (result < 0) {
    report_hresult("no flipping primary surface could be created", result);
    return false;
  }

  DDSCAPS caps = {};
  caps.dwCaps = DDSCAPS_BACKBUFFER;
  result = lpDDS->GetAttachedSurface(&caps, &lpDDS_back);
  if (result < 0) {
    report_hresult("the primary surface has no back buffer", result);
    return false;
  }
  return true;
}

// The row converter for the primary's pixel format.
static bool choose_converter(void) {
  DDPIXELFORMAT format = {};
  format.dwSize = sizeof(format);
  HRESULT result = lpDDS->GetPixelFormat(&format);
  if (result < 0) {
    report_hresult("the screen's pixel format could not be read", result);
    return false;
  }
  if (!(format.dwFlags & DDPF_RGB)) {
    fprintf(stderr, "flyover: the screen's pixel format is not an RGB format (flags 0x%08X)\n",
            static_cast<unsigned>(format.dwFlags));
    return false;
  }

  convert = ptc_request_converter(static_cast<int32_t>(format.dwRGBBitCount), format.dwRBitMask, format.dwGBitMask,
                                  format.dwBBitMask);
  if (!convert) {
    fprintf(stderr,
            "flyover: the screen's pixel format is not supported (%u bits, masks red 0x%08X green 0x%08X "
            "blue 0x%08X)\n",
            static_cast<unsigned>(format.dwRGBBitCount), static_cast<unsigned>(format.dwRBitMask),
            static_cast<unsigned>(format.dwGBitMask), static_cast<unsigned>(format.dwBBitMask));
    return false;
  }
  return true;
}

static void switch_off_screensaver(void) {
  // A setting that cannot be read is taken as on, the usual default.
  BOOL setting = TRUE;
  if (!SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &setting, 0))
    setting = TRUE;
  screensaver_setting = setting;
  screensaver_switched_off = true;
  SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, 0, nullptr, 0);
}

// A failed open leaves everything it acquired in place: the program returns
// at once and process exit takes it all back.
int ptc_open(const char *title, int32_t width, int32_t height) {
  dx = width;
  dy = height;
#ifdef _WIN32
  // The cap on the converters' SIMD level, before anything opens. Elsewhere
  // the platform's stand-in refuses a bad one with its other settings.
  if (!simd_apply_environment_cap("flyover"))
    return 0;
#endif
  if (!open_directdraw())
    return 0;
  create_window(title);
  if (!set_mode(width, height) || !create_surfaces() || !choose_converter())
    return 0;
  switch_off_screensaver();
  return 1;
}

// Runs from the window procedure in whatever state the module is in, and
// may be re-entered by messages the platform sends while it releases.
void ptc_close(void) {
  if (lpDDS) {
    lpDDS->Release();
    lpDDS = nullptr;
  }
  if (lpDD) {
    lpDD->RestoreDisplayMode();
    lpDD->SetCooperativeLevel(wnd, DDSCL_NORMAL);
    lpDD->Release();
    lpDD = nullptr;
  }
  DestroyWindow(wnd);
  if (library) {
    FreeLibrary(library);
    library = nullptr;
  }
  if (screensaver_switched_off) {
    screensaver_switched_off = false;
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, static_cast<UINT>(screensaver_setting), nullptr, 0);
  }
}

int ptc_update(const void *buffer) {
  // The only message pump: Escape or a close request ends the process from
  // inside it, and an activation change decides this very frame.
  MSG msg;
  while (PeekMessageA(&msg, wnd, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }

  if (!active) {
    Sleep(1);
    return 1;
  }

  // Cheap when nothing was lost, and brings the surfaces back after a mode
  // switch away and back.
  lpDDS->Restore();

  DDSURFACEDESC ddsd = {};
  ddsd.dwSize = sizeof(ddsd);
  if (lpDDS_back->Lock(nullptr, &ddsd, DDLOCK_WAIT, nullptr) < 0)
    return 0;

  // Rows go straight into the surface, which may be wider than a row: the
  // destination advances by the pitch, the source by one canvas row.
  const uint32_t *source = static_cast<const uint32_t *>(buffer);
  uint8_t *destination = static_cast<uint8_t *>(ddsd.lpSurface);
  for (int32_t row = 0; row < dy; ++row) {
    convert(source, destination, dx);
    source += dx;
    destination += ddsd.lPitch;
  }

  lpDDS_back->Unlock(ddsd.lpSurface);
  lpDDS->Flip(nullptr, DDFLIP_WAIT);
  Sleep(0);
  return 1;
}
