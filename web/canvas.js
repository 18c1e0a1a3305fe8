// The page's side of the canvas screen driver (platform/driver_canvas.cpp),
// linked into the program as an Emscripten library: listeners that queue
// what happens until the program looks (it only looks between frames, while
// the browser waits for it), the canvas's placement, and the picture itself.
// State lives on the module, so that two instances on one page (a flight
// replaced by a fresh one) keep theirs apart; a replaced instance, on its
// way to its end, ignores everything and leaves the canvas to its successor.
mergeInto(LibraryManager.library, {
  // The kinds of event are the driver's, handed over here so that both
  // sides name them alike and the numbers are written once, in C++.
  flyover_canvas_attach: function(keyDown, keyUp, pointer, active, inactive) {
    const canvas = Module["canvas"] || document.getElementById("screen");
    if (!canvas || !canvas.getContext)
      return 0;
    const context = canvas.getContext("2d");
    if (!context)
      return 0;
    const screen = {canvas: canvas, context: context, queue: [], listeners: [], wakeLock: null, width: 0, height: 0};
    screen.active = document.hasFocus() && document.visibilityState == "visible";
    screen.reported = true; // the program holds the screen from the start
    const changed = () => {
      if (screen.active != screen.reported) {
        screen.reported = screen.active;
        screen.queue.push({kind: screen.active ? active : inactive});
      }
    };
    changed();
    const listen = (target, type, handler) => {
      const guarded = event => {
        if (!Module["replaced"])
          handler(event);
      };
      target.addEventListener(type, guarded);
      screen.listeners.push({target: target, type: type, handler: guarded});
    };
    // Keys that would scroll the page or move the focus between its controls.
    const kept = [" ", "Tab", "Backspace", "ArrowLeft", "ArrowRight", "ArrowUp", "ArrowDown"];
    const key = event => {
      if (kept.includes(event.key))
        event.preventDefault();
      screen.queue.push({kind: event.type == "keydown" ? keyDown : keyUp, key: event.key, alt: event.altKey});
    };
    listen(window, "keydown", key);
    listen(window, "keyup", key);
    listen(canvas, "mousemove", () => screen.queue.push({kind: pointer}));
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
  },

  flyover_canvas_detach: function() {
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
  },

  flyover_canvas_set_mode: function(width, height) {
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
  },

  flyover_canvas_show: function(rgba, width, height, frames) {
    const screen = Module["flyoverScreen"];
    if (Module["replaced"])
      return;
    if ((window.devicePixelRatio || 1) != screen.placedRatio)
      screen.place();
    const bytes = new Uint8ClampedArray(HEAPU8.buffer, rgba, width * height * 4);
    screen.context.putImageData(new ImageData(bytes, width, height), 0, 0);
    document.body.dataset.frames = frames;
  },

  // The next queued event's kind, 0 when none is; a key's value
  // (KeyboardEvent.key) goes into key, cut to size bytes, and whether Alt
  // was held into alt.
  flyover_canvas_next_event: function(key, size, alt) {
    const event = Module["flyoverScreen"].queue.shift();
    if (!event)
      return 0;
    stringToUTF8(event.key || "", key, size);
    HEAP32[alt >> 2] = event.alt ? 1 : 0;
    return event.kind;
  },

  flyover_canvas_cursor: function(visible) {
    if (!Module["replaced"])
      Module["flyoverScreen"].canvas.style.cursor = visible ? "" : "none";
  },

  // The page's counterpart of the screen saver: a screen wake lock, where the
  // browser offers one (secure pages only; refused quietly elsewhere).
  flyover_canvas_keep_awake: function(awake) {
    const screen = Module["flyoverScreen"];
    if (awake && !screen.wakeLock && navigator.wakeLock)
      screen.wakeLock = navigator.wakeLock.request("screen").catch(() => null);
    else if (!awake && screen.wakeLock) {
      screen.wakeLock.then(lock => lock && lock.release());
      screen.wakeLock = null;
    }
  },
});
