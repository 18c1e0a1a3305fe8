// The screen as a real window: borderless over the whole desktop, the
// picture scaled by the largest whole factor and centred on black (on a
// desktop smaller than the picture, scaled down to fit), the cursor hidden.
// Whatever format the display runs in is expanded here, bit exact, to
// XRGB8888; SDL's own conversion of the 16-bit formats rounds differently
// and would not show the bytes the program wrote.
//
// Two ways to put the picture on the window. Where a GPU draws, an SDL
// renderer scales a texture and waits for the vertical blank. Where no GPU
// does (a software GL rasteriser, SDL's software renderer: a virtual
// machine, a remote desktop), scaling through a renderer costs a core at
// 60 frames a second; copying each pixel by the whole factor straight into
// the window's own surface and sending only the picture's rectangle costs
// a few percent, and the driver keeps the display's refresh rate itself.
#include "driver.h"

#include <windows.h>

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <thread>

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

// How pictures reach the window: chosen from what draws them, or forced
// with FLYOVER_SDL_PRESENT for tests and comparisons.
enum class Presentation { Chosen, Surface, Renderer };

// Mesa's rasterisers that run on the CPU, by the names they give as the GL
// renderer ("llvmpipe (LLVM 15.0.6, 256 bits)", also under zink on
// lavapipe); SDL calls any GL renderer accelerated.
bool softwareRasteriser(const char *name) {
  for (const char *word : {"llvmpipe", "softpipe", "swrast", "Software Rasterizer"})
    if (std::strstr(name, word))
      return true;
  return false;
}

bool drawsOnGpu(SDL_Renderer *renderer) {
  SDL_RendererInfo info;
  if (SDL_GetRendererInfo(renderer, &info) != 0 || !(info.flags & SDL_RENDERER_ACCELERATED))
    return false; // SDL's software renderer
  if (std::strncmp(info.name, "opengl", 6) != 0)
    return true;
  // The renderer's context is current on this thread once it exists.
  constexpr unsigned kGlRenderer = 0x1F01;
  using GetString = const unsigned char *(*)(unsigned);
  const auto getString = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
  const unsigned char *name = getString ? getString(kGlRenderer) : nullptr;
  return name && !softwareRasteriser(reinterpret_cast<const char *>(name));
}

// Where the picture goes in an area of the given size: scaled by the
// largest whole factor and centred, or in an area smaller than the picture,
// scaled down to fit it whole, keeping its shape. Both presentations place
// it so, for the same picture on the same screen.
SDL_Rect placePicture(int areaW, int areaH, int width, int height) {
  SDL_Rect place{0, 0, width, height};
  const int scale = std::min(areaW / width, areaH / height);
  if (scale >= 1) {
    place.w = width * scale;
    place.h = height * scale;
  } else if (int64_t{areaW} * height <= int64_t{areaH} * width) {
    place.w = areaW;
    place.h = std::max(1, static_cast<int>(int64_t{areaW} * height / width));
  } else {
    place.h = areaH;
    place.w = std::max(1, static_cast<int>(int64_t{areaH} * width / height));
  }
  place.x = (areaW - place.w) / 2;
  place.y = (areaH - place.h) / 2;
  return place;
}

// The picture's pixel under the centre of pixel out of size outSize, along
// one side of size size: each pixel repeated by a whole factor, or the
// nearest one when scaled down, as a renderer samples it.
int32_t sourceOf(int32_t out, int32_t outSize, int32_t size) {
  return static_cast<int32_t>((2 * int64_t{out} + 1) * size / (2 * int64_t{outSize}));
}

