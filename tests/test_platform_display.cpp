// The emulated display: exclusive level, modes from the environment, the
// flip chain, lost surfaces, screen events and what the capture driver
// writes. Runs on the capture driver; the sdl one is checked under Xvfb.
#include "internal.h"
#include "platform_test_window.h"

#include <ddraw.h>
#include <png.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace {

constexpr DWORD kExclusive = DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN;
constexpr DWORD kFlipCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_VIDEOMEMORY;

std::string scratchFile(const char *name) {
  return ::testing::TempDir() + "flyover-platform-" + std::to_string(getpid()) + "-" + name;
}

std::vector<uint8_t> readFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

class PlatformDisplay : public ::testing::Test {
protected:
  void SetUp() override {
    for (const char *name : {"FLYOVER_FORMAT", "FLYOVER_DEPTHS", "FLYOVER_FRAMES", "FLYOVER_CAPTURE"})
      unsetenv(name);
    setenv("FLYOVER_DRIVER", "capture", 1);
    received().clear();
    window = makeWindow();
    ASSERT_NE(window, nullptr);
  }

  void TearDown() override {
    if (primary)
      primary->Release();
    if (dd)
      dd->Release();
    DestroyWindow(window);
  }

  // DirectDraw object, exclusive level and a 320x200 mode at bits.
  void open(DWORD bits = 32) {
    ASSERT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DD_OK);
    ASSERT_EQ(dd->SetCooperativeLevel(window, kExclusive), DD_OK);
    ASSERT_EQ(dd->SetDisplayMode(320, 200, bits), DD_OK);
  }

  HRESULT createChain(DWORD backBuffers) {
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS | (backBuffers ? DDSD_BACKBUFFERCOUNT : 0);
    desc.dwBackBufferCount = backBuffers;
    desc.ddsCaps.dwCaps = backBuffers ? kFlipCaps : DDSCAPS_PRIMARYSURFACE | DDSCAPS_VIDEOMEMORY;
    return dd->CreateSurface(&desc, &primary, nullptr);
  }

  LPDIRECTDRAWSURFACE backBuffer() {
    DDSCAPS caps{DDSCAPS_BACKBUFFER};
    LPDIRECTDRAWSURFACE back = nullptr;
    EXPECT_EQ(primary->GetAttachedSurface(&caps, &back), DD_OK);
    return back;
  }

  // Fills the surface's pixels with value (rows only, never the padding).
  static DDSURFACEDESC lockAndFill(LPDIRECTDRAWSURFACE surface, uint8_t value) {
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof desc;
    EXPECT_EQ(surface->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr), DD_OK);
    const DWORD rowBytes = desc.dwWidth * desc.ddpfPixelFormat.dwRGBBitCount / 8;
    for (DWORD y = 0; y < desc.dwHeight; ++y)
      std::memset(static_cast<uint8_t *>(desc.lpSurface) + y * desc.lPitch, value, rowBytes);
    return desc;
  }

  static uint8_t firstByte(LPDIRECTDRAWSURFACE surface) {
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof desc;
    EXPECT_EQ(surface->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr), DD_OK);
    const uint8_t value = *static_cast<uint8_t *>(desc.lpSurface);
    surface->Unlock(desc.lpSurface);
    return value;
  }

  HWND window = nullptr;
  LPDIRECTDRAW dd = nullptr;
  LPDIRECTDRAWSURFACE primary = nullptr;
};

