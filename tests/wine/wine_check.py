#!/usr/bin/env python3
"""Runs the Windows build under Wine on a private X server and checks it.

One run of this script makes one X server (Xvfb, depth 24) and one fresh
Wine prefix in a temporary folder with a 1024x768 virtual desktop in its
registry: Xvfb offers a single screen mode, so without the virtual desktop
every DirectDraw display mode would be refused. Then, in that prefix:

  * each --framehash program renders the first frames from the test maps and
    its output must equal the Linux build's (--linux-framehash);
  * each --flyover program is started twice: the screenshot must show the
    320x200 picture at the top left of the screen, background grey above
    the horizon and terrain below it, and one of the pictures the renderer
    can produce, pixel for pixel; Escape must end it with exit code 0, and
    on the second start Alt+F4 (a close request) must do the same.

Every wait is bounded, and the prefix's wineserver, the X server and the
temporary folder go away on any exit.
"""

import argparse
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

GREY = 0xB4B4B4
WIDTH, HEIGHT = 320, 200
MAP_SIZE = 500

# Exit codes with which Wine itself sometimes kills or crashes a 32-bit
# program after the program has shut down cleanly.
WINE_CRASH_CODES = (137, 139)


class CheckFailed(Exception):
    pass


class ExitCode(CheckFailed):
    def __init__(self, what, code):
        super().__init__(f"{what}: exit code {code}")
        self.code = code


def log(message):
    print(f"wine-check: {message}", flush=True)


# --- Test maps -----------------------------------------------------------

def make_maps(folder):
    """Writes a deterministic texture.raw and map.raw: rolling hills whose
    colour follows the height, with a few sharp ridges, so that every frame
    has bars of many heights and colours far from the background grey."""
    heights = bytearray(MAP_SIZE * MAP_SIZE)
    texture = bytearray(MAP_SIZE * MAP_SIZE * 3)
    seed = 12345
    for row in range(MAP_SIZE):
        for col in range(MAP_SIZE):
            # Periods that divide 500 keep the wrap at the map edge seamless.
            a = (row * 7 + col * 3) % 100
            b = (row * 2 + col * 9) % 125
            h = abs(a - 50) * 2 + abs(b - 62) + (row * col) % 23
            seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
            if seed % 97 == 0:
                h += 60
            h = min(h, 255)
            heights[row * MAP_SIZE + col] = h
            i = (row * MAP_SIZE + col) * 3
            texture[i] = (h * 3 + col) % 256
            texture[i + 1] = 40 + h // 2
            texture[i + 2] = (row * 5 + 255 - h) % 256
    with open(os.path.join(folder, "texture.raw"), "wb") as f:
        f.write(texture)
    with open(os.path.join(folder, "map.raw"), "wb") as f:
        f.write(heights)


# --- Screenshots ---------------------------------------------------------

