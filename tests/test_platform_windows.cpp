// Windows, message queues, the default window procedure and the built-in
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

TEST_F(PlatformWindows, WindowsHearOfTheirCreationAndDestruction) {
  HWND hwnd = makeWindow();
  ASSERT_NE(hwnd, nullptr);
  EXPECT_TRUE(DestroyWindow(hwnd));
  EXPECT_EQ(receivedMessages(), (std::vector<UINT>{WM_NCCREATE, WM_CREATE, WM_DESTROY, WM_NCDESTROY}));
  EXPECT_FALSE(DestroyWindow(hwnd));
}

TEST_F(PlatformWindows, EachWindowHasItsOwnQueueInPostingOrder) {
  HWND a = makeWindow(), b = makeWindow();
  for (UINT i = 1; i <= 4; ++i)
    post(i % 2 ? a : b, WM_USER + i);
  MSG msg{};
  // Filtered by window: only that window's messages, oldest first.
  ASSERT_TRUE(PeekMessageA(&msg, b, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.hwnd, b);
  EXPECT_EQ(msg.message, WM_USER + 2u);
  // PM_NOREMOVE leaves the message in place; a range takes the first inside it.
  ASSERT_TRUE(PeekMessageA(&msg, a, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.message, WM_USER + 1u);
  ASSERT_TRUE(PeekMessageA(&msg, a, WM_USER + 3, WM_USER + 3, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_USER + 3u);
  // No window: the oldest message of any window.
  for (UINT expected : {WM_USER + 1, WM_USER + 4}) {
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, expected);
  }
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  // A destroyed window's queue goes with it.
  post(a, WM_USER + 5);
  DestroyWindow(a);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  DestroyWindow(b);
}

TEST_F(PlatformWindows, DispatchRunsTheWindowProcedureAndTranslateQueuesCharacters) {
  HWND hwnd = makeWindow();
  received.clear();
  post(hwnd, WM_KEYDOWN, 'Q');
  post(hwnd, WM_KEYDOWN, VK_LEFT);
  MSG msg{};
  for (BOOL givesCharacter : {TRUE, FALSE, FALSE}) {
    ASSERT_TRUE(PeekMessageA(&msg, hwnd, 0, 0, PM_REMOVE));
    EXPECT_EQ(TranslateMessage(&msg), givesCharacter);
    DispatchMessageA(&msg);
  }
  // The character comes after what was already queued.
  ASSERT_EQ(received.size(), 3u);
  EXPECT_EQ(received[0].wParam, static_cast<WPARAM>('Q'));
  EXPECT_EQ(received[1].wParam, static_cast<WPARAM>(VK_LEFT));
  EXPECT_EQ(received[2].message, static_cast<UINT>(WM_CHAR));
  EXPECT_EQ(received[2].wParam, static_cast<WPARAM>('q'));
  DestroyWindow(hwnd);
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
