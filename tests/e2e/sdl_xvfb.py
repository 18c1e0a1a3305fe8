"""The flyover on the sdl driver in a private X server.

    sdl_xvfb.py FLYOVER MKMAPS escape|small|no-shm|no-render|close|alt-f4|lost-x|wayland|stderr-closed FORMAT [PRESENT]

PRESENT (auto, surface, renderer or xrender) is given to the program as
FLYOVER_SDL_PRESENT: every check must hold for each way to the window.

On an 800x500 screen (the picture scaled by 2 and centred on black) the
upper half of the picture must be the background grey exactly as FORMAT
stores it and the cursor hidden ("escape", "small" and the servers without
an extension, in xrgb8888, then find the frame on the screen among the
capture driver's frames, every pixel of it where the driver's scaling puts
it); Escape, WM_DELETE_WINDOW or Alt+F4 must then end the program with exit
code 0, and killing the X server must end it within a second with exit
code 1 and one line. "small" is "escape" on a 300x150 screen, smaller than
the picture: it must be scaled down to fit, 240x150, and centred, whichever
way it reaches the window. "no-shm" and "no-render" are "escape" on a
server without MIT-SHM or RENDER. "wayland" runs it in a Wayland desktop
shell of its own (weston on the X server), where the picture must cover the
shell's panel too, and then kills the compositor. "stderr-closed" starts it
with standard error closed and a format that fails: it must end with exit
code 1 rather than wait for ever.
"""

import operator
import os
import random
import subprocess
import sys
import tempfile
import time

from Xlib import X, display as xdisplay, protocol
from Xlib.ext import xfixes  # noqa: F401  (registers the extension)

SCREEN_W, SCREEN_H = 800, 500
# Screens, and where the picture must be on them (left, top, width, height).
PLACES = {(SCREEN_W, SCREEN_H): (80, 50, 640, 400), (300, 150): (30, 0, 240, 150)}
# The background 0xB4 once the format has dropped its low bits, widened
# again by repeating them: 5 bits give 0xB5, 6 bits 0xB6.
# "escape" on a server without one of its extensions.
WITHOUT = {"no-shm": "MIT-SHM", "no-render": "RENDER"}
GREY = {"rgb565": (0xB5, 0xB6, 0xB5), "bgr565": (0xB5, 0xB6, 0xB5), "rgb555": (0xB5,) * 3, "bgr555": (0xB5,) * 3}