def read_xwd(data, region_width, region_height):
    """Parses an X window dump of a TrueColor ZPixmap with 24 or 32 bits per
    pixel. Returns (width, height, rows) with the screen's size and, in
    rows[y][x], the 0xRRGGBB pixels of its top left region only."""
    if len(data) < 100:
        raise CheckFailed("screenshot: file too short for an XWD header")
    fields = struct.unpack(">25I", data[:100])
    (header_size, version, pixmap_format, _depth, width, height, _xoffset,
     byte_order, _unit, _bit_order, _pad, bits_per_pixel, bytes_per_line,
     _visual_class, red_mask, green_mask, blue_mask, _bits_per_rgb,
     _colormap_entries, ncolors) = fields[:20]
    if version != 7 or pixmap_format != 2:
        raise CheckFailed(f"screenshot: unsupported XWD (version {version}, format {pixmap_format})")
    if bits_per_pixel not in (24, 32):
        raise CheckFailed(f"screenshot: {bits_per_pixel} bits per pixel; the X server must run at depth 24")
    offset = header_size + ncolors * 12
    if len(data) < offset + bytes_per_line * height:
        raise CheckFailed("screenshot: XWD image data is truncated")
    step = bits_per_pixel // 8
    order = "little" if byte_order == 0 else "big"

    def channel(mask):
        shift = (mask & -mask).bit_length() - 1
        return shift, mask >> shift

    channels = [channel(m) for m in (red_mask, green_mask, blue_mask)]
    rows = []
    for y in range(min(height, region_height)):
        start = offset + y * bytes_per_line
        row = []
        for x in range(min(width, region_width)):
            v = int.from_bytes(data[start + x * step:start + x * step + step], order)
            rgb = 0
            for shift, mask in channels:
                rgb = (rgb << 8) | (((v >> shift) & mask) * 255 // mask)
            row.append(rgb)
        rows.append(row)
    return width, height, rows


def fnv1a_picture(rows):
    """64-bit FNV-1a over the 320x200 picture as canvas pixels without their
    top byte (little-endian B, G, R, 0): the same value that framehash prints
    for every picture the renderer can produce."""
    h = 0xCBF29CE484222325
    for y in range(HEIGHT):
        for rgb in rows[y][:WIDTH]:
            for byte in (rgb & 0xFF, (rgb >> 8) & 0xFF, rgb >> 16, 0):
                h = ((h ^ byte) * 0x100000001B3) & 0xFFFFFFFFFFFFFFFF
    return h


def is_32bit_windows_program(path):
    """True for a PE image built for i386 (the machine field of its COFF
    header is 0x14c)."""
    with open(path, "rb") as f:
        head = f.read(4096)
    if head[:2] != b"MZ" or len(head) < 0x40:
        raise CheckFailed(f"{path}: not a Windows program")
    pe = struct.unpack_from("<I", head, 0x3C)[0]
    if head[pe:pe + 4] != b"PE\0\0":
        raise CheckFailed(f"{path}: not a Windows program")
    return struct.unpack_from("<H", head, pe + 4)[0] == 0x14C


def write_ppm(path, rows):
    with open(path, "wb") as f:
        f.write(b"P6 %d %d 255\n" % (len(rows[0]), len(rows)))
        for row in rows:
            f.write(b"".join(bytes((rgb >> 16, (rgb >> 8) & 0xFF, rgb & 0xFF)) for rgb in row))


# --- The environment: X server, Wine prefix --------------------------------

class Session:
    def __init__(self, root):
        self.root = root
        self.xvfb = None
        self.env = None
        self.last_screen = None

    def start_x(self, timeout=20):
        read_fd, write_fd = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24",
             "-nolisten", "tcp"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL,
            stderr=open(os.path.join(self.root, "xvfb.log"), "wb"))
        os.close(write_fd)
        deadline = time.monotonic() + timeout
        number = b""
        os.set_blocking(read_fd, False)
        while not number.endswith(b"\n"):
            if time.monotonic() > deadline:
                raise CheckFailed("Xvfb did not report its display number in time")
            if self.xvfb.poll() is not None:
                raise CheckFailed(f"Xvfb exited with {self.xvfb.returncode}; see its log above")
            try:
                chunk = os.read(read_fd, 64)
            except BlockingIOError:
                time.sleep(0.05)
                continue
            if not chunk:
                time.sleep(0.05)
            number += chunk
        os.close(read_fd)
        self.display = ":" + number.decode().strip()
        log(f"Xvfb on display {self.display}")

    def make_prefix(self):
        env = dict(os.environ)
        env.update({
            "DISPLAY": self.display,
            "WINEPREFIX": os.path.join(self.root, "prefix"),
            "WINEARCH": "win64",
            "WINEDEBUG": "-all",
            # No prompts to install .NET or a browser engine into the prefix.
            "WINEDLLOVERRIDES": "mscoree,mshtml=",
        })
        self.env = env
        started = time.monotonic()
        self.run(["wineboot", "-i"], 240, "making the Wine prefix")
        for key, name, value in (("HKCU\\Software\\Wine\\Explorer", "Desktop", "Default"),
                                 ("HKCU\\Software\\Wine\\Explorer\\Desktops", "Default", "1024x768")):
            self.run(["wine", "reg", "add", key, "/v", name, "/d", value, "/f"], 60, f"setting {key}")
        # A new wineserver reads the virtual desktop setting.
        self.stop_wineserver()
        log(f"Wine prefix ready in {time.monotonic() - started:.1f} s")

    def run(self, command, timeout, what, cwd=None):
        try:
            result = subprocess.run(command, env=self.env, cwd=cwd, timeout=timeout,
                                    stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        except subprocess.TimeoutExpired:
            raise CheckFailed(f"{what}: no result within {timeout} s")
        if result.returncode != 0:
            sys.stdout.write(result.stdout.decode(errors="replace"))
            raise ExitCode(what, result.returncode)
        return result.stdout.decode(errors="replace")

    def stop_wineserver(self):
        if self.env is None:
            return
        for args in (["-k"], ["-w"]):
            try:
                subprocess.run(["wineserver"] + args, env=self.env, timeout=30,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            except subprocess.TimeoutExpired:
                log(f"wineserver {args[0]} did not finish within 30 s")

    def close(self):
        self.stop_wineserver()
        if self.xvfb is not None and self.xvfb.poll() is None:
            self.xvfb.terminate()
            try:
                self.xvfb.wait(10)
            except subprocess.TimeoutExpired:
                self.xvfb.kill()
                self.xvfb.wait(10)


# --- The checks --------------------------------------------------------------

def hash_lines(text):
    """The lines that must agree between builds: the frame, combined and
    converted hashes and the fade comparison, not the control word reports."""
    return [line.strip() for line in text.splitlines()
            if line.startswith(("frame ", "combined ", "converted ", "fade ", "renderer "))]


def check_framehash(session, exe, expected, run_dir, frames, crash_retries):
    for attempt in range(1 + crash_retries):
        started = time.monotonic()
        try:
            output = session.run(["wine", exe, str(frames)], 300, exe, cwd=run_dir)
            break
        except ExitCode as e:
            if e.code not in WINE_CRASH_CODES or attempt == crash_retries:
                raise
            log(f"{exe}: exit code {e.code}, Wine's known crash after a clean exit; again")
            session.stop_wineserver()
    log(f"{exe}: ran in {time.monotonic() - started:.1f} s")
    for line in output.splitlines():
        if line.startswith("x87 ") or line.startswith("combined "):
            log(f"  {line.strip()}")
    got = hash_lines(output)
    if got != expected:
        diff = next((i for i, (a, b) in enumerate(zip(got, expected)) if a != b), min(len(got), len(expected)))
        raise CheckFailed(
            f"{exe}: frame hashes differ from the Linux build's at line {diff}:\n"
            f"  windows: {got[diff] if diff < len(got) else '(missing)'}\n"
            f"  linux:   {expected[diff] if diff < len(expected) else '(missing)'}")


def find_window(session, proc, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if proc.poll() is not None:
            raise CheckFailed(f"the program exited with code {proc.returncode} before its window appeared")
        r = subprocess.run(["xdotool", "search", "--name", "^test$"], env=session.env,
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=10)
        if r.returncode == 0 and r.stdout.strip():
            return r.stdout.split()[0].decode()
        time.sleep(0.2)
    raise CheckFailed(f"no window named 'test' within {timeout} s")


def screenshot(session, path):
    """(width, height, rows) of the X screen, or None when xwd could not
    take it: while the program switches the display mode, the X server may
    refuse to read the screen (BadMatch), so the caller tries again."""
    with open(path, "wb") as f:
        r = subprocess.run(["xwd", "-root", "-silent"], env=session.env, stdout=f,
                           stderr=subprocess.PIPE, timeout=20)
    if r.returncode != 0:
        reason = (r.stderr.decode(errors="replace").strip().splitlines() or ["no message"])[0]
        log(f"  xwd failed ({reason}); again")
        return None
    with open(path, "rb") as f:
        return read_xwd(f.read(), WIDTH, HEIGHT)


def picture_problem(width, height, rows, pictures):
    """None when the top left 320x200 of the screen is a flyover picture,
    otherwise what is wrong with it."""
    if width < WIDTH or height < HEIGHT:
        return f"the screen is only {width}x{height}"
    for y in range(HEIGHT // 2):
        for x in range(WIDTH):
            if rows[y][x] != GREY:
                return f"upper half: pixel ({x},{y}) is {rows[y][x]:06X}, not the background {GREY:06X}"
    terrain = sum(1 for y in range(HEIGHT // 2, HEIGHT) for x in range(WIDTH) if rows[y][x] != GREY)
    if terrain < WIDTH * HEIGHT // 4:
        return f"lower half: only {terrain} of {WIDTH * HEIGHT // 2} pixels differ from the background"
    if pictures is not None:
        h = fnv1a_picture(rows)
        if h not in pictures:
            return f"the picture (hash {h:016x}) is none of the {len(pictures)} the renderer draws"
    return None


def check_flyover(session, exe, run_dir, keys, pictures, crash_retries):
    attempts = 1 + crash_retries
    for attempt in range(1, attempts + 1):
        code = run_flyover_once(session, exe, run_dir, keys, pictures)
        if code == 0:
            return
        if code in WINE_CRASH_CODES and attempt < attempts:
            log(f"  exit code {code} after {keys}: Wine's known crash after a clean exit; again ({attempt}/{attempts})")
            session.stop_wineserver()
            continue
        raise CheckFailed(f"{exe}: exit code {code} after {keys}, expected 0")


def run_flyover_once(session, exe, run_dir, keys, pictures):
    started = time.monotonic()
    out = open(os.path.join(session.root, "flyover.log"), "ab")
    proc = subprocess.Popen(["wine", exe], cwd=run_dir, env=session.env, stdout=out,
                            stderr=subprocess.STDOUT, start_new_session=True)
    try:
        window = find_window(session, proc, 30)
        problem = "no screenshot taken"
        deadline = time.monotonic() + 15
        shots = 0
        # The first frames may not be on the screen yet, and a screenshot can
        # catch a flip half done: look again until one is right.
        while time.monotonic() < deadline:
            if proc.poll() is not None:
                raise CheckFailed(f"{exe} exited with code {proc.returncode} while running")
            shots += 1
            shot = screenshot(session, os.path.join(session.root, "screen.xwd"))
            if shot is not None:
                width, height, rows = shot
                session.last_screen = rows
                problem = picture_problem(width, height, rows, pictures)
                if problem is None:
                    break
            time.sleep(0.3)
        if problem is not None:
            raise CheckFailed(f"{exe}: screenshot after {shots} tries: {problem}")
        log(f"  picture correct on screenshot {shots} ({time.monotonic() - started:.1f} s after start)")
        if proc.poll() is not None:
            raise CheckFailed(f"{exe} exited with code {proc.returncode} before {keys} was sent")
        subprocess.run(["xdotool", "windowfocus", "--sync", window, "key", keys],
                       env=session.env, timeout=20, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            code = proc.wait(20)
        except subprocess.TimeoutExpired:
            raise CheckFailed(f"{exe} still running 20 s after {keys}")
        log(f"  {keys}: exit code {code}, {time.monotonic() - started:.1f} s in all")
        return code
    except subprocess.TimeoutExpired as e:
        raise CheckFailed(f"{' '.join(e.cmd)}: no result within {e.timeout} s")
    finally:
        if proc.poll() is None:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait(10)
        out.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--flyover", action="append", default=[], help="flyover.exe to run (repeatable)")
    parser.add_argument("--framehash", action="append", default=[], help="framehash.exe to run (repeatable)")
    parser.add_argument("--linux-framehash", help="the Linux framehash whose output is the reference")
    parser.add_argument("--frames", type=int, default=120, help="frames to hash (default 120)")
    parser.add_argument("--crash-retries", type=int, default=2,
                        help=f"runs of a 32-bit program to repeat when Wine ends it with {WINE_CRASH_CODES}"
                             " (default 2; 64-bit programs get none)")
    parser.add_argument("--keep", help="folder for the last screenshot (PPM) and the logs when a check fails")
    parser.add_argument("--time-limit", type=int, default=900, help="seconds for the whole run")
    args = parser.parse_args()
    if args.framehash and not args.linux_framehash:
        parser.error("--framehash needs --linux-framehash")

    def out_of_time(_signum, _frame):
        raise CheckFailed(f"the whole run took more than {args.time_limit} s")

    def terminated(signum, _frame):
        raise CheckFailed(f"stopped by signal {signum}")

    signal.signal(signal.SIGALRM, out_of_time)
    signal.signal(signal.SIGTERM, terminated)
    signal.signal(signal.SIGHUP, terminated)
    signal.alarm(args.time_limit)

    root = tempfile.mkdtemp(prefix="flyover-wine-")
    session = Session(root)
    started = time.monotonic()
    try:
        run_dir = os.path.join(root, "run")
        os.mkdir(run_dir)
        make_maps(run_dir)
        programs = [os.path.abspath(p) for p in args.flyover + args.framehash]
        for p in programs:
            if not os.path.isfile(p):
                raise CheckFailed(f"{p}: no such file")

        pictures = None
        expected = None
        if args.linux_framehash:
            linux = subprocess.run([os.path.abspath(args.linux_framehash), str(args.frames)], cwd=run_dir,
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=300)
            text = linux.stdout.decode(errors="replace")
            if linux.returncode != 0:
                sys.stdout.write(text)
                raise CheckFailed(f"the Linux framehash failed with exit code {linux.returncode}")
            expected = hash_lines(text)
            for line in text.splitlines():
                if line.startswith(("x87 ", "combined ")):
                    log(f"linux: {line}")
            pictures_run = subprocess.run([os.path.abspath(args.linux_framehash), "--pictures"], cwd=run_dir,
                                          stdout=subprocess.PIPE, timeout=300, check=True)
            pictures = {int(line.split()[1], 16) for line in pictures_run.stdout.decode().splitlines()
                        if line.startswith("picture ")}

        session.start_x()
        session.make_prefix()
        def retries(exe):
            return args.crash_retries if is_32bit_windows_program(exe) else 0

        for exe in args.framehash:
            exe = os.path.abspath(exe)
            check_framehash(session, exe, expected, run_dir, args.frames, retries(exe))
        for exe in args.flyover:
            exe = os.path.abspath(exe)
            log(f"{exe}")
            for keys in ("Escape", "alt+F4"):
                check_flyover(session, exe, run_dir, keys, pictures, retries(exe))
        log(f"all checks passed in {time.monotonic() - started:.1f} s")
        return 0
    except (CheckFailed, subprocess.CalledProcessError, subprocess.TimeoutExpired, OSError) as e:
        log(f"FAILED: {e}")
        if args.keep:
            os.makedirs(args.keep, exist_ok=True)
            if session.last_screen:
                write_ppm(os.path.join(args.keep, "screen.ppm"), session.last_screen)
            for name in ("flyover.log", "xvfb.log"):
                if os.path.exists(os.path.join(root, name)):
                    shutil.copy(os.path.join(root, name), args.keep)
            log(f"last screenshot and logs kept in {args.keep}")
        for name in ("flyover.log", "xvfb.log"):
            path = os.path.join(root, name)
            if os.path.exists(path) and os.path.getsize(path):
                log(f"--- {name}")
                with open(path, errors="replace") as f:
                    sys.stdout.write(f.read()[-4000:])
        return 1
    finally:
        signal.alarm(0)
        session.close()
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
