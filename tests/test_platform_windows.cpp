// Windows, message queues, the default window procedure, modules and the
// process functions of the stand-in.
#include "internal.h"
#include "platform_test_window.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

class PlatformWindows : public ::testing::Test {
protected:
  void SetUp() override { received().clear(); }
};

// Posts without going through the driver: the same path driver events take.
void post(HWND hwnd, UINT message, WPARAM wParam = 0) { ASSERT_TRUE(flyover::postMessage(hwnd, message, wParam, 0)); }

TEST_F(PlatformWindows, CreatingAWindowSendsItsCreationMessagesAndDestroyingItsEnd) {
  HWND hwnd = makeWindow();
  ASSERT_NE(hwnd, nullptr);
  EXPECT_EQ(receivedMessages(), (std::vector<UINT>{WM_NCCREATE, WM_CREATE}));
  received().clear();
  EXPECT_TRUE(DestroyWindow(hwnd));
  EXPECT_EQ(receivedMessages(), (std::vector<UINT>{WM_DESTROY, WM_NCDESTROY}));
  EXPECT_FALSE(DestroyWindow(hwnd));
  EXPECT_FALSE(DestroyWindow(nullptr));
}

LRESULT CALLBACK refuseCreation(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return message == WM_CREATE ? -1 : DefWindowProcA(hwnd, message, wParam, lParam);
}

TEST_F(PlatformWindows, ClassesAreUniqueAndWindowsNeedOne) {
  EXPECT_EQ(makeWindow("refused", refuseCreation), nullptr);
  WNDCLASSA wc{};
  wc.lpfnWndProc = recordingProcedure;
  wc.lpszClassName = "Platform-Test-Twice";
  EXPECT_NE(RegisterClassA(&wc), 0);
  wc.lpszClassName = "platform-test-twice"; // class names ignore case
  EXPECT_EQ(RegisterClassA(&wc), 0);
  wc.lpfnWndProc = nullptr;
  wc.lpszClassName = "platform-test-no-procedure";
  EXPECT_EQ(RegisterClassA(&wc), 0);
  EXPECT_EQ(CreateWindowExA(0, "no-such-class", "x", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr),
            nullptr);
  HWND hwnd = CreateWindowExA(0, "PLATFORM-TEST-TWICE", "x", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  EXPECT_NE(hwnd, nullptr);
  DestroyWindow(hwnd);
}

TEST_F(PlatformWindows, EachWindowHasItsOwnQueueInPostingOrder) {
  HWND a = makeWindow(), b = makeWindow();
  post(a, WM_USER + 1);
  post(b, WM_USER + 2);
  post(a, WM_USER + 3);
  post(b, WM_USER + 4);
  MSG msg{};
  // Filtered by window: only that window's messages, oldest first.
  ASSERT_TRUE(PeekMessageA(&msg, b, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.hwnd, b);
  EXPECT_EQ(msg.message, WM_USER + 2u);
  // PM_NOREMOVE leaves the message in place.
  ASSERT_TRUE(PeekMessageA(&msg, a, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.message, WM_USER + 1u);
  // A range takes the first message inside it.
  ASSERT_TRUE(PeekMessageA(&msg, a, WM_USER + 3, WM_USER + 3, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_USER + 3u);
  // No window: the oldest message of any window.
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_USER + 1u);
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_USER + 4u);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));

  // A destroyed window's queue goes with it.
  post(a, WM_USER + 5);
  DestroyWindow(a);
  EXPECT_FALSE(PeekMessageA(&msg, a, 0, 0, PM_REMOVE));
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_FALSE(flyover::postMessage(a, WM_USER, 0, 0));
  DestroyWindow(b);
}

