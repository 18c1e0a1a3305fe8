"""What a flight in the sdl driver's window costs on an X display without a GPU.

    window_cpu.py FLYOVER MKMAPS [--frames N (600)] [--sizes 1920x1080,3840x2160]

For each display size a private Xvfb runs the program with FLYOVER_FRAMES=N
under SDL's default renderer and under SDL_RENDER_DRIVER=software, once as
the driver chooses its presentation and once with the renderer forced
(FLYOVER_SDL_PRESENT=renderer), and once with the window's surface forced
(FLYOVER_SDL_PRESENT=surface, what the driver chooses where the X server
has no RENDER: the floor the chosen one is measured against), and prints a
table.

Frames are timed by the X server: every drawing on the screen is reported
with the server's own time (so a busy machine delaying this script does not
move them), and drawings within a few milliseconds of each other are one.
The flight is the last N drawings before the program's window is unmapped:
the ones before are the window's black fills while the display opens and
waits to be active, which no frame rate should count. The first frame also
reaches the screen late, behind those fills in the server, so the frame rate
is N-2 over the time from the flight's second frame to its last; "missed"
counts the refreshes of a 60 Hz display over that time that brought no new
frame (what a display waiting for the vertical blank would drop). CPU is
utime+stime from /proc/PID/stat of the program and of the X server from the
first drawing to the program's exit (the flight), and from the program's
start to its exit (the whole process: the X connection, the GL probe and
the display's opening are paid by a person too), read from the program as it
lies ended but not yet reaped, in percent of one core. The machine may be
shared: CPU seconds stay meaningful when wall time does not.
"""

import argparse
import os
import select
import subprocess
import sys
import tempfile
import time

from Xlib import X, display as xdisplay
from Xlib.ext import damage

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from sdl_xvfb import start_xvfb  # noqa: E402

TICK = os.sysconf("SC_CLK_TCK")
# Drawings closer together than this are one frame (a frame may reach the
# server as several rectangles); the server's times are in milliseconds.
SAME_FRAME = 0.004
# Xvfb tells no refresh rate, and the driver then keeps 60 Hz.
PERIOD = 1 / 60
# The window's last drawings and its end reach this script after the
# program has exited: they are awaited until none has come for this long.
QUIET = 0.2


def cpu_seconds(pid):
    fields = open("/proc/%d/stat" % pid).read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICK  # utime and stime, fields 14 and 15


def ended(pid):
    """True once the program has ended; it stays unreaped, so its /proc entry can still be read."""
    return os.waitid(os.P_PID, pid, os.WEXITED | os.WNOHANG | os.WNOWAIT) is not None


