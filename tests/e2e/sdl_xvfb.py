"""The flyover on the sdl driver in a private X server.

    sdl_xvfb.py FLYOVER EXPECTED_FRAMES escape|close|alt-f4 FORMAT

Starts Xvfb (800x500, so the 320x200 picture is scaled by 2 and centred with
a black border), runs the flyover there with FLYOVER_FORMAT=FORMAT, waits for
its window and checks, from a screenshot, that the upper half of the picture
is the background grey exactly as the format stores it and that the border
is black, and that the cursor is hidden. Then it ends the program with an
Escape key press, a WM_DELETE_WINDOW request or Alt+F4, and expects exit
code 0.
"""

import os
import random
import signal
import struct
import subprocess
import sys
import tempfile
import time

from Xlib import X, display as xdisplay, protocol
from Xlib.ext import xfixes  # noqa: F401  (registers the extension)

SCREEN_W, SCREEN_H = 800, 500
SCALE = 2
LEFT = (SCREEN_W - 320 * SCALE) // 2
TOP = (SCREEN_H - 200 * SCALE) // 2


def widen(value, width):
    """A channel of `width` bits widened to 8 by repeating its bits."""
    result, bits = 0, 0
    while bits < 8:
        result = (result << width) | value
        bits += width
    return result >> (bits - 8)


def stored_grey(fmt):
    """The background byte 0xB4 in each channel after the format dropped its low bits."""
    widths = {"rgb565": (5, 6, 5), "bgr565": (5, 6, 5), "rgb555": (5, 5, 5), "bgr555": (5, 5, 5)}
    r, g, b = widths.get(fmt, (8, 8, 8))
    return tuple(widen(0xB4 >> (8 - w), w) for w in (r, g, b))


def read_xwd(data):
    """(width, height, pixel(x, y) -> (r, g, b)) of a ZPixmap XWD dump."""
    fields = struct.unpack(">25I", data[:100])
    header_size, pixmap_format = fields[0], fields[2]
    width, height, byte_order = fields[4], fields[5], fields[7]
    bits_per_pixel, bytes_per_line = fields[11], fields[12]
    red_mask, green_mask, blue_mask = fields[14], fields[15], fields[16]
    ncolors = fields[19]
    if pixmap_format != 2 or bits_per_pixel != 32:
        raise ValueError("expected a 32-bit ZPixmap dump, got format %d, %d bits" % (pixmap_format, bits_per_pixel))
    start = header_size + ncolors * 12
    order = "<I" if byte_order == 0 else ">I"

    def channel(value, mask):
        shift = (mask & -mask).bit_length() - 1
        return (value & mask) >> shift

    def pixel(x, y):
        (value,) = struct.unpack_from(order, data, start + y * bytes_per_line + x * 4)
        return channel(value, red_mask), channel(value, green_mask), channel(value, blue_mask)

    return width, height, pixel


def check_picture(env, fmt):
    """None when the screen shows what it should, else what is wrong."""
    shot = subprocess.run(["xwd", "-root", "-silent"], env=env, capture_output=True, check=True).stdout
    width, height, pixel = read_xwd(shot)
    if (width, height) != (SCREEN_W, SCREEN_H):
        return "screen is %dx%d" % (width, height)
    grey = stored_grey(fmt)
    for y in range(TOP, TOP + 100 * SCALE, 3):
        for x in range(LEFT, LEFT + 320 * SCALE, 3):
            if pixel(x, y) != grey:
                return "picture pixel (%d, %d) is %s, expected the grey %s" % (x, y, pixel(x, y), grey)
    for x, y in [(0, 0), (LEFT - 1, TOP + 10), (LEFT + 640, TOP + 390), (400, TOP - 1), (400, TOP + 400)]:
        if pixel(x, y) != (0, 0, 0):
            return "border pixel (%d, %d) is %s, expected black" % (x, y, pixel(x, y))
    return None


