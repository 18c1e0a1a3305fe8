#!/usr/bin/env python3
"""Runs the Windows build under Wine on a private X server and checks it.

One Xvfb (depth 24) and one fresh Wine prefix per run, the prefix with a
1024x768 virtual desktop in its registry: Xvfb has a single screen mode, so
without it every DirectDraw display mode would be refused. Each --framehash
program must print the Linux build's frame hashes (--linux-framehash). Both
kinds must refuse a FLYOVER_SIMD_MAX that names no level in one line. Each
--flyover program must show background grey above the horizon, terrain below
and one of the renderer's pictures, pixel for pixel, at the top left of the
screen, then end with exit code 0 on Escape and, started again, on Alt+F4.
Each --zip, a release zip, is unpacked into an empty folder named beyond
ASCII: its mkmaps.exe must write the Linux maps into a folder named so,
generated and from PNG and JPEG pictures of each kind that the decoders
read, one of each pair named so too, and its framehash.exe and flyover.exe
are checked as above, run from that folder, over the maps that came in the
zip. Every wait is bounded; wineserver, Xvfb and the temporary folder go
away on any exit.
"""

import argparse
import os
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import zipfile

GREY = 0xB4B4B4
WIDTH, HEIGHT = 320, 200
FRAMES = 120
TIME_LIMIT = 900
# Wine itself sometimes kills or crashes a 32-bit program after the program
# has shut down cleanly; such runs are repeated this often.
WINE_CRASH_CODES = (137, 139)
CRASH_RETRIES = 2
# A release zip: the programs beside the maps they fly over, and a README.
ZIP_FILES = ("flyover.exe", "mkmaps.exe", "framehash.exe", "texture.raw", "map.raw", "README.txt")
# Height and colour pictures from the picture fuzzer's seeds: 16-bit grey,
# interlaced colour, baseline and progressive JPEG, none of them square.
PICTURES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fuzz", "corpus", "picture")
MAPS_FROM = (("grey16.png", "progressive-colour.jpg"), ("interlaced-rgb.png", "baseline-colour.jpg"))


class CheckFailed(Exception):
    pass


def log(message):
    print(f"wine-check: {message}", flush=True)


