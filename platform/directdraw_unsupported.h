// Both DirectDraw interfaces with every method answering that it is not
// supported (DDERR_UNSUPPORTED; E_NOINTERFACE for QueryInterface), so that an
// implementation overrides only what it does and its tables keep the
// published shape. Each refusal is reported to unsupported(), which a
// derived class may override to notice calls it did not expect. Reference
// counting is left to the implementation.
#ifndef FLYOVER_PLATFORM_DIRECTDRAW_UNSUPPORTED_H
#define FLYOVER_PLATFORM_DIRECTDRAW_UNSUPPORTED_H

#include <ddraw.h>

namespace flyover {

// What both interfaces share: no other interface to give, and each refusal
// reported before it is answered.
template <class Interface> class Refusing : public Interface {
public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void **ppvObject) override {
    if (ppvObject)
      *ppvObject = nullptr;
    unsupported("QueryInterface");
    return E_NOINTERFACE;
  }

protected:
  virtual void unsupported(const char *) {}

  HRESULT refuse(const char *method) {
    unsupported(method);
    return DDERR_UNSUPPORTED;
  }
};

class UnsupportedDirectDraw : public Refusing<IDirectDraw> {
public:
  HRESULT STDMETHODCALLTYPE Compact() override { return refuse("Compact"); }
  HRESULT STDMETHODCALLTYPE CreateClipper(DWORD, LPDIRECTDRAWCLIPPER *, IUnknown *) override {
    return refuse("CreateClipper");
  }
  HRESULT STDMETHODCALLTYPE CreatePalette(DWORD, LPPALETTEENTRY, LPDIRECTDRAWPALETTE *, IUnknown *) override {
    return refuse("CreatePalette");
  }
  HRESULT STDMETHODCALLTYPE CreateSurface(LPDDSURFACEDESC, LPDIRECTDRAWSURFACE *, IUnknown *) override {
    return refuse("CreateSurface");
  }
  HRESULT STDMETHODCALLTYPE DuplicateSurface(LPDIRECTDRAWSURFACE, LPDIRECTDRAWSURFACE *) override {
    return refuse("DuplicateSurface");
  }
  HRESULT STDMETHODCALLTYPE EnumDisplayModes(DWORD, LPDDSURFACEDESC, LPVOID, LPDDENUMMODESCALLBACK) override {
    return refuse("EnumDisplayModes");
  }
  HRESULT STDMETHODCALLTYPE EnumSurfaces(DWORD, LPDDSURFACEDESC, LPVOID, LPDDENUMSURFACESCALLBACK) override {
    return refuse("EnumSurfaces");
  }
  HRESULT STDMETHODCALLTYPE FlipToGDISurface() override { return refuse("FlipToGDISurface"); }
  HRESULT STDMETHODCALLTYPE GetCaps(LPDDCAPS, LPDDCAPS) override { return refuse("GetCaps"); }
  HRESULT STDMETHODCALLTYPE GetDisplayMode(LPDDSURFACEDESC) override { return refuse("GetDisplayMode"); }
  HRESULT STDMETHODCALLTYPE GetFourCCCodes(LPDWORD, LPDWORD) override { return refuse("GetFourCCCodes"); }
  HRESULT STDMETHODCALLTYPE GetGDISurface(LPDIRECTDRAWSURFACE *) override { return refuse("GetGDISurface"); }
  HRESULT STDMETHODCALLTYPE GetMonitorFrequency(LPDWORD) override { return refuse("GetMonitorFrequency"); }
  HRESULT STDMETHODCALLTYPE GetScanLine(LPDWORD) override { return refuse("GetScanLine"); }
  HRESULT STDMETHODCALLTYPE GetVerticalBlankStatus(BOOL *) override { return refuse("GetVerticalBlankStatus"); }
  HRESULT STDMETHODCALLTYPE Initialize(GUID *) override { return refuse("Initialize"); }
  HRESULT STDMETHODCALLTYPE RestoreDisplayMode() override { return refuse("RestoreDisplayMode"); }
  HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND, DWORD) override { return refuse("SetCooperativeLevel"); }
  HRESULT STDMETHODCALLTYPE SetDisplayMode(DWORD, DWORD, DWORD) override { return refuse("SetDisplayMode"); }
  HRESULT STDMETHODCALLTYPE WaitForVerticalBlank(DWORD, HANDLE) override { return refuse("WaitForVerticalBlank"); }
};

