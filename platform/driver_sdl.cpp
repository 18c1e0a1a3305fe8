// The screen as a real window: borderless over the whole desktop, the
// picture scaled by the largest whole factor and centred on black (on a
// desktop smaller than the picture, scaled down to fit), the cursor hidden.
// Whatever format the display runs in is expanded here, bit exact, to
// XRGB8888; SDL's own conversion of the 16-bit formats rounds differently
// and would not show the bytes the program wrote.
//
// Three ways to put the picture on the window. Where a GPU draws, an SDL
// renderer scales a texture and waits for the vertical blank. Where no GPU
// does (a software GL rasteriser, SDL's software renderer: a virtual
// machine, a remote desktop), scaling through a renderer costs a core at
// 60 frames a second. There, on X with RENDER, the X server gets the small
// picture (its changed rows) and scales it into the window itself; without
// RENDER, each pixel is copied by the whole factor straight into the
// window's own surface and only the picture's rectangle is sent. Either
// costs a few percent, and the driver keeps the display's refresh rate
// itself.
#include "driver.h"
#include "nearest_scale.h"

#include <windows.h>

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <thread>

#include <dlfcn.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

// After the rest: Xlib's macros (None, Bool, Status) would rename the rest's
// words.
#include <SDL_syswm.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xrender.h>

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

// ---- What the window runs on: the X connection and the GL renderer ----

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

// ---- Where the picture goes, and when ----

// Where the picture goes in an area of the given size: scaled by the
// largest whole factor and centred, or in an area smaller than the picture,
// scaled down to fit it whole, keeping its shape. Every presentation places
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

// Where there is no vertical blank to wait for, frames leave at the
// display's refresh rate on a steady grid, one that catches up after a late
// frame and starts again when more than a frame behind. A display that
// tells no refresh rate (Xvfb) is taken to have 60 Hz.
class Pacer {
public:
  explicit Pacer(SDL_Window *window) {
    SDL_DisplayMode mode;
    const int rate = SDL_GetWindowDisplayMode(window, &mode) == 0 ? mode.refresh_rate : 0;
    period_ = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / (rate > 0 ? rate : 60)));
    next_ = Clock::now();
  }

  void wait() {
    const Clock::time_point now = Clock::now();
    if (now < next_)
      std::this_thread::sleep_until(next_);
    else if (now - next_ > period_)
      next_ = now;
    next_ += period_;
  }

private:
  using Clock = std::chrono::steady_clock;
  Clock::duration period_{};
  Clock::time_point next_{};
};

// The last frame, expanded to XRGB8888, that each presentation shows.
struct Picture {
  int32_t width = 0, height = 0;
  std::vector<uint32_t> pixels;
  bool shown = false; // pixels hold a frame

  const uint32_t *row(int32_t y) const { return &pixels[static_cast<size_t>(y) * width]; }
};

// ---- The presentations, one chosen when the mode is set ----

class Presenter {
public:
  virtual ~Presenter() = default;
  virtual void present() = 0;
  // The window was uncovered and must be drawn again.
  virtual void exposed() {}
};

// The window's own pixels, copied into by the whole factor; only the
// picture's rectangle is sent for each frame.
class SurfacePresenter final : public Presenter {
public:
  // Null where the window's pixels are not 32-bit words with 8-bit red,
  // green and blue as the picture holds them.
  static std::unique_ptr<Presenter> open(SDL_Window *window, const Picture &picture) {
    SDL_Surface *surface = SDL_GetWindowSurface(window);
    if (!surface)
      return nullptr;
    const SDL_PixelFormat &f = *surface->format;
    if (f.BytesPerPixel != 4 || f.Rmask != 0xFF0000 || f.Gmask != 0xFF00 || f.Bmask != 0xFF)
      return nullptr;
    auto presenter = std::unique_ptr<SurfacePresenter>(new SurfacePresenter(window, picture));
    presenter->layOut(surface);
    return presenter;
  }

  void present() override {
    if (!currentSurface())
      return;
    draw();
    pacer_.wait();
    SDL_UpdateWindowSurfaceRects(window_, &place_, 1);
  }

