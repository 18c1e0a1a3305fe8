// The emulated display on the capture driver (the sdl one is checked under
// Xvfb): exclusive level, modes from the environment, the flip chain, lost
// surfaces, screen events and what the capture driver writes.
#include "internal.h"
#include "platform_test_window.h"

#include <ddraw.h>
#include <png.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <tuple>
#include <unistd.h>

namespace {

using flyover::ScreenEvent;

constexpr DWORD kExclusive = DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN;
constexpr DWORD kFlipCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_VIDEOMEMORY;

bool ok(HRESULT result) {
  EXPECT_EQ(result, DD_OK);
  return result == DD_OK;
}

// Byte i of row y of a test picture's frame.
uint8_t patternByte(uint32_t i, uint32_t y, uint32_t frame) { return static_cast<uint8_t>(i * 7 + y * 13 + frame); }

class PlatformDisplay : public ::testing::Test {
protected:
  void SetUp() override {
    for (const char *name : {"FLYOVER_FORMAT", "FLYOVER_DEPTHS", "FLYOVER_FRAMES", "FLYOVER_CAPTURE"})
      unsetenv(name);
    setenv("FLYOVER_DRIVER", "capture", 1);
    window = makeWindow();
    ASSERT_NE(window, nullptr);
    received.clear();
  }

  void TearDown() override {
    close();
    DestroyWindow(window);
  }

  // The object, the exclusive level, a 320x200 mode at bits and a flip
  // chain, as the program opens the display; false after a failed step.
  bool open(DWORD bits = 32, DWORD backBuffers = 1) {
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    desc.dwBackBufferCount = backBuffers;
    desc.ddsCaps.dwCaps = kFlipCaps;
    DDSCAPS caps{DDSCAPS_BACKBUFFER};
    return ok(DirectDrawCreate(nullptr, &dd, nullptr)) && ok(dd->SetCooperativeLevel(window, kExclusive)) &&
           ok(dd->SetDisplayMode(320, 200, bits)) && ok(dd->CreateSurface(&desc, &primary, nullptr)) &&
           ok(primary->GetAttachedSurface(&caps, &back));
  }

  // The object's last reference takes the surfaces and the driver, and
  // with it the capture file, along.
  void close() {
    for (IUnknown *object : std::initializer_list<IUnknown *>{back, primary, dd})
      if (object)
        object->Release();
    back = primary = nullptr;
    dd = nullptr;
  }

  // Draws frame's test picture; the padding after each row, which must never
  // be shown, gets 0xEE. Rows lie further apart than their pixels need, so
  // that a program stepping by the width instead of the pitch shows at once.
  static void draw(LPDIRECTDRAWSURFACE surface, uint32_t frame) {
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof desc;
    ASSERT_EQ(surface->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr), DD_OK);
    const LONG rowBytes = 320 * static_cast<LONG>(desc.ddpfPixelFormat.dwRGBBitCount) / 8;
    EXPECT_GT(desc.lPitch, rowBytes);
    for (uint32_t y = 0; y < 200; ++y) {
      uint8_t *row = static_cast<uint8_t *>(desc.lpSurface) + y * desc.lPitch;
      std::memset(row, 0xEE, desc.lPitch);
      for (LONG i = 0; i < rowBytes; ++i)
        row[i] = patternByte(i, y, frame);
    }
    EXPECT_EQ(surface->Unlock(desc.lpSurface), DD_OK);
  }

  static uint8_t firstByte(LPDIRECTDRAWSURFACE surface) {
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof desc;
    EXPECT_EQ(surface->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr), DD_OK);
    const uint8_t value = *static_cast<uint8_t *>(desc.lpSurface);
    surface->Unlock(desc.lpSurface);
    return value;
  }

  // Messages, wParams and whether Alt was held, taken out of the window's queue.
  using Queue = std::vector<std::tuple<UINT, WPARAM, bool>>;
  Queue queued() {
    Queue messages;
    MSG msg{};
    while (PeekMessageA(&msg, window, 0, 0, PM_REMOVE))
      messages.emplace_back(msg.message, msg.wParam, (msg.lParam & (1 << 29)) != 0);
    return messages;
  }

  HWND window = nullptr;
  LPDIRECTDRAW dd = nullptr;
  LPDIRECTDRAWSURFACE primary = nullptr, back = nullptr;
};

