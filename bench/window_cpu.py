"""What a flight in the sdl driver's window costs on an X display without a GPU.

    window_cpu.py FLYOVER MKMAPS [--frames N] [--sizes 1920x1080,3840x2160]

For each display size a private Xvfb runs the program with FLYOVER_FRAMES=N
under SDL's default renderer and under SDL_RENDER_DRIVER=software, once as
the driver chooses its presentation and once with the renderer forced
(FLYOVER_SDL_PRESENT=renderer), and prints a table. Frames are timed by the
X server's damage reports on the root window: the flight runs from the
first drawing to the program's exit, and the frame rate is the number of
drawings over the time between the first and the last. CPU is utime+stime
from /proc/PID/stat of the program and of the X server over the same span,
read from the program as it lies ended but not yet reaped, in percent of
one core. The machine may be shared: CPU seconds stay meaningful when wall
time does not.
"""

import argparse
import os
import select
import subprocess
import sys
import tempfile
import time

from Xlib import display as xdisplay
from Xlib.ext import damage

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from sdl_xvfb import start_xvfb  # noqa: E402

TICK = os.sysconf("SC_CLK_TCK")
# Drawings closer together than this are one frame (a frame may reach the
# server as several rectangles).
SAME_FRAME = 0.004


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
        watch = dpy.screen().root.damage_create(damage.DamageReportNonEmpty)
        dpy.sync()
        env = {k: v for k, v in os.environ.items() if k not in ("SDL_VIDEODRIVER", "WAYLAND_DISPLAY",
                                                                  "SDL_RENDER_DRIVER", "FLYOVER_SDL_PRESENT")}
        env.update(DISPLAY=display_name, FLYOVER_DRIVER="sdl", FLYOVER_FRAMES=str(frames), **extra)
        program = subprocess.Popen([flyover], cwd=maps, env=env, stderr=subprocess.PIPE)
        drawn = []  # the time of each frame's first drawing
        start = None
        deadline = time.monotonic() + 60 + frames
        while not ended(program.pid):
            if time.monotonic() > deadline:
                raise RuntimeError("the flight did not end")
            select.select([dpy.fileno()], [], [], 0.02)
            while dpy.pending_events():
                dpy.next_event()
                now = time.monotonic()
                if start is None:
                    start = (now, cpu_seconds(program.pid), cpu_seconds(server.pid))
                if not drawn or now - drawn[-1] > SAME_FRAME:
                    drawn.append(now)
                dpy.damage_subtract(watch)
            dpy.flush()
        end = (time.monotonic(), cpu_seconds(program.pid), cpu_seconds(server.pid))
        code = program.wait()
        if code != 0 or start is None:
            raise RuntimeError("exit code %d, %s: %s" % (code, "drawn" if start else "nothing drawn",
                                                         program.stderr.read().decode(errors="replace")))
        wall = end[0] - start[0]
        gaps = [b - a for a, b in zip(drawn[1:], drawn[2:])]  # after the first picture
        return {
            "frames": len(drawn),
            "fps": (len(drawn) - 1) / (drawn[-1] - drawn[0]),
            "longest": max(gaps) * 1000,
            "program": 100 * (end[1] - start[1]) / wall,
            "server": 100 * (end[2] - start[2]) / wall,
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
    parser.add_argument("--frames", type=int, default=300)
    parser.add_argument("--sizes", default="1920x1080,3840x2160")
    args = parser.parse_args()
    runs = [("default", "chosen", {}), ("software", "chosen", {"SDL_RENDER_DRIVER": "software"}),
            ("default", "renderer", {"FLYOVER_SDL_PRESENT": "renderer"}),
            ("software", "renderer", {"SDL_RENDER_DRIVER": "software", "FLYOVER_SDL_PRESENT": "renderer"})]
    print("sdl window, %d-frame flight on Xvfb (CPU in %% of one core; target at 1920x1080 for the chosen "
          "presentation: 60 fps, program <= 10%%, with the X server <= 20%%)" % args.frames)
    print("%-10s %-9s %-9s %7s %7s %8s %8s %10s" % ("display", "SDL", "present", "frames", "fps", "longest",
                                                   "program", "+X server"))
    with tempfile.TemporaryDirectory() as maps:
        subprocess.run([args.mkmaps, maps], check=True, stdout=subprocess.DEVNULL)
        for size in args.sizes.split(","):
            width, height = (int(n) for n in size.split("x"))
            for renderer, present, extra in runs:
                r = flight(os.path.abspath(args.flyover), maps, width, height, args.frames, extra)
                print("%-10s %-9s %-9s %7d %7.1f %6.1fms %7.1f%% %9.1f%%" %
                      (size, renderer, present, r["frames"], r["fps"], r["longest"], r["program"],
                       r["program"] + r["server"]), flush=True)


if __name__ == "__main__":
    main()