  // The X server keeps no copy of what the window showed; no frame may
  // come while the program is inactive.
  void exposed() override {
    if (currentSurface())
      SDL_UpdateWindowSurface(window_);
  }

private:
  SurfacePresenter(SDL_Window *window, const Picture &picture) : window_(window), picture_(picture), pacer_(window) {}

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
    place_ = placePicture(surface->w, surface->h, picture_.width, picture_.height);
    columns_.resize(static_cast<size_t>(place_.w));
    for (int32_t x = 0; x < place_.w; ++x)
      columns_[static_cast<size_t>(x)] = sourceOf(x, place_.w, picture_.width);
    scaledRow_.resize(columns_.size());
    SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
    if (picture_.shown)
      draw();
    SDL_UpdateWindowSurface(window_);
  }

  void draw() {
    if (SDL_MUSTLOCK(surface_) && SDL_LockSurface(surface_) != 0)
      return;
    const uint32_t opaque = surface_->format->Amask;
    const size_t bytes = static_cast<size_t>(place_.w) * 4;
    uint8_t *target = static_cast<uint8_t *>(surface_->pixels) + static_cast<ptrdiff_t>(place_.y) * surface_->pitch +
                      static_cast<ptrdiff_t>(place_.x) * 4;
    for (int32_t line = 0, built = -1; line < place_.h; ++line, target += surface_->pitch) {
      const int32_t y = sourceOf(line, place_.h, picture_.height);
      if (y != built) {
        const uint32_t *source = picture_.row(y);
        for (size_t x = 0; x < columns_.size(); ++x)
          scaledRow_[x] = source[columns_[x]] | opaque;
        built = y;
      }
      std::memcpy(target, scaledRow_.data(), bytes);
    }
    if (SDL_MUSTLOCK(surface_))
      SDL_UnlockSurface(surface_);
  }

  SDL_Window *const window_;
  const Picture &picture_;
  Pacer pacer_;
  SDL_Surface *surface_ = nullptr; // the window's, destroyed with it
  int32_t surfaceW_ = 0, surfaceH_ = 0;
  SDL_Rect place_{};
  std::vector<int32_t> columns_;    // the picture's column under each of its place's
  std::vector<uint32_t> scaledRow_; // one picture row as its place shows it
};

// An SDL renderer that scales a texture and waits for the vertical blank,
// as a page flip does.
class RendererPresenter final : public Presenter {
public:
  // Takes renderer, the one made to find out what draws, or makes one when
  // it is null. Null with a reason on error.
  static std::unique_ptr<Presenter> open(SDL_Window *window, SDL_Renderer *renderer, bool wayland,
                                         const Picture &picture, std::string &error) {
    if (!renderer)
      renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_PRESENTVSYNC);
    if (!renderer) {
      error = std::string("cannot create a renderer: ") + SDL_GetError();
      return nullptr;
    }
    auto presenter = std::unique_ptr<RendererPresenter>(new RendererPresenter(renderer, picture));
    presenter->texture_ = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_XRGB8888, SDL_TEXTUREACCESS_STREAMING,
                                            picture.width, picture.height);
    if (!presenter->texture_) {
      error = std::string("cannot create the picture's texture: ") + SDL_GetError();
      return nullptr;
    }
    // Without a GPU's vertical blank under X, SDL waits whole milliseconds,
    // 16 at 60 Hz, which is 62.5 frames a second: the driver keeps the
    // refresh rate itself then, as for the surface. A Wayland compositor
    // paces a renderer's frames whatever draws them.
    if (!wayland && !drawsOnGpu(renderer) && SDL_RenderSetVSync(renderer, 0) == 0)
      presenter->pacer_.emplace(window);
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    SDL_RenderPresent(renderer);
    return presenter;
  }

  ~RendererPresenter() override {
    if (texture_)
      SDL_DestroyTexture(texture_);
    SDL_DestroyRenderer(renderer_);
  }

  void present() override {
    void *target = nullptr;
    int targetPitch = 0;
    if (SDL_LockTexture(texture_, nullptr, &target, &targetPitch) != 0)
      return;
    for (int32_t y = 0; y < picture_.height; ++y)
      std::memcpy(static_cast<uint8_t *>(target) + static_cast<ptrdiff_t>(y) * targetPitch, picture_.row(y),
                  static_cast<size_t>(picture_.width) * 4);
    SDL_UnlockTexture(texture_);
    int outputW = 0, outputH = 0;
    SDL_GetRendererOutputSize(renderer_, &outputW, &outputH);
    const SDL_Rect place = placePicture(outputW, outputH, picture_.width, picture_.height);
    SDL_RenderClear(renderer_);
    SDL_RenderCopy(renderer_, texture_, nullptr, &place);
    if (pacer_)
      pacer_->wait();
    SDL_RenderPresent(renderer_); // waits for the vertical blank, where there is one
  }

