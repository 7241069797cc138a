#!/usr/bin/env python3
"""Times the built vantrex-filter as the print system runs it, in one run.

A full 9920 x 14645 photo-like page (smooth gradients, fine noise) is screened
with all six methods, once as an uncompressed raster read from a file and once
as a compressed raster through a pipe (cat page.ras | vantrex-filter ...);
each time is set against the floor, a plain libcups read of the same input
the same way (vantrex-rasterinfo). A job of 200 pages of 600 x 400 is timed
for the simple road, two AM screens and error diffusion, as ratios to the
simple road. netpbm's pamditherbw, where installed, screens the same page
from a PGM. Peak memory is the largest resident size of the filter process
(wait4). Every case runs once per round, --runs rounds, so that the machine's
load falls on all alike; every time is the median of its rounds, every figure
is printed as a ratio, and each goal of the speed work is marked met or
missed.

Usage: bench/bench-page.py BUILD_DIR [--runs N] [--no-netpbm] [--height H]
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

WIDTH, HEIGHT = 9920, 14645
METHODS = [
    ("threshold", "TKScreeningNone", None),
    ("rough", "TKScreeningRough", None),
    ("fine", "TKScreeningFine", None),
    ("solid", "TKScreeningSolid", None),
    ("AM 150/30", "TKScreeningFrequencyAngle", (150, 30)),
    ("error diffusion", "TKScreeningErrorDiffusion", None),
]
JOB_METHODS = [
    ("threshold", "TKScreeningNone", None),
    ("AM 150/30", "TKScreeningFrequencyAngle", (150, 30)),
    ("AM 38/37", "TKScreeningFrequencyAngle", (38, 37)),
    ("error diffusion", "TKScreeningErrorDiffusion", None),
]


def options(screening, screen):
    text = f"TKDotScreening={screening}"
    if screen:
        text += f" TKDotScreeningFrequency=+{screen[0]:03d} TKDotScreeningAngle=+{screen[1]:02d}"
    return text


def run_once(command, path, pipe):
    """Seconds and peak RSS (KiB) of `command` reading `path`, from a file or a pipe."""
    start = time.perf_counter()
    with open(path, "rb") as source:
        # The filter's PAGE: and INFO: lines are not wanted; its exit status
        # tells a failure.
        quiet = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}
        if pipe:
            cat = subprocess.Popen(["cat"], stdin=source, stdout=subprocess.PIPE)
            proc = subprocess.Popen(command, stdin=cat.stdout, **quiet)
            cat.stdout.close()
        else:
            cat = None
            proc = subprocess.Popen(command, stdin=source, **quiet)
        _, status, usage = os.wait4(proc.pid, 0)
        proc.returncode = os.waitstatus_to_exitcode(status)
        if cat:
            cat.wait()
    elapsed = time.perf_counter() - start
    if proc.returncode != 0:
        sys.exit(f"bench-page: {' '.join(command)} exited with {proc.returncode}")
    return elapsed, usage.ru_maxrss


class Figure:
    def __init__(self, seconds, rss_kib):
        self.seconds, self.rss_kib = seconds, rss_kib


def measure_all(cases, runs):
    """Runs every case once per round, `runs` rounds: a change of the machine's
    load during the run then falls on all cases alike. Median time, largest RSS."""
    results = {key: [] for key, *_ in cases}
    for _ in range(runs):
        for key, command, path, pipe in cases:
            results[key].append(run_once(command, path, pipe))
    return {key: Figure(statistics.median(r[0] for r in rs), max(r[1] for r in rs))
            for key, rs in results.items()}


def make_inputs(bin_dir, work, height, with_pgm):
    mk = os.path.join(bin_dir, "vantrex-mkraster")
    page = os.path.join(work, "page.ras")
    page_c = os.path.join(work, "page-c.ras")
    job = os.path.join(work, "job.ras")
    subprocess.run([mk, "-p", "-w", str(WIDTH), "-h", str(height), "-o", page], check=True)
    subprocess.run([mk, "-p", "-c", "-w", str(WIDTH), "-h", str(height), "-o", page_c], check=True)
    subprocess.run([mk, "-p", "-n", "200", "-w", "600", "-h", "400", "-o", job], check=True)
    pgm = None
    if with_pgm:
        pgm = os.path.join(work, "page.pgm")
        subprocess.run([mk, "-p", "-g", "-w", str(WIDTH), "-h", str(height), "-o", pgm], check=True)
    return page, page_c, job, pgm


def verdict(value, goal):
    return "met" if value <= goal else "MISSED"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--height", type=int, default=HEIGHT)
    parser.add_argument("--no-netpbm", action="store_true")
    args = parser.parse_args()
    bin_dir = os.path.join(args.build, "bin")
    filt = os.path.join(bin_dir, "vantrex-filter")
    floor_cmd = [os.path.join(bin_dir, "vantrex-rasterinfo")]
    netpbm = not args.no_netpbm and shutil.which("pamditherbw") is not None

    def filter_cmd(screening, screen):
        return [filt, "1", "bench", "page", "1", options(screening, screen)]

    work = tempfile.mkdtemp(prefix="vantrex-bench-")
    try:
        page, page_c, job, pgm = make_inputs(bin_dir, work, args.height, netpbm)
        print(f"{WIDTH} x {args.height} photo-like page, median of {args.runs} rounds; "
              "each round runs every case once")
        inputs = (("uncompressed raster from a file", page, False),
                  ("compressed raster through a pipe", page_c, True))
        cases = []
        for _, path, pipe in inputs:
            cases.append((("floor", pipe), floor_cmd, path, pipe))
            for name, screening, screen in METHODS:
                cases.append(((name, pipe), filter_cmd(screening, screen), path, pipe))
        if netpbm:
            cases.append((("pamditherbw", "-cluster8"), ["pamditherbw", "-cluster8"], pgm, False))
            cases.append((("pamditherbw", "-fs"), ["pamditherbw", "-fs"], pgm, False))
        cases.append((("job", "floor"), floor_cmd, job, False))
        for name, screening, screen in JOB_METHODS:
            cases.append((("job", name), filter_cmd(screening, screen), job, False))
        full = measure_all(cases, args.runs)
        peak = max(f.rss_kib for key, f in full.items() if key[0] != "pamditherbw")

        for label, _, pipe in inputs:
            floor = full[("floor", pipe)]
            print(f"\nFull page, {label}: floor (libcups read alone) {floor.seconds:.3f} s")
            print(f"  {'method':<16} {'seconds':>8} {'x floor':>8} {'peak RSS':>9}")
            for name, _, _ in METHODS:
                f = full[(name, pipe)]
                print(f"  {name:<16} {f.seconds:8.3f} {f.seconds / floor.seconds:8.2f} "
                      f"{f.rss_kib / 1024:6.1f} MiB")

        print("\nGoals on the full page:")
        fl = full[("floor", False)].seconds
        for name, goal in (("threshold", 1.5), ("rough", 1.5), ("fine", 1.5), ("solid", 1.5),
                           ("AM 150/30", 2.0), ("error diffusion", 3.0)):
            r = full[(name, False)].seconds / fl
            print(f"  file, {name:<16} {r:5.2f} x floor (goal <= {goal}): {verdict(r, goal)}")
        fp = full[("floor", True)].seconds
        for name, _, _ in METHODS:
            r = full[(name, True)].seconds / fp
            print(f"  pipe, {name:<16} {r:5.2f} x floor (goal <= 1.3): {verdict(r, 1.3)}")

        if netpbm:
            print("\nnetpbm on the same page, from a PGM (how many times faster the filter is):")
            for tool_opt, ours, goal in (("-cluster8", ["threshold", "rough", "fine", "solid", "AM 150/30"], 8),
                                         ("-fs", ["error diffusion"], 25)):
                f = full[("pamditherbw", tool_opt)]
                print(f"  pamditherbw {tool_opt}: {f.seconds / fl:.2f} x the file floor")
                for name in ours:
                    r = f.seconds / full[(name, False)].seconds
                    print(f"    {name:<16} {r:6.1f} x faster (goal >= {goal}): "
                          f"{'met' if r >= goal else 'MISSED'}")
        else:
            print("\nnetpbm (pamditherbw) not installed or not asked for: skipped")

        print("\nJob of 200 pages of 600 x 400 (uncompressed, from a file):")
        simple = full[("job", "threshold")]
        print(f"  threshold        {simple.seconds / full[('job', 'floor')].seconds:6.2f} x the read alone, "
              f"{simple.rss_kib / 1024:.1f} MiB")
        for name, _, _ in JOB_METHODS[1:]:
            f = full[("job", name)]
            r = f.seconds / simple.seconds
            print(f"  {name:<16} {r:6.2f} x the simple road (goal <= 3): {verdict(r, 3.0)}, "
                  f"{f.rss_kib / 1024:.1f} MiB")

        mib = peak / 1024
        print(f"\nPeak RSS of the filter over every run: {mib:.1f} MiB = {mib / 40:.2f} x the 40 MiB goal: "
              f"{verdict(mib, 40)}")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
