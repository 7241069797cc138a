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
(wait4). After a warm-up round, every case runs once per round (in an order
that turns each round), so that the machine's load falls on all alike; every
time is the median of its rounds and every figure is printed as a ratio. The
floors' spread over the rounds is printed first: while a floor moves by more
than a tenth, more rounds are run (--max-runs), and a goal whose floor never
held still gets no verdict. Each goal of the speed work is marked met or
missed.

Usage: bench/bench-page.py BUILD_DIR [--runs N] [--max-runs M] [--warmups W]
                           [--no-netpbm] [--height H]
"""
import argparse
import os
import shutil
import subprocess

from benchrounds import work_dir, run_command, run_rounds

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


def add_round_options(parser, runs=3):
    parser.add_argument("--runs", type=int, default=runs, help="rounds the figures are taken from")
    parser.add_argument("--max-runs", type=int, help="rounds at most while a floor moves "
                        "(default three times --runs)")
    parser.add_argument("--warmups", type=int, default=1, help="rounds run first and not counted")


def print_goal(label, value, goal, verdict):
    print(f"  {label:<22} {value:5.2f} x floor (goal <= {goal}): {verdict}")


def print_results(full, netpbm, peak):
    """Every figure of the page benchmark, as ratios, with its goal's verdict."""
    for label, pipe in (("uncompressed raster from a file", False),
                        ("compressed raster through a pipe", True)):
        floor = ("floor", pipe)
        print(f"\nFull page, {label}: floor (libcups read alone) {full.seconds(floor):.3f} s")
        print(f"  {'method':<16} {'seconds':>8} {'x floor':>8} {'per round':>11} {'peak RSS':>9}")
        for name, _, _ in METHODS:
            low, high = full.round_ratios((name, pipe), floor)
            rss = max(full.extras((name, pipe)))
            print(f"  {name:<16} {full.seconds((name, pipe)):8.3f} "
                  f"{full.ratio((name, pipe), floor):8.2f} {low:5.2f}-{high:<5.2f} "
                  f"{rss / 1024:6.1f} MiB")

    print("\nGoals on the full page:")
    for name, goal in (("threshold", 1.5), ("rough", 1.5), ("fine", 1.5), ("solid", 1.5),
                       ("AM 150/30", 2.0), ("error diffusion", 3.0)):
        r = full.ratio((name, False), ("floor", False))
        print_goal(f"file, {name}", r, goal, full.verdict(r, goal, ("floor", False)))
    for name, _, _ in METHODS:
        r = full.ratio((name, True), ("floor", True))
        print_goal(f"pipe, {name}", r, 1.3, full.verdict(r, 1.3, ("floor", True)))

    if netpbm:
        print("\nnetpbm on the same page, from a PGM (how many times faster the filter is):")
        for tool_opt, ours, goal in (("-cluster8", ["threshold", "rough", "fine", "solid", "AM 150/30"], 8),
                                     ("-fs", ["error diffusion"], 25)):
            key = ("pamditherbw", tool_opt)
            print(f"  pamditherbw {tool_opt}: {full.ratio(key, ('floor', False)):.2f} x the file floor")
            for name in ours:
                r = full.ratio(key, (name, False))
                print(f"    {name:<16} {r:6.1f} x faster (goal >= {goal}): "
                      f"{full.verdict(r, goal, (name, False), at_least=True)}")
    else:
        print("\nnetpbm (pamditherbw) not installed or not asked for: skipped")

    print("\nJob of 200 pages of 600 x 400 (uncompressed, from a file):")
    simple = ("job", "threshold")
    print(f"  threshold        {full.ratio(simple, ('job', 'floor')):6.2f} x the read alone, "
          f"{max(full.extras(simple)) / 1024:.1f} MiB")
    for name, _, _ in JOB_METHODS[1:]:
        r = full.ratio(("job", name), simple)
        print(f"  {name:<16} {r:6.2f} x the simple road (goal <= 3): {full.verdict(r, 3.0, simple)}, "
              f"{max(full.extras(('job', name))) / 1024:.1f} MiB")

    mib = peak / 1024
    print(f"\nPeak RSS of the filter over every counted run: {mib:.1f} MiB = {mib / 40:.2f} x "
          f"the 40 MiB goal: {'met' if mib <= 40 else 'MISSED'}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build")
    add_round_options(parser)
    parser.add_argument("--height", type=int, default=HEIGHT)
    parser.add_argument("--no-netpbm", action="store_true")
    args = parser.parse_args()
    bin_dir = os.path.join(args.build, "bin")
    filt = os.path.join(bin_dir, "vantrex-filter")
    floor_cmd = [os.path.join(bin_dir, "vantrex-rasterinfo")]
    netpbm = not args.no_netpbm and shutil.which("pamditherbw") is not None

    def filter_cmd(screening, screen):
        return [filt, "1", "bench", "page", "1", options(screening, screen)]

    work = work_dir("vantrex-bench-")
    try:
        page, page_c, job, pgm = make_inputs(bin_dir, work, args.height, netpbm)
        cases = []
        for path, pipe in ((page, False), (page_c, True)):
            cases.append((("floor", pipe), (floor_cmd, path, pipe)))
            for name, screening, screen in METHODS:
                cases.append(((name, pipe), (filter_cmd(screening, screen), path, pipe)))
        if netpbm:
            for opt in ("-cluster8", "-fs"):
                cases.append((("pamditherbw", opt), (["pamditherbw", opt], pgm, False)))
        cases.append((("job", "floor"), (floor_cmd, job, False)))
        for name, screening, screen in JOB_METHODS:
            cases.append((("job", name), (filter_cmd(screening, screen), job, False)))
        floors = [("floor", False), ("floor", True), ("job", "floor"), ("job", "threshold")]
        if netpbm:
            floors += [(name, False) for name in ("threshold", "rough", "fine", "solid",
                                                  "AM 150/30", "error diffusion")]
        full = run_rounds(cases, lambda c: run_command(*c), floors, args.runs,
                          args.max_runs or 3 * args.runs, args.warmups)
        peak = max(max(full.extras(key)) for key, _ in cases if key[0] != "pamditherbw")

        print(f"{WIDTH} x {args.height} photo-like page; {args.warmups} warm-up round(s), then "
              f"every case once a round in turning order;\n{full.describe()}")
        print("\nFloors over those rounds (fastest, median, slowest; spread = slowest / fastest - 1):")
        for key, label in ((("floor", False), "page, file, libcups read alone"),
                           (("floor", True), "page, pipe, libcups read alone"),
                           (("job", "floor"), "200 pages, libcups read alone"),
                           (("job", "threshold"), "200 pages, threshold")):
            print(full.floor_line(key, label))
        print_results(full, netpbm, peak)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
