"""The capture driver when things go wrong, in a scratch directory with the
default maps:

    capture_failures.py FLYOVER MKMAPS starts [sdl]   displays that cannot
        open (with sdl: the sdl driver with no display server) and capture
        folders that do not exist
    capture_failures.py FLYOVER MKMAPS files    unwritable paths, map files as
        the path, names and suffixes, starts that fail, signals, a rename
        that fails, standard error closed, errors told once
    capture_failures.py FLYOVER MKMAPS streams  the descriptors the shell
        hands over (/dev/stdout, /dev/fd/N), open and closed
    capture_failures.py FLYOVER MKMAPS full     a full file system (a 1 MB tmpfs;
        exit code 77, skipped, where mounting one is not permitted)

Every failure must end with exit code 1 and one line saying so (after one
saying that the maps are missing, where they are), no user's
file may change unless a whole result replaces it, and a raw capture keeps
whole frames only. FLYOVER_EMULATOR, when set, is the command that runs the
programs (a cross build's, under qemu-user).
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import zlib

FRAME = 320 * 200 * 4  # the default xrgb8888 mode
EMULATOR = os.environ.get("FLYOVER_EMULATOR", "").split()


def environment(env):
    """The capture driver's environment with env's variables; None unsets one."""
    full = {**os.environ, "FLYOVER_DRIVER": "capture", **env}
    return {name: value for name, value in full.items() if value is not None}


def run(flyover, cwd, env, close_stderr=False, timeout=60):
    """Exit code and standard error of one capture run."""
    if close_stderr:
        return subprocess.run(EMULATOR + [flyover], cwd=cwd, env=environment(env), timeout=timeout,
                              preexec_fn=lambda: os.close(2)).returncode, ""
    done = subprocess.run(EMULATOR + [flyover], cwd=cwd, env=environment(env), timeout=timeout,
                          stderr=subprocess.PIPE, text=True)
    return done.returncode, done.stderr


def expect(condition, what):
    if not condition:
        raise AssertionError(what)


def fails(flyover, cwd, env, message):
    code, err = run(flyover, cwd, env)
    # One line per problem, the reason last: where there are no maps, one
    # line that names mkmaps says so first.
    lines = err.splitlines()
    told = ["mkmaps"] * (not os.path.exists(os.path.join(cwd, "texture.raw"))) + [message]
    expect(code == 1 and err.endswith("\n") and len(lines) == len(told)
           and all(what in line for what, line in zip(told, lines)),
           "%s: exit code %d, stderr %r; expected 1 and lines with %r" % (env, code, err, told))


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


def signalled(flyover, cwd, env, signo, stdout=None, stderr=subprocess.DEVNULL, meanwhile=None):
    """Runs a capture, sends signo after half a second (after calling
    meanwhile, when given); the exit code."""
    # Undone in the child: a background job of a shell ignores SIGINT.
    program = subprocess.Popen(EMULATOR + [flyover], cwd=cwd, env=environment(env), stdout=stdout, stderr=stderr,
                               preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
    time.sleep(0.5)
    if meanwhile:
        meanwhile()
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
    # ... and by name alone where no maps exist yet: the next run would fly over the frames.
    empty = os.path.join(scratch, "empty")
    os.mkdir(empty)
    for path, map_name in [("map.raw", "map.raw"), ("../empty/texture.raw", "texture.raw")]:
        fails(flyover, empty, {"FLYOVER_FRAMES": "2", "FLYOVER_CAPTURE": path}, "is the map file " + map_name)
    expect(not os.listdir(empty), "a refused map path left %s" % os.listdir(empty))
    os.rmdir(empty)

    # Refused at start, not after a flight that never ends (no FLYOVER_FRAMES): a folder, a path
    # ending in '/', a place where nothing can be created.
    os.mkdir(os.path.join(scratch, "folder.webp"))
    fails(flyover, scratch, {"FLYOVER_CAPTURE": "folder.webp"}, "cannot write folder.webp: Is a directory")
    fails(flyover, scratch, {"FLYOVER_CAPTURE": "out.webp/"}, "ends in '/'")
    fails(flyover, scratch, {"FLYOVER_CAPTURE": "/proc/out.png"}, "cannot write /proc/out.png")

    # Suffixes in any case, and a name as long as a name may be though the temporary one is longer.
    long_name = "L" * 245 + ".WEBP"
    for name, magic in [("UP.Png", b"\x89PNG"), (long_name, b"RIFF")]:
        code, err = run(flyover, scratch, {"FLYOVER_FRAMES": "2", "FLYOVER_CAPTURE": name})
        expect(code == 0 and read(os.path.join(scratch, name))[:4] == magic,
               "%s...: exit code %d, stderr %r, not the picture" % (name[:12], code, err))
        os.remove(os.path.join(scratch, name))

    # A link planted at the path is replaced, not written through.
    victim = os.path.join(scratch, "victim")
    with open(victim, "wb") as f:
        f.write(b"not yours")
    os.symlink(victim, os.path.join(scratch, "planted.raw"))
    code, _ = run(flyover, scratch, {"FLYOVER_FRAMES": "1", "FLYOVER_CAPTURE": "planted.raw"})
    expect(code == 0 and read(victim) == b"not yours" and os.path.getsize(os.path.join(scratch, "planted.raw")) == FRAME
           and not os.path.islink(os.path.join(scratch, "planted.raw")), "the capture wrote through a planted link")

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
    # The folder moved during the run: the result lands in it all the same. The target replaced
    # by a folder: the rename fails, and the line names the complete file kept.
    os.mkdir(os.path.join(scratch, "before"))
    code = signalled(flyover, scratch, {"FLYOVER_CAPTURE": "before/moved.webp"}, signal.SIGTERM,
                     meanwhile=lambda: os.rename(os.path.join(scratch, "before"), os.path.join(scratch, "after")))
    expect(code == 128 + signal.SIGTERM and webp_complete(read(os.path.join(scratch, "after", "moved.webp"))),
           "exit code %d; the capture did not follow its folder" % code)
    shutil.rmtree(os.path.join(scratch, "after"))
    with tempfile.TemporaryFile("w+") as err:
        code = signalled(flyover, scratch, {"FLYOVER_CAPTURE": "taken.webp"}, signal.SIGTERM, stderr=err,
                         meanwhile=lambda: os.makedirs(os.path.join(scratch, "taken.webp", "full")))
        err.seek(0)
        lines = err.read().splitlines()
    kept = lines[0].rpartition("the complete capture is kept in ")[2] if lines else ""
    expect(code == 128 + signal.SIGTERM and kept and webp_complete(read(os.path.join(scratch, kept))),
           "exit code %d, stderr %r: no complete capture named" % (code, lines))
    os.remove(os.path.join(scratch, kept))
    shutil.rmtree(os.path.join(scratch, "taken.webp"))
    # A reader that never reads: the signal still ends the program.
    code = signalled(flyover, scratch, {"FLYOVER_CAPTURE": "/dev/stdout"}, signal.SIGTERM, stdout=subprocess.PIPE)
    expect(code == 128 + signal.SIGTERM, "exit code %d after SIGTERM while writing to a full pipe" % code)

    leftovers = sorted(set(os.listdir(scratch)) - {"texture.raw", "map.raw", "link.raw", "keep.png", "keep.webp",
                                                    "keep.raw", "run.raw", "two.raw", "folder.webp", "victim",
                                                    "planted.raw"})
    expect(not leftovers, "files left behind: %s" % leftovers)


def full(flyover, scratch):
    mount = os.path.join(scratch, "small")
    os.mkdir(mount)
    if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m", "tmpfs", mount], stderr=subprocess.DEVNULL).returncode:
        print("skipped: mounting a tmpfs is not permitted here")
        sys.exit(77)
    try:
        # A capture that cannot be written leaves the old file as it was, and no other.
        for name in ("frames.raw", "last.png", "last.webp"):
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
            fails(flyover, scratch, {"FLYOVER_FRAMES": "3", "FLYOVER_CAPTURE": picture},
                  "cannot write %s: No space left on device" % picture)
            expect(read(picture) == b"old picture", "a failed capture changed the old " + name)
            expect(sorted(os.listdir(mount)) == ["filler", name], "left in the file system: %s" % os.listdir(mount))
            os.remove(picture)
    finally:
        subprocess.run(["umount", mount])


def told_once(flyover, scratch):
    """A bad setting, and a failure found only as the run ends, each give
    exit code 1 and one line, with nothing after it. Which values are bad is
    the settings' unit test's; this is the program's exit path."""
    code, err = run(flyover, scratch, {"FLYOVER_DEPTHS": "32,twenty"})
    line = "flyover: FLYOVER_DEPTHS=32,twenty is not a comma-separated list"
    expect(code == 1 and err.startswith(line) and err.count("\n") == 1,
           "FLYOVER_DEPTHS=32,twenty: exit code %d, stderr %r; expected 1 and one line" % (code, err))
    # A directory made where the picture goes, once the run is under way:
    # the finished picture cannot take its place.
    path = os.path.join(scratch, "late.png")
    program = subprocess.Popen(EMULATOR + [flyover], cwd=scratch,
                               env=environment({"FLYOVER_FRAMES": "5000", "FLYOVER_CAPTURE": path}),
                               stderr=subprocess.PIPE, text=True)
    while program.poll() is None and not any(name.startswith(".late.png.") for name in os.listdir(scratch)):
        time.sleep(0.001)
    os.mkdir(path)
    err = program.communicate(timeout=60)[1]
    expect(program.returncode == 1 and err.count("\n") == 1 and path in err,
           "a directory made at the picture's place: exit code %d, stderr %r" % (program.returncode, err))
    # The complete picture stays in its temporary file, which the line names.
    kept = [name for name in os.listdir(scratch) if name.startswith(".late.png.")]
    expect(len(kept) == 1 and kept[0] in err, "the complete picture was not kept and named: %r" % err)
    os.remove(os.path.join(scratch, kept[0]))
    os.rmdir(path)


