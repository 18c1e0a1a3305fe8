"""The capture driver when things go wrong, in a scratch directory with the
default maps:

    capture_failures.py FLYOVER MKMAPS files    unwritable paths, map files as
        the path, starts that fail, signals, standard error closed, errors
        told once
    capture_failures.py FLYOVER MKMAPS full     a full file system (a 1 MB tmpfs;
        exit code 77, skipped, where mounting one is not permitted)

Every failure must end with exit code 1 and one line saying so, no user's
file may change unless a whole result replaces it, and a raw capture keeps
whole frames only.
"""

import os
import signal
import subprocess
import sys
import tempfile
import time
import zlib

FRAME = 320 * 200 * 4  # the default xrgb8888 mode


def run(flyover, cwd, env, close_stderr=False, timeout=60):
    """Exit code and standard error of one capture run."""
    full = dict(os.environ, FLYOVER_DRIVER="capture", **env)
    if close_stderr:
        return subprocess.run([flyover], cwd=cwd, env=full, timeout=timeout,
                              preexec_fn=lambda: os.close(2)).returncode, ""
    done = subprocess.run([flyover], cwd=cwd, env=full, timeout=timeout, stderr=subprocess.PIPE, text=True)
    return done.returncode, done.stderr


def expect(condition, what):
    if not condition:
        raise AssertionError(what)


def fails(flyover, cwd, env, message):
    code, err = run(flyover, cwd, env)
    expect(code == 1 and message in err and err.count("\n") == 1 and err.endswith("\n"),
           "%s: exit code %d, stderr %r; expected 1 and one line with %r" % (env, code, err, message))


def read(path):
    with open(path, "rb") as f:
        return f.read()


def png_complete(data):
    """True when data is a whole 320x200 RGB picture."""
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[-8:-4] != b"IEND":
        return False
    idat, at = b"", 8
    while at < len(data):
        size = int.from_bytes(data[at:at + 4], "big")
        if data[at + 4:at + 8] == b"IDAT":
            idat += data[at + 8:at + 8 + size]
        at += 12 + size
    return len(zlib.decompress(idat)) == 200 * (1 + 320 * 3)


def webp_complete(data):
    """True when data is a whole animated WebP file: its RIFF length is its size."""
    return (data[:4] == b"RIFF" and data[8:12] == b"WEBP" and int.from_bytes(data[4:8], "little") + 8 == len(data)
            and b"ANMF" in data)