private:
  RendererPresenter(SDL_Renderer *renderer, const Picture &picture) : renderer_(renderer), picture_(picture) {}

  SDL_Renderer *const renderer_;
  SDL_Texture *texture_ = nullptr;
  const Picture &picture_;
  std::optional<Pacer> pacer_; // the frames held to the refresh rate here
};

// ---- The window scaled by the X server ----

// Xlib, its shared-memory extension and RENDER, looked up at run time as
// the connection's handler is: SDL loads libX11 itself, and a system
// without the other two still gets its window, through the surface.
// clang-format off
#define FLYOVER_X11_FUNCTIONS(F) \
  F(XGetWindowAttributes) F(XCreatePixmap) F(XFreePixmap) F(XCreateGC) F(XFreeGC) F(XCreateImage) F(XPutImage) \
  F(XSync) F(XFlush) F(XSetErrorHandler)
#define FLYOVER_XEXT_FUNCTIONS(F) \
  F(XShmQueryExtension) F(XShmCreateImage) F(XShmAttach) F(XShmDetach) F(XShmPutImage)
#define FLYOVER_XRENDER_FUNCTIONS(F) \
  F(XRenderQueryExtension) F(XRenderFindVisualFormat) F(XRenderFindStandardFormat) F(XRenderCreatePicture) \
  F(XRenderFreePicture) F(XRenderSetPictureTransform) F(XRenderSetPictureFilter) F(XRenderComposite) \
  F(XRenderFillRectangles)
// clang-format on

class XLibraries {
public:
  XLibraries() = default;
  XLibraries(const XLibraries &) = delete;
  XLibraries &operator=(const XLibraries &) = delete;
  ~XLibraries() {
    for (void *library : libraries_)
      if (library)
        ::dlclose(library);
  }

  // False when a library or one of its functions is missing.
  bool load() {
    libraries_[0] = ::dlopen("libX11.so.6", RTLD_NOW | RTLD_NOLOAD);
    libraries_[1] = ::dlopen("libXext.so.6", RTLD_NOW | RTLD_LOCAL);
    libraries_[2] = ::dlopen("libXrender.so.1", RTLD_NOW | RTLD_LOCAL);
    bool found = true;
#define FLYOVER_FIND_X11(name) found = find(libraries_[0], #name, name) && found;
#define FLYOVER_FIND_XEXT(name) found = find(libraries_[1], #name, name) && found;
#define FLYOVER_FIND_XRENDER(name) found = find(libraries_[2], #name, name) && found;
    FLYOVER_X11_FUNCTIONS(FLYOVER_FIND_X11)
    FLYOVER_XEXT_FUNCTIONS(FLYOVER_FIND_XEXT)
    FLYOVER_XRENDER_FUNCTIONS(FLYOVER_FIND_XRENDER)
#undef FLYOVER_FIND_X11
#undef FLYOVER_FIND_XEXT
#undef FLYOVER_FIND_XRENDER
    return found;
  }

#define FLYOVER_MEMBER(name) decltype(&::name) name = nullptr;
  FLYOVER_X11_FUNCTIONS(FLYOVER_MEMBER)
  FLYOVER_XEXT_FUNCTIONS(FLYOVER_MEMBER)
  FLYOVER_XRENDER_FUNCTIONS(FLYOVER_MEMBER)
#undef FLYOVER_MEMBER

private:
  template <typename Function> static bool find(void *library, const char *name, Function &function) {
    function = library ? reinterpret_cast<Function>(::dlsym(library, name)) : nullptr;
    return function != nullptr;
  }

  void *libraries_[3] = {};
};

// Set by the handler that catches the one request allowed to fail.
bool xRequestFailed = false;

extern "C" int noteXError(Display *, XErrorEvent *) {
  xRequestFailed = true;
  return 0;
}

