// A web page gets no signals. Its counterpart of a termination signal is
// the page replacing this flight by a fresh one (it sets Module.replaced):
// the program then ends at its next frame through the same clean-up as on a
// desktop, which removes its listeners and lets the browser collect its
// memory.
#include "internal.h"

#include <emscripten.h>

#include <csignal>

// clang-format off
EM_JS(int, flyover_page_replaced, (), { return Module["replaced"] ? 1 : 0; });
// clang-format on

namespace flyover {

void watchTerminationSignals() {}
int pendingSignal() { return flyover_page_replaced() ? SIGTERM : 0; }

} // namespace flyover
