# SPDX-License-Identifier: Apache-2.0
"""Rounds of timed cases for the benchmark scripts, and whether their floors
held still.

A round runs every case once, so that a change of the machine's load falls
on all cases alike; the order of the cases turns by one each round, so no
case always runs first (after an idle moment) or right after the heaviest.
Warm-up rounds come first and are not counted: they bring the inputs into
the page cache and the processor up to speed.

A floor (the time every ratio of a case is taken against) is steady when its
slowest round is at most STEADY (a tenth) slower than its fastest. While a
floor moves, more rounds are run, up to a limit, and the figures are taken
from the last `runs` rounds once every floor held still over them; when none
did, the figures say so, and a goal gets a verdict only where it holds (or
fails) whichever of the floor's rounds it is taken against.
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

STEADY = 0.10


def spread(times):
    """How far the slowest time lies above the fastest, as a fraction."""
    return (max(times) - min(times)) / min(times)


class Rounds:
    """The results of every case over the rounds that count."""

    def __init__(self, results, floors, rounds_run, first):
        self.results = results  # key -> [(seconds, extra), ...] of the counted rounds
        self.floors = floors
        self.rounds_run = rounds_run  # counted and discarded, without warm-up
        self.first = first  # 1-based number of the first counted round
        self.load = (0.0, 0.0)  # the 1-minute load average before and after the rounds

    def times(self, key):
        return [r[0] for r in self.results[key]]

    def seconds(self, key):
        """The median time of the case."""
        return statistics.median(self.times(key))

    def extras(self, key):
        return [r[1] for r in self.results[key]]

    def steady(self, key):
        return spread(self.times(key)) <= STEADY

    def all_steady(self):
        return all(self.steady(key) for key in self.floors)

    def ratio(self, key, floor):
        return self.seconds(key) / self.seconds(floor)

    def round_ratios(self, key, floor):
        """The case over the floor round by round: (lowest, highest)."""
        ratios = [a / b for a, b in zip(self.times(key), self.times(floor))]
        return min(ratios), max(ratios)

    def describe(self):
        last = self.first + len(next(iter(self.results.values()))) - 1
        return (f"medians of rounds {self.first} to {last} of {self.rounds_run}; load average "
                f"(1 minute) {self.load[0]:.2f} before the rounds, {self.load[1]:.2f} after")

    def floor_line(self, key, label, width=34):
        """One line: the floor's fastest, median and slowest time and its spread."""
        t = self.times(key)
        state = "steady" if self.steady(key) else f"MOVED (more than {STEADY:.0%})"
        return (f"  {label:<{width}} {min(t):7.3f} {statistics.median(t):7.3f} {max(t):7.3f} s"
                f"   spread {spread(t):5.1%}  {state}")

    def verdict(self, value, goal, floor, at_least=False):
        """met / MISSED, or why no verdict can be given. `value` is a case's
        median over the floor's. When the floor moved, an upper bound still
        holds if the case meets it against the floor's fastest round, and is
        missed if the case misses it against the floor's slowest."""
        if self.steady(floor):
            ok = value >= goal if at_least else value <= goal
            return "met" if ok else "MISSED"
        t = self.times(floor)
        moved = f"its floor moved by {spread(t):.0%}"
        if not at_least:
            median = statistics.median(t)
            if value * median / min(t) <= goal:
                return f"met even against the floor's fastest round ({moved})"
            if value * median / max(t) > goal:
                return f"MISSED even against the floor's slowest round ({moved})"
        return f"no verdict: {moved}"


def work_dir(prefix):
    """A fresh folder for the inputs, in memory where the system offers one,
    so that reading them costs the same in every round: a file on disk is
    read from the page cache or from the disk, as the system's memory
    pressure decides between rounds."""
    memory = "/dev/shm"
    where = memory if os.path.isdir(memory) and os.access(memory, os.W_OK | os.X_OK) else None
    return tempfile.mkdtemp(prefix=prefix, dir=where)


def run_rounds(cases, run, floors, runs, max_runs, warmups=1, progress=None):
    """Runs `cases` ([(key, payload)]) with `run(payload) -> (seconds, extra)`:
    `warmups` rounds not counted, then rounds until the last `runs` of them
    hold every floor (keys of `floors`) steady, or `max_runs` rounds ran."""
    load = os.getloadavg()[0]
    for _ in range(warmups):
        for _, payload in cases:
            run(payload)
    history = {key: [] for key, _ in cases}
    done = 0
    while True:
        turn = done % len(cases)
        for key, payload in cases[turn:] + cases[:turn]:
            history[key].append(run(payload))
        done += 1
        if progress:
            progress(done)
        if done < runs:
            continue
        window = Rounds({k: v[-runs:] for k, v in history.items()}, floors, done, done - runs + 1)
        if window.all_steady() or done >= max_runs:
            window.load = (load, os.getloadavg()[0])
            return window


def run_command(command, path, pipe, stdout=subprocess.DEVNULL):
    """Seconds and peak RSS (KiB) of `command` reading `path`, from a file or,
    through `cat`, a pipe. Its messages are not wanted; its exit status
    tells a failure, which ends the benchmark."""
    start = time.perf_counter()
    with open(path, "rb") as source:
        quiet = {"stdout": stdout, "stderr": subprocess.DEVNULL}
        cat = None
        if pipe:
            cat = subprocess.Popen(["cat"], stdin=source, stdout=subprocess.PIPE)
            proc = subprocess.Popen(command, stdin=cat.stdout, **quiet)
            cat.stdout.close()
        else:
            proc = subprocess.Popen(command, stdin=source, **quiet)
        _, status, usage = os.wait4(proc.pid, 0)
        if cat:
            cat.wait()
    elapsed = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"{command[0]} exited with {os.waitstatus_to_exitcode(status)}: {' '.join(command)}")
    return elapsed, usage.ru_maxrss
