// The screen as a real window: borderless over the whole desktop, the
// picture scaled by the largest whole factor and centred on black, the
// cursor hidden. Whatever format the display runs in is expanded here, bit
// exact, into an XRGB8888 texture; SDL's own conversion of the 16-bit
// formats rounds differently and would not show the bytes the program wrote.
#include "driver.h"

#include <windows.h>

#include <SDL.h>

#include <cstdlib>
#include <cstring>

#include <dlfcn.h>
#include <unistd.h>

namespace flyover {

namespace {

uint32_t virtualKey(SDL_Keycode key) {
  if (key >= SDLK_a && key <= SDLK_z)
    return 'A' + static_cast<uint32_t>(key - SDLK_a);
  if (key >= SDLK_0 && key <= SDLK_9)
    return '0' + static_cast<uint32_t>(key - SDLK_0);
  if (key >= SDLK_F1 && key <= SDLK_F12)
    return VK_F1 + static_cast<uint32_t>(key - SDLK_F1);
  switch (key) {
  case SDLK_ESCAPE:
    return VK_ESCAPE;
  case SDLK_RETURN:
    return VK_RETURN;
  case SDLK_SPACE:
    return VK_SPACE;
  case SDLK_TAB:
    return VK_TAB;
  case SDLK_BACKSPACE:
    return VK_BACK;
  case SDLK_LEFT:
    return VK_LEFT;
  case SDLK_RIGHT:
    return VK_RIGHT;
  case SDLK_UP:
    return VK_UP;
  case SDLK_DOWN:
    return VK_DOWN;
  case SDLK_LSHIFT:
  case SDLK_RSHIFT:
    return VK_SHIFT;
  case SDLK_LCTRL:
  case SDLK_RCTRL:
    return VK_CONTROL;
  case SDLK_LALT:
  case SDLK_RALT:
    return VK_MENU;
  default:
    return 0; // keys the platform has no code for here send nothing
  }
}

class SdlDriver final : public ScreenDriver {
public:
  ~SdlDriver() override {
    restoreMode();
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    SDL_Quit();
  }

  bool setMode(int32_t width, int32_t height, const ScreenFormat &format, const std::string &title,
               std::string &error) override {
    restoreMode();
    SDL_DisplayMode desktop;
    if (SDL_GetDesktopDisplayMode(0, &desktop) != 0)
      return fail("cannot read the desktop size", error);
    // Covering the desktop with a borderless window works with and without
    // a window manager under X, where SDL's full-screen flags need one to
    // resize. A Wayland compositor decides where windows go (a desktop
    // shell puts them below its panel) and only its full-screen state
    // covers the whole output.
    const char *video = SDL_GetCurrentVideoDriver();
    const Uint32 placement =
        video && std::strcmp(video, "wayland") == 0 ? SDL_WINDOW_FULLSCREEN_DESKTOP : SDL_WINDOW_BORDERLESS;
    window_ = SDL_CreateWindow(title.c_str(), 0, 0, desktop.w, desktop.h, placement | SDL_WINDOW_SHOWN);
    if (!window_)
      return fail("cannot create the window", error);
    // Waiting for the vertical blank is what a page flip does.
    renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_PRESENTVSYNC);
    if (!renderer_)
      return fail("cannot create a renderer", error);
    texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_XRGB8888, SDL_TEXTUREACCESS_STREAMING, width, height);
    if (!texture_)
      return fail("cannot create the picture's texture", error);
    SDL_RenderSetLogicalSize(renderer_, width, height);
    SDL_RenderSetIntegerScale(renderer_, SDL_TRUE);
    SDL_ShowCursor(cursorVisible_ ? SDL_ENABLE : SDL_DISABLE);
    SDL_RaiseWindow(window_); // the keyboard belongs to the program that took the screen
    SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
    SDL_RenderClear(renderer_);
    SDL_RenderPresent(renderer_);
    width_ = width;
    height_ = height;
    expander_ = std::make_unique<PixelExpander>(format);
    return true;
  }

  bool present(const uint8_t *pixels, int32_t pitch, std::string &) override {
    if (!texture_)
      return true;
    void *target = nullptr;
    int targetPitch = 0;
    if (SDL_LockTexture(texture_, nullptr, &target, &targetPitch) != 0)
      return true;
    for (int32_t y = 0; y < height_; ++y)
      expander_->row(
          pixels + static_cast<ptrdiff_t>(y) * pitch,
          reinterpret_cast<uint32_t *>(static_cast<uint8_t *>(target) + static_cast<ptrdiff_t>(y) * targetPitch),
          width_);
    SDL_UnlockTexture(texture_);
    SDL_RenderClear(renderer_);
    SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
    SDL_RenderPresent(renderer_);
    return true;
  }