TEST_F(PlatformWindows, DispatchRunsTheWindowProcedureAndTranslateAddsCharacters) {
  HWND hwnd = makeWindow();
  received().clear();
  post(hwnd, WM_KEYDOWN, 'Q');
  post(hwnd, WM_KEYDOWN, VK_LEFT);
  MSG msg{};
  ASSERT_TRUE(PeekMessageA(&msg, hwnd, 0, 0, PM_REMOVE));
  EXPECT_TRUE(TranslateMessage(&msg));
  DispatchMessageA(&msg);
  ASSERT_TRUE(PeekMessageA(&msg, hwnd, 0, 0, PM_REMOVE));
  EXPECT_FALSE(TranslateMessage(&msg)); // an arrow key gives no character
  DispatchMessageA(&msg);
  // The character comes after what was already queued.
  ASSERT_TRUE(PeekMessageA(&msg, hwnd, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_CHAR));
  EXPECT_EQ(msg.wParam, static_cast<WPARAM>('q'));
  DispatchMessageA(&msg);
  ASSERT_EQ(received().size(), 3u);
  EXPECT_EQ(received()[0].message, static_cast<UINT>(WM_KEYDOWN));
  EXPECT_EQ(received()[0].wParam, static_cast<WPARAM>('Q'));
  EXPECT_EQ(received()[1].wParam, static_cast<WPARAM>(VK_LEFT));
  EXPECT_EQ(received()[2].message, static_cast<UINT>(WM_CHAR));
  DestroyWindow(hwnd);
}

TEST_F(PlatformWindows, DefaultProcedureTurnsTheSystemCloseCommandIntoWmClose) {
  HWND hwnd = makeWindow();
  received().clear();
  EXPECT_EQ(DefWindowProcA(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0), 0);
  // WM_CLOSE reaches the procedure, whose default handling destroys the window.
  EXPECT_EQ(receivedMessages(), (std::vector<UINT>{WM_CLOSE, WM_DESTROY, WM_NCDESTROY}));
  EXPECT_FALSE(flyover::isWindow(hwnd));

  hwnd = makeWindow();
  received().clear();
  DefWindowProcA(hwnd, WM_SYSCOMMAND, SC_KEYMENU, 0);
  DefWindowProcA(hwnd, WM_SYSKEYDOWN, VK_F4, 0); // F4 without Alt
  DefWindowProcA(hwnd, WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_TRUE(received().empty());
  // Alt+F4 is the system close command.
  DefWindowProcA(hwnd, WM_SYSKEYDOWN, VK_F4, 1 << 29);
  EXPECT_EQ(receivedMessages(), (std::vector<UINT>{WM_SYSCOMMAND, WM_CLOSE, WM_DESTROY, WM_NCDESTROY}));
  EXPECT_EQ(received()[0].wParam, static_cast<WPARAM>(SC_CLOSE));
}

TEST_F(PlatformWindows, BuiltInDirectDrawLibraryExportsDirectDrawCreate) {
  HMODULE library = LoadLibraryA("ddraw.dll");
  ASSERT_NE(library, nullptr);
  EXPECT_EQ(LoadLibraryA("DDRAW"), library);
  EXPECT_EQ(LoadLibraryA("C:\\Windows\\System32\\DDRAW.DLL"), library);
  EXPECT_EQ(GetModuleHandleA("ddraw.dll"), library);
  EXPECT_EQ(LoadLibraryA("d3d9.dll"), nullptr);
  EXPECT_EQ(LoadLibraryA("ddraw.dll.bak"), nullptr);
  EXPECT_EQ(reinterpret_cast<void *>(GetProcAddress(library, "DirectDrawCreate")),
            reinterpret_cast<void *>(&DirectDrawCreate));
  EXPECT_EQ(GetProcAddress(library, "DirectDrawCreateEx"), nullptr);
  EXPECT_EQ(GetProcAddress(library, "directdrawcreate"), nullptr); // export names are exact
  EXPECT_EQ(GetProcAddress(GetModuleHandleA(nullptr), "DirectDrawCreate"), nullptr);
  // Three loads, three frees; then the library is gone.
  EXPECT_TRUE(FreeLibrary(library));
  EXPECT_TRUE(FreeLibrary(library));
  EXPECT_NE(GetProcAddress(library, "DirectDrawCreate"), nullptr);
  EXPECT_TRUE(FreeLibrary(library));
  EXPECT_EQ(GetProcAddress(library, "DirectDrawCreate"), nullptr);
  EXPECT_EQ(GetModuleHandleA("ddraw.dll"), nullptr);
  EXPECT_FALSE(FreeLibrary(library));
  EXPECT_NE(GetModuleHandleA(nullptr), nullptr);
  EXPECT_EQ(LoadIconA(GetModuleHandleA(nullptr), "IDI_MAIN"), nullptr); // no resources here
}

} // namespace