TEST_F(PlatformDisplay, TakingExclusiveFullScreenActivatesTheProgramAtOnce) {
  ASSERT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DD_OK);
  received().clear();
  EXPECT_EQ(dd->SetCooperativeLevel(window, DDSCL_EXCLUSIVE), DDERR_INVALIDPARAMS);
  EXPECT_EQ(dd->SetCooperativeLevel(nullptr, kExclusive), DDERR_INVALIDPARAMS);
  EXPECT_EQ(dd->SetDisplayMode(320, 200, 32), DDERR_NOEXCLUSIVEMODE);
  EXPECT_TRUE(received().empty());
  ASSERT_EQ(dd->SetCooperativeLevel(window, kExclusive), DD_OK);
  // Sent, not posted: the procedure has it before the call returns.
  ASSERT_EQ(received().size(), 1u);
  EXPECT_EQ(received()[0].message, static_cast<UINT>(WM_ACTIVATEAPP));
  EXPECT_EQ(received()[0].wParam, 1u);
  EXPECT_EQ(dd->SetCooperativeLevel(window, kExclusive), DD_OK);
  EXPECT_EQ(received().size(), 1u); // already active: nothing new
  HWND other = makeWindow();
  EXPECT_EQ(dd->SetCooperativeLevel(other, kExclusive), DDERR_HWNDALREADYSET);
  EXPECT_EQ(dd->SetCooperativeLevel(window, DDSCL_NORMAL), DD_OK);
  DestroyWindow(other);
}

TEST_F(PlatformDisplay, ModesFollowTheConfiguredDepthsAndFormat) {
  setenv("FLYOVER_FORMAT", "bgr565", 1);
  setenv("FLYOVER_DEPTHS", "24,16", 1);
  ASSERT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DD_OK);
  ASSERT_EQ(dd->SetCooperativeLevel(window, kExclusive), DD_OK);
  EXPECT_EQ(dd->SetDisplayMode(320, 200, 32), DDERR_INVALIDMODE);
  EXPECT_EQ(dd->SetDisplayMode(640, 480, 16), DDERR_INVALIDMODE);
  EXPECT_EQ(dd->SetDisplayMode(320, 200, 8), DDERR_INVALIDMODE);

  struct Expect {
    DWORD bits, red, green, blue;
  };
  for (const Expect &e : {Expect{24, 0xFF0000, 0xFF00, 0xFF}, Expect{16, 0x001F, 0x07E0, 0xF800}}) {
    ASSERT_EQ(dd->SetDisplayMode(320, 200, e.bits), DD_OK);
    ASSERT_EQ(createChain(1), DD_OK);
    DDPIXELFORMAT pf{};
    EXPECT_EQ(primary->GetPixelFormat(&pf), DDERR_INVALIDPARAMS); // dwSize unset
    pf.dwSize = sizeof pf;
    ASSERT_EQ(primary->GetPixelFormat(&pf), DD_OK);
    EXPECT_EQ(pf.dwFlags, static_cast<DWORD>(DDPF_RGB));
    EXPECT_EQ(pf.dwRGBBitCount, e.bits);
    EXPECT_EQ(pf.dwRBitMask, e.red);
    EXPECT_EQ(pf.dwGBitMask, e.green);
    EXPECT_EQ(pf.dwBBitMask, e.blue);
    primary->Release();
    primary = nullptr;
  }
}

TEST_F(PlatformDisplay, BadSettingsRefuseTheObject) {
  setenv("FLYOVER_FORMAT", "argb8888", 1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DDERR_INVALIDPARAMS);
  EXPECT_EQ(dd, nullptr);
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("FLYOVER_FORMAT=argb8888 is not a screen format"), std::string::npos) << said;
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1);
}

TEST_F(PlatformDisplay, OneObjectAtATimeAndReleaseTakesEverythingWithIt) {
  open();
  LPDIRECTDRAW second = nullptr;
  EXPECT_EQ(DirectDrawCreate(nullptr, &second, nullptr), DDERR_DIRECTDRAWALREADYCREATED);
  ASSERT_EQ(createChain(2), DD_OK);
  LPDIRECTDRAWSURFACE again = nullptr;
  DDSURFACEDESC desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = DDSD_CAPS;
  desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
  EXPECT_EQ(dd->CreateSurface(&desc, &again, nullptr), DDERR_PRIMARYSURFACEALREADYEXISTS);
  // The object goes with its last reference, surfaces and mode included.
  EXPECT_EQ(dd->AddRef(), 2u);
  EXPECT_EQ(dd->Release(), 1u);
  EXPECT_EQ(dd->Release(), 0u);
  dd = nullptr;
  primary = nullptr;
  open();
  EXPECT_EQ(createChain(2), DD_OK);
}