def starts(flyover, scratch, sdl=None):
    fails(flyover, scratch, {"FLYOVER_FORMAT": "yuy2"}, "not an RGB format")
    fails(flyover, scratch, {"FLYOVER_DEPTHS": "8"}, "no 320x200 display mode")
    for path in ("/nonexistent/out.raw", "/nonexistent/out.webp"):
        fails(flyover, scratch, {"FLYOVER_CAPTURE": path}, "cannot write " + path)
    if sdl:
        fails(flyover, scratch, {"FLYOVER_DRIVER": "sdl", "DISPLAY": None, "WAYLAND_DISPLAY": None,
                                 "SDL_VIDEODRIVER": None}, "cannot reach a display server")


def streams(flyover, scratch):
    frames = {"FLYOVER_FRAMES": "2"}
    code, err = run(flyover, scratch, dict(frames, FLYOVER_CAPTURE="want.raw"))
    expect(code == 0, "a capture of 2 frames: exit code %d, stderr %r" % (code, err))
    want = read(os.path.join(scratch, "want.raw"))
    # Written where the shell put the descriptor, after what came before, with its append mode.
    out = os.path.join(scratch, "out")
    for path, redirect, fd in [("/dev/stdout", ">>", 1), ("/dev/fd/1", ">", 1), ("/dev/stderr", ">>", 2),
                               ("/dev/fd/3", ">", 3)]:
        with open(out, "wb") as f:
            f.write(b"old\n")
        script = '{ echo header >&%d; %s"$0"; echo trailer >&%d; } %d%s out' % (
            fd, " ".join(EMULATOR + [""]), fd, fd, redirect)
        code = subprocess.run(["bash", "-c", script, flyover], cwd=scratch,
                              env=environment(dict(frames, FLYOVER_CAPTURE=path))).returncode
        before = b"old\n" if redirect == ">>" else b""
        expect(code == 0 and read(out) == before + b"header\n" + want + b"trailer\n",
               "%s with %d%s: exit code %d, %d bytes, not what came before, the frames, then what came after" %
               (path, fd, redirect, code, os.path.getsize(out)))
    # Closed when the program started: nothing can be written there.
    for path, fd in [("/dev/stdout", 1), ("/dev/stderr", 2)]:
        done = subprocess.run(EMULATOR + [flyover], cwd=scratch, env=environment(dict(frames, FLYOVER_CAPTURE=path)),
                              stdout=subprocess.PIPE if fd == 2 else None, stderr=subprocess.PIPE if fd == 1 else None,
                              preexec_fn=lambda: os.close(fd), timeout=60)
        lines = (done.stderr or b"").decode().splitlines()
        expect(done.returncode == 1 and (fd == 2 or (lines and "was closed" in lines[0])),
               "%s closed: exit code %d, stderr %r" % (path, done.returncode, lines))
    fails(flyover, scratch, dict(frames, FLYOVER_CAPTURE="/dev/fd/7"), "descriptor 7 is not open")


def main():
    flyover, mkmaps, mode = sys.argv[1:4]
    with tempfile.TemporaryDirectory() as scratch:
        subprocess.run(EMULATOR + [mkmaps, scratch], check=True, stdout=subprocess.DEVNULL)
        checks = {"starts": (starts,), "files": (files, told_once), "streams": (streams,), "full": (full,)}[mode]
        for check in checks:
            check(flyover, scratch, *sys.argv[4:])
    print("ok: %s %s" % (flyover, mode))


if __name__ == "__main__":
    main()
