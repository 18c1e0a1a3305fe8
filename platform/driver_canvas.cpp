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

#include <emscripten.h>

#include <cstdlib>
#include <cstring>

// The page's side: listeners that queue what happens until the program looks
// (it only looks between frames, while the browser waits for it), the
// canvas's placement, and the picture itself. State lives on the module, so
// that two instances on one page (a flight replaced by a fresh one) keep
// theirs apart; a replaced instance, on its way to its end, ignores
// everything and leaves the canvas to its successor.
// The macros' bodies below are JavaScript, which the C++ formatter would
// break.
// clang-format off
EM_JS(int, flyover_canvas_attach, (), {
  const canvas = Module["canvas"] || document.getElementById("screen");
  if (!canvas || !canvas.getContext)
    return 0;
  const context = canvas.getContext("2d");
  if (!context)
    return 0;
  const screen = {canvas : canvas, context : context, queue : [], listeners : [], wakeLock : null, width : 0, height : 0};
  screen.active = document.hasFocus() && document.visibilityState == "visible";
  screen.reported = true; // the program holds the screen from the start
  const changed = () => {
    if (screen.active != screen.reported) {
      screen.reported = screen.active;
      screen.queue.push({kind : screen.active ? 4 : 5});
    }
  };
  changed();
  const listen = (target, type, handler) => {
    const guarded = event => {
      if (!Module["replaced"])
        handler(event);
    };
    target.addEventListener(type, guarded);
    screen.listeners.push({target : target, type : type, handler : guarded});
  };
  // Keys that would scroll the page or move the focus between its controls.
  const kept = [ " ", "Tab", "Backspace", "ArrowLeft", "ArrowRight", "ArrowUp", "ArrowDown" ];
  const key = event => {
    if (kept.includes(event.key))
      event.preventDefault();
    screen.queue.push({kind : event.type == "keydown" ? 1 : 2, key : event.key, alt : event.altKey});
  };
  listen(window, "keydown", key);
  listen(window, "keyup", key);
  listen(canvas, "mousemove", () => screen.queue.push({kind : 3}));
  listen(window, "blur", () => {
    screen.active = false;
    changed();
  });
  listen(window, "focus", () => {
    screen.active = document.visibilityState == "visible";
    changed();
  });
  listen(document, "visibilitychange", () => {
    screen.active = document.visibilityState == "visible" && document.hasFocus();
    changed();
  });
  screen.place = () => {
    if (!screen.width)
      return;
    // Whole factors of device pixels, so that each of the picture's pixels
    // is an exact block on the screen at any zoom.
    const ratio = window.devicePixelRatio || 1;
    screen.placedRatio = ratio;
    const across = Math.floor(window.innerWidth * ratio), down = Math.floor(window.innerHeight * ratio);
    const factor = Math.max(1, Math.floor(Math.min(across / screen.width, down / screen.height)));
    const style = canvas.style;
    style.position = "fixed";
    style.imageRendering = "pixelated";
    style.width = (screen.width * factor / ratio) + "px";
    style.height = (screen.height * factor / ratio) + "px";
    style.left = (Math.max(0, Math.floor((across - screen.width * factor) / 2)) / ratio) + "px";
    style.top = (Math.max(0, Math.floor((down - screen.height * factor) / 2)) / ratio) + "px";
  };
  listen(window, "resize", screen.place);
  // The device pixel ratio changes without a resize when the window moves
  // to a screen of another density: a query for the current resolution
  // says so, and is asked again for the new one. Not every change of the
  // ratio reaches that query (a browser's emulated ratio does not), so each
  // presented frame compares the ratio too.
  screen.watchRatio = () => {
    if (screen.ratioQuery)
      screen.ratioQuery.removeEventListener("change", screen.ratioChanged);
    screen.ratioQuery = window.matchMedia ? matchMedia("(resolution: " + (window.devicePixelRatio || 1) + "dppx)") : null;
    if (screen.ratioQuery)
      screen.ratioQuery.addEventListener("change", screen.ratioChanged);
  };
  screen.ratioChanged = () => {
    if (Module["replaced"])
      return;
    screen.place();
    screen.watchRatio();
  };
  screen.watchRatio();
  Module["flyoverScreen"] = screen;
  return 1;
});

