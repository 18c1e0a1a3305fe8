// The first DirectDraw interfaces, declared from the published interface for
// targets that have no DirectDraw: IDirectDraw and IDirectDrawSurface with
// every method in the published order (so their tables have the real shape,
// unused entries included), the records they take, the flags and the result
// codes.
//
// Record sizes: DDPIXELFORMAT is 32 bytes everywhere. DDSURFACEDESC holds a
// pointer (lpSurface), so it is 108 bytes with 32-bit pointers and 120 with
// 64-bit ones; callers set dwSize = sizeof(DDSURFACEDESC) and an
// implementation rejects any other value with DDERR_INVALIDPARAMS.
#ifndef FLYOVER_PLATFORM_DDRAW_H
#define FLYOVER_PLATFORM_DDRAW_H

#include <windows.h>

#ifndef __cplusplus
#error "The DirectDraw declarations need C++ (the interfaces are abstract classes)."
#endif

struct IDirectDraw;
struct IDirectDrawSurface;
struct IDirectDrawClipper;
struct IDirectDrawPalette;
typedef IDirectDraw *LPDIRECTDRAW;
typedef IDirectDrawSurface *LPDIRECTDRAWSURFACE;
typedef IDirectDrawClipper *LPDIRECTDRAWCLIPPER;
typedef IDirectDrawPalette *LPDIRECTDRAWPALETTE;

// Records taken only by methods that nothing here calls; left incomplete.
typedef struct _DDCAPS *LPDDCAPS;
typedef struct _DDBLTFX *LPDDBLTFX;
typedef struct _DDBLTBATCH *LPDDBLTBATCH;
typedef struct _DDOVERLAYFX *LPDDOVERLAYFX;
typedef struct tagPALETTEENTRY *LPPALETTEENTRY;

// --- Records ------------------------------------------------------------------

typedef struct _DDCOLORKEY {
  DWORD dwColorSpaceLowValue;
  DWORD dwColorSpaceHighValue;
} DDCOLORKEY, *LPDDCOLORKEY;

typedef struct _DDSCAPS {
  DWORD dwCaps;
} DDSCAPS, *LPDDSCAPS;

typedef struct _DDPIXELFORMAT {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwFourCC;
  union {
    DWORD dwRGBBitCount;
    DWORD dwYUVBitCount;
    DWORD dwZBufferBitDepth;
    DWORD dwAlphaBitDepth;
  };
  union {
    DWORD dwRBitMask;
    DWORD dwYBitMask;
  };
  union {
    DWORD dwGBitMask;
    DWORD dwUBitMask;
  };
  union {
    DWORD dwBBitMask;
    DWORD dwVBitMask;
  };
  union {
    DWORD dwRGBAlphaBitMask;
    DWORD dwYUVAlphaBitMask;
    DWORD dwRGBZBitMask;
    DWORD dwYUVZBitMask;
  };
} DDPIXELFORMAT, *LPDDPIXELFORMAT;

typedef struct _DDSURFACEDESC {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwHeight;
  DWORD dwWidth;
  union {
    LONG lPitch;
    DWORD dwLinearSize;
  };
  DWORD dwBackBufferCount;
  union {
    DWORD dwMipMapCount;
    DWORD dwZBufferBitDepth;
    DWORD dwRefreshRate;
  };
  DWORD dwAlphaBitDepth;
  DWORD dwReserved;
  LPVOID lpSurface;
  DDCOLORKEY ddckCKDestOverlay;
  DDCOLORKEY ddckCKDestBlt;
  DDCOLORKEY ddckCKSrcOverlay;
  DDCOLORKEY ddckCKSrcBlt;
  DDPIXELFORMAT ddpfPixelFormat;
  DDSCAPS ddsCaps;
} DDSURFACEDESC, *LPDDSURFACEDESC;

static_assert(sizeof(DDPIXELFORMAT) == 32, "DDPIXELFORMAT must have the platform's layout");
static_assert(sizeof(DDSURFACEDESC) == (sizeof(void *) == 4 ? 108 : 120),
              "DDSURFACEDESC must have the platform's layout");