def picture_problem(dpy, fmt, screen=(SCREEN_W, SCREEN_H)):
    """None when the screen shows what it should, else what is wrong."""
    # At depth 24 the server keeps 32-bit pixels, bytes B, G, R, X.
    width, height = screen
    data = dpy.screen().root.get_image(0, 0, width, height, X.ZPixmap, 0xFFFFFFFF).data
    pixel = lambda x, y: tuple(data[(y * width + x) * 4 + i] for i in (2, 1, 0))  # noqa: E731
    grey = GREY.get(fmt, (0xB4,) * 3)
    left, top, w, h = PLACES[screen]
    # The sky, the upper half of the picture, up to the edges of its place.
    sky = [(x, y) for y in range(top, top + h // 2, 3) for x in range(left, left + w, 3)]
    for x, y in sky + [(left + w - 1, top), (left, top + h // 2 - 1)]:
        if pixel(x, y) != grey:
            return "picture pixel (%d, %d) is %s, expected the grey %s" % (x, y, pixel(x, y), grey)
    border = [(left - 1, top + 10), (left + w, top + h - 10), (width // 2, top - 1), (width // 2, top + h)]
    for x, y in [(x, y) for x, y in border if 0 <= x < width and 0 <= y < height]:
        if pixel(x, y) != (0, 0, 0):
            return "border pixel (%d, %d) is %s, expected black" % (x, y, pixel(x, y))
    return None


def frame_problem(dpy, flyover, maps, env, screen):
    """None when the picture's place shows, to the bit, one of the program's
    first frames as the capture driver gives them, each of the screen's
    pixels the frame's pixel that the driver's scaling puts there (the one
    under the pixel's centre), else what is wrong."""
    width, height = screen
    left, top, w, h = PLACES[screen]
    # One screenshot: the server draws each frame in one request, so it
    # holds one whole frame. The top byte of each pixel is nobody's.
    shown = bytearray(dpy.screen().root.get_image(0, 0, width, height, X.ZPixmap, 0xFFFFFFFF).data)
    shown[3::4] = bytes(len(shown) // 4)
    shown = memoryview(shown).cast("I")
    place = operator.itemgetter(*[(top + y) * width + left + x for y in range(h) for x in range(w)])(shown)
    picks = operator.itemgetter(*[((2 * y + 1) * 200 // (2 * h)) * 320 + (2 * x + 1) * 320 // (2 * w)
                                  for y in range(h) for x in range(w)])
    size = 320 * 200 * 4
    env = dict(env, FLYOVER_DRIVER="capture", FLYOVER_FRAMES="3000", FLYOVER_CAPTURE="/dev/stdout")
    del env["DISPLAY"]
    capture = subprocess.Popen([flyover], cwd=maps, env=env, stdout=subprocess.PIPE)
    try:
        for _ in range(3000):
            frame = bytearray(capture.stdout.read(size))
            if len(frame) < size:
                break
            frame[3::4] = bytes(size // 4)
            if picks(memoryview(frame).cast("I")) == place:
                return None
    finally:
        capture.kill()
        capture.wait()
    return "the screen shows none of the program's first 3000 frames exactly"


def start_xvfb(log, width=SCREEN_W, height=SCREEN_H, options=()):
    # Concurrent servers with -displayfd alone all start at :0, and one ending
    # while another starts can leave two on one number: a random high number
    # avoids them. -noreset keeps the server from starting afresh, refusing
    # connections meanwhile, whenever its last client leaves.
    rng = random.Random(os.getpid() ^ time.time_ns())
    for _ in range(20):
        number = rng.randrange(200, 30000)
        if os.path.exists("/tmp/.X%d-lock" % number) or os.path.exists("/tmp/.X11-unix/X%d" % number):
            continue
        log.seek(0)
        log.truncate()
        read_end, write_end = os.pipe()
        server = subprocess.Popen(["Xvfb", ":%d" % number, "-displayfd", str(write_end), "-screen", "0",
                                   "%dx%dx24" % (width, height), "-nolisten", "tcp", "-noreset", *options],
                                  pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=log)
        os.close(write_end)
        with os.fdopen(read_end, "rb") as pipe:
            ready = pipe.readline().strip() == str(number).encode()
        log.seek(0)
        if ready and b"already running" not in log.read():
            return server, ":%d" % number
        server.kill()
        server.wait()
    raise RuntimeError("Xvfb did not start")


def poll(seconds, look, done=bool):
    """look() every 0.1 s until done with its value or seconds have passed; its last value."""
    deadline = time.monotonic() + seconds
    while not done(result := look()) and time.monotonic() < deadline:
        time.sleep(0.1)
    return result


def find_window(env):
    # Only a mapped one: SDL may replace the window it made first by one
    # that suits its renderer, and the first one's id then leads nowhere.
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^test$"], env=env,
                           capture_output=True, text=True).stdout.split()
    return int(found[0]) if found else None


def send_delete_window(display_name, window_id):
    """The ICCCM close request a window manager sends, on a connection of its
    own that is synced before it closes (sent after other requests on a
    shared connection, it was sometimes never delivered)."""
    dpy = xdisplay.Display(display_name)
    window = dpy.create_resource_object("window", window_id)
    data = (32, [dpy.intern_atom("WM_DELETE_WINDOW"), X.CurrentTime, 0, 0, 0])
    window.send_event(protocol.event.ClientMessage(window=window, client_type=dpy.intern_atom("WM_PROTOCOLS"),
                                                   data=data))
    dpy.sync()
    dpy.close()


def start_weston(display_name, runtime, log):
    """A desktop shell on the X server; its socket's name."""
    socket = "flyover-%d" % os.getpid()
    env = dict(os.environ, DISPLAY=display_name, XDG_RUNTIME_DIR=runtime)
    compositor = subprocess.Popen(["weston", "--backend=x11-backend.so", "--socket=" + socket, "--use-pixman",
                                   "--width=%d" % SCREEN_W, "--height=%d" % SCREEN_H], env=env,
                                  stdout=subprocess.DEVNULL, stderr=log)
    if not poll(15, lambda: os.path.exists(os.path.join(runtime, socket))):
        compositor.kill()
        raise RuntimeError("weston did not start")
    return compositor, socket


def ends_alone(program, stderr, what):
    """After the display server went away: exit code 1 and one line, soon."""
    start = time.monotonic()
    code = program.wait(timeout=15)
    seconds = time.monotonic() - start
    stderr.seek(0)
    lines = [line for line in stderr.read().decode(errors="replace").splitlines() if line.startswith("flyover:")]
    if code != 1 or len(lines) != 1 or "display server went away" not in lines[0]:
        raise AssertionError("after %s: exit code %d and %s, expected 1 and one line" % (what, code, lines))
    # A second is what is asked; a loaded machine gets some slack.
    if seconds > 2:
        raise AssertionError("after %s the program took %.1f s to end" % (what, seconds))
    return seconds


def main():
    flyover, mkmaps, how, fmt = sys.argv[1:5]
    present = sys.argv[5] if len(sys.argv) > 5 else "auto"
    log = tempfile.TemporaryFile()
    screen = (300, 150) if how == "small" else (SCREEN_W, SCREEN_H)
    server, display_name = start_xvfb(log, *screen, ("-extension", WITHOUT[how]) if how in WITHOUT else ())
    program = compositor = None
    runtime = tempfile.TemporaryDirectory()  # made 0700, as the compositor wants
    try:
        env = {k: v for k, v in os.environ.items() if k not in ("SDL_VIDEODRIVER", "WAYLAND_DISPLAY", "FLYOVER_FRAMES")}
        env.update(DISPLAY=display_name, FLYOVER_DRIVER="sdl", FLYOVER_FORMAT=fmt, FLYOVER_SDL_PRESENT=present)
        with tempfile.TemporaryDirectory() as scratch:
            subprocess.run([mkmaps, scratch], check=True, stdout=subprocess.DEVNULL)
            if how == "stderr-closed":
                program = subprocess.Popen([flyover], cwd=scratch, env=env, preexec_fn=lambda: os.close(2))
                code = program.wait(timeout=15)
                if code != 1:
                    raise AssertionError("exit code %d with standard error closed, expected 1" % code)
                print("ok: %s with standard error closed ends with 1 on %s" % (flyover, fmt))
                return
            stderr = tempfile.TemporaryFile()
            if how == "wayland":
                compositor, socket = start_weston(display_name, runtime.name, log)
                del env["DISPLAY"]
                env.update(WAYLAND_DISPLAY=socket, XDG_RUNTIME_DIR=runtime.name)
                program = subprocess.Popen([flyover], cwd=scratch, env=env, stderr=stderr)
                # The compositor shows its output at the top left of the X screen.
                dpy = xdisplay.Display(display_name)
                problem = poll(15, lambda: picture_problem(dpy, fmt), done=lambda problem: problem is None)
                dpy.close()
                if problem:
                    raise AssertionError("the screen under the desktop shell is wrong: " + problem)
                compositor.kill()
                compositor.wait()
                seconds = ends_alone(program, stderr, "the compositor was killed")
                print("ok: %s covers the desktop shell in %s and ends %.2f s after the compositor" %
                      (flyover, fmt, seconds))
                return
            program = subprocess.Popen([flyover], cwd=scratch, env=env, stderr=stderr)
            if not poll(15, lambda: find_window(env)):
                raise AssertionError("no window appeared")
            dpy = xdisplay.Display(display_name)
            problem = poll(10, lambda: picture_problem(dpy, fmt, screen), done=lambda problem: problem is None)
            if problem:
                raise AssertionError("the screen is wrong: " + problem)
            # SDL's renderer picks its own pixels when it scales down.
            if how in ("escape", "small", *WITHOUT) and fmt == "xrgb8888" and (how, present) != ("small", "renderer"):
                problem = frame_problem(dpy, flyover, scratch, env, screen)
                if problem:
                    raise AssertionError(problem)
            dpy.xfixes_query_version()  # the server answers cursor requests only after this
            if any(argb >> 24 for argb in dpy.xfixes_get_cursor_image(dpy.screen().root).cursor_image):
                raise AssertionError("the cursor is visible over the window")
            dpy.close()
            if program.poll() is not None:
                raise AssertionError("the program ended by itself with %d" % program.returncode)
            window = find_window(env)  # the one showing the picture
            if how == "lost-x":
                server.kill()
                server.wait()
                seconds = ends_alone(program, stderr, "the X server was killed")
                print("ok: %s ends %.2f s after the X server" % (flyover, seconds))
                return
            if how == "close":
                send_delete_window(display_name, window)
            else:
                # The program may end before xdotool has sent the release: its
                # own exit code does not count.
                subprocess.run(["xdotool", "key", "--window", str(window), "alt+F4" if how == "alt-f4" else "Escape"],
                               env=env)
            code = program.wait(timeout=15)
            if code != 0:
                raise AssertionError("exit code %d after %s, expected 0" % (code, how))
        print("ok: %s shows the grey sky in %s, hides the cursor and ends with 0 on %s" % (flyover, fmt, how))
    except BaseException:
        log.seek(0)
        sys.stderr.write("Xvfb on %s (%s) said:\n%s\n" % (display_name, "ended" if server.poll() is not None else
                                                           "running", log.read().decode(errors="replace")))
        raise
    finally:
        for process in (program, compositor):
            if process and process.poll() is None:
                process.kill()
                process.wait()
        if server.poll() is None:
            server.terminate()
            server.wait()
        runtime.cleanup()


if __name__ == "__main__":
    main()