def start_xvfb(log):
    """A server of our own on a display number that nobody else is likely to pick.

    With -displayfd alone every concurrent server starts looking at :0, and
    one shutting down while another starts can leave two servers answering
    on the same number; a random high number avoids the crowd, and
    -displayfd still tells when the server is ready. Without -noreset the
    server starts afresh whenever its last client leaves (a screenshot, an
    xdotool call) and refuses connections meanwhile.
    """
    rng = random.Random(os.getpid() ^ int(time.time() * 1000))
    for _ in range(20):
        number = rng.randrange(200, 30000)
        if os.path.exists("/tmp/.X%d-lock" % number) or os.path.exists("/tmp/.X11-unix/X%d" % number):
            continue
        log.seek(0)
        log.truncate()
        read_end, write_end = os.pipe()
        server = subprocess.Popen(
            ["Xvfb", ":%d" % number, "-displayfd", str(write_end), "-screen", "0",
             "%dx%dx24" % (SCREEN_W, SCREEN_H), "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=log)
        os.close(write_end)
        with os.fdopen(read_end, "rb") as pipe:
            ready = pipe.readline().strip()
        log.seek(0)
        if ready == str(number).encode() and b"already running" not in log.read():
            log.seek(0, os.SEEK_END)
            return server, ":%d" % number
        server.kill()
        server.wait()
    raise RuntimeError("Xvfb did not start")


def wait_for(what, predicate, seconds=15):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        result = predicate()
        if result:
            return result
        time.sleep(0.1)
    raise AssertionError("timed out waiting for " + what)


def find_window(env):
    # Only a mapped one: SDL may replace the window it made first by one
    # that suits its renderer, and the first one's id then leads nowhere.
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^test$"], env=env,
                           capture_output=True, text=True)
    ids = found.stdout.split()
    return int(ids[0]) if ids else None


def cursor_hidden(dpy):
    dpy.xfixes_query_version()  # the server answers cursor requests only after this
    image = dpy.xfixes_get_cursor_image(dpy.screen().root)
    return all((argb >> 24) == 0 for argb in image.cursor_image)


def send_delete_window(display_name, window_id):
    """The ICCCM close request a window manager sends, on a connection of its
    own that is synced before it closes (sent after other requests on a
    shared connection, it was sometimes never delivered)."""
    dpy = xdisplay.Display(display_name)
    try:
        window = dpy.create_resource_object("window", window_id)
        protocols = dpy.intern_atom("WM_PROTOCOLS")
        delete = dpy.intern_atom("WM_DELETE_WINDOW")
        event = protocol.event.ClientMessage(window=window, client_type=protocols,
                                             data=(32, [delete, X.CurrentTime, 0, 0, 0]))
        window.send_event(event, event_mask=X.NoEventMask)
        dpy.sync()
    finally:
        dpy.close()


def main():
    flyover, expected_frames, how, fmt = sys.argv[1:5]
    log = tempfile.TemporaryFile()
    server, display_name = start_xvfb(log)
    program = None
    try:
        env = {k: v for k, v in os.environ.items() if k not in ("SDL_VIDEODRIVER", "WAYLAND_DISPLAY")}
        env.update(DISPLAY=display_name, FLYOVER_DRIVER="sdl", FLYOVER_FORMAT=fmt)
        env.pop("FLYOVER_FRAMES", None)
        with tempfile.TemporaryDirectory() as scratch:
            subprocess.run([expected_frames, "maps", scratch], check=True)
            program = subprocess.Popen([flyover], cwd=scratch, env=env)
            wait_for("the window", lambda: find_window(env))

            problem = []

            def picture_ok():
                problem[:] = [check_picture(env, fmt)]
                return problem[0] is None

            try:
                wait_for("the picture", picture_ok, seconds=10)
            except AssertionError:
                raise AssertionError("the screen is wrong: %s" % problem[0])

            window = find_window(env)  # the one showing the picture
            dpy = xdisplay.Display(display_name)
            try:
                if not cursor_hidden(dpy):
                    raise AssertionError("the cursor is visible over the window")
            finally:
                dpy.close()
            if program.poll() is not None:
                raise AssertionError("the program ended by itself with %d" % program.returncode)
            if how == "escape":
                # The program may end before xdotool has sent the release: its own
                # exit code does not count.
                subprocess.run(["xdotool", "key", "--window", str(window), "Escape"], env=env)
            elif how == "alt-f4":
                subprocess.run(["xdotool", "key", "--window", str(window), "alt+F4"], env=env)
            else:
                send_delete_window(display_name, window)
            code = program.wait(timeout=15)
            if code != 0:
                raise AssertionError("exit code %d after %s, expected 0" % (code, how))
        print("ok: %s shows the grey sky in %s, hides the cursor and ends with 0 on %s" % (flyover, fmt, how))
    except BaseException:
        if server.poll() is not None:
            sys.stderr.write("Xvfb on %s ended during the test, with %d\n" % (display_name, server.returncode))
        log.seek(0)
        sys.stderr.write("Xvfb on %s said:\n%s\n" % (display_name, log.read().decode(errors="replace")))
        raise
    finally:
        if program and program.poll() is None:
            program.kill()
            program.wait()
        server.send_signal(signal.SIGTERM)
        server.wait()


if __name__ == "__main__":
    main()