// The picture as it is, or where the server cannot scale it exactly (down,
// or by more than 16.16 holds) as the program scales it, goes into a small
// pixmap of the server's, and the server scales that into the window with
// RENDER, nearest, onto the same pixels as the surface's. Only the rows
// that changed since the last frame travel, through shared memory where
// the server can reach the program's. The window's full-size pixels are
// written once, by the server, instead of twice, by the program and again
// by the server from its copy.
class XRenderPresenter final : public Presenter {
public:
  // Null where the window is not an X window, RENDER or a library is
  // missing, or the window's pixels do not hold 8 bits of each colour.
  static std::unique_ptr<Presenter> open(SDL_Window *window, const Picture &picture) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11)
      return nullptr;
    auto presenter = std::unique_ptr<XRenderPresenter>(
        new XRenderPresenter(window, info.info.x11.display, info.info.x11.window, picture));
    return presenter->start() ? std::move(presenter) : nullptr;
  }

  ~XRenderPresenter() override {
    release();
    if (target_) {
      x_.XRenderFreePicture(display_, target_);
      x_.XFlush(display_);
    }
  }

  void present() override {
    int width = 0, height = 0;
    SDL_GetWindowSize(window_, &width, &height);
    if ((width != windowW_ || height != windowH_) && !layOut(width, height))
      return;
    if (!image_)
      return;
    if (shared_)
      x_.XSync(display_, False); // the server has read the last frame's rows from the shared memory
    const auto [top, bottom] = changedRows();
    fill(top, bottom);
    pacer_.wait();
    send(top, bottom);
  }

  void exposed() override {
    if (!image_)
      return;
    blackBorders();
    scale(0, place_.h);
    x_.XFlush(display_);
  }