TEST_F(PlatformDisplay, SurfaceDescriptionsMustHaveTheirSizeAndSenseCaps) {
  open();
  DDSURFACEDESC desc{};
  desc.dwSize = 108 + (sizeof(void *) == 8 ? 0 : 4); // the other pointer size's record
  desc.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
  desc.dwBackBufferCount = 1;
  desc.ddsCaps.dwCaps = kFlipCaps;
  EXPECT_EQ(dd->CreateSurface(&desc, &primary, nullptr), DDERR_INVALIDPARAMS);
  desc.dwSize = sizeof desc;
  desc.ddsCaps.dwCaps = kFlipCaps & ~DDSCAPS_COMPLEX;
  EXPECT_EQ(dd->CreateSurface(&desc, &primary, nullptr), DDERR_INVALIDCAPS);
  desc.ddsCaps.dwCaps = kFlipCaps;
  desc.dwFlags = DDSD_CAPS;
  EXPECT_EQ(dd->CreateSurface(&desc, &primary, nullptr), DDERR_INVALIDCAPS);
  desc.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
  desc.dwBackBufferCount = 0;
  EXPECT_EQ(dd->CreateSurface(&desc, &primary, nullptr), DDERR_INVALIDPARAMS);
  EXPECT_EQ(primary, nullptr);
}

TEST_F(PlatformDisplay, RowsLieFurtherApartThanTheirPixelsNeed) {
  for (const char *format : {"xrgb8888", "rgb888", "rgb555"}) {
    SCOPED_TRACE(format);
    setenv("FLYOVER_FORMAT", format, 1);
    received().clear();
    open(std::strcmp(format, "xrgb8888") == 0 ? 32 : std::strcmp(format, "rgb888") == 0 ? 24 : 16);
    ASSERT_EQ(createChain(1), DD_OK);
    LPDIRECTDRAWSURFACE back = backBuffer();
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof desc;
    ASSERT_EQ(back->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr), DD_OK);
    const LONG rowBytes = 320 * static_cast<LONG>(desc.ddpfPixelFormat.dwRGBBitCount) / 8;
    EXPECT_EQ(desc.dwWidth, 320u);
    EXPECT_EQ(desc.dwHeight, 200u);
    EXPECT_GT(desc.lPitch, rowBytes);
    EXPECT_EQ(desc.lPitch % 4, 0);
    EXPECT_NE(desc.lpSurface, nullptr);
    EXPECT_EQ(back->Unlock(desc.lpSurface), DD_OK);
    back->Release();
    primary->Release();
    primary = nullptr;
    dd->Release();
    dd = nullptr;
  }
}

TEST_F(PlatformDisplay, FlipExchangesFrontAndBackOfTheChain) {
  open();
  ASSERT_EQ(createChain(1), DD_OK);
  LPDIRECTDRAWSURFACE back = backBuffer();
  lockAndFill(back, 0x11);
  back->Unlock(nullptr);
  lockAndFill(primary, 0x22);
  primary->Unlock(nullptr);
  ASSERT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);
  EXPECT_EQ(firstByte(primary), 0x11);
  EXPECT_EQ(firstByte(back), 0x22);
  ASSERT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);
  EXPECT_EQ(firstByte(primary), 0x22);
  EXPECT_EQ(back->Flip(nullptr, DDFLIP_WAIT), DDERR_NOTFLIPPABLE); // only the front flips
  back->Release();
}