typedef HRESULT(CALLBACK *LPDDENUMMODESCALLBACK)(LPDDSURFACEDESC, LPVOID);
typedef HRESULT(CALLBACK *LPDDENUMSURFACESCALLBACK)(LPDIRECTDRAWSURFACE, LPDDSURFACEDESC, LPVOID);

// --- Flags --------------------------------------------------------------------

// SetCooperativeLevel
#define DDSCL_FULLSCREEN 0x00000001L
#define DDSCL_ALLOWREBOOT 0x00000002L
#define DDSCL_NOWINDOWCHANGES 0x00000004L
#define DDSCL_NORMAL 0x00000008L
#define DDSCL_EXCLUSIVE 0x00000010L
#define DDSCL_ALLOWMODEX 0x00000040L

// DDSURFACEDESC.dwFlags: which members are valid
#define DDSD_CAPS 0x00000001L
#define DDSD_HEIGHT 0x00000002L
#define DDSD_WIDTH 0x00000004L
#define DDSD_PITCH 0x00000008L
#define DDSD_BACKBUFFERCOUNT 0x00000020L
#define DDSD_LPSURFACE 0x00000800L
#define DDSD_PIXELFORMAT 0x00001000L

// DDSCAPS.dwCaps
#define DDSCAPS_BACKBUFFER 0x00000004L
#define DDSCAPS_COMPLEX 0x00000008L
#define DDSCAPS_FLIP 0x00000010L
#define DDSCAPS_FRONTBUFFER 0x00000020L
#define DDSCAPS_OFFSCREENPLAIN 0x00000040L
#define DDSCAPS_PRIMARYSURFACE 0x00000200L
#define DDSCAPS_SYSTEMMEMORY 0x00000800L
#define DDSCAPS_VIDEOMEMORY 0x00004000L

// DDPIXELFORMAT.dwFlags
#define DDPF_ALPHAPIXELS 0x00000001L
#define DDPF_ALPHA 0x00000002L
#define DDPF_FOURCC 0x00000004L
#define DDPF_PALETTEINDEXED4 0x00000008L
#define DDPF_PALETTEINDEXED8 0x00000020L
#define DDPF_RGB 0x00000040L
#define DDPF_YUV 0x00000200L

#define MAKEFOURCC(a, b, c, d)                                                                                         \
  ((DWORD)(BYTE)(a) | ((DWORD)(BYTE)(b) << 8) | ((DWORD)(BYTE)(c) << 16) | ((DWORD)(BYTE)(d) << 24))

// Lock and Flip
#define DDLOCK_SURFACEMEMORYPTR 0x00000000L
#define DDLOCK_WAIT 0x00000001L
#define DDLOCK_READONLY 0x00000010L
#define DDLOCK_WRITEONLY 0x00000020L
#define DDFLIP_WAIT 0x00000001L

// --- Result codes ---------------------------------------------------------------

#define _FACDD 0x876
#define MAKE_DDHRESULT(code) MAKE_HRESULT(1, _FACDD, code)

#define DD_OK S_OK
#define DDERR_GENERIC E_FAIL
#define DDERR_INVALIDPARAMS E_INVALIDARG
#define DDERR_OUTOFMEMORY E_OUTOFMEMORY
#define DDERR_UNSUPPORTED E_NOTIMPL
#define DDERR_NOTINITIALIZED CO_E_NOTINITIALIZED
#define DDERR_CANNOTATTACHSURFACE MAKE_DDHRESULT(10)
#define DDERR_INCOMPATIBLEPRIMARY MAKE_DDHRESULT(95)
#define DDERR_INVALIDCAPS MAKE_DDHRESULT(100)
#define DDERR_INVALIDMODE MAKE_DDHRESULT(120)
#define DDERR_INVALIDOBJECT MAKE_DDHRESULT(130)
#define DDERR_INVALIDPIXELFORMAT MAKE_DDHRESULT(145)
#define DDERR_NOCOOPERATIVELEVELSET MAKE_DDHRESULT(212)
#define DDERR_NOEXCLUSIVEMODE MAKE_DDHRESULT(225)
#define DDERR_NOFLIPHW MAKE_DDHRESULT(230)
#define DDERR_NOTFOUND MAKE_DDHRESULT(255)
#define DDERR_OUTOFVIDEOMEMORY MAKE_DDHRESULT(380)
#define DDERR_SURFACEBUSY MAKE_DDHRESULT(430)
#define DDERR_SURFACELOST MAKE_DDHRESULT(450)
#define DDERR_WASSTILLDRAWING MAKE_DDHRESULT(540)
#define DDERR_DIRECTDRAWALREADYCREATED MAKE_DDHRESULT(562)
#define DDERR_NODIRECTDRAWHW MAKE_DDHRESULT(563)
#define DDERR_PRIMARYSURFACEALREADYEXISTS MAKE_DDHRESULT(564)
#define DDERR_NOHWND MAKE_DDHRESULT(569)
#define DDERR_HWNDALREADYSET MAKE_DDHRESULT(571)
#define DDERR_EXCLUSIVEMODEALREADYSET MAKE_DDHRESULT(581)
#define DDERR_NOTFLIPPABLE MAKE_DDHRESULT(582)
#define DDERR_NOTLOCKED MAKE_DDHRESULT(584)
#define DDERR_WRONGMODE MAKE_DDHRESULT(587)
#define DDERR_UNSUPPORTEDMODE MAKE_DDHRESULT(590)

