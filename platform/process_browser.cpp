// A web page gets no signals: the browser ends it by closing the page.
#include "internal.h"

namespace flyover {

void watchTerminationSignals() {}
int pendingSignal() { return 0; }

} // namespace flyover