TEST_F(PlatformDisplay, WithTwoBackBuffersEachFlipMovesTheChainOnePlace) {
  open();
  ASSERT_EQ(createChain(2), DD_OK);
  LPDIRECTDRAWSURFACE back = backBuffer();
  DDSCAPS caps{DDSCAPS_BACKBUFFER};
  LPDIRECTDRAWSURFACE none = nullptr;
  EXPECT_EQ(back->GetAttachedSurface(&caps, &none), DDERR_NOTFOUND); // the third is not "the" back buffer
  caps.dwCaps = DDSCAPS_FLIP;
  LPDIRECTDRAWSURFACE third = nullptr;
  ASSERT_EQ(back->GetAttachedSurface(&caps, &third), DD_OK);
  // Each frame is written to the same back buffer and shows on the next flip.
  for (uint8_t frame = 1; frame <= 5; ++frame) {
    lockAndFill(back, frame);
    back->Unlock(nullptr);
    ASSERT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);
    EXPECT_EQ(firstByte(primary), frame);
    if (frame >= 2) {
      EXPECT_EQ(firstByte(third), frame - 1); // the front of a flip ago waits at the end
    }
  }
  third->Release();
  back->Release();
}

TEST_F(PlatformDisplay, OnlyTheThirdSurfaceKindHasNoBackBuffer) {
  open();
  ASSERT_EQ(createChain(0), DD_OK);
  DDSCAPS caps{DDSCAPS_BACKBUFFER};
  LPDIRECTDRAWSURFACE back = reinterpret_cast<LPDIRECTDRAWSURFACE>(1);
  EXPECT_EQ(primary->GetAttachedSurface(&caps, &back), DDERR_NOTFOUND);
  EXPECT_EQ(back, nullptr);
  EXPECT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DDERR_NOTFLIPPABLE);
}

TEST_F(PlatformDisplay, LockedSurfacesRefuseASecondLockAndTheFlip) {
  open();
  ASSERT_EQ(createChain(1), DD_OK);
  LPDIRECTDRAWSURFACE back = backBuffer();
  DDSURFACEDESC desc = lockAndFill(back, 0);
  DDSURFACEDESC second{};
  second.dwSize = sizeof second;
  EXPECT_EQ(back->Lock(nullptr, &second, DDLOCK_WAIT, nullptr), DDERR_SURFACEBUSY);
  EXPECT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DDERR_SURFACEBUSY);
  EXPECT_EQ(back->Unlock(static_cast<uint8_t *>(desc.lpSurface) + 4), DDERR_INVALIDPARAMS);
  EXPECT_EQ(back->Unlock(desc.lpSurface), DD_OK);
  EXPECT_EQ(back->Unlock(desc.lpSurface), DDERR_NOTLOCKED);
  EXPECT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);
  RECT outside{0, 0, 321, 200};
  EXPECT_EQ(back->Lock(&outside, &second, DDLOCK_WAIT, nullptr), DDERR_INVALIDRECT);
  back->Release();
}

TEST_F(PlatformDisplay, LosingFocusLosesTheSurfacesUntilRestoredWhileActive) {
  open();
  ASSERT_EQ(createChain(1), DD_OK);
  LPDIRECTDRAWSURFACE back = backBuffer();
  flyover::ScreenEvent focus{flyover::ScreenEvent::Focus};
  focus.focused = false;
  flyover::handleScreenEvent(focus);
  flyover::handleScreenEvent(focus); // no change, no news
  DDSURFACEDESC desc{};
  desc.dwSize = sizeof desc;
  EXPECT_EQ(back->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr), DDERR_SURFACELOST);
  EXPECT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DDERR_SURFACELOST);
  EXPECT_EQ(primary->Restore(), DDERR_WRONGMODE);
  focus.focused = true;
  flyover::handleScreenEvent(focus);
  EXPECT_EQ(primary->IsLost(), DDERR_SURFACELOST);
  EXPECT_EQ(primary->Restore(), DD_OK);
  EXPECT_EQ(back->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr), DD_OK);
  back->Unlock(desc.lpSurface);

  // The two changes arrive in the window's queue, in order.
  std::vector<WPARAM> activations;
  MSG msg{};
  while (PeekMessageA(&msg, window, 0, 0, PM_REMOVE))
    if (msg.message == WM_ACTIVATEAPP)
      activations.push_back(msg.wParam);
  EXPECT_EQ(activations, (std::vector<WPARAM>{0, 1}));
  back->Release();
}