class SdlDriver final : public ScreenDriver {
public:
  explicit SdlDriver(Presentation presentation) : presentation_(presentation) {}

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
    wayland_ = video && std::strcmp(video, "wayland") == 0;
    const Uint32 placement = wayland_ ? SDL_WINDOW_FULLSCREEN_DESKTOP : SDL_WINDOW_BORDERLESS;
    window_ = SDL_CreateWindow(title.c_str(), 0, 0, desktop.w, desktop.h, placement | SDL_WINDOW_SHOWN);
    if (!window_)
      return fail("cannot create the window", error);
    width_ = width;
    height_ = height;
    expander_ = std::make_unique<PixelExpander>(format);
    picture_.assign(static_cast<size_t>(width) * height, 0);
    shown_ = false;
    if (presentation_ != Presentation::Renderer) {
      // Whether a GPU draws is known only from a renderer made for the
      // window; one that does not is given up for the window's surface.
      if (presentation_ == Presentation::Chosen)
        renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_PRESENTVSYNC);
      if (!renderer_ || !drawsOnGpu(renderer_)) {
        closeRenderer();
        if (openSurface())
          return finishMode();
      }
    }
    // A Wayland window has no surface of its own in SDL 2: the renderer
    // then, whatever was asked.
    if (!openRenderer(error))
      return false;
    SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
    SDL_RenderClear(renderer_);
    SDL_RenderPresent(renderer_);
    return finishMode();
  }

  bool present(const uint8_t *pixels, int32_t pitch, std::string &) override {
    if (!window_)
      return true;
    for (int32_t y = 0; y < height_; ++y)
      expander_->row(pixels + static_cast<ptrdiff_t>(y) * pitch, &picture_[static_cast<size_t>(y) * width_], width_);
    shown_ = true;
    if (!renderer_) {
      if (!currentSurface())
        return true;
      drawPicture();
      waitForRefresh();
      SDL_UpdateWindowSurfaceRects(window_, &pictureRect_, 1);
      return true;
    }
    void *target = nullptr;
    int targetPitch = 0;
    if (SDL_LockTexture(texture_, nullptr, &target, &targetPitch) != 0)
      return true;
    for (int32_t y = 0; y < height_; ++y)
      std::memcpy(static_cast<uint8_t *>(target) + static_cast<ptrdiff_t>(y) * targetPitch,
                  &picture_[static_cast<size_t>(y) * width_], static_cast<size_t>(width_) * 4);
    SDL_UnlockTexture(texture_);
    int outputW = 0, outputH = 0;
    SDL_GetRendererOutputSize(renderer_, &outputW, &outputH);
    const SDL_Rect place = placePicture(outputW, outputH, width_, height_);
    SDL_RenderClear(renderer_);
    SDL_RenderCopy(renderer_, texture_, nullptr, &place);
    if (paced_)
      waitForRefresh();
    SDL_RenderPresent(renderer_); // waits for the vertical blank, as a page flip does, where there is one
    return true;
  }

  void restoreMode() override {
    closeRenderer();
    if (window_)
      SDL_DestroyWindow(window_); // and its surface with it
    window_ = nullptr;
    surface_ = nullptr;
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
        } else if (event.window.event == SDL_WINDOWEVENT_EXPOSED && window_ && !renderer_ && currentSurface()) {
          // The X server keeps no copy of what the window showed; no frame
          // may come while the program is inactive.
          SDL_UpdateWindowSurface(window_);
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
  using Clock = std::chrono::steady_clock;

  bool fail(const char *what, std::string &error) {
    error = std::string(what) + ": " + SDL_GetError();
    restoreMode();
    return false;
  }

  bool finishMode() {
    SDL_ShowCursor(cursorVisible_ ? SDL_ENABLE : SDL_DISABLE);
    SDL_RaiseWindow(window_); // the keyboard belongs to the program that took the screen
    return true;
  }

  // The renderer made to find out what draws may be kept.
  bool openRenderer(std::string &error) {
    // Waiting for the vertical blank is what a page flip does.
    if (!renderer_)
      renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_PRESENTVSYNC);
    if (!renderer_)
      return fail("cannot create a renderer", error);
    texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_XRGB8888, SDL_TEXTUREACCESS_STREAMING, width_, height_);
    if (!texture_)
      return fail("cannot create the picture's texture", error);
    // Without a GPU's vertical blank under X, SDL waits whole milliseconds,
    // 16 at 60 Hz, which is 62.5 frames a second: the driver keeps the
    // refresh rate itself then, as for the surface. A Wayland compositor
    // paces a renderer's frames whatever draws them.
    paced_ = !wayland_ && !drawsOnGpu(renderer_) && SDL_RenderSetVSync(renderer_, 0) == 0;
    if (paced_)
      startPacing();
    return true;
  }

  void closeRenderer() {
    if (texture_)
      SDL_DestroyTexture(texture_);
    if (renderer_)
      SDL_DestroyRenderer(renderer_);
    texture_ = nullptr;
    renderer_ = nullptr;
    paced_ = false;
  }

  // The window's own pixels, where they are 32-bit words with 8-bit red,
  // green and blue as the picture holds them; false leaves the renderer.
  bool openSurface() {
    SDL_Surface *surface = SDL_GetWindowSurface(window_);
    if (!surface)
      return false;
    const SDL_PixelFormat &f = *surface->format;
    if (f.BytesPerPixel != 4 || f.Rmask != 0xFF0000 || f.Gmask != 0xFF00 || f.Bmask != 0xFF)
      return false;
    startPacing();
    layOut(surface);
    return true;
  }

  // A display that tells no refresh rate (Xvfb) is taken to have 60 Hz.
  void startPacing() {
    SDL_DisplayMode mode;
    const int rate = SDL_GetWindowDisplayMode(window_, &mode) == 0 ? mode.refresh_rate : 0;
    period_ = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / (rate > 0 ? rate : 60)));
    next_ = Clock::now();
  }

  // The surface to draw on, laid out afresh when SDL made a new one (after
  // a resize); null when there is none now.
  SDL_Surface *currentSurface() {
    SDL_Surface *surface = SDL_GetWindowSurface(window_);
    if (surface && (surface != surface_ || surface->w != surfaceW_ || surface->h != surfaceH_))
      layOut(surface);
    return surface;
  }

  // Black everywhere, the picture where placePicture puts it, the whole
  // window sent once.
  void layOut(SDL_Surface *surface) {
    surface_ = surface;
    surfaceW_ = surface->w;
    surfaceH_ = surface->h;
    pictureRect_ = placePicture(surface->w, surface->h, width_, height_);
    columns_.resize(static_cast<size_t>(pictureRect_.w));
    for (int32_t x = 0; x < pictureRect_.w; ++x)
      columns_[static_cast<size_t>(x)] = sourceOf(x, pictureRect_.w, width_);
    scaledRow_.resize(columns_.size());
    SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
    if (shown_)
      drawPicture();
    SDL_UpdateWindowSurface(window_);
  }

  void drawPicture() {
    if (SDL_MUSTLOCK(surface_) && SDL_LockSurface(surface_) != 0)
      return;
    const uint32_t opaque = surface_->format->Amask;
    const size_t bytes = static_cast<size_t>(pictureRect_.w) * 4;
    uint8_t *target = static_cast<uint8_t *>(surface_->pixels) +
                      static_cast<ptrdiff_t>(pictureRect_.y) * surface_->pitch +
                      static_cast<ptrdiff_t>(pictureRect_.x) * 4;
    for (int32_t line = 0, built = -1; line < pictureRect_.h; ++line, target += surface_->pitch) {
      const int32_t y = sourceOf(line, pictureRect_.h, height_);
      if (y != built) {
        const uint32_t *source = &picture_[static_cast<size_t>(y) * width_];
        for (size_t x = 0; x < columns_.size(); ++x)
          scaledRow_[x] = source[columns_[x]] | opaque;
        built = y;
      }
      std::memcpy(target, scaledRow_.data(), bytes);
    }
    if (SDL_MUSTLOCK(surface_))
      SDL_UnlockSurface(surface_);
  }

  // Where there is no vertical blank to wait for, frames leave at the
  // display's refresh rate on a steady grid, one that catches up
  // after a late frame and starts again when more than a frame behind.
  void waitForRefresh() {
    const Clock::time_point now = Clock::now();
    if (now < next_)
      std::this_thread::sleep_until(next_);
    else if (now - next_ > period_)
      next_ = now;
    next_ += period_;
  }

  const Presentation presentation_;
  SDL_Window *window_ = nullptr;
  SDL_Renderer *renderer_ = nullptr;
  SDL_Texture *texture_ = nullptr;
  SDL_Surface *surface_ = nullptr; // the window's, with the surface presentation
  int32_t surfaceW_ = 0, surfaceH_ = 0;
  SDL_Rect pictureRect_{};
  int32_t width_ = 0, height_ = 0;
  bool cursorVisible_ = false;
  bool wayland_ = false;
  bool paced_ = false; // the renderer's frames held to the refresh rate here
  bool closeRequested_ = false;
  bool shown_ = false; // picture_ holds a frame
  std::unique_ptr<PixelExpander> expander_;
  std::vector<uint32_t> picture_;   // the last frame, expanded
  std::vector<int32_t> columns_;    // the picture's column under each of its place's
  std::vector<uint32_t> scaledRow_; // one picture row as its place shows it
  Clock::duration period_{};
  Clock::time_point next_{};
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
  Presentation presentation = Presentation::Chosen;
  if (const char *value = std::getenv("FLYOVER_SDL_PRESENT")) {
    if (std::strcmp(value, "surface") == 0)
      presentation = Presentation::Surface;
    else if (std::strcmp(value, "renderer") == 0)
      presentation = Presentation::Renderer;
    else if (std::strcmp(value, "auto") != 0) {
      error = std::string("FLYOVER_SDL_PRESENT=") + value + " is not a presentation (auto, surface, renderer)";
      return nullptr;
    }
  }
  if (!std::getenv("SDL_VIDEODRIVER"))
    SDL_SetHint(SDL_HINT_VIDEODRIVER, std::getenv("WAYLAND_DISPLAY") ? "wayland,x11" : "x11");
  // Signals end the program as they would without SDL.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // A write to a display server that has just died raises SIGPIPE, which
  // would end the program silently before Xlib's handler above could say
  // why. This driver writes to no pipe of the user's, so ignoring it loses
  // nothing: the write fails and the connection is reported lost.
  std::signal(SIGPIPE, SIG_IGN);
  // The window's surface as the X server's shared memory, not a texture of
  // a renderer that SDL would otherwise put behind it (and keep for every
  // later window). SDL's software renderer draws on that surface too, and
  // forced, it keeps the texture, through which it waits for the vertical
  // blank.
  if (presentation != Presentation::Renderer)
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    error = std::string("cannot reach a display server: ") + SDL_GetError();
    return nullptr;
  }
  watchXConnection();
  return std::make_unique<SdlDriver>(presentation);
}

} // namespace

const DriverEntry sdlDriver = {"sdl", createSdl};

} // namespace flyover