TEST_F(PlatformDisplay, TheExclusiveLevelActivatesTheProgramBeforeItReturns) {
  ASSERT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DD_OK);
  LPDIRECTDRAW second = nullptr;
  EXPECT_EQ(DirectDrawCreate(nullptr, &second, nullptr), DDERR_DIRECTDRAWALREADYCREATED);
  EXPECT_EQ(dd->SetCooperativeLevel(window, DDSCL_EXCLUSIVE), DDERR_INVALIDPARAMS); // not without full screen
  EXPECT_EQ(dd->SetDisplayMode(320, 200, 32), DDERR_NOEXCLUSIVEMODE);
  EXPECT_TRUE(received.empty());
  ASSERT_EQ(dd->SetCooperativeLevel(window, kExclusive), DD_OK);
  // Sent, not posted: the program presents frames only while it is active.
  EXPECT_EQ(receivedMessages(), std::vector<UINT>{WM_ACTIVATEAPP});
  EXPECT_EQ(received.at(0).wParam, 1u);

  // Surface descriptions must be this pointer size's, flip chains complex.
  ASSERT_EQ(dd->SetDisplayMode(320, 200, 32), DD_OK);
  DDSURFACEDESC desc{};
  desc.dwSize = 108 + (sizeof(void *) == 8 ? 0 : 4);
  desc.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
  desc.dwBackBufferCount = 1;
  desc.ddsCaps.dwCaps = kFlipCaps;
  EXPECT_EQ(dd->CreateSurface(&desc, &primary, nullptr), DDERR_INVALIDPARAMS);
  desc.dwSize = sizeof desc;
  desc.ddsCaps.dwCaps = kFlipCaps & ~DDSCAPS_COMPLEX;
  EXPECT_EQ(dd->CreateSurface(&desc, &primary, nullptr), DDERR_INVALIDCAPS);
}

TEST_F(PlatformDisplay, ModesAreTheConfiguredDepthsEachInItsFormat) {
  setenv("FLYOVER_FORMAT", "bgr565", 1);
  setenv("FLYOVER_DEPTHS", "24,16", 1);
  // The format's own depth shows it, another depth its usual format.
  for (const auto &[bits, red, green, blue] :
       {std::tuple<DWORD, DWORD, DWORD, DWORD>{24, 0xFF0000, 0xFF00, 0xFF}, {16, 0x001F, 0x07E0, 0xF800}}) {
    close();
    ASSERT_TRUE(open(bits));
    DDPIXELFORMAT pf{};
    pf.dwSize = sizeof pf;
    ASSERT_EQ(primary->GetPixelFormat(&pf), DD_OK);
    EXPECT_EQ(std::make_tuple(pf.dwFlags, pf.dwRGBBitCount, pf.dwRBitMask, pf.dwGBitMask, pf.dwBBitMask),
              std::make_tuple(static_cast<DWORD>(DDPF_RGB), bits, red, green, blue));
  }
  EXPECT_EQ(dd->SetDisplayMode(320, 200, 32), DDERR_INVALIDMODE);
  EXPECT_EQ(dd->SetDisplayMode(640, 480, 16), DDERR_INVALIDMODE);
}

// With one back buffer a flip exchanges front and back; with two, the
// front of a flip ago waits at the end of the chain.
TEST_F(PlatformDisplay, EachFlipShowsTheBackBufferAndMovesTheFrontToTheEnd) {
  for (DWORD backBuffers : {1u, 2u}) {
    SCOPED_TRACE(backBuffers);
    ASSERT_TRUE(open(32, backBuffers));
    LPDIRECTDRAWSURFACE last = back;
    DDSCAPS caps{DDSCAPS_FLIP};
    if (backBuffers == 2) {
      ASSERT_EQ(back->GetAttachedSurface(&caps, &last), DD_OK);
    }
    for (uint8_t frame = 1; frame <= 4; ++frame) {
      draw(back, frame);
      ASSERT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);
      EXPECT_EQ(firstByte(primary), frame);
      EXPECT_EQ(firstByte(last), frame - 1);
    }
    EXPECT_EQ(back->Flip(nullptr, DDFLIP_WAIT), DDERR_NOTFLIPPABLE); // only the front flips
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof desc;
    ASSERT_EQ(back->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr), DD_OK);
    EXPECT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DDERR_SURFACEBUSY);
    back->Unlock(desc.lpSurface);
    if (last != back)
      last->Release();
    close();
  }
}