TEST_F(PlatformDisplay, KeysAndCloseRequestsArriveInTheExclusiveWindowsQueue) {
  open();
  using flyover::ScreenEvent;
  ScreenEvent escape{ScreenEvent::Key};
  escape.virtualKey = VK_ESCAPE;
  escape.down = true;
  ScreenEvent altF4{ScreenEvent::Key};
  altF4.virtualKey = VK_F4;
  altF4.down = true;
  altF4.alt = true;
  ScreenEvent release = escape;
  release.down = false;
  for (const ScreenEvent &event : {escape, altF4, release, ScreenEvent{ScreenEvent::Close}})
    flyover::handleScreenEvent(event);
  MSG msg{};
  std::vector<MSG> got;
  while (PeekMessageA(&msg, window, 0, 0, PM_REMOVE))
    got.push_back(msg);
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[0].message, static_cast<UINT>(WM_KEYDOWN));
  EXPECT_EQ(got[0].wParam, static_cast<WPARAM>(VK_ESCAPE));
  EXPECT_EQ(got[1].message, static_cast<UINT>(WM_SYSKEYDOWN));
  EXPECT_NE(got[1].lParam & (1 << 29), 0);
  EXPECT_EQ(got[2].message, static_cast<UINT>(WM_KEYUP));
  EXPECT_EQ(got[3].message, static_cast<UINT>(WM_CLOSE));
}

TEST_F(PlatformDisplay, AfterTheConfiguredFramesEscapeIsQueued) {
  setenv("FLYOVER_FRAMES", "3", 1);
  open();
  ASSERT_EQ(createChain(2), DD_OK);
  MSG msg{};
  for (int frame = 1; frame <= 3; ++frame) {
    EXPECT_FALSE(PeekMessageA(&msg, window, WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE)) << "before frame " << frame;
    ASSERT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);
  }
  ASSERT_TRUE(PeekMessageA(&msg, window, WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE));
  EXPECT_EQ(msg.wParam, static_cast<WPARAM>(VK_ESCAPE));
  ASSERT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);
  EXPECT_FALSE(PeekMessageA(&msg, window, WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE)); // once only
}

// Row y, column x of a test picture in a 16- or 24-bit format.
uint8_t patternByte(DWORD x, DWORD y, DWORD byte) { return static_cast<uint8_t>(x * 7 + y * 13 + byte * 101); }

void drawPattern(LPDIRECTDRAWSURFACE surface, DWORD bytesPerPixel, uint8_t frame) {
  DDSURFACEDESC desc{};
  desc.dwSize = sizeof desc;
  ASSERT_EQ(surface->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr), DD_OK);
  for (DWORD y = 0; y < 200; ++y) {
    uint8_t *row = static_cast<uint8_t *>(desc.lpSurface) + y * desc.lPitch;
    std::memset(row, 0xEE, desc.lPitch); // padding that must never be written out
    for (DWORD x = 0; x < 320; ++x)
      for (DWORD b = 0; b < bytesPerPixel; ++b)
        row[x * bytesPerPixel + b] = static_cast<uint8_t>(patternByte(x, y, b) + frame);
  }
  surface->Unlock(desc.lpSurface);
}

TEST_F(PlatformDisplay, CaptureAppendsEveryFrameWithRowsPacked) {
  const std::string path = scratchFile("frames.raw");
  setenv("FLYOVER_FORMAT", "bgr888", 1);
  setenv("FLYOVER_CAPTURE", path.c_str(), 1);
  open(24);
  ASSERT_EQ(createChain(2), DD_OK);
  LPDIRECTDRAWSURFACE back = backBuffer();
  for (uint8_t frame = 0; frame < 3; ++frame) {
    drawPattern(back, 3, frame);
    ASSERT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);
  }
  back->Release();
  primary->Release();
  primary = nullptr;
  dd->Release(); // closes the driver, and with it the file
  dd = nullptr;
  const std::vector<uint8_t> bytes = readFile(path);
  ASSERT_EQ(bytes.size(), 3u * 320 * 200 * 3);
  size_t i = 0;
  for (uint8_t frame = 0; frame < 3; ++frame)
    for (DWORD y = 0; y < 200; ++y)
      for (DWORD x = 0; x < 320; ++x)
        for (DWORD b = 0; b < 3; ++b, ++i)
          ASSERT_EQ(bytes[i], static_cast<uint8_t>(patternByte(x, y, b) + frame)) << "frame " << int(frame);
  std::remove(path.c_str());
}

