// The display module against the scriptable platform: which calls it makes,
// in which order, with which arguments, and what it does with each result.
#include "fake_platform.h"
#include "layouts.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

// The module's converter; external so that a test can look at and replace it.
extern pixel_converter convert;

namespace {

using Calls = std::vector<std::string>;

const std::string kDescSize = "size " + std::to_string(sizeof(DDSURFACEDESC));
const std::string kMode = "dd.SetDisplayMode(320, 200, ";
const std::string kSurface = "dd.CreateSurface(" + kDescSize + ", flags ";
const std::string kOneBackBuffer = kSurface + "0x21, backbuffers 1, caps 0x4218, out, null)";
const std::string kPlainPrimary = kSurface + "0x1, backbuffers 1, caps 0x4200, out, null)";

const Calls kOpen = {
    "LoadLibraryA(ddraw.dll)",
    "GetProcAddress(ddraw, DirectDrawCreate)",
    "DirectDrawCreate(null, out, null)",
    "GetModuleHandleA(null)",
    "LoadIconA(module, IDI_MAIN)",
    "RegisterClassA(style 0, proc, 0, 0, module, icon, null, null, null, test)",
    "CreateWindowExA(0x0, test, test, 0x80080000, 0, 0, 0, 0, null, null, null, null)",
    "dd.SetCooperativeLevel(window, 0x11)",
    kMode + "32)",
    kSurface + "0x21, backbuffers 2, caps 0x4218, out, null)",
    "primary.GetAttachedSurface(caps 0x4, out)",
    "primary.GetPixelFormat(size 32)",
    "SystemParametersInfoA(16, 0, out, 0)",
    "SystemParametersInfoA(17, 0, null, 0)",
};

Calls join(Calls a, const Calls &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The open's first steps, then the retries of the last one.
Calls first(size_t steps, const Calls &retries = {}) {
  return join(Calls(kOpen.begin(), kOpen.begin() + steps), retries);
}

// The whole open, with retries after the given step.
Calls retried(size_t step, const Calls &retries) {
  return join(first(step, retries), Calls(kOpen.begin() + step, kOpen.end()));
}

// What ptc_close does, by what the module holds.
const Calls kCloseNothing = {"DestroyWindow(null)"};
const Calls kCloseLibrary = {"DestroyWindow(null)", "FreeLibrary(ddraw)"};
const Calls kCloseObject = {"dd.RestoreDisplayMode()", "dd.SetCooperativeLevel(window, 0x8)", "dd.Release()",
                            "DestroyWindow(window)", "FreeLibrary(ddraw)"};
const Calls kClosePrimary = join({"primary.Release()"}, kCloseObject);
Calls close_open(int screensaver) {
  return join(kClosePrimary, {"SystemParametersInfoA(17, " + std::to_string(screensaver) + ", null, 0)"});
}
const Calls kExit = join(close_open(1), {"ExitProcess(0)"});

const std::string kPeek = "PeekMessageA(out, window, 0, 0, 1)";
// One queued message handed to the window procedure.
Calls pumped(const std::string &message) {
  return {kPeek, "TranslateMessage(" + message + ")", "DispatchMessageA(" + message + ")"};
}
const Calls kPresent = {"primary.Restore()", "back.Lock(null, " + kDescSize + ", 0x1, null)", "back.Unlock(lpSurface)",
                        "primary.Flip(null, 0x1)", "Sleep(0)"};

const DDPIXELFORMAT kRGB565 = {sizeof(DDPIXELFORMAT), DDPF_RGB, 0, {16}, {0xF800}, {0x07E0}, {0x001F}, {0}};

void untouched(const uint32_t *, uint8_t *, int32_t) {}

class Display : public ::testing::Test {
protected:
  // Brings the module to its closed state with no window, whatever an
  // earlier test left: inactive, then an open whose window is null and that
  // fails right after, then a close.
  void SetUp() override {
    fake::reset();
    fake::send(WM_ACTIVATEAPP, 0);
    fake::script("CreateWindowExA", {0});
    fake::script("SetCooperativeLevel", {DDERR_GENERIC});
    testing::internal::CaptureStderr();
    ptc_open("setup", 320, 200);
    ptc_close();
    testing::internal::GetCapturedStderr();
    fake::reset();
  }

  // Opens as the frame loop does; returns what ptc_open returned.
  int open() {
    testing::internal::CaptureStderr();
    int result = ptc_open("test", 320, 200);
    errors = testing::internal::GetCapturedStderr();
    return result;
  }

  std::string errors;
  std::vector<uint32_t> canvas = std::vector<uint32_t>(320 * 200);
};

// Each failed step returns 0, says why in one line and keeps what it
// acquired, which the close then releases; a successful open switches the
// screen saver off and the close puts the user's setting back.
TEST_F(Display, OpensStepByStepAndClosesWhatItHolds) {
  struct Case {
    const char *name;
    std::function<void()> arrange;
    Calls calls;
    std::string error; // empty when the open succeeds
    pixel_converter converter;
    Calls close;
  };
  const auto script = [](const char *operation, std::vector<intptr_t> results) {
    return [=] { fake::script(operation, results); };
  };
  const Case cases[] = {
      {"every step succeeds", [] {}, kOpen, "", &ptc_convert_xrgb8888, close_open(1)},
      {"screen saver off", [] { fake::config().screensaver = FALSE; }, kOpen, "", &ptc_convert_xrgb8888, close_open(0)},
      {"screen-saver setting unreadable",
       [] {
         fake::config().screensaver = FALSE;
         fake::script("SystemParametersInfoA", {0});
       },
       kOpen, "", &ptc_convert_xrgb8888, close_open(1)},
      {"16 bits on the third try",
       [=] {
         script("SetDisplayMode", {DDERR_UNSUPPORTED, DDERR_UNSUPPORTED})();
         fake::config().format = kRGB565;
       },
       retried(9, {kMode + "24)", kMode + "16)"}), "", &ptc_convert_rgb565, close_open(1)},
      {"one back buffer", script("CreateSurface", {DDERR_OUTOFVIDEOMEMORY}), retried(10, {kOneBackBuffer}), "",
       &ptc_convert_xrgb8888, close_open(1)},
      {"plain primary with a back buffer", script("CreateSurface", {DDERR_OUTOFVIDEOMEMORY, DDERR_OUTOFVIDEOMEMORY}),
       retried(10, {kOneBackBuffer, kPlainPrimary}), "", &ptc_convert_xrgb8888, close_open(1)},
      {"library", script("LoadLibraryA", {0}), first(1), "ddraw.dll could not be loaded", &untouched, kCloseNothing},
      {"entry point", script("GetProcAddress", {0}), first(2), "ddraw.dll has no DirectDrawCreate entry point",
       &untouched, kCloseLibrary},
      {"DirectDraw object", script("DirectDrawCreate", {DDERR_GENERIC}), first(3),
       "DirectDrawCreate could not create a DirectDraw object (error 0x80004005)", &untouched, kCloseLibrary},
      {"cooperative level", script("SetCooperativeLevel", {DDERR_EXCLUSIVEMODEALREADYSET}), first(8),
       "exclusive full-screen access was refused (error 0x88760245)", &untouched, kCloseObject},
      {"display mode", script("SetDisplayMode", {DDERR_UNSUPPORTED, DDERR_INVALIDMODE, DDERR_UNSUPPORTEDMODE}),
       first(9, {kMode + "24)", kMode + "16)"}), "no 320x200 display mode was accepted at 32, 24 or 16 bits per pixel",
       &untouched, kCloseObject},
      {"primary surface", script("CreateSurface", {DDERR_OUTOFVIDEOMEMORY, DDERR_OUTOFVIDEOMEMORY, DDERR_NOFLIPHW}),
       first(10, {kOneBackBuffer, kPlainPrimary}), "no flipping primary surface could be created (error 0x887600E6)",
       &untouched, kCloseObject},
      {"back buffer", script("GetAttachedSurface", {DDERR_NOTFOUND}), first(11),
       "the primary surface has no back buffer (error 0x887600FF)", &untouched, kClosePrimary},
      {"pixel format", script("GetPixelFormat", {DDERR_SURFACELOST}), first(12),
       "the screen's pixel format could not be read (error 0x887601C2)", &untouched, kClosePrimary},
      {"not RGB", [] { fake::config().format.dwFlags = DDPF_FOURCC; }, first(12),
       "the screen's pixel format is not an RGB format (flags 0x00000004)", &untouched, kClosePrimary},
      {"unknown RGB", [] { fake::config().format.dwRBitMask = 0x00FF00FF; }, first(12),
       "the screen's pixel format is not supported (32 bits, masks red 0x00FF00FF green 0x0000FF00 blue "
       "0x000000FF)",
       nullptr, kClosePrimary},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    c.arrange();
    convert = &untouched;
    EXPECT_EQ(open(), c.error.empty() ? 1 : 0);
    EXPECT_EQ(fake::take_calls(), c.calls);
    EXPECT_EQ(errors, c.error.empty() ? "" : "flyover: " + c.error + "\n");
    EXPECT_EQ(convert, c.converter);
    ptc_close();
    EXPECT_EQ(fake::take_calls(), c.close);
    // Everything is released and the setting put back once: a second close
    // only destroys the window handle, if the open got one, again.
    ptc_close();
    EXPECT_EQ(fake::take_calls(), Calls{c.calls.size() < 7 ? "DestroyWindow(null)" : "DestroyWindow(window)"});
  }
}

TEST_F(Display, WindowProcedureHandlesFourMessagesAndPassesOnTheRest) {
  struct Case {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result; // -1: the process ended
    Calls calls;
  };
  const Case cases[] = {
      {WM_SETCURSOR, 0, 1, 0, {"SetCursor(null)"}},
      {WM_ACTIVATEAPP, 1, 0, 0, {}},
      {WM_KEYDOWN, 'A', 1, 0, {}},
      {WM_KEYDOWN, 0x1C, 1, 0, {}},
      {WM_KEYDOWN, VK_ESCAPE, 1, -1, kExit},
      {WM_KEYDOWN, 0x100 | VK_ESCAPE, 1, -1, kExit},
      {WM_CLOSE, 0, 0, -1, kExit},
      {WM_SYSCOMMAND, SC_CLOSE, 0, -1, join({"DefWindowProcA(window, 0x112, 0xF060, 0x0)"}, kExit)},
      {WM_KEYUP, VK_ESCAPE, 7, 42, {"DefWindowProcA(window, 0x101, 0x1B, 0x7)"}},
      {WM_SYSKEYDOWN, VK_F4, 0x20000000, 42, {"DefWindowProcA(window, 0x104, 0x73, 0x20000000)"}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << "message " << c.message << ", wParam " << c.wParam);
    SetUp();
    ASSERT_EQ(open(), 1);
    fake::take_calls();
    fake::script("DefWindowProcA", {42});
    LRESULT result = -1;
    try {
      result = fake::send(c.message, c.wParam, c.lParam);
    } catch (const fake::ProcessExit &) {
    }
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(fake::take_calls(), c.calls);
  }
}

// One session of the frame loop: nothing is presented, nor the frame read,
// until the platform reports the program active; an activation change
// counts from the call it arrives in; a frame that cannot be locked is
// dropped; Escape ends the process from inside the call, before presenting.
TEST_F(Display, PresentsWhileActiveDropsAFrameItCannotLockAndEndsOnEscape) {
  ASSERT_EQ(open(), 1);
  fake::take_calls();
  EXPECT_EQ(ptc_update(nullptr), 1);
  EXPECT_EQ(fake::take_calls(), (Calls{kPeek, "Sleep(1)"}));

  for (WPARAM state : {WPARAM(1), WPARAM(0), WPARAM(0x100), WPARAM(0), WPARAM(0x80000000u)}) {
    SCOPED_TRACE(state);
    fake::post(WM_ACTIVATEAPP, state);
    EXPECT_EQ(ptc_update(state ? canvas.data() : nullptr), 1);
    EXPECT_EQ(fake::take_calls(), join(pumped("0x1C"), join({kPeek}, state ? kPresent : Calls{"Sleep(1)"})));
  }

  fake::script("Lock", {DDERR_SURFACELOST});
  EXPECT_EQ(ptc_update(canvas.data()), 0);
  EXPECT_EQ(fake::take_calls(), (Calls{kPeek, kPresent[0], kPresent[1]}));
  EXPECT_EQ(ptc_update(canvas.data()), 1);
  EXPECT_EQ(fake::take_calls(), join({kPeek}, kPresent));

  fake::post(WM_KEYDOWN, VK_ESCAPE, 0x00010001);
  EXPECT_THROW(ptc_update(nullptr), fake::ProcessExit);
  EXPECT_EQ(fake::take_calls(), join(pumped("0x100"), kExit));
}

// The platform reports the program active from inside the open.
TEST_F(Display, ActivationDuringOpenIsKept) {
  fake::on_call([](const std::string &line) {
    if (line == "dd.SetCooperativeLevel(window, 0x11)")
      fake::send(WM_ACTIVATEAPP, 1);
  });
  ASSERT_EQ(open(), 1);
  fake::take_calls();
  EXPECT_EQ(ptc_update(canvas.data()), 1);
  EXPECT_EQ(fake::take_calls(), join({kPeek}, kPresent));
}

// Rows lie a pitch apart that is wider than the pixels, and odd, so that
// stepping by anything else shows.
TEST_F(Display, ConvertsEachCanvasRowIntoTheBackBufferAtItsPitch) {
  fake::config().pitch = 320 * 4 + 37;
  ASSERT_EQ(open(), 1);
  fake::send(WM_ACTIVATEAPP, 1);
  static std::vector<std::tuple<const uint32_t *, uint8_t *, int32_t>> rows;
  rows.clear();
  convert = [](const uint32_t *source, uint8_t *destination, int32_t count) {
    rows.emplace_back(source, destination, count);
  };
  ASSERT_EQ(ptc_update(canvas.data()), 1);
  ASSERT_EQ(rows.size(), 200u);
  for (size_t y = 0; y < rows.size(); ++y)
    EXPECT_EQ(rows[y], std::make_tuple(canvas.data() + 320 * y, fake::back_buffer() + fake::config().pitch * y, 320))
        << "row " << y;
}

} // namespace