class UnsupportedDirectDrawSurface : public Refusing<IDirectDrawSurface> {
public:
  HRESULT STDMETHODCALLTYPE AddAttachedSurface(LPDIRECTDRAWSURFACE) override { return refuse("AddAttachedSurface"); }
  HRESULT STDMETHODCALLTYPE AddOverlayDirtyRect(LPRECT) override { return refuse("AddOverlayDirtyRect"); }
  HRESULT STDMETHODCALLTYPE Blt(LPRECT, LPDIRECTDRAWSURFACE, LPRECT, DWORD, LPDDBLTFX) override {
    return refuse("Blt");
  }
  HRESULT STDMETHODCALLTYPE BltBatch(LPDDBLTBATCH, DWORD, DWORD) override { return refuse("BltBatch"); }
  HRESULT STDMETHODCALLTYPE BltFast(DWORD, DWORD, LPDIRECTDRAWSURFACE, LPRECT, DWORD) override {
    return refuse("BltFast");
  }
  HRESULT STDMETHODCALLTYPE DeleteAttachedSurface(DWORD, LPDIRECTDRAWSURFACE) override {
    return refuse("DeleteAttachedSurface");
  }
  HRESULT STDMETHODCALLTYPE EnumAttachedSurfaces(LPVOID, LPDDENUMSURFACESCALLBACK) override {
    return refuse("EnumAttachedSurfaces");
  }
  HRESULT STDMETHODCALLTYPE EnumOverlayZOrders(DWORD, LPVOID, LPDDENUMSURFACESCALLBACK) override {
    return refuse("EnumOverlayZOrders");
  }
  HRESULT STDMETHODCALLTYPE Flip(LPDIRECTDRAWSURFACE, DWORD) override { return refuse("Flip"); }
  HRESULT STDMETHODCALLTYPE GetAttachedSurface(LPDDSCAPS, LPDIRECTDRAWSURFACE *) override {
    return refuse("GetAttachedSurface");
  }
  HRESULT STDMETHODCALLTYPE GetBltStatus(DWORD) override { return refuse("GetBltStatus"); }
  HRESULT STDMETHODCALLTYPE GetCaps(LPDDSCAPS) override { return refuse("GetCaps"); }
  HRESULT STDMETHODCALLTYPE GetClipper(LPDIRECTDRAWCLIPPER *) override { return refuse("GetClipper"); }
  HRESULT STDMETHODCALLTYPE GetColorKey(DWORD, LPDDCOLORKEY) override { return refuse("GetColorKey"); }
  HRESULT STDMETHODCALLTYPE GetDC(HDC *) override { return refuse("GetDC"); }
  HRESULT STDMETHODCALLTYPE GetFlipStatus(DWORD) override { return refuse("GetFlipStatus"); }
  HRESULT STDMETHODCALLTYPE GetOverlayPosition(LPLONG, LPLONG) override { return refuse("GetOverlayPosition"); }
  HRESULT STDMETHODCALLTYPE GetPalette(LPDIRECTDRAWPALETTE *) override { return refuse("GetPalette"); }
  HRESULT STDMETHODCALLTYPE GetPixelFormat(LPDDPIXELFORMAT) override { return refuse("GetPixelFormat"); }
  HRESULT STDMETHODCALLTYPE GetSurfaceDesc(LPDDSURFACEDESC) override { return refuse("GetSurfaceDesc"); }
  HRESULT STDMETHODCALLTYPE Initialize(LPDIRECTDRAW, LPDDSURFACEDESC) override { return refuse("Initialize"); }
  HRESULT STDMETHODCALLTYPE IsLost() override { return refuse("IsLost"); }
  HRESULT STDMETHODCALLTYPE Lock(LPRECT, LPDDSURFACEDESC, DWORD, HANDLE) override { return refuse("Lock"); }
  HRESULT STDMETHODCALLTYPE ReleaseDC(HDC) override { return refuse("ReleaseDC"); }
  HRESULT STDMETHODCALLTYPE Restore() override { return refuse("Restore"); }
  HRESULT STDMETHODCALLTYPE SetClipper(LPDIRECTDRAWCLIPPER) override { return refuse("SetClipper"); }
  HRESULT STDMETHODCALLTYPE SetColorKey(DWORD, LPDDCOLORKEY) override { return refuse("SetColorKey"); }
  HRESULT STDMETHODCALLTYPE SetOverlayPosition(LONG, LONG) override { return refuse("SetOverlayPosition"); }
  HRESULT STDMETHODCALLTYPE SetPalette(LPDIRECTDRAWPALETTE) override { return refuse("SetPalette"); }
  HRESULT STDMETHODCALLTYPE Unlock(LPVOID) override { return refuse("Unlock"); }
  HRESULT STDMETHODCALLTYPE UpdateOverlay(LPRECT, LPDIRECTDRAWSURFACE, LPRECT, DWORD, LPDDOVERLAYFX) override {
    return refuse("UpdateOverlay");
  }
  HRESULT STDMETHODCALLTYPE UpdateOverlayDisplay(DWORD) override { return refuse("UpdateOverlayDisplay"); }
  HRESULT STDMETHODCALLTYPE UpdateOverlayZOrder(DWORD, LPDIRECTDRAWSURFACE) override {
    return refuse("UpdateOverlayZOrder");
  }
};

} // namespace flyover

#endif