private:
  XRenderPresenter(SDL_Window *window, Display *display, ::Window xWindow, const Picture &picture)
      : window_(window), display_(display), xWindow_(xWindow), picture_(picture), pacer_(window) {}

  bool start() {
    int event = 0, error = 0;
    if (!x_.load() || !x_.XRenderQueryExtension(display_, &event, &error))
      return false;
    XWindowAttributes attributes;
    if (!x_.XGetWindowAttributes(display_, xWindow_, &attributes))
      return false;
    const XRenderPictFormat *format = x_.XRenderFindVisualFormat(display_, attributes.visual);
    rgb24_ = x_.XRenderFindStandardFormat(display_, PictStandardRGB24);
    if (!format || !rgb24_ || format->type != PictTypeDirect || format->direct.redMask != 0xFF ||
        format->direct.greenMask != 0xFF || format->direct.blueMask != 0xFF)
      return false;
    visual_ = attributes.visual;
    target_ = x_.XRenderCreatePicture(display_, xWindow_, format, 0, nullptr);
    canShare_ = x_.XShmQueryExtension(display_);
    int width = 0, height = 0;
    SDL_GetWindowSize(window_, &width, &height);
    return target_ && layOut(width, height);
  }

  // The place, the pixmap and its image for a window of this size, the
  // window black and the picture on it once it holds a frame. False where
  // the server's images are not 32-bit words in this processor's byte
  // order.
  bool layOut(int32_t width, int32_t height) {
    release();
    windowW_ = width;
    windowH_ = height;
    place_ = placePicture(width, height, picture_.width, picture_.height);
    std::optional<NearestTransform> across, down;
    if (place_.w >= picture_.width && place_.h >= picture_.height) {
      across = nearestTransform(place_.w, picture_.width);
      down = nearestTransform(place_.h, picture_.height);
    }
    scaledHere_ = !across || !down;
    imageW_ = scaledHere_ ? place_.w : picture_.width;
    imageH_ = scaledHere_ ? place_.h : picture_.height;
    if (scaledHere_) {
      across = nearestTransform(imageW_, imageW_);
      down = nearestTransform(imageH_, imageH_);
    }
    columns_.resize(scaledHere_ ? static_cast<size_t>(imageW_) : 0);
    for (int32_t x = 0; x < static_cast<int32_t>(columns_.size()); ++x)
      columns_[static_cast<size_t>(x)] = sourceOf(x, place_.w, picture_.width);
    rows_.resize(static_cast<size_t>(imageH_));
    for (int32_t y = 0; y < imageH_; ++y)
      rows_[static_cast<size_t>(y)] = scaledHere_ ? sourceOf(y, place_.h, picture_.height) : y;
    firstLine_.assign(static_cast<size_t>(imageH_) + 1, place_.h);
    for (int32_t line = place_.h - 1; line >= 0; --line)
      firstLine_[static_cast<size_t>(sourceOf(line, place_.h, imageH_))] = line;
    for (size_t y = firstLine_.size() - 1; y-- > 0;)
      firstLine_[y] = std::min(firstLine_[y], firstLine_[y + 1]);

    if (!makeImage())
      return false;
    pixmap_ = x_.XCreatePixmap(display_, xWindow_, static_cast<unsigned>(imageW_), static_cast<unsigned>(imageH_), 24);
    gc_ = x_.XCreateGC(display_, pixmap_, 0, nullptr);
    source_ = x_.XRenderCreatePicture(display_, pixmap_, rgb24_, 0, nullptr);
    XTransform transform{{{across->step, 0, across->offset}, {0, down->step, down->offset}, {0, 0, 65536}}};
    x_.XRenderSetPictureTransform(display_, source_, &transform);
    char nearest[] = "nearest";
    x_.XRenderSetPictureFilter(display_, source_, nearest, nullptr, 0);
    // The pixmap holds the picture from here on, shown or not (black then),
    // for an exposure before the first frame too.
    fill(0, imageH_);
    put(0, imageH_);
    sent_ = picture_.pixels;
    const XRenderColor black{0, 0, 0, 0xFFFF};
    const XRectangle whole{0, 0, static_cast<unsigned short>(width), static_cast<unsigned short>(height)};
    x_.XRenderFillRectangles(display_, PictOpSrc, target_, &black, &whole, 1);
    if (picture_.shown)
      scale(0, place_.h);
    x_.XFlush(display_);
    return true;
  }

  // The image that carries rows to the pixmap: in shared memory where the
  // server attaches it (not over a network), else in the program's.
  bool makeImage() {
    const int order = [] {
      const uint16_t probe = 1;
      return *reinterpret_cast<const uint8_t *>(&probe) ? LSBFirst : MSBFirst;
    }();
    const auto w = static_cast<unsigned>(imageW_), h = static_cast<unsigned>(imageH_);
    if (canShare_) {
      image_ = x_.XShmCreateImage(display_, visual_, 24, ZPixmap, nullptr, &segment_, w, h);
      if (image_ && image_->bits_per_pixel == 32 && image_->byte_order == order) {
        segment_.shmid = ::shmget(IPC_PRIVATE, static_cast<size_t>(image_->bytes_per_line) * h, IPC_CREAT | 0600);
        void *memory = segment_.shmid >= 0 ? ::shmat(segment_.shmid, nullptr, 0) : reinterpret_cast<void *>(-1);
        if (memory != reinterpret_cast<void *>(-1)) {
          segment_.shmaddr = image_->data = static_cast<char *>(memory);
          segment_.readOnly = True;
          xRequestFailed = false;
          const auto previous = x_.XSetErrorHandler(noteXError);
          x_.XShmAttach(display_, &segment_);
          x_.XSync(display_, False);
          x_.XSetErrorHandler(previous);
          shared_ = !xRequestFailed;
        }
        if (segment_.shmid >= 0)
          ::shmctl(segment_.shmid, IPC_RMID, nullptr); // gone once both sides detach
        if (shared_)
          return true;
        if (image_->data)
          ::shmdt(image_->data);
      }
      dropImage();
      canShare_ = false; // not on this connection
    }
    local_.assign(static_cast<size_t>(imageW_) * imageH_, 0);
    image_ = x_.XCreateImage(display_, visual_, 24, ZPixmap, 0, reinterpret_cast<char *>(local_.data()), w, h, 32,
                             imageW_ * 4);
    if (image_ && image_->bits_per_pixel == 32 && image_->byte_order == order)
      return true;
    dropImage();
    return false;
  }

  void dropImage() {
    if (!image_)
      return;
    image_->data = nullptr; // neither is Xlib's to free
    image_->obdata = nullptr;
    XDestroyImage(image_);
    image_ = nullptr;
  }

  void release() {
    if (source_)
      x_.XRenderFreePicture(display_, source_);
    if (gc_)
      x_.XFreeGC(display_, gc_);
    if (pixmap_)
      x_.XFreePixmap(display_, pixmap_);
    source_ = 0;
    gc_ = nullptr;
    pixmap_ = 0;
    if (shared_) {
      x_.XShmDetach(display_, &segment_);
      x_.XSync(display_, False);
      ::shmdt(segment_.shmaddr);
      shared_ = false;
    }
    dropImage();
  }

  // The image's rows [top, bottom) that show the picture's rows changed
  // since the last frame, the sent copy brought up to date. A frame with
  // nothing new still sends its last row: whatever times frames by what
  // the server draws (a recorder, the benchmark) sees every one.
  std::pair<int32_t, int32_t> changedRows() {
    int32_t first = 0, last = picture_.height - 1;
    const size_t bytes = static_cast<size_t>(picture_.width) * 4;
    auto same = [&](int32_t y) {
      return std::memcmp(picture_.row(y), &sent_[static_cast<size_t>(y) * picture_.width], bytes) == 0;
    };
    while (first <= last && same(first))
      ++first;
    while (last > first && same(last))
      --last;
    if (first > last)
      return {imageH_ - 1, imageH_};
    std::memcpy(&sent_[static_cast<size_t>(first) * picture_.width], picture_.row(first),
                static_cast<size_t>(last - first + 1) * picture_.width * 4);
    const auto top = std::lower_bound(rows_.begin(), rows_.end(), first) - rows_.begin();
    const auto bottom = std::upper_bound(rows_.begin(), rows_.end(), last) - rows_.begin();
    if (top == bottom)
      return {static_cast<int32_t>(std::min<ptrdiff_t>(top, imageH_ - 1)),
              static_cast<int32_t>(std::min<ptrdiff_t>(top, imageH_ - 1)) + 1};
    return {static_cast<int32_t>(top), static_cast<int32_t>(bottom)};
  }

  void fill(int32_t top, int32_t bottom) {
    for (int32_t y = top; y < bottom; ++y) {
      auto *target = reinterpret_cast<uint32_t *>(image_->data + static_cast<ptrdiff_t>(y) * image_->bytes_per_line);
      const uint32_t *source = picture_.row(rows_[static_cast<size_t>(y)]);
      if (scaledHere_)
        for (size_t x = 0; x < columns_.size(); ++x)
          target[x] = source[columns_[x]];
      else
        std::memcpy(target, source, static_cast<size_t>(imageW_) * 4);
    }
  }

  // The image's rows [top, bottom) into the pixmap, and the window's lines
  // that show them.
  void send(int32_t top, int32_t bottom) {
    put(top, bottom);
    scale(firstLine_[static_cast<size_t>(top)], firstLine_[static_cast<size_t>(bottom)]);
    x_.XFlush(display_);
  }

  void put(int32_t top, int32_t bottom) {
    const auto w = static_cast<unsigned>(imageW_), h = static_cast<unsigned>(bottom - top);
    if (shared_)
      x_.XShmPutImage(display_, pixmap_, gc_, image_, 0, top, 0, top, w, h, False);
    else
      x_.XPutImage(display_, pixmap_, gc_, image_, 0, top, 0, top, w, h);
  }

  // The place's lines [top, bottom) from the pixmap, through the transform.
  void scale(int32_t top, int32_t bottom) {
    if (bottom > top)
      x_.XRenderComposite(display_, PictOpSrc, source_, 0, target_, 0, top, 0, 0, place_.x, place_.y + top,
                          static_cast<unsigned>(place_.w), static_cast<unsigned>(bottom - top));
  }

  void blackBorders() {
    const auto side = [](int32_t value) { return static_cast<unsigned short>(std::max(0, value)); };
    const auto at = [](int32_t value) { return static_cast<short>(value); };
    const XRectangle borders[] = {
        {0, 0, side(windowW_), side(place_.y)},
        {0, at(place_.y + place_.h), side(windowW_), side(windowH_ - place_.y - place_.h)},
        {0, at(place_.y), side(place_.x), side(place_.h)},
        {at(place_.x + place_.w), at(place_.y), side(windowW_ - place_.x - place_.w), side(place_.h)}};
    const XRenderColor black{0, 0, 0, 0xFFFF};
    x_.XRenderFillRectangles(display_, PictOpSrc, target_, &black, borders, 4);
  }

  SDL_Window *const window_;
  Display *const display_;
  const ::Window xWindow_;
  const Picture &picture_;
  Pacer pacer_;
  XLibraries x_;
  Visual *visual_ = nullptr;
  const XRenderPictFormat *rgb24_ = nullptr;
  ::Picture target_ = 0; // the window's
  bool canShare_ = false;
  int32_t windowW_ = 0, windowH_ = 0;
  SDL_Rect place_{};
  bool scaledHere_ = false; // the image is the place's size, scaled by the program
  int32_t imageW_ = 0, imageH_ = 0;
  std::vector<int32_t> columns_;   // the picture's column under each of the image's, when scaled here
  std::vector<int32_t> rows_;      // the picture's row under each of the image's
  std::vector<int32_t> firstLine_; // the first of the place's lines that shows each image row, and the end
  Pixmap pixmap_ = 0;
  GC gc_ = nullptr;
  ::Picture source_ = 0; // the pixmap's, transformed
  XImage *image_ = nullptr;
  XShmSegmentInfo segment_{};
  bool shared_ = false;         // the image is in memory shared with the server
  std::vector<uint32_t> local_; // the image's pixels otherwise
  std::vector<uint32_t> sent_;  // the picture as the pixmap holds it
};

