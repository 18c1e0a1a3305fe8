// Waiting on an operating system with threads: the process simply stops
// for a while.
#include "internal.h"

#include <chrono>
#include <thread>

namespace flyover {

void waitFor(uint32_t milliseconds) {
  if (milliseconds == 0)
    std::this_thread::yield(); // gives up the rest of the time slice
  else
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

} // namespace flyover