def signalled(flyover, cwd, env, signo, stdout=None):
    """Runs a capture, sends signo after half a second; the exit code."""
    full = dict(os.environ, FLYOVER_DRIVER="capture", **env)
    # Undone in the child: a background job of a shell ignores SIGINT.
    program = subprocess.Popen([flyover], cwd=cwd, env=full, stdout=stdout, stderr=subprocess.DEVNULL,
                               preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
    time.sleep(0.5)
    program.send_signal(signo)
    try:
        return program.wait(timeout=10)
    finally:
        if program.poll() is None:
            program.kill()
            program.wait()


def files(flyover, scratch):
    maps = {name: read(os.path.join(scratch, name)) for name in ("texture.raw", "map.raw")}

    # Paths that take no frames.
    fails(flyover, scratch, {"FLYOVER_FRAMES": "5", "FLYOVER_CAPTURE": "/dev/full"}, "cannot write /dev/full")
    fails(flyover, scratch, {"FLYOVER_FRAMES": "5", "FLYOVER_CAPTURE": "/proc/version"}, "cannot write /proc/version")

    # A map file as the path, by any name.
    os.symlink("map.raw", os.path.join(scratch, "link.raw"))
    for path, map_name in [("texture.raw", "texture.raw"), ("./map.raw", "map.raw"), ("link.raw", "map.raw"),
                           (os.path.join(scratch, "texture.raw"), "texture.raw")]:
        fails(flyover, scratch, {"FLYOVER_FRAMES": "2", "FLYOVER_CAPTURE": path}, "is the map file " + map_name)
    for name, data in maps.items():
        expect(read(os.path.join(scratch, name)) == data, name + " changed")

    # A start that fails presents no frame: existing files stay, no new one appears.
    old = b"the user's own file\n"
    for name in ("keep.png", "keep.webp", "keep.raw"):
        with open(os.path.join(scratch, name), "wb") as f:
            f.write(old)
        fails(flyover, scratch, {"FLYOVER_FORMAT": "rgb444", "FLYOVER_CAPTURE": name}, "pixel format")
        expect(read(os.path.join(scratch, name)) == old, name + " changed by a run that showed no frame")
    fails(flyover, scratch, {"FLYOVER_FORMAT": "rgb444", "FLYOVER_CAPTURE": "new.raw"}, "pixel format")
    expect(not os.path.exists(os.path.join(scratch, "new.raw")), "a run that showed no frame left new.raw")

    # Standard error closed: the error line must not land in the capture file.
    code, _ = run(flyover, scratch, {"FLYOVER_FORMAT": "rgb444", "FLYOVER_CAPTURE": "keep.raw"}, close_stderr=True)
    expect(code == 1, "exit code %d with standard error closed, expected 1" % code)
    expect(read(os.path.join(scratch, "keep.raw")) == old, "with standard error closed keep.raw changed")
    code, _ = run(flyover, scratch, {"FLYOVER_FRAMES": "2", "FLYOVER_CAPTURE": "two.raw"}, close_stderr=True)
    expect(code == 0 and os.path.getsize(os.path.join(scratch, "two.raw")) == 2 * FRAME,
           "with standard error closed a capture of 2 frames gave exit code %d and %d bytes" %
           (code, os.path.getsize(os.path.join(scratch, "two.raw"))))

    # Signals: whole frames only, the exit code a shell expects.
    for signo in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        code = signalled(flyover, scratch, {"FLYOVER_CAPTURE": "run.raw"}, signo)
        size = os.path.getsize(os.path.join(scratch, "run.raw"))
        expect(code == 128 + signo, "exit code %d after signal %d, expected %d" % (code, signo, 128 + signo))
        expect(size > 0 and size % FRAME == 0, "after signal %d the capture holds %.2f frames" % (signo, size / FRAME))
    code = signalled(flyover, scratch, {"FLYOVER_CAPTURE": "keep.png"}, signal.SIGTERM)
    expect(code == 128 + signal.SIGTERM, "exit code %d after SIGTERM to a .png capture" % code)
    expect(png_complete(read(os.path.join(scratch, "keep.png"))), "after SIGTERM keep.png is not a whole picture")
    code = signalled(flyover, scratch, {"FLYOVER_CAPTURE": "keep.webp"}, signal.SIGINT)
    expect(code == 128 + signal.SIGINT, "exit code %d after SIGINT to a .webp capture" % code)
    expect(webp_complete(read(os.path.join(scratch, "keep.webp"))), "after SIGINT keep.webp is not a whole animation")
    # A reader that never reads: the signal still ends the program.
    code = signalled(flyover, scratch, {"FLYOVER_CAPTURE": "/dev/stdout"}, signal.SIGTERM, stdout=subprocess.PIPE)
    expect(code == 128 + signal.SIGTERM, "exit code %d after SIGTERM while writing to a full pipe" % code)

    leftovers = sorted(set(os.listdir(scratch)) - {"texture.raw", "map.raw", "link.raw", "keep.png", "keep.webp",
                                                    "keep.raw", "run.raw", "two.raw"})
    expect(not leftovers, "files left behind: %s" % leftovers)


def full(flyover, scratch):
    mount = os.path.join(scratch, "small")
    os.mkdir(mount)
    if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m", "tmpfs", mount], stderr=subprocess.DEVNULL).returncode:
        print("skipped: mounting a tmpfs is not permitted here")
        sys.exit(77)
    try:
        # 100 frames do not fit: 4 whole ones do.
        raw = os.path.join(mount, "frames.raw")
        fails(flyover, scratch, {"FLYOVER_FRAMES": "100", "FLYOVER_CAPTURE": raw}, "No space left on device")
        size = os.path.getsize(raw)
        expect(size % FRAME == 0 and size > 0, "the full file system holds %.2f frames" % (size / FRAME))
        os.remove(raw)
        # A picture that cannot be written leaves the old one as it was.
        for name in ("last.png", "last.webp"):
            picture = os.path.join(mount, name)
            with open(picture, "wb") as f:
                f.write(b"old picture")
            filler = os.open(os.path.join(mount, "filler"), os.O_WRONLY | os.O_CREAT)
            try:
                while os.write(filler, b"\0" * 512):
                    pass
            except OSError:
                pass
            os.close(filler)
            fails(flyover, scratch, {"FLYOVER_FRAMES": "3", "FLYOVER_CAPTURE": picture}, "cannot write " + picture)
            expect(read(picture) == b"old picture", "a failed capture changed the old " + name)
            expect(sorted(os.listdir(mount)) == ["filler", name], "left in the file system: %s" % os.listdir(mount))
            os.remove(picture)
    finally:
        subprocess.run(["umount", mount])


def told_once(flyover, scratch):
    """A bad setting, and a failure found only as the run ends, each give
    exit code 1 and one line, with nothing after it."""
    for name, value, message in [("FLYOVER_FRAMES", "10abc", "is not a positive whole number"),
                                 ("FLYOVER_DRIVER", "vga", "is not a display driver"),
                                 ("FLYOVER_FORMAT", "rgb332", "is not a screen format"),
                                 ("FLYOVER_DEPTHS", "32,twenty", "is not a comma-separated list")]:
        env = dict(os.environ, FLYOVER_DRIVER="capture")
        env[name] = value
        done = subprocess.run([flyover], cwd=scratch, env=env, timeout=60, stderr=subprocess.PIPE, text=True)
        line = "flyover: %s=%s %s" % (name, value, message)
        expect(done.returncode == 1 and done.stderr.startswith(line) and done.stderr.count("\n") == 1,
               "%s=%s: exit code %d, stderr %r; expected 1 and one line" % (name, value, done.returncode, done.stderr))
    # A directory made where the picture goes, once the run is under way:
    # the finished picture cannot take its place.
    path = os.path.join(scratch, "late.png")
    full = dict(os.environ, FLYOVER_DRIVER="capture", FLYOVER_FRAMES="5000", FLYOVER_CAPTURE=path)
    program = subprocess.Popen([flyover], cwd=scratch, env=full, stderr=subprocess.PIPE, text=True)
    while program.poll() is None and not any(name.startswith(".late.png.") for name in os.listdir(scratch)):
        time.sleep(0.001)
    os.mkdir(path)
    err = program.communicate(timeout=60)[1]
    expect(program.returncode == 1 and err.count("\n") == 1 and "cannot write " + path in err,
           "a directory made at the picture's place: exit code %d, stderr %r" % (program.returncode, err))
    expect(os.listdir(path) == [] and not any(name.startswith(".late.png.") for name in os.listdir(scratch)),
           "the failed picture left files behind")
    os.rmdir(path)


def main():
    flyover, mkmaps, mode = sys.argv[1:4]
    with tempfile.TemporaryDirectory() as scratch:
        subprocess.run([mkmaps, scratch], check=True, stdout=subprocess.DEVNULL)
        for check in {"files": (files, told_once), "full": (full,)}[mode]:
            check(flyover, scratch)
    print("ok: %s %s" % (flyover, mode))


if __name__ == "__main__":
    main()
