// Windows, the message queue, the default window procedure and the built-in
// ddraw.dll of the stand-in.
#include "internal.h"
#include "platform_test_window.h"

#include <gtest/gtest.h>

namespace {

class PlatformWindows : public ::testing::Test {
protected:
  void SetUp() override { received.clear(); }
};

// Posts without going through the driver: the same path driver events take.
void post(HWND hwnd, UINT message, WPARAM wParam = 0) { ASSERT_TRUE(flyover::postMessage(hwnd, message, wParam, 0)); }

TEST_F(PlatformWindows, WindowsHearOfTheirCreationAndDestructionAndTakeTheirMessagesAlong) {
  HWND hwnd = makeWindow();
  ASSERT_NE(hwnd, nullptr);
  post(hwnd, WM_USER);
  EXPECT_TRUE(DestroyWindow(hwnd));
  EXPECT_EQ(receivedMessages(), (std::vector<UINT>{WM_NCCREATE, WM_CREATE, WM_DESTROY, WM_NCDESTROY}));
  EXPECT_FALSE(DestroyWindow(hwnd));
  MSG msg{};
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(PlatformWindows, DefaultProcedureTurnsAltF4AndTheSystemCloseCommandIntoWmClose) {
  HWND hwnd = makeWindow();
  received.clear();
  DefWindowProcA(hwnd, WM_SYSKEYDOWN, VK_F4, 0); // F4 without Alt
  DefWindowProcA(hwnd, WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_TRUE(received.empty());
  // WM_CLOSE reaches the procedure, whose default handling destroys the window.
  DefWindowProcA(hwnd, WM_SYSKEYDOWN, VK_F4, 1 << 29);
  EXPECT_EQ(receivedMessages(), (std::vector<UINT>{WM_SYSCOMMAND, WM_CLOSE, WM_DESTROY, WM_NCDESTROY}));
  EXPECT_EQ(received[0].wParam, static_cast<WPARAM>(SC_CLOSE));
  EXPECT_FALSE(flyover::isWindow(hwnd));
}

TEST_F(PlatformWindows, BuiltInDirectDrawLibraryExportsDirectDrawCreateUntilFreed) {
  HMODULE library = LoadLibraryA("ddraw.dll");
  ASSERT_NE(library, nullptr);
  EXPECT_EQ(LoadLibraryA("C:\\Windows\\System32\\DDRAW.DLL"), library);
  EXPECT_EQ(reinterpret_cast<void *>(GetProcAddress(library, "DirectDrawCreate")),
            reinterpret_cast<void *>(&DirectDrawCreate));
  // Two loads, two frees; then the library is gone.
  EXPECT_TRUE(FreeLibrary(library));
  EXPECT_NE(GetProcAddress(library, "DirectDrawCreate"), nullptr);
  EXPECT_TRUE(FreeLibrary(library));
  EXPECT_EQ(GetProcAddress(library, "DirectDrawCreate"), nullptr);
  EXPECT_FALSE(FreeLibrary(library));
}

} // namespace