// --- Interfaces -------------------------------------------------------------------

struct IDirectDraw : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Compact(void) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateClipper(DWORD dwFlags, LPDIRECTDRAWCLIPPER *lplpDDClipper,
                                                  IUnknown *pUnkOuter) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreatePalette(DWORD dwFlags, LPPALETTEENTRY lpColorTable,
                                                  LPDIRECTDRAWPALETTE *lplpDDPalette, IUnknown *pUnkOuter) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateSurface(LPDDSURFACEDESC lpDDSurfaceDesc, LPDIRECTDRAWSURFACE *lplpDDSurface,
                                                  IUnknown *pUnkOuter) = 0;
  virtual HRESULT STDMETHODCALLTYPE DuplicateSurface(LPDIRECTDRAWSURFACE lpDDSurface,
                                                     LPDIRECTDRAWSURFACE *lplpDupDDSurface) = 0;
  virtual HRESULT STDMETHODCALLTYPE EnumDisplayModes(DWORD dwFlags, LPDDSURFACEDESC lpDDSurfaceDesc, LPVOID lpContext,
                                                     LPDDENUMMODESCALLBACK lpEnumModesCallback) = 0;
  virtual HRESULT STDMETHODCALLTYPE EnumSurfaces(DWORD dwFlags, LPDDSURFACEDESC lpDDSD, LPVOID lpContext,
                                                 LPDDENUMSURFACESCALLBACK lpEnumSurfacesCallback) = 0;
  virtual HRESULT STDMETHODCALLTYPE FlipToGDISurface(void) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCaps(LPDDCAPS lpDDDriverCaps, LPDDCAPS lpDDHELCaps) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDisplayMode(LPDDSURFACEDESC lpDDSurfaceDesc) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFourCCCodes(LPDWORD lpNumCodes, LPDWORD lpCodes) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetGDISurface(LPDIRECTDRAWSURFACE *lplpGDIDDSurface) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMonitorFrequency(LPDWORD lpdwFrequency) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetScanLine(LPDWORD lpdwScanLine) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetVerticalBlankStatus(BOOL *lpbIsInVB) = 0;
  virtual HRESULT STDMETHODCALLTYPE Initialize(GUID *lpGUID) = 0;
  virtual HRESULT STDMETHODCALLTYPE RestoreDisplayMode(void) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND hWnd, DWORD dwFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDisplayMode(DWORD dwWidth, DWORD dwHeight, DWORD dwBPP) = 0;
  virtual HRESULT STDMETHODCALLTYPE WaitForVerticalBlank(DWORD dwFlags, HANDLE hEvent) = 0;
};