// Screen events become messages in the exclusive window's queue; losing the
// focus loses the surfaces until they are restored while active.
TEST_F(PlatformDisplay, ScreenEventsBecomeMessagesAndLosingFocusLosesTheSurfaces) {
  ASSERT_TRUE(open());
  flyover::handleScreenEvent(ScreenEvent{ScreenEvent::Focus});
  DDSURFACEDESC desc{};
  desc.dwSize = sizeof desc;
  EXPECT_EQ(back->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr), DDERR_SURFACELOST);
  EXPECT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DDERR_SURFACELOST);
  EXPECT_EQ(primary->Restore(), DDERR_WRONGMODE); // not while another program has the screen
  const ScreenEvent focus{ScreenEvent::Focus, 0, false, false, true};
  for (const ScreenEvent &event :
       {focus, focus, ScreenEvent{ScreenEvent::Key, VK_ESCAPE, true, false},
        ScreenEvent{ScreenEvent::Key, VK_F4, true, true}, ScreenEvent{ScreenEvent::Key, VK_F10, true, false},
        ScreenEvent{ScreenEvent::Key, VK_ESCAPE, false, false}, ScreenEvent{ScreenEvent::Close}})
    flyover::handleScreenEvent(event);
  EXPECT_EQ(primary->Restore(), DD_OK);
  EXPECT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);
  // Only changes of focus are news; with Alt held, DefWindowProcA makes F4 a
  // close; F10 alone is a system key too.
  EXPECT_EQ(queued(), (Queue{{WM_ACTIVATEAPP, 0, false},
                             {WM_ACTIVATEAPP, 1, false},
                             {WM_KEYDOWN, VK_ESCAPE, false},
                             {WM_SYSKEYDOWN, VK_F4, true},
                             {WM_SYSKEYDOWN, VK_F10, false},
                             {WM_KEYUP, VK_ESCAPE, false},
                             {WM_CLOSE, 0, false}}));
}

TEST_F(PlatformDisplay, AfterTheConfiguredFramesEscapeIsQueuedOnce) {
  setenv("FLYOVER_FRAMES", "3", 1);
  ASSERT_TRUE(open());
  MSG msg{};
  for (int frame = 1; frame <= 4; ++frame) {
    ASSERT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);
    EXPECT_EQ(PeekMessageA(&msg, window, WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE), frame == 3) << "after frame " << frame;
  }
  EXPECT_EQ(msg.wParam, static_cast<WPARAM>(VK_ESCAPE));
}

TEST_F(PlatformDisplay, PngCaptureHoldsTheLastFrameExpandedExactly) {
  const std::string path = ::testing::TempDir() + "flyover-platform-" + std::to_string(getpid()) + ".png";
  setenv("FLYOVER_FORMAT", "rgb555", 1);
  setenv("FLYOVER_CAPTURE", path.c_str(), 1);
  ASSERT_TRUE(open(16));
  for (uint32_t frame = 0; frame < 2; ++frame) {
    draw(back, frame);
    ASSERT_EQ(primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);
  }
  close(); // the driver writes the picture as it closes
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str())) << image.message;
  ASSERT_EQ(std::make_tuple(image.width, image.height, image.format), std::make_tuple(320u, 200u, PNG_FORMAT_RGB));
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) << image.message;
  std::remove(path.c_str());
  auto widen5 = [](uint32_t v) { return static_cast<uint8_t>((v & 31) << 3 | (v & 31) >> 2); };
  for (uint32_t y = 0; y < 200; ++y)
    for (uint32_t x = 0; x < 320; ++x) {
      const uint32_t value = patternByte(2 * x, y, 1) | patternByte(2 * x + 1, y, 1) << 8;
      const uint8_t *p = &rgb[(y * 320 + x) * 3];
      ASSERT_EQ(std::make_tuple(p[0], p[1], p[2]),
                std::make_tuple(widen5(value >> 10), widen5(value >> 5), widen5(value)))
          << x << "," << y;
    }
}

} // namespace
