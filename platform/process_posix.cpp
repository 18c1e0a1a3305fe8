// The process on a POSIX system: its standard descriptors and the
// termination signals.
#include "internal.h"

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace flyover {

namespace {

// A process started with 0, 1 or 2 closed (`2>&-`) hands that number to
// the next file or socket it opens, and every error line then lands in it:
// in the X connection or in a capture file. Filling the gaps with /dev/null
// must happen before anything at all is opened, so it runs as a constructor
// of the highest priority an application may use, ahead of every ordinary
// static initializer and of main; the first call into the platform would be
// too late, as the program reads its map files before it.
// Which were closed is remembered: output meant for one of them would
// otherwise vanish into /dev/null and be reported as written.
bool closedAtStart[3] = {false, false, false};

__attribute__((constructor(101))) void openStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
      continue;
    closedAtStart[fd] = true;
    // open takes the lowest free number, which is this one.
    const int opened = open("/dev/null", O_RDWR);
    if (opened != fd && opened != -1)
      close(opened);
  }
}

volatile std::sig_atomic_t received = 0;

extern "C" void noteSignal(int signal) {
  if (!received)
    received = signal;
}

} // namespace

void watchTerminationSignals() {
  struct sigaction action {};
  action.sa_handler = noteSignal;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a write blocked on a stalled pipe returns, so that the
  // program can end rather than wait for a reader that never comes.
  action.sa_flags = 0;
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    // A signal the parent chose to ignore (nohup, a background job) stays
    // ignored.
    struct sigaction previous {};
    if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
      continue;
    sigaction(signal, &action, nullptr);
  }
}

int pendingSignal() { return received; }

bool startedClosed(int fd) { return fd >= 0 && fd <= 2 && closedAtStart[fd]; }

} // namespace flyover