EM_JS(void, flyover_canvas_detach, (), {
  const screen = Module["flyoverScreen"];
  for (const listener of screen.listeners)
    listener.target.removeEventListener(listener.type, listener.handler);
  screen.listeners = [];
  if (screen.ratioQuery)
    screen.ratioQuery.removeEventListener("change", screen.ratioChanged);
  screen.ratioQuery = null;
  // The canvas belongs to the flight that replaced this one, if any.
  if (!Module["replaced"])
    screen.canvas.style.cursor = "";
  if (screen.wakeLock)
    screen.wakeLock.then(lock => lock && lock.release());
  screen.wakeLock = null;
});

EM_JS(void, flyover_canvas_set_mode, (int width, int height), {
  const screen = Module["flyoverScreen"];
  if (Module["replaced"])
    return;
  // Assigning a size clears the canvas even when it stays the same.
  if (screen.canvas.width != width)
    screen.canvas.width = width;
  if (screen.canvas.height != height)
    screen.canvas.height = height;
  screen.width = width;
  screen.height = height;
  screen.place();
});

EM_JS(void, flyover_canvas_show, (const void *rgba, int width, int height, double frames), {
  const screen = Module["flyoverScreen"];
  if (Module["replaced"])
    return;
  if ((window.devicePixelRatio || 1) != screen.placedRatio)
    screen.place();
  const bytes = new Uint8ClampedArray(HEAPU8.buffer, rgba, width * height * 4);
  screen.context.putImageData(new ImageData(bytes, width, height), 0, 0);
  document.body.dataset.frames = frames;
});

// 0 when nothing is queued; else 1 key down, 2 key up, 3 pointer moved,
// 4 page active, 5 page inactive, plus 16 when Alt is held. A key's value
// (KeyboardEvent.key) goes into key, cut to size bytes.
EM_JS(int, flyover_canvas_next_event, (char *key, int size), {
  const event = Module["flyoverScreen"].queue.shift();
  if (!event)
    return 0;
  stringToUTF8(event.key || "", key, size);
  return event.kind + (event.alt ? 16 : 0);
});

EM_JS(void, flyover_canvas_cursor, (int visible), {
  if (!Module["replaced"])
    Module["flyoverScreen"].canvas.style.cursor = visible ? "" : "none";
});

// The page's counterpart of the screen saver: a screen wake lock, where the
// browser offers one (secure pages only; refused quietly elsewhere).
EM_JS(void, flyover_canvas_keep_awake, (int awake), {
  const screen = Module["flyoverScreen"];
  if (awake && !screen.wakeLock && navigator.wakeLock)
    screen.wakeLock = navigator.wakeLock.request("screen").catch(() => null);
  else if (!awake && screen.wakeLock) {
    screen.wakeLock.then(lock => lock && lock.release());
    screen.wakeLock = null;
  }
});
// clang-format on

namespace flyover {

namespace {

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
    while (const int code = flyover_canvas_next_event(key, sizeof key)) {
      const int kind = code & 15;
      if (kind == 1 || kind == 2) {
        const uint32_t vk = virtualKey(key);
        if (!vk)
          continue;
        ScreenEvent e{ScreenEvent::Key};
        e.virtualKey = vk;
        e.down = kind == 1;
        e.alt = (code & 16) != 0;
        events.push_back(e);
      } else if (kind == 3) {
        events.push_back(ScreenEvent{ScreenEvent::Pointer});
      } else {
        ScreenEvent e{ScreenEvent::Focus};
        e.focused = kind == 4;
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
  if (!flyover_canvas_attach()) {
    error = "the page has no canvas to draw in (Module.canvas or an element with id \"screen\")";
    return nullptr;
  }
  return std::make_unique<CanvasDriver>();
}

} // namespace

const DriverEntry canvasDriver = {"canvas", createCanvas};

} // namespace flyover
