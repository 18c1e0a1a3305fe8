#!/usr/bin/env python3
"""The NEON block routines' speed, as a model: cycles per 16 pixels that
llvm-mca reports for each routine's inner loop on a Cortex-A72 (out of
order) and a Cortex-A55 (in order), and the ratio to a plain copy loop of
the same 64 bytes (ldp/stp of q registers), modelled the same way.

There is no ARM hardware here and timings under qemu mean nothing, so this
is what the benchmarks print for 64-bit ARM. The NEON level's rows are
compiled from src/mmx_neon.cpp with the aarch64 cross compiler (-O2), each
row's block loop is cut out of the assembly and handed to llvm-mca, data
assumed in L1. The target is a ratio of at most 1.5 on the A72; a miss is
reported, not failed on. A missing or broken tool fails.

    python3 bench/neon_cost.py [--cxx aarch64-linux-gnu-g++] [--mca llvm-mca] [--compile-only]
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CORES = ("cortex-a72", "cortex-a55")
TARGET = 1.5  # on the A72

# The layouts with a NEON routine, as simd_routines names them (the 32-bit
# layout the canvas already has is the C library's copy).
LAYOUTS = ("xbgr8888", "rgb888", "bgr888", "rgb565", "bgr565", "rgb555", "bgr555")

# Each layout's row through the NEON level's own table, and the copy loop
# the rows are measured against; a block loop's iteration handles 16 pixels.
SOURCE = r"""
#include "mmx_neon.cpp"
extern "C" {
void cost_copy(uint8_t *d, const uint8_t *s, uint32_t n)
{
    for (; n >= 16; n -= 16, s += 64, d += 64) {
        const uint8x16_t a = vld1q_u8(s), b = vld1q_u8(s + 16), c = vld1q_u8(s + 32), e = vld1q_u8(s + 48);
        vst1q_u8(d, a);
        vst1q_u8(d + 16, b);
        vst1q_u8(d + 32, c);
        vst1q_u8(d + 48, e);
    }
}
%s
}
""" % "\n".join(f"void cost_{r}(const uint32_t *s, uint8_t *d, int32_t n) "
                 f"{{ simd_routines_neon.{r}(s, d, n); }}" for r in LAYOUTS)
ROUTINES = ("copy",) + LAYOUTS


def fail(message):
    sys.exit("neon_cost.py: " + message)


def loop_body(assembly, function):
    """The instructions of the function's one loop: from the label that the
    last backward branch jumps to, through that branch."""
    match = re.search(r"^%s:\n(.*?)^\t\.size\t%s," % (re.escape(function), re.escape(function)), assembly,
                      re.M | re.S)
    if not match:
        fail(f"{function} is not in the compiler's output")
    lines = match.group(1).splitlines()
    # A row through the table is a tail call of the level's row function.
    code = [l for l in lines if l.startswith("\t") and not l.startswith("\t.")]
    if len(code) == 1 and code[0].startswith("\tb\t"):
        return loop_body(assembly, code[0].split("\t")[2])
    labels = {}
    body = None
    for i, line in enumerate(lines):
        label = re.match(r"^(\.L\w+):", line)
        if label:
            labels[label.group(1)] = i
            continue
        branch = re.match(r"^\t(b\.\w+|bne|beq|bhi|bcs|bls|cbnz|cbz|tbnz|tbz)\t.*?(\.L\w+)$", line)
        if branch and branch.group(2) in labels:
            body = lines[labels[branch.group(2)] + 1 : i + 1]
    if body is None:
        fail(f"{function} has no loop in the compiler's output")
    instructions = [l for l in body if l.startswith("\t") and not l.startswith("\t.")]
    if not instructions:
        fail(f"{function}: empty loop body")
    return "\n".join(instructions) + "\n"


def cycles(mca, core, body, folder):
    """Cycles per iteration of body in the steady state on the core."""
    path = os.path.join(folder, "body.s")
    with open(path, "w") as f:
        f.write(body)
    iterations = 1000
    run = subprocess.run([mca, "-mtriple=aarch64-linux-gnu", f"-mcpu={core}", f"-iterations={iterations}", path],
                         capture_output=True, text=True)
    total = re.search(r"^Total Cycles:\s+(\d+)", run.stdout, re.M)
    if run.returncode != 0 or not total:
        fail(f"llvm-mca failed for {core}: {run.stderr.strip() or run.stdout[:400]}")
    return int(total.group(1)) / iterations


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--cxx", default="aarch64-linux-gnu-g++")
    parser.add_argument("--mca", default="llvm-mca")
    parser.add_argument("--compile-only", action="store_true",
                        help="compile the routines and find their loops, without the model (the test command's check)")
    args = parser.parse_args()

    with tempfile.TemporaryDirectory() as folder:
        source = os.path.join(folder, "cost.cpp")
        with open(source, "w") as f:
            f.write(SOURCE)
        assembly = os.path.join(folder, "cost.s")
        try:
            compiled = subprocess.run([args.cxx, "-std=c++17", "-O2", "-Wall", "-Wextra", "-Werror", "-S",
                                       "-DFLYOVER_SIMD_HAVE_NEON", "-I" + os.path.join(ROOT, "src"),
                                       "-I" + os.path.join(ROOT, "formats"), source, "-o", assembly],
                                      capture_output=True, text=True)
        except FileNotFoundError:
            fail(f"no {args.cxx} (scripts/deps.sh arm)")
        if compiled.returncode != 0:
            fail(f"{args.cxx} failed:\n{compiled.stderr}")
        with open(assembly) as f:
            text = f.read()
        if args.compile_only:
            for r in ROUTINES:
                loop_body(text, "cost_" + r)
            print(f"neon_cost.py: the {len(ROUTINES)} loops compile and are found")
            return
        try:
            table = {r: [cycles(args.mca, core, loop_body(text, "cost_" + r), folder) for core in CORES]
                     for r in ROUTINES}
        except FileNotFoundError:
            fail(f"no {args.mca} (scripts/deps.sh arm)")

    copy = table["copy"]
    print("NEON block routines, llvm-mca model, cycles per 16 pixels and ratio to the copy loop")
    print(f"{'routine':<12} {'A72 cycles':>10} {'ratio':>6} {'A55 cycles':>10} {'ratio':>6}")
    missed = []
    for r in ROUTINES:
        a72, a55 = table[r]
        print(f"{r:<12} {a72:>10.2f} {a72 / copy[0]:>6.2f} {a55:>10.2f} {a55 / copy[1]:>6.2f}")
        if a72 / copy[0] > TARGET:
            missed.append(r)
    if missed:
        print(f"above {TARGET} times the copy on the A72: {', '.join(missed)}")
    else:
        print(f"every routine within {TARGET} times the copy on the A72")


if __name__ == "__main__":
    main()