// ---- The driver ----

class SdlDriver final : public ScreenDriver {
public:
  explicit SdlDriver(SdlPresentation presentation) : presentation_(presentation) {}

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
    const bool wayland = video && std::strcmp(video, "wayland") == 0;
    const Uint32 placement = wayland ? SDL_WINDOW_FULLSCREEN_DESKTOP : SDL_WINDOW_BORDERLESS;
    window_ = SDL_CreateWindow(title.c_str(), 0, 0, desktop.w, desktop.h, placement | SDL_WINDOW_SHOWN);
    if (!window_)
      return fail("cannot create the window", error);
    expander_ = std::make_unique<PixelExpander>(format);
    picture_ = Picture{width, height, std::vector<uint32_t>(static_cast<size_t>(width) * height, 0)};
    presenter_ = choosePresenter(wayland, error);
    if (!presenter_) {
      restoreMode();
      return false;
    }
    SDL_ShowCursor(cursorVisible_ ? SDL_ENABLE : SDL_DISABLE);
    SDL_RaiseWindow(window_); // the keyboard belongs to the program that took the screen
    return true;
  }

  bool present(const uint8_t *pixels, int32_t pitch, std::string &) override {
    if (!presenter_)
      return true;
    for (int32_t y = 0; y < picture_.height; ++y)
      expander_->row(pixels + static_cast<ptrdiff_t>(y) * pitch,
                     &picture_.pixels[static_cast<size_t>(y) * picture_.width], picture_.width);
    picture_.shown = true;
    presenter_->present();
    return true;
  }

  void restoreMode() override {
    presenter_.reset();
    if (window_)
      SDL_DestroyWindow(window_); // and its surface with it
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
        } else if (event.window.event == SDL_WINDOWEVENT_EXPOSED && presenter_) {
          presenter_->exposed();
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

  // Whether a GPU draws is known only from a renderer made for the window;
  // one that does not is given up for the X server's scaling, or where the
  // server cannot, for the window's surface. A Wayland
  // window has no surface of its own in SDL 2: the renderer then, whatever
  // was asked.
  std::unique_ptr<Presenter> choosePresenter(bool wayland, std::string &error) {
    SDL_Renderer *probe = nullptr;
    if (presentation_ == SdlPresentation::Auto)
      probe = SDL_CreateRenderer(window_, -1, SDL_RENDERER_PRESENTVSYNC);
    if (presentation_ != SdlPresentation::Renderer && (!probe || !drawsOnGpu(probe))) {
      if (probe)
        SDL_DestroyRenderer(probe);
      probe = nullptr;
      if (presentation_ != SdlPresentation::Surface)
        if (auto server = XRenderPresenter::open(window_, picture_))
          return server;
      if (auto surface = SurfacePresenter::open(window_, picture_))
        return surface;
    }
    return RendererPresenter::open(window_, probe, wayland, picture_, error);
  }

  const SdlPresentation presentation_;
  SDL_Window *window_ = nullptr;
  bool cursorVisible_ = false;
  bool closeRequested_ = false;
  std::unique_ptr<PixelExpander> expander_;
  Picture picture_;
  std::unique_ptr<Presenter> presenter_; // set while a mode is
};

std::unique_ptr<ScreenDriver> createSdl(const Settings &settings, std::string &error) {
  // Without a display server SDL would quietly pick an off-screen driver
  // and the program would run with nothing to see; insist on a real one
  // unless the user chose one.
  // (Wayland is tried first only where a compositor announces itself, so
  // that a machine without any display server gets one clear error.)
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
  if (settings.sdlPresentation != SdlPresentation::Renderer)
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    error = std::string("cannot reach a display server: ") + SDL_GetError();
    return nullptr;
  }
  watchXConnection();
  return std::make_unique<SdlDriver>(settings.sdlPresentation);
}

} // namespace

const DriverEntry sdlDriver = {"sdl", createSdl};

} // namespace flyover
