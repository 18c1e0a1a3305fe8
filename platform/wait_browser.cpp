// Waiting in a web page. The program's loop never returns to the browser,
// so every wait is where the page gets its turn: the program is suspended
// (Asyncify unwinds and later rewinds its stack) and resumed from the
// browser's event loop, after the input, focus changes and drawing that came
// in meanwhile. The yield after a presented frame lasts until the next
// animation frame, so that the flight is paced by the screen's refresh as a
// page flip waits for the vertical blank. A hidden page draws no frames,
// so becoming hidden ends that wait too: the program then sees itself
// inactive instead of hanging in the middle of a frame. Other waits are
// timers, which browsers round up to a few milliseconds once they nest.
#include "internal.h"

#include <emscripten.h>

// A program that the page has replaced by a fresh instance is resumed as
// any other: it then finds its termination pending and ends.
// The macros' bodies below are JavaScript, which the C++ formatter would
// break.
// clang-format off
EM_ASYNC_JS(void, flyover_wait_in_browser, (int milliseconds), {
  await new Promise(resolve => {
    if (milliseconds > 0 || typeof requestAnimationFrame != "function") {
      setTimeout(resolve, milliseconds);
      return;
    }
    const hidden = () => {
      if (!document.hidden)
        return;
      cancelAnimationFrame(frame);
      document.removeEventListener("visibilitychange", hidden);
      resolve();
    };
    const frame = requestAnimationFrame(() => {
      document.removeEventListener("visibilitychange", hidden);
      resolve();
    });
    document.addEventListener("visibilitychange", hidden);
  });
});
// clang-format on

namespace flyover {

void waitFor(uint32_t milliseconds) { flyover_wait_in_browser(static_cast<int>(milliseconds)); }

} // namespace flyover