  void restoreMode() override {
    if (texture_)
      SDL_DestroyTexture(texture_);
    if (renderer_)
      SDL_DestroyRenderer(renderer_);
    if (window_)
      SDL_DestroyWindow(window_);
    texture_ = nullptr;
    renderer_ = nullptr;
    window_ = nullptr;
  }

  void pollEvents(std::vector<ScreenEvent> &events) override {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
      switch (event.type) {
      case SDL_KEYDOWN:
      case SDL_KEYUP: {
        const uint32_t key = virtualKey(event.key.keysym.sym);
        if (key) {
          ScreenEvent e{ScreenEvent::Key};
          e.virtualKey = key;
          e.down = event.type == SDL_KEYDOWN;
          e.alt = (event.key.keysym.mod & KMOD_ALT) != 0;
          events.push_back(e);
        }
        break;
      }
      case SDL_MOUSEMOTION:
        events.push_back(ScreenEvent{ScreenEvent::Pointer});
        break;
      case SDL_WINDOWEVENT:
        if (event.window.event == SDL_WINDOWEVENT_CLOSE) {
          closeRequested_ = true;
          events.push_back(ScreenEvent{ScreenEvent::Close});
        } else if (event.window.event == SDL_WINDOWEVENT_FOCUS_GAINED ||
                   event.window.event == SDL_WINDOWEVENT_FOCUS_LOST) {
          ScreenEvent e{ScreenEvent::Focus};
          e.focused = event.window.event == SDL_WINDOWEVENT_FOCUS_GAINED;
          events.push_back(e);
        }
        break;
      case SDL_QUIT:
        // After a close request it follows the window's close event and
        // adds nothing. Alone (signals are not SDL's here) it means the
        // connection to the compositor broke.
        if (!closeRequested_)
          events.push_back(ScreenEvent{ScreenEvent::Lost});
        break;
      default:
        break;
      }
    }
  }

  void showCursor(bool visible) override {
    cursorVisible_ = visible;
    SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
  }

  void allowScreenSaver(bool allowed) override {
    if (allowed)
      SDL_EnableScreenSaver();
    else
      SDL_DisableScreenSaver();
  }

private:
  bool fail(const char *what, std::string &error) {
    error = std::string(what) + ": " + SDL_GetError();
    restoreMode();
    return false;
  }

  SDL_Window *window_ = nullptr;
  SDL_Renderer *renderer_ = nullptr;
  SDL_Texture *texture_ = nullptr;
  int32_t width_ = 0, height_ = 0;
  bool cursorVisible_ = false;
  bool closeRequested_ = false;
  std::unique_ptr<PixelExpander> expander_;
};

// Xlib's own handler for a broken connection prints four lines and exits,
// and then runs again from the exit handlers that still talk to the
// server. One line and an immediate end instead; the handler must not
// return. SDL loads libX11 itself, so the function is looked up in the copy
// already loaded, and nothing is installed when there is none.
extern "C" int connectionLost(void *) {
  static const char line[] = "flyover: the display server went away\n";
  if (::write(2, line, sizeof line - 1) < 0) {
    // Nothing else can be told.
  }
  std::_Exit(1);
}

void watchXConnection() {
  const char *video = SDL_GetCurrentVideoDriver();
  if (!video || std::strcmp(video, "x11") != 0)
    return;
  void *x11 = ::dlopen("libX11.so.6", RTLD_NOW | RTLD_NOLOAD);
  if (!x11)
    return;
  using Handler = int (*)(void *);
  using SetHandler = Handler (*)(Handler);
  if (const auto set = reinterpret_cast<SetHandler>(::dlsym(x11, "XSetIOErrorHandler")))
    set(connectionLost);
  ::dlclose(x11); // SDL keeps its own reference
}

std::unique_ptr<ScreenDriver> createSdl(const Settings &, std::string &error) {
  // Without a display server SDL would quietly pick an off-screen driver
  // and the program would run with nothing to see; insist on a real one
  // unless the user chose one.
  // (Wayland is tried first only where a compositor announces itself, so
  // that a machine without any display server gets one clear error.)
  if (!std::getenv("SDL_VIDEODRIVER"))
    SDL_SetHint(SDL_HINT_VIDEODRIVER, std::getenv("WAYLAND_DISPLAY") ? "wayland,x11" : "x11");
  // Signals end the program as they would without SDL.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    error = std::string("cannot reach a display server: ") + SDL_GetError();
    return nullptr;
  }
  watchXConnection();
  return std::make_unique<SdlDriver>();
}

} // namespace

const DriverEntry sdlDriver = {"sdl", createSdl};

} // namespace flyover
