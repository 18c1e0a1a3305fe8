// The display module against the scriptable platform: which calls it makes,
// in which order, with which arguments, and what it does with each result.
#include "fake_platform.h"
#include "ptc.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

// The module's converter; external so that a test can look at and wrap it.
extern pixel_converter convert;

namespace {

using Calls = std::vector<std::string>;

const std::string kDescSize = std::to_string(sizeof(DDSURFACEDESC));

Calls open_calls() {
  return {
      "LoadLibraryA(ddraw.dll)",
      "GetProcAddress(ddraw, DirectDrawCreate)",
      "DirectDrawCreate(null, out, null)",
      "GetModuleHandleA(null)",
      "LoadIconA(module, IDI_MAIN)",
      "RegisterClassA(style 0, proc, 0, 0, module, icon, null, null, null, test)",
      "CreateWindowExA(0x0, test, test, 0x80080000, 0, 0, 0, 0, null, null, null, null)",
      "dd.SetCooperativeLevel(window, 0x11)",
      "dd.SetDisplayMode(320, 200, 32)",
      "dd.CreateSurface(size " + kDescSize + ", flags 0x21, backbuffers 2, caps 0x4218, out, null)",
      "primary.GetAttachedSurface(caps 0x4, out)",
      "primary.GetPixelFormat(size 32)",
      "SystemParametersInfoA(16, 0, out, 0)",
      "SystemParametersInfoA(17, 0, null, 0)",
  };
}

Calls first(size_t count, Calls tail = {}) {
  Calls calls = open_calls();
  calls.resize(count);
  calls.insert(calls.end(), tail.begin(), tail.end());
  return calls;
}

Calls join(Calls a, const Calls &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// What ptc_close does, by what the module holds.
const Calls kCloseNothing = {"DestroyWindow(null)"};
const Calls kCloseLibrary = {"DestroyWindow(null)", "FreeLibrary(ddraw)"};
const Calls kCloseObject = {"dd.RestoreDisplayMode()", "dd.SetCooperativeLevel(window, 0x8)", "dd.Release()",
                            "DestroyWindow(window)", "FreeLibrary(ddraw)"};
const Calls kClosePrimary = join({"primary.Release()"}, kCloseObject);
const Calls kCloseOpen = join(kClosePrimary, {"SystemParametersInfoA(17, 1, null, 0)"});

const Calls kPresent = {"primary.Restore()", "back.Lock(null, size " + kDescSize + ", 0x1, null)",
                        "back.Unlock(lpSurface)", "primary.Flip(null, 0x1)", "Sleep(0)"};
const std::string kPeekNone = "PeekMessageA(out, window, 0, 0, 1)";

Calls pumped(UINT message) {
  std::string code = message == WM_ACTIVATEAPP ? "0x1C" : message == WM_KEYDOWN ? "0x100" : "?";
  return {kPeekNone, "TranslateMessage(" + code + ")", "DispatchMessageA(" + code + ")"};
}

UINT exit_code_of(const std::function<void()> &action) {
  try {
    action();
  } catch (const fake::ProcessExit &exit) {
    return exit.code;
  }
  ADD_FAILURE() << "the process did not end";
  return ~0u;
}

DDPIXELFORMAT rgb_format(DWORD bits, DWORD red, DWORD green, DWORD blue) {
  DDPIXELFORMAT format = {};
  format.dwSize = sizeof(format);
  format.dwFlags = DDPF_RGB;
  format.dwRGBBitCount = bits;
  format.dwRBitMask = red;
  format.dwGBitMask = green;
  format.dwBBitMask = blue;
  return format;
}

void marker_converter(const uint32_t *, uint8_t *, int32_t) {}

class Display : public ::testing::Test {
protected:
  // Brings the module to its closed state, with no window, whatever an
  // earlier test in this process left behind: an open whose window is null
  // and that fails right after, then a close.
  void SetUp() override {
    fake::reset();
    if (WNDPROC proc = fake::window_procedure())
      proc(nullptr, WM_ACTIVATEAPP, 0, 0);
    fake::script("CreateWindowExA", {0});
    fake::script("SetCooperativeLevel", {DDERR_GENERIC});
    testing::internal::CaptureStderr();
    ptc_open("setup", 320, 200);
    ptc_close();
    testing::internal::GetCapturedStderr();
    convert = nullptr;
    fake::reset();
  }

  // Opens as the frame loop does; returns what ptc_open returned.
  int open() {
    testing::internal::CaptureStderr();
    int result = ptc_open("test", 320, 200);
    errors = testing::internal::GetCapturedStderr();
    return result;
  }

  void open_and_activate() {
    ASSERT_EQ(open(), 1) << errors;
    fake::send(WM_ACTIVATEAPP, 1);
    fake::clear_calls();
  }

  std::string errors;
  std::vector<uint32_t> canvas = std::vector<uint32_t>(320 * 200);
};

TEST_F(Display, OpensStepByStepAndSwitchesTheScreenSaverOff) {
  ASSERT_EQ(open(), 1);
  EXPECT_EQ(fake::calls(), open_calls());
  EXPECT_EQ(errors, "");
  EXPECT_EQ(convert, &ptc_convert_32_to_32_rgb888);
  EXPECT_FALSE(fake::config().screensaver);
}

TEST_F(Display, EachFailedStepReturnsZeroKeepsWhatItHoldsAndSaysWhy) {
  struct Case {
    const char *step;
    std::function<void()> arrange;
    Calls calls;
    Calls close;
    std::string message;
    bool converter_asked;
  };
  const std::string mode = "dd.SetDisplayMode(320, 200, ";
  const std::string surface = "dd.CreateSurface(size " + kDescSize + ", flags ";
  const Case cases[] = {
      {"library", [] { fake::script("LoadLibraryA", {0}); }, first(1), kCloseNothing,
       "ddraw.dll could not be loaded", false},
      {"entry point", [] { fake::script("GetProcAddress", {0}); }, first(2), kCloseLibrary,
       "ddraw.dll has no DirectDrawCreate entry point", false},
      {"DirectDraw object", [] { fake::script("DirectDrawCreate", {DDERR_GENERIC}); }, first(3), kCloseLibrary,
       "DirectDrawCreate could not create a DirectDraw object (error 0x80004005)", false},
      {"cooperative level", [] { fake::script("SetCooperativeLevel", {DDERR_EXCLUSIVEMODEALREADYSET}); }, first(8),
       kCloseObject, "exclusive full-screen access was refused (error 0x88760245)", false},
      {"display mode",
       [] { fake::script("SetDisplayMode", {DDERR_UNSUPPORTED, DDERR_INVALIDMODE, DDERR_UNSUPPORTEDMODE}); },
       first(9, {mode + "24)", mode + "16)"}), kCloseObject,
       "no 320x200 display mode was accepted at 32, 24 or 16 bits per pixel", false},
      {"primary surface",
       [] { fake::script("CreateSurface", {DDERR_OUTOFVIDEOMEMORY, DDERR_OUTOFVIDEOMEMORY, DDERR_NOFLIPHW}); },
       first(10, {surface + "0x21, backbuffers 1, caps 0x4218, out, null)",
                  surface + "0x1, backbuffers 1, caps 0x4200, out, null)"}),
       kCloseObject, "no flipping primary surface could be created (error 0x887600E6)", false},
      {"back buffer", [] { fake::config().back_buffer = false; }, first(11), kClosePrimary,
       "the primary surface has no back buffer (error 0x887600FF)", false},
      {"pixel format", [] { fake::script("GetPixelFormat", {DDERR_SURFACELOST}); }, first(12), kClosePrimary,
       "the screen's pixel format could not be read (error 0x887601C2)", false},
      {"not RGB",
       [] {
         fake::config().format.dwFlags = DDPF_FOURCC;
         fake::config().format.dwFourCC = MAKEFOURCC('Y', 'U', 'Y', '2');
       },
       first(12), kClosePrimary, "the screen's pixel format is not an RGB format (flags 0x00000004)", false},
      {"unknown RGB", [] { fake::config().format = rgb_format(16, 0x0F00, 0x00F0, 0x000F); }, first(12),
       kClosePrimary,
       "the screen's pixel format is not supported (16 bits, masks red 0x00000F00 green 0x000000F0 blue 0x0000000F)",
       true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.step);
    SetUp();
    c.arrange();
    convert = &marker_converter;
    EXPECT_EQ(open(), 0);
    EXPECT_EQ(fake::calls(), c.calls);
    EXPECT_EQ(errors, "flyover: " + c.message + "\n");
    EXPECT_EQ(convert, c.converter_asked ? nullptr : &marker_converter);
    fake::clear_calls();
    ptc_close();
    EXPECT_EQ(fake::calls(), c.close) << "a failed open must keep what it acquired, and no more";
    EXPECT_TRUE(fake::config().screensaver);
  }
}

TEST_F(Display, FallsBackToTheNextDepthAndSurfaceLayout) {
  fake::script("SetDisplayMode", {DDERR_UNSUPPORTED, DDERR_UNSUPPORTED});
  fake::config().format = rgb_format(16, 0xF800, 0x07E0, 0x001F);
  ASSERT_EQ(open(), 1);
  EXPECT_EQ(convert, &ptc_convert_32_to_16_rgb565);
  Calls expected = open_calls();
  expected.insert(expected.begin() + 9, {"dd.SetDisplayMode(320, 200, 24)", "dd.SetDisplayMode(320, 200, 16)"});
  EXPECT_EQ(fake::calls(), expected);

  const std::string surface = "dd.CreateSurface(size " + kDescSize + ", flags ";
  for (int failures = 1; failures <= 2; ++failures) {
    for (bool attached : {true, false}) {
      SCOPED_TRACE(std::to_string(failures) + " failed surface attempts, back buffer " + std::to_string(attached));
      SetUp();
      fake::config().back_buffer = attached;
      for (int i = 0; i < failures; ++i)
        fake::script("CreateSurface", {DDERR_OUTOFVIDEOMEMORY});
      EXPECT_EQ(open(), attached ? 1 : 0);
      Calls tried = {surface + "0x21, backbuffers 1, caps 0x4218, out, null)"};
      if (failures == 2)
        tried.push_back(surface + "0x1, backbuffers 1, caps 0x4200, out, null)");
      Calls calls = fake::calls();
      ASSERT_GE(calls.size(), 11u + failures);
      EXPECT_EQ(Calls(calls.begin() + 10, calls.begin() + 10 + failures), tried);
      EXPECT_EQ(calls[10 + failures], "primary.GetAttachedSurface(caps 0x4, out)");
    }
  }
}

TEST_F(Display, ClosesInOrderAndPutsTheScreenSaverSettingBack) {
  struct Case {
    const char *user_setting;
    BOOL before;
    bool readable;
    const char *restore;
  };
  const Case cases[] = {
      {"on", TRUE, true, "SystemParametersInfoA(17, 1, null, 0)"},
      {"off", FALSE, true, "SystemParametersInfoA(17, 0, null, 0)"},
      {"unreadable", FALSE, false, "SystemParametersInfoA(17, 1, null, 0)"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.user_setting);
    SetUp();
    fake::config().screensaver = c.before;
    if (!c.readable)
      fake::script("SystemParametersInfoA", {0});
    ASSERT_EQ(open(), 1);
    EXPECT_FALSE(fake::config().screensaver);
    fake::clear_calls();
    ptc_close();
    EXPECT_EQ(fake::calls(), join(kClosePrimary, {c.restore}));

    // Everything is released and the setting is back: a second close only
    // destroys the (kept) window handle again.
    fake::clear_calls();
    ptc_close();
    EXPECT_EQ(fake::calls(), Calls{"DestroyWindow(window)"});
  }
}

TEST_F(Display, CloseWithNothingOpenOnlyDestroysTheNullWindow) {
  ptc_close();
  EXPECT_EQ(fake::calls(), kCloseNothing);
  EXPECT_TRUE(fake::config().screensaver);
}

TEST_F(Display, WindowProcedureHandlesItsFourMessagesAndPassesOnTheRest) {
  ASSERT_EQ(open(), 1);
  fake::clear_calls();
  EXPECT_EQ(fake::send(WM_SETCURSOR, 0, 1), 0);
  EXPECT_EQ(fake::calls(), Calls{"SetCursor(null)"});

  fake::clear_calls();
  for (WPARAM key : {WPARAM('A'), WPARAM(VK_RETURN), WPARAM(VK_F4), WPARAM(0x1A), WPARAM(0x1C)})
    EXPECT_EQ(fake::send(WM_KEYDOWN, key, 1), 0) << key;
  EXPECT_EQ(fake::send(WM_ACTIVATEAPP, 0), 0);
  EXPECT_EQ(fake::calls(), Calls{}) << "other keys and activation are swallowed";

  fake::script("DefWindowProcA", {42, 43, 44});
  EXPECT_EQ(fake::send(WM_KEYUP, VK_ESCAPE, 7), 42);
  EXPECT_EQ(fake::send(WM_SYSKEYDOWN, VK_F4, 0x20000000), 43);
  EXPECT_EQ(fake::send(WM_SIZE, 0, -1), 44);
  EXPECT_EQ(fake::calls(), (Calls{"DefWindowProcA(window, 0x101, 0x1B, 0x7)",
                                  "DefWindowProcA(window, 0x104, 0x73, 0x20000000)",
                                  "DefWindowProcA(window, 0x5, 0x0, 0xFFFFFFFFFFFFFFFF)"}));
}

TEST_F(Display, EscapeOrACloseRequestClosesAndEndsWithCodeZero) {
  struct Case {
    const char *request;
    UINT message;
    WPARAM wParam;
    Calls before_close;
  };
  const Case cases[] = {
      {"Escape", WM_KEYDOWN, VK_ESCAPE, {}},
      {"Escape with high bits in wParam", WM_KEYDOWN, 0x100 | VK_ESCAPE, {}},
      {"close", WM_CLOSE, 0, {}},
      {"system close command", WM_SYSCOMMAND, SC_CLOSE, {"DefWindowProcA(window, 0x112, 0xF060, 0x0)"}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.request);
    SetUp();
    ASSERT_EQ(open(), 1);
    fake::clear_calls();
    EXPECT_EQ(exit_code_of([&] { fake::send(c.message, c.wParam); }), 0u);
    EXPECT_EQ(fake::calls(), join(join(c.before_close, kCloseOpen), {"ExitProcess(0)"}));
    EXPECT_TRUE(fake::config().screensaver);
  }
}

TEST_F(Display, PresentsNothingWhileInactiveAndFollowsActivationWithinTheCall) {
  ASSERT_EQ(open(), 1);
  fake::clear_calls();
  // A null frame: the inactive path must not read it.
  EXPECT_EQ(ptc_update(nullptr), 1);
  EXPECT_EQ(fake::calls(), (Calls{kPeekNone, "Sleep(1)"}));

  for (WPARAM state : {WPARAM(1), WPARAM(0), WPARAM(0x100), WPARAM(0), WPARAM(0x80000000u)}) {
    SCOPED_TRACE(state);
    fake::post(WM_ACTIVATEAPP, state);
    fake::clear_calls();
    EXPECT_EQ(ptc_update(state ? canvas.data() : nullptr), 1);
    EXPECT_EQ(fake::calls(), join(join(pumped(WM_ACTIVATEAPP), {kPeekNone}), state ? kPresent : Calls{"Sleep(1)"}));
  }
}

TEST_F(Display, ActivationDuringOpenIsKept) {
  fake::on_call([](const std::string &line) {
    if (line == "dd.SetCooperativeLevel(window, 0x11)")
      fake::send(WM_ACTIVATEAPP, 1);
  });
  ASSERT_EQ(open(), 1);
  fake::clear_calls();
  EXPECT_EQ(ptc_update(canvas.data()), 1);
  EXPECT_EQ(fake::calls(), join({kPeekNone}, kPresent));
}

TEST_F(Display, AFailedLockDropsTheFrameAndTheNextCallTriesAgain) {
  open_and_activate();
  fake::script("Lock", {DDERR_SURFACELOST});
  EXPECT_EQ(ptc_update(canvas.data()), 0);
  EXPECT_EQ(fake::calls(), (Calls{kPeekNone, kPresent[0], kPresent[1]}));
  fake::clear_calls();
  EXPECT_EQ(ptc_update(canvas.data()), 1);
  EXPECT_EQ(fake::calls(), join({kPeekNone}, kPresent));
}

TEST_F(Display, ConvertsEveryRowIntoTheBackBufferAtItsPitch) {
  struct Case {
    const char *format;
    DDPIXELFORMAT pixels;
    int bytes;
  };
  const Case cases[] = {
      {"xrgb8888", rgb_format(32, 0xFF0000, 0xFF00, 0xFF), 4},
      {"rgb888", rgb_format(24, 0xFF0000, 0xFF00, 0xFF), 3},
      {"rgb565", rgb_format(16, 0xF800, 0x07E0, 0x001F), 2},
  };
  for (size_t i = 0; i < canvas.size(); ++i)
    canvas[i] = static_cast<uint32_t>(i * 2654435761u) | (i % 3 == 0 ? 0xB4000000u : 0);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.format);
    SetUp();
    fake::config().format = c.pixels;
    const int row_bytes = 320 * c.bytes;
    fake::config().pitch = row_bytes + 37;
    open_and_activate();
    fake::front_memory().assign(fake::front_memory().size(), 0xA5);
    fake::back_memory().assign(fake::back_memory().size(), 0xA5);

    // Counts the module's converter calls on the way to the real converter.
    static pixel_converter real;
    static std::vector<std::pair<const uint32_t *, uint8_t *>> rows;
    static std::vector<int32_t> counts;
    real = convert;
    rows.clear();
    counts.clear();
    convert = [](const uint32_t *source, uint8_t *destination, int32_t count) {
      rows.emplace_back(source, destination);
      counts.push_back(count);
      real(source, destination, count);
    };
    uint8_t *surface = fake::back_memory().data();
    ASSERT_EQ(ptc_update(canvas.data()), 1);
    convert = real;

    ASSERT_EQ(rows.size(), 200u);
    EXPECT_EQ(counts, std::vector<int32_t>(200, 320));
    for (size_t y = 0; y < rows.size(); ++y) {
      EXPECT_EQ(rows[y].first, canvas.data() + 320 * y) << y;
      EXPECT_EQ(rows[y].second, surface + fake::config().pitch * y) << y;
    }

    // The flipped frame is on screen: each row as the converter makes it,
    // and nothing between rows or after the last one touched.
    const std::vector<uint8_t> &screen = fake::front_memory();
    std::vector<uint8_t> expected(row_bytes);
    for (size_t y = 0; y < 200; ++y) {
      real(canvas.data() + 320 * y, expected.data(), 320);
      const uint8_t *line = screen.data() + fake::config().pitch * y;
      ASSERT_EQ(std::vector<uint8_t>(line, line + row_bytes), expected) << "row " << y;
      for (const uint8_t *gap = line + row_bytes; gap < line + fake::config().pitch; ++gap)
        ASSERT_EQ(*gap, 0xA5) << "row " << y << " byte " << (gap - line);
    }
    EXPECT_EQ(fake::back_memory(), std::vector<uint8_t>(screen.size(), 0xA5)) << "the old front is left alone";
  }
}

TEST_F(Display, EscapeQueuedDuringAFrameEndsTheNextCallBeforeItPresents) {
  open_and_activate();
  ASSERT_EQ(ptc_update(canvas.data()), 1);
  fake::post(WM_KEYDOWN, VK_ESCAPE, 0x00010001);
  fake::clear_calls();
  EXPECT_EQ(exit_code_of([&] { ptc_update(nullptr); }), 0u);
  EXPECT_EQ(fake::calls(), join(join(pumped(WM_KEYDOWN), kCloseOpen), {"ExitProcess(0)"}));
}

} // namespace
