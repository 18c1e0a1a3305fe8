// The screen as a web page's canvas, for the program built to WebAssembly.
// Every presented frame is expanded, bit exact, into opaque RGBA and put
// into the canvas's 320 by 200 backing store; the canvas is scaled by the
// largest whole factor of device pixels that fits the browser window,
// centred on black, with pixelated scaling, the cursor hidden over it.
// Keys arrive as the desktop driver sends them; the page losing focus or
// becoming hidden is the program losing the screen, as focus does on a
// desktop.
//
// The page gives the canvas as Module.canvas (else the element with id
// "screen"); the number of frames presented so far is kept in the body's
// data-frames attribute, so that the page and its tests can see the flight
// go on or stop.
#include "driver.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

// The page's side, in web/canvas.js: the canvas, its placement and the
// listeners whose events wait there until the program looks.
extern "C" {
int flyover_canvas_attach(int keyDown, int keyUp, int pointer, int active, int inactive);
void flyover_canvas_detach();
void flyover_canvas_set_mode(int width, int height);
void flyover_canvas_show(const void *rgba, int width, int height, double frames);
int flyover_canvas_next_event(char *key, int size, int *alt);
void flyover_canvas_cursor(int visible);
void flyover_canvas_keep_awake(int awake);
}

namespace flyover {

namespace {

// What the page reports, one event at a time; the page is given these
// values when the driver attaches to it, and 0 means nothing is queued.
enum CanvasEvent { KeyDown = 1, KeyUp, PointerMoved, PageActive, PageInactive };

// The same keys as the desktop driver, from the key's value as the
// keyboard layout gives it; letters in either case are the letter's code.
uint32_t virtualKey(const char *key) {
  if (key[0] && !key[1]) {
    const char c = key[0];
    if (c >= 'a' && c <= 'z')
      return 'A' + static_cast<uint32_t>(c - 'a');
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
      return static_cast<uint32_t>(c);
    return c == ' ' ? VK_SPACE : 0;
  }
  if (key[0] == 'F' && key[1] >= '1' && key[1] <= '9') {
    char *end = nullptr;
    const long number = std::strtol(key + 1, &end, 10);
    return *end == '\0' && number <= 12 ? VK_F1 + static_cast<uint32_t>(number - 1) : 0;
  }
  static const struct {
    const char *name;
    uint32_t code;
  } named[] = {
      {"Escape", VK_ESCAPE},  {"Enter", VK_RETURN},     {"Tab", VK_TAB},    {"Backspace", VK_BACK},
      {"ArrowLeft", VK_LEFT}, {"ArrowRight", VK_RIGHT}, {"ArrowUp", VK_UP}, {"ArrowDown", VK_DOWN},
      {"Shift", VK_SHIFT},    {"Control", VK_CONTROL},  {"Alt", VK_MENU},   {"AltGraph", VK_MENU},
  };
  for (const auto &entry : named)
    if (std::strcmp(key, entry.name) == 0)
      return entry.code;
  return 0; // keys the platform has no code for here send nothing
}

class CanvasDriver final : public ScreenDriver {
public:
  ~CanvasDriver() override { flyover_canvas_detach(); }

  bool setMode(int32_t width, int32_t height, const ScreenFormat &format, const std::string &, std::string &) override {
    width_ = width;
    height_ = height;
    expander_ = std::make_unique<PixelExpander>(format);
    rgba_.assign(static_cast<size_t>(width) * height, 0);
    flyover_canvas_set_mode(width, height);
    return true;
  }

  bool present(const uint8_t *pixels, int32_t pitch, std::string &) override {
    if (!expander_)
      return true;
    for (int32_t y = 0; y < height_; ++y) {
      uint32_t *row = &rgba_[static_cast<size_t>(y) * width_];
      expander_->row(pixels + static_cast<ptrdiff_t>(y) * pitch, row, width_);
      // 0x00RRGGBB words to the canvas's bytes R, G, B, A (opaque).
      for (int32_t x = 0; x < width_; ++x) {
        const uint32_t p = row[x];
        row[x] = 0xFF000000u | ((p & 0xFFu) << 16) | (p & 0xFF00u) | ((p >> 16) & 0xFFu);
      }
    }
    flyover_canvas_show(rgba_.data(), width_, height_, static_cast<double>(++presented_));
    return true;
  }

  // The canvas keeps the last picture: a page has no desktop to give back,
  // and the picture stays beside the page's note that the program ended.
  void restoreMode() override { expander_.reset(); }

  void pollEvents(std::vector<ScreenEvent> &events) override {
    char key[32];
    int alt = 0;
    while (const int kind = flyover_canvas_next_event(key, sizeof key, &alt)) {
      if (kind == KeyDown || kind == KeyUp) {
        const uint32_t vk = virtualKey(key);
        if (!vk)
          continue;
        ScreenEvent e{ScreenEvent::Key};
        e.virtualKey = vk;
        e.down = kind == KeyDown;
        e.alt = alt != 0;
        events.push_back(e);
      } else if (kind == PointerMoved) {
        events.push_back(ScreenEvent{ScreenEvent::Pointer});
      } else {
        ScreenEvent e{ScreenEvent::Focus};
        e.focused = kind == PageActive;
        events.push_back(e);
      }
    }
  }

  void showCursor(bool visible) override { flyover_canvas_cursor(visible); }
  void allowScreenSaver(bool allowed) override { flyover_canvas_keep_awake(!allowed); }

private:
  int32_t width_ = 0, height_ = 0;
  uint64_t presented_ = 0;
  std::unique_ptr<PixelExpander> expander_;
  std::vector<uint32_t> rgba_;
};

std::unique_ptr<ScreenDriver> createCanvas(const Settings &, std::string &error) {
  if (!flyover_canvas_attach(KeyDown, KeyUp, PointerMoved, PageActive, PageInactive)) {
    error = "the page has no canvas to draw in (Module.canvas or an element with id \"screen\")";
    return nullptr;
  }
  return std::make_unique<CanvasDriver>();
}

} // namespace

const DriverEntry canvasDriver = {"canvas", createCanvas};

} // namespace flyover