def flight(flyover, maps, width, height, frames, extra):
    log = tempfile.TemporaryFile()
    server, display_name = start_xvfb(log, width, height)
    program = None
    try:
        dpy = xdisplay.Display(display_name)
        dpy.damage_query_version()
        root = dpy.screen().root
        root.damage_create(damage.DamageReportRawRectangles)
        root.change_attributes(event_mask=X.SubstructureNotifyMask)  # windows unmapped
        dpy.sync()
        env = {k: v for k, v in os.environ.items() if k not in ("SDL_VIDEODRIVER", "WAYLAND_DISPLAY",
                                                                  "SDL_RENDER_DRIVER", "FLYOVER_SDL_PRESENT")}
        env.update(DISPLAY=display_name, FLYOVER_DRIVER="sdl", FLYOVER_FRAMES=str(frames), **extra)
        launch = (time.monotonic(), cpu_seconds(server.pid))
        program = subprocess.Popen([flyover], cwd=maps, env=env, stderr=subprocess.PIPE)
        drawn = []  # the server's time of each drawing
        shown = 0  # how many of them came before a window was last unmapped
        start = end = None
        deadline = time.monotonic() + 60 + frames
        quiet = None  # once the program has ended: when its last events may have come
        while quiet is None or time.monotonic() < quiet:
            if time.monotonic() > deadline:
                raise RuntimeError("the flight did not end")
            if end is None and ended(program.pid):
                end = (time.monotonic(), cpu_seconds(program.pid), cpu_seconds(server.pid))
                quiet = end[0] + QUIET
            select.select([dpy.fileno()], [], [], 0.02)
            while dpy.pending_events():
                event = dpy.next_event()
                if quiet is not None:
                    quiet = time.monotonic() + QUIET
                # Before the drawing that the unmapping causes; not the copy
                # that a withdrawn window sends the root after it.
                if event.type == X.UnmapNotify and not event.send_event:
                    shown = len(drawn)
                elif event.type == dpy.extension_event.DamageNotify:
                    if start is None:
                        start = (time.monotonic(), cpu_seconds(program.pid), cpu_seconds(server.pid))
                    at = event.timestamp / 1000
                    if not drawn or at - drawn[-1] > SAME_FRAME:
                        drawn.append(at)
        code = program.wait()
        if code != 0 or start is None:
            raise RuntimeError("exit code %d, %s: %s" % (code, "drawn" if start else "nothing drawn",
                                                         program.stderr.read().decode(errors="replace")))
        flown = drawn[:shown][-frames:]
        gaps = [b - a for a, b in zip(flown[1:], flown[2:])]
        span = flown[-1] - flown[1]
        wall = end[0] - start[0]
        whole = end[0] - launch[0]
        return {
            "frames": len(flown),
            "fps": len(gaps) / span,
            "longest": max(gaps) * 1000,
            "missed": max(0, round(span / PERIOD) - len(gaps)),
            "program": 100 * (end[1] - start[1]) / wall,
            "server": 100 * (end[2] - start[2]) / wall,
            "whole": 100 * end[1] / whole,
            "whole server": 100 * (end[2] - launch[1]) / whole,
        }
    finally:
        if program and program.poll() is None:
            program.kill()
            program.wait()
        server.terminate()
        server.wait()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("flyover")
    parser.add_argument("mkmaps")
    parser.add_argument("--frames", type=int, default=600)
    parser.add_argument("--sizes", default="1920x1080,3840x2160")
    args = parser.parse_args()
    runs = [("default", "chosen", {}), ("software", "chosen", {"SDL_RENDER_DRIVER": "software"}),
            ("default", "surface", {"FLYOVER_SDL_PRESENT": "surface"}),
            ("default", "renderer", {"FLYOVER_SDL_PRESENT": "renderer"}),
            ("software", "renderer", {"SDL_RENDER_DRIVER": "software", "FLYOVER_SDL_PRESENT": "renderer"})]
    print("sdl window, %d-frame flight on Xvfb (CPU in %% of one core; targets for the chosen presentation: "
          "60 fps, program <= 8%%, with the X server <= 16%% at 1920x1080, <= 15%% and 30%% at 3840x2160)"
          % args.frames)
    print("CPU of the flight alone, from its first drawing to the exit, and of the whole process, start-up included")
    print("%-10s %-9s %-9s %7s %7s %8s %6s %8s %10s %8s %10s" % ("display", "SDL", "present", "frames", "fps",
                                                              "longest", "missed", "program", "+X server", "whole",
                                                              "+X server"))
    with tempfile.TemporaryDirectory() as maps:
        subprocess.run([args.mkmaps, maps], check=True, stdout=subprocess.DEVNULL)
        for size in args.sizes.split(","):
            width, height = (int(n) for n in size.split("x"))
            for renderer, present, extra in runs:
                r = flight(os.path.abspath(args.flyover), maps, width, height, args.frames, extra)
                print("%-10s %-9s %-9s %7d %7.1f %6.0fms %6d %7.1f%% %9.1f%% %7.1f%% %9.1f%%" %
                      (size, renderer, present, r["frames"], r["fps"], r["longest"], r["missed"], r["program"],
                       r["program"] + r["server"], r["whole"], r["whole"] + r["whole server"]), flush=True)


if __name__ == "__main__":
    main()