struct IDirectDrawSurface : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE AddAttachedSurface(LPDIRECTDRAWSURFACE lpDDSAttachedSurface) = 0;
  virtual HRESULT STDMETHODCALLTYPE AddOverlayDirtyRect(LPRECT lpRect) = 0;
  virtual HRESULT STDMETHODCALLTYPE Blt(LPRECT lpDestRect, LPDIRECTDRAWSURFACE lpDDSrcSurface, LPRECT lpSrcRect,
                                        DWORD dwFlags, LPDDBLTFX lpDDBltFx) = 0;
  virtual HRESULT STDMETHODCALLTYPE BltBatch(LPDDBLTBATCH lpDDBltBatch, DWORD dwCount, DWORD dwFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE BltFast(DWORD dwX, DWORD dwY, LPDIRECTDRAWSURFACE lpDDSrcSurface, LPRECT lpSrcRect,
                                            DWORD dwTrans) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteAttachedSurface(DWORD dwFlags, LPDIRECTDRAWSURFACE lpDDSAttachedSurface) = 0;
  virtual HRESULT STDMETHODCALLTYPE EnumAttachedSurfaces(LPVOID lpContext,
                                                         LPDDENUMSURFACESCALLBACK lpEnumSurfacesCallback) = 0;
  virtual HRESULT STDMETHODCALLTYPE EnumOverlayZOrders(DWORD dwFlags, LPVOID lpContext,
                                                       LPDDENUMSURFACESCALLBACK lpfnCallback) = 0;
  virtual HRESULT STDMETHODCALLTYPE Flip(LPDIRECTDRAWSURFACE lpDDSurfaceTargetOverride, DWORD dwFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetAttachedSurface(LPDDSCAPS lpDDSCaps,
                                                       LPDIRECTDRAWSURFACE *lplpDDAttachedSurface) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetBltStatus(DWORD dwFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCaps(LPDDSCAPS lpDDSCaps) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetClipper(LPDIRECTDRAWCLIPPER *lplpDDClipper) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetColorKey(DWORD dwFlags, LPDDCOLORKEY lpDDColorKey) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDC(HDC *lphDC) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFlipStatus(DWORD dwFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetOverlayPosition(LPLONG lplX, LPLONG lplY) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPalette(LPDIRECTDRAWPALETTE *lplpDDPalette) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPixelFormat(LPDDPIXELFORMAT lpDDPixelFormat) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSurfaceDesc(LPDDSURFACEDESC lpDDSurfaceDesc) = 0;
  virtual HRESULT STDMETHODCALLTYPE Initialize(LPDIRECTDRAW lpDD, LPDDSURFACEDESC lpDDSurfaceDesc) = 0;
  virtual HRESULT STDMETHODCALLTYPE IsLost(void) = 0;
  virtual HRESULT STDMETHODCALLTYPE Lock(LPRECT lpDestRect, LPDDSURFACEDESC lpDDSurfaceDesc, DWORD dwFlags,
                                         HANDLE hEvent) = 0;
  virtual HRESULT STDMETHODCALLTYPE ReleaseDC(HDC hDC) = 0;
  virtual HRESULT STDMETHODCALLTYPE Restore(void) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetClipper(LPDIRECTDRAWCLIPPER lpDDClipper) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetColorKey(DWORD dwFlags, LPDDCOLORKEY lpDDColorKey) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetOverlayPosition(LONG lX, LONG lY) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetPalette(LPDIRECTDRAWPALETTE lpDDPalette) = 0;
  virtual HRESULT STDMETHODCALLTYPE Unlock(LPVOID lpSurfaceData) = 0;
  virtual HRESULT STDMETHODCALLTYPE UpdateOverlay(LPRECT lpSrcRect, LPDIRECTDRAWSURFACE lpDDDestSurface,
                                                  LPRECT lpDestRect, DWORD dwFlags, LPDDOVERLAYFX lpDDOverlayFx) = 0;
  virtual HRESULT STDMETHODCALLTYPE UpdateOverlayDisplay(DWORD dwFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE UpdateOverlayZOrder(DWORD dwFlags, LPDIRECTDRAWSURFACE lpDDSReference) = 0;
};

// The library's entry point. Programs bind it at run time: LoadLibraryA
// ("ddraw.dll"), then GetProcAddress(library, "DirectDrawCreate").
extern "C" HRESULT WINAPI DirectDrawCreate(GUID *lpGUID, LPDIRECTDRAW *lplpDD, IUnknown *pUnkOuter);

#endif