std::vector<uint8_t> readPng(const std::string &path) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str()))
    return {};
  EXPECT_EQ(image.width, 320u);
  EXPECT_EQ(image.height, 200u);
  EXPECT_EQ(image.format, static_cast<png_uint_32>(PNG_FORMAT_RGB)); // 8-bit RGB as written
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr))
    return {};
  return rgb;
}

// The picture of frame `frame` as rgb555 values, expanded by bit replication.
void expectPngOfPattern(const std::string &path, uint8_t frame) {
  const std::vector<uint8_t> rgb = readPng(path);
  ASSERT_EQ(rgb.size(), 320u * 200 * 3);
  auto widen5 = [](uint32_t v) { return static_cast<uint8_t>((v << 3) | (v >> 2)); };
  for (DWORD y = 0; y < 200; ++y)
    for (DWORD x = 0; x < 320; ++x) {
      const uint32_t value = static_cast<uint8_t>(patternByte(x, y, 0) + frame) |
                             (static_cast<uint8_t>(patternByte(x, y, 1) + frame) << 8);
      const uint8_t *p = &rgb[(y * 320 + x) * 3];
      ASSERT_EQ(p[0], widen5((value >> 10) & 31)) << x << "," << y;
      ASSERT_EQ(p[1], widen5((value >> 5) & 31)) << x << "," << y;
      ASSERT_EQ(p[2], widen5(value & 31)) << x << "," << y;
    }
}

TEST_F(PlatformDisplay, PngCaptureHoldsTheLastFrameExpandedExactly) {
  const std::string path = scratchFile("last.png");
  setenv("FLYOVER_FORMAT", "rgb555", 1);
  setenv("FLYOVER_CAPTURE", path.c_str(), 1);
  open(16);
  ASSERT_EQ(createChain(1), DD_OK);
  LPDIRECTDRAWSURFACE back = backBuffer();
  for (uint8_t frame = 0; frame < 2; ++frame) {
    drawPattern(back, 2, frame);
    ASSERT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);
  }
  back->Release();
  primary->Release();
  primary = nullptr;
  dd->Release();
  dd = nullptr;
  expectPngOfPattern(path, 1);
  std::remove(path.c_str());
}

TEST_F(PlatformDisplay, NoFramePresentedLeavesNoPicture) {
  const std::string path = scratchFile("none.png");
  setenv("FLYOVER_CAPTURE", path.c_str(), 1);
  open();
  dd->Release();
  dd = nullptr;
  EXPECT_NE(access(path.c_str(), F_OK), 0);
}

using PlatformDisplayDeathTest = PlatformDisplay;

// ExitProcess ends the program with its code while the display may still
// be held; the picture must be complete all the same.
TEST_F(PlatformDisplayDeathTest, ExitProcessClosesTheDriverFirst) {
  const std::string path = scratchFile("exit.png");
  setenv("FLYOVER_FORMAT", "rgb555", 1);
  setenv("FLYOVER_CAPTURE", path.c_str(), 1);
  EXPECT_EXIT(
      {
        open(16);
        createChain(1);
        drawPattern(backBuffer(), 2, 4);
        primary->Flip(nullptr, DDFLIP_WAIT);
        ExitProcess(3);
      },
      ::testing::ExitedWithCode(3), "");
  expectPngOfPattern(path, 4);
  std::remove(path.c_str());
}

} // namespace