def picture_problem(data, pictures):
    """Reads an X window dump of the depth-24 screen. Returns (rows, problem):
    the top left 320x200 as 0xRRGGBB pixels in rows[y][x], and None when they
    are a flyover picture, otherwise what is wrong with them."""
    if len(data) < 100:
        raise CheckFailed("screenshot: file too short for an XWD header")
    (header_size, version, pixmap_format, _depth, width, height, _xoffset, byte_order, _unit, _bit_order,
     _pad, bits_per_pixel, bytes_per_line, _class, *masks) = struct.unpack(">25I", data[:100])[:17]
    if (version, pixmap_format, masks) != (7, 2, [0xFF0000, 0xFF00, 0xFF]) or bits_per_pixel not in (24, 32):
        raise CheckFailed(f"screenshot: XWD version {version}, format {pixmap_format}, {bits_per_pixel} bits per"
                          f" pixel, masks {masks}; the X server must run at depth 24")
    offset = header_size + struct.unpack_from(">I", data, 76)[0] * 12
    if len(data) < offset + bytes_per_line * height:
        raise CheckFailed("screenshot: XWD image data is truncated")
    step, order = bits_per_pixel // 8, "little" if byte_order == 0 else "big"
    rows = [[int.from_bytes(data[i:i + step], order) & 0xFFFFFF
             for i in range(offset + y * bytes_per_line, offset + y * bytes_per_line + min(width, WIDTH) * step, step)]
            for y in range(min(height, HEIGHT))]
    if width < WIDTH or height < HEIGHT:
        return rows, f"the screen is only {width}x{height}"
    wrong = next(((x, y) for y in range(HEIGHT // 2) for x in range(WIDTH) if rows[y][x] != GREY), None)
    if wrong:
        return rows, f"upper half: pixel {wrong} is {rows[wrong[1]][wrong[0]]:06X}, not the background {GREY:06X}"
    terrain = sum(1 for row in rows[HEIGHT // 2:] for rgb in row if rgb != GREY)
    if terrain < WIDTH * HEIGHT // 4:
        return rows, f"lower half: only {terrain} of {WIDTH * HEIGHT // 2} pixels differ from the background"
    # 64-bit FNV-1a over the picture as canvas pixels without their top byte
    # (little-endian B, G, R, 0): what framehash prints for each picture.
    h = 0xCBF29CE484222325
    for byte in b"".join(rgb.to_bytes(4, "little") for row in rows for rgb in row):
        h = ((h ^ byte) * 0x100000001B3) & 0xFFFFFFFFFFFFFFFF
    if h not in pictures:
        return rows, f"the picture (hash {h:016x}) is none of the {len(pictures)} the renderer draws"
    return rows, None


def crash_retries(path):
    """CRASH_RETRIES for a PE image built for i386 (COFF machine 0x14c); 64-bit
    programs have shown no such crash, so any failure of theirs counts."""
    with open(path, "rb") as f:
        head = f.read(4096)
    pe = struct.unpack_from("<I", head, 0x3C)[0] if head[:2] == b"MZ" and len(head) >= 0x40 else 0
    if not pe or head[pe:pe + 4] != b"PE\0\0":
        raise CheckFailed(f"{path}: not a Windows program")
    return CRASH_RETRIES if struct.unpack_from("<H", head, pe + 4)[0] == 0x14C else 0


def hash_lines(text):
    """The lines that must agree between builds: the frame, combined and
    converted hashes and the fade comparison, not the control word reports."""
    return [line.strip() for line in text.splitlines()
            if line.startswith(("frame ", "combined ", "converted ", "fade ", "renderer "))]


def show_setup(prefix, text):
    """Logs the reports that tell where two builds part: x87 setup, the row
    converters' SIMD level and the combined hash."""
    for line in text.splitlines():
        if line.startswith(("x87 ", "simd ", "combined ")):
            log(prefix + line.strip())


class Session:
    """The private X server and Wine prefix; the test maps in the run folder."""

    def __init__(self, root):
        self.root, self.run_dir = root, os.path.join(root, "run")
        self.xvfb = self.env = self.last_screen = None

    def start(self):
        read_fd, write_fd = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=open(os.path.join(self.root, "xvfb.log"), "wb"))
        os.close(write_fd)
        deadline, number = time.monotonic() + 20, b""
        with os.fdopen(read_fd, "rb", buffering=0) as pipe:
            while select.select([pipe], [], [], max(0, deadline - time.monotonic()))[0]:
                chunk = pipe.read(64)
                number += chunk
                if not chunk or number.endswith(b"\n"):
                    break
        if not number.endswith(b"\n"):
            raise CheckFailed(f"Xvfb gave no display number in 20 s (exit code {self.xvfb.poll()}); see its log below")
        display = ":" + number.decode().strip()
        log(f"Xvfb on display {display}")
        self.env = dict(os.environ, DISPLAY=display, WINEPREFIX=os.path.join(self.root, "prefix"),
                        WINEARCH="win64", WINEDEBUG="-all",
                        # No prompts to install .NET or a browser engine into the prefix.
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        self.run(["wineboot", "-i"], 240, "making the Wine prefix")
        for key, name, value in (("HKCU\\Software\\Wine\\Explorer", "Desktop", "Default"),
                                 ("HKCU\\Software\\Wine\\Explorer\\Desktops", "Default", "1024x768")):
            self.run(["wine", "reg", "add", key, "/v", name, "/d", value, "/f"], 60, f"setting {key}")
        # A new wineserver reads the virtual desktop setting.
        self.stop_wineserver()
        log("Wine prefix ready")

    def run(self, command, timeout, what, env=True, ok=(0,), cwd=None):
        """(exit code, output) of command in cwd (default: the run folder); a code not in ok fails."""
        result = subprocess.run(command, env=self.env if env else None, cwd=cwd or self.run_dir, timeout=timeout,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        text = result.stdout.decode(errors="replace")
        if result.returncode not in ok:
            sys.stdout.write(text)
            raise CheckFailed(f"{what}: exit code {result.returncode}")
        return result.returncode, text

    def retrying(self, exe, what, attempt):
        """attempt()'s result once its exit code is 0, after Wine's crashes of 32-bit programs."""
        retries = crash_retries(exe)
        for n in range(retries + 1):
            code, result = attempt()
            if code == 0:
                return result
            if code not in WINE_CRASH_CODES or n == retries:
                raise CheckFailed(f"{exe}: exit code {code}{what}, expected 0")
            log(f"{exe}: exit code {code}{what}: Wine's known crash after a clean exit; again ({n + 1}/{retries + 1})")
            self.stop_wineserver()

    def stop_wineserver(self):
        for arg in ("-k", "-w"):
            try:
                subprocess.run(["wineserver", arg], env=self.env, timeout=30,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            except subprocess.TimeoutExpired:
                log(f"wineserver {arg} did not finish within 30 s")

    def close(self):
        if self.env is not None:
            self.stop_wineserver()
        if self.xvfb is not None:
            self.xvfb.terminate()
            try:
                self.xvfb.wait(10)
            except subprocess.TimeoutExpired:
                self.xvfb.kill()


def check_framehash(session, exe, expected, cwd=None):
    log(exe)
    output = session.retrying(exe, "", lambda: session.run(["wine", exe, str(FRAMES)], 300, exe,
                                                           ok=(0,) + WINE_CRASH_CODES, cwd=cwd))
    show_setup("  ", output)
    got = hash_lines(output)
    if got != expected:
        i = next((i for i, (a, b) in enumerate(zip(got, expected)) if a != b), min(len(got), len(expected)))
        raise CheckFailed(f"{exe}: frame hashes differ from the Linux build's at line {i}:\n"
                          f"  windows: {got[i] if i < len(got) else '(missing)'}\n"
                          f"  linux:   {expected[i] if i < len(expected) else '(missing)'}")


def check_refused_cap(session, exe, code):
    """exe with a SIMD cap that names no level: exit code code and one line
    saying so, in the program's name, before anything opens."""
    env = dict(session.env, FLYOVER_SIMD_MAX="avx9")
    for _ in range(crash_retries(exe) + 1):
        result = subprocess.run(["wine", exe], env=env, cwd=session.run_dir, timeout=60,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if result.returncode not in WINE_CRASH_CODES:
            break
    lines = result.stdout.decode(errors="replace").splitlines()
    name = os.path.splitext(os.path.basename(exe))[0]
    if result.returncode != code or len(lines) != 1 or \
            not lines[0].startswith(f"{name}: FLYOVER_SIMD_MAX=avx9 is not a SIMD level of this build"):
        raise CheckFailed(f"{exe} with FLYOVER_SIMD_MAX=avx9: exit code {result.returncode}, not {code}, and {lines}")
    log(f"  {lines[0]}")


def check_mkmaps(session, exe, folder, linux_mkmaps):
    """exe, run in folder, must write the Linux mkmaps' maps into a folder
    named in letters beyond ASCII, generated and from pictures, the height
    pictures named so too."""
    log(exe)
    runs = [[]]
    for height, colour in MAPS_FROM:
        shutil.copy(os.path.join(PICTURES, height), os.path.join(folder, "Höhen ß " + height))
        shutil.copy(os.path.join(PICTURES, colour), folder)
        runs.append(["--height", "Höhen ß " + height, "--colour", colour])
    for args in runs:
        linux, windows = os.path.join(session.root, "linux maps"), os.path.join(folder, "Karten ß")
        for made in (linux, windows):
            shutil.rmtree(made, ignore_errors=True)
            os.mkdir(made)
        session.run([linux_mkmaps] + args + [linux], 60, "the Linux mkmaps", env=False, cwd=folder)
        session.run(["wine", exe] + args + [os.path.basename(windows)], 60, f"{exe} {' '.join(args)}", cwd=folder)
        for name in ("texture.raw", "map.raw"):
            with open(os.path.join(linux, name), "rb") as a, open(os.path.join(windows, name), "rb") as b:
                if a.read() != b.read():
                    raise CheckFailed(f"{exe} {' '.join(args)}: its {name} in {windows} is not the Linux mkmaps' one")
    log(f"  the Linux maps, generated and from {len(MAPS_FROM)} pairs of PNG and JPEG pictures, in a folder and "
        "from files named beyond ASCII")


def run_flyover(session, exe, keys, pictures, cwd=None):
    """(exit code, None) of exe, started in cwd (default: the run folder),
    ended by keys once its picture is right."""
    def alive(when):
        if proc.poll() is not None:
            raise CheckFailed(f"{exe} exited with code {proc.returncode} {when}")

    started = time.monotonic()
    with open(os.path.join(session.root, "flyover.log"), "ab") as out:
        proc = subprocess.Popen(["wine", exe], cwd=cwd or session.run_dir, env=session.env, stdout=out,
                                stderr=subprocess.STDOUT, start_new_session=True)
    try:
        deadline, window = time.monotonic() + 30, b""
        while not window:
            alive("before its window appeared")
            if time.monotonic() > deadline:
                raise CheckFailed("no window named 'test' within 30 s")
            time.sleep(0.2)
            window = subprocess.run(["xdotool", "search", "--name", "^test$"], env=session.env, timeout=10,
                                    stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout.strip()
        # The first frames may not be on the screen yet, and a screenshot can
        # catch a flip half done: look again until one is right.
        deadline, shots, problem = time.monotonic() + 15, 0, "no screenshot taken"
        while problem and time.monotonic() < deadline:
            alive("while running")
            shots += 1
            shot = subprocess.run(["xwd", "-root", "-silent"], env=session.env, timeout=20,
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            if shot.returncode != 0:
                # During a display mode switch the X server may refuse to read the screen (BadMatch).
                reason = (shot.stderr.decode(errors="replace").strip().splitlines() or ["no message"])[0]
                log(f"  xwd failed ({reason}); again")
            else:
                session.last_screen, problem = picture_problem(shot.stdout, pictures)
            if problem:
                time.sleep(0.3)
        if problem:
            raise CheckFailed(f"{exe}: screenshot after {shots} tries: {problem}")
        log(f"  picture correct on screenshot {shots} ({time.monotonic() - started:.1f} s after start)")
        alive(f"before {keys} was sent")
        subprocess.run(["xdotool", "windowfocus", "--sync", window.split()[0], "key", keys], env=session.env,
                       timeout=20, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            code = proc.wait(20)
        except subprocess.TimeoutExpired:
            raise CheckFailed(f"{exe} still running 20 s after {keys}")
        log(f"  {keys}: exit code {code}, {time.monotonic() - started:.1f} s in all")
        return code, None
    finally:
        if proc.poll() is None:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait(10)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--flyover", action="append", default=[], help="flyover.exe to run (repeatable)")
    parser.add_argument("--framehash", action="append", default=[], help="framehash.exe to run (repeatable)")
    parser.add_argument("--zip", action="append", default=[],
                        help="release zip whose framehash.exe and flyover.exe to run, unpacked (repeatable)")
    parser.add_argument("--linux-framehash", required=True, help="the Linux framehash whose output is the reference")
    parser.add_argument("--mkmaps", required=True, help="the Linux map generator, for the maps every program flies over")
    parser.add_argument("--keep", help="folder for the last screenshot (PPM) and the logs when a check fails")
    args = parser.parse_args()

    def stop(signum, _frame):
        raise CheckFailed(f"no result within {TIME_LIMIT} s" if signum == signal.SIGALRM
                          else f"stopped by signal {signum}")

    for signum in (signal.SIGALRM, signal.SIGTERM, signal.SIGHUP):
        signal.signal(signum, stop)
    signal.alarm(TIME_LIMIT)
    started = time.monotonic()
    session = Session(tempfile.mkdtemp(prefix="flyover-wine-"))
    try:
        os.mkdir(session.run_dir)
        session.run([os.path.abspath(args.mkmaps), session.run_dir], 60, "mkmaps", env=False)
        linux = os.path.abspath(args.linux_framehash)
        text = session.run([linux, str(FRAMES)], 300, "the Linux framehash", env=False)[1]
        expected = hash_lines(text)
        show_setup("linux: ", text)
        pictures = {int(line.split()[1], 16) for line in
                    session.run([linux, "--pictures"], 300, "framehash --pictures", env=False)[1].splitlines()
                    if line.startswith("picture ")}

        session.start()
        for exe in map(os.path.abspath, args.framehash):
            check_framehash(session, exe, expected)
            check_refused_cap(session, exe, 2)
        for exe in map(os.path.abspath, args.flyover):
            log(exe)
            check_refused_cap(session, exe, 1)
            for keys in ("Escape", "alt+F4"):
                session.retrying(exe, f" after {keys}", lambda: run_flyover(session, exe, keys, pictures))
        for n, archive in enumerate(args.zip):
            # Unpacked where a user of another language would: a folder named
            # with a space and letters beyond ASCII.
            folder = os.path.join(session.root, f"Spiele {n} ß")
            os.mkdir(folder)
            with zipfile.ZipFile(archive) as z:
                z.extractall(folder)
            names = sorted(os.listdir(folder))
            if names != sorted(ZIP_FILES):
                raise CheckFailed(f"{archive} holds {' '.join(names)}, not {' '.join(sorted(ZIP_FILES))}")
            with open(os.path.join(folder, "README.txt"), "rb") as f:
                readme = f.read()
            if readme.count(b"\n") != readme.count(b"\r\n") or not readme.endswith(b"\r\n"):
                raise CheckFailed(f"{archive}: README.txt has lines not ended by CR LF")
            log(f"{archive}, unpacked: {' '.join(names)}")
            check_mkmaps(session, os.path.join(folder, "mkmaps.exe"), folder, os.path.abspath(args.mkmaps))
            check_framehash(session, os.path.join(folder, "framehash.exe"), expected, cwd=folder)
            check_refused_cap(session, os.path.join(folder, "framehash.exe"), 2)
            exe = os.path.join(folder, "flyover.exe")
            check_refused_cap(session, exe, 1)
            for keys in ("Escape", "alt+F4"):
                session.retrying(exe, f" after {keys}", lambda: run_flyover(session, exe, keys, pictures, cwd=folder))
        log(f"all checks passed in {time.monotonic() - started:.1f} s")
        return 0
    except (CheckFailed, subprocess.CalledProcessError, subprocess.TimeoutExpired, OSError) as e:
        log(f"FAILED: {e}")
        if args.keep:
            os.makedirs(args.keep, exist_ok=True)
            if session.last_screen:
                with open(os.path.join(args.keep, "screen.ppm"), "wb") as f:
                    f.write(b"P6 %d %d 255\n" % (len(session.last_screen[0]), len(session.last_screen)))
                    f.write(b"".join(rgb.to_bytes(3, "big") for row in session.last_screen for rgb in row))
            log(f"last screenshot and logs kept in {args.keep}")
        for name in ("flyover.log", "xvfb.log"):
            path = os.path.join(session.root, name)
            if os.path.exists(path) and args.keep:
                shutil.copy(path, args.keep)
            if os.path.exists(path) and os.path.getsize(path):
                log(f"--- {name}")
                with open(path, errors="replace") as f:
                    sys.stdout.write(f.read()[-4000:])
        return 1
    finally:
        signal.alarm(0)
        session.close()
        shutil.rmtree(session.root, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
