#!/usr/bin/env python3
"""Times what a user waits for: a long real PDF to the KT50 stream, in one run.

Three ways, each in rounds (a warm-up round first, then every case once a
round in an order that turns each round, medians of the rounds; see
benchrounds.py for when a floor counts as steady):

- the CUPS chain: `cupsfilter` with the built PPD and a private ServerBin
  that offers the built vantrex-filter beside the system's filters (as
  scripts/run-sample.sh does), PDF in, to the raster alone and to the KT50
  stream with the plain threshold and with error diffusion; each stream is
  set against the chain to the raster alone;
- the filter on the chain's raster through a pipe (saved once from the chain,
  then `cat doc.ras | ...`), against vantrex-rasterinfo on the same pipe;
- the printer application (a private server as the tests start it, a printer
  on a file device): PDF submitted to the stream's last byte (the stream
  file's modification time), against the CUPS chain to the stream.

Every job goes to one page size (--media, Letter by default), the size of
the default documents, since the printer application prints a PDF at its
own size. The default documents: gorm.app's manual (41 Letter pages; Debian's
copy holds text and line art only, which Ghostscript renders in pure black
and white; `scripts/install-deps.sh bench` installs it), and 40 Letter pages
of text, each with a photo-like picture, made here (picturedoc.py).

Usage: bench/bench-chain.py BUILD_DIR [--document PDF ...] [--media SIZE] [--runs N]
                            [--max-runs M] [--warmups W] [--no-app]
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import time

import picturedoc
from benchrounds import work_dir, run_command, run_rounds

DOCUMENT = "/usr/share/GNUstep/Documentation/Gorm.pdf"
METHODS = [("threshold", "TKScreeningNone", "threshold"),
           ("error diffusion", "TKScreeningErrorDiffusion", "error-diffusion")]
HERE = os.path.dirname(os.path.abspath(__file__))
APP_SERVER = os.path.join(HERE, "..", "scripts", "printer-app-server.sh")


def private_serverbin(work, filter_path):
    """A cups-files.conf whose ServerBin holds the system's programs and the
    built filter; its path."""
    system = subprocess.run(["cups-config", "--serverbin"], capture_output=True, text=True,
                            check=True).stdout.strip()
    bin_dir = os.path.join(work, "serverbin")
    os.makedirs(os.path.join(bin_dir, "filter"))
    for name in os.listdir(os.path.join(system, "filter")):
        os.symlink(os.path.join(system, "filter", name), os.path.join(bin_dir, "filter", name))
    os.symlink(os.path.abspath(filter_path), os.path.join(bin_dir, "filter", "vantrex-filter"))
    for name in ("backend", "cgi-bin", "daemon", "driver", "monitor", "notifier"):
        if os.path.exists(os.path.join(system, name)):
            os.symlink(os.path.join(system, name), os.path.join(bin_dir, name))
    conf = os.path.join(work, "cups-files.conf")
    with open(conf, "w") as f:
        f.write(f"ServerBin {bin_dir}\n")
    return conf


def timed(command, stdout=subprocess.DEVNULL):
    """Seconds from the start of `command` to its end; a failure ends the benchmark."""
    start = time.perf_counter()
    proc = subprocess.run(command, stdout=stdout, stderr=subprocess.DEVNULL)
    elapsed = time.perf_counter() - start
    if proc.returncode != 0:
        sys.exit(f"bench-chain: {' '.join(command)} exited with {proc.returncode}")
    return elapsed, None


class PrinterApp:
    """A private vantrex-printer-app with a printer KT50 whose stream lands in
    a file; prints a PDF and tells how long it took."""

    def __init__(self, app, work):
        self.app, self.dir = os.path.abspath(app), os.path.join(work, "app")
        os.makedirs(os.path.join(self.dir, "tmp"))
        os.chmod(work, 0o755)
        self.jobs = 0
        self.documents = {}

    def __enter__(self):
        subprocess.run([APP_SERVER, "start", self.app, self.dir], check=True,
                       stdout=subprocess.DEVNULL)
        return self

    def __exit__(self, *_):
        subprocess.run([APP_SERVER, "stop", self.dir], stdout=subprocess.DEVNULL)

    def job_end(self, job):
        """How job `job` ended (Completed, Aborted, Canceled), or None while it
        runs; the server's log may have been rotated to log.O meanwhile."""
        pattern = re.compile(rf"\[Job {job}\] (Completed|Aborted|Canceled)")
        for name in ("log", "log.O"):
            try:
                with open(os.path.join(self.dir, name), errors="replace") as log:
                    if found := pattern.search(log.read()):
                        return found.group(1)
            except FileNotFoundError:
                pass
        return None

    def readable_copy(self, document):
        """A copy of the document that the server's user (nobody, when run as
        root) may read."""
        if document not in self.documents:
            copy = os.path.join(self.dir, "tmp", f"document-{len(self.documents)}.pdf")
            shutil.copyfile(document, copy)
            os.chmod(copy, 0o644)
            self.documents[document] = copy
        return self.documents[document]

    def print_pdf(self, document, screening):
        """Seconds from the submission to the stream's last byte."""
        copy = self.readable_copy(document)
        self.jobs += 1
        title = f"bench-{self.jobs}"
        start = time.time_ns()
        submitted = subprocess.run([APP_SERVER, "run", self.app, self.dir, "submit", "-d", "KT50",
                                    "-t", title, "-o", f"kt50-dot-screening={screening}", copy],
                                   check=True, capture_output=True, text=True).stdout
        job = submitted.strip().rsplit("-", 1)[-1]  # "KT50-12"
        while (end := self.job_end(job)) is None:
            time.sleep(0.02)
        if end != "Completed":
            sys.exit(f"bench-chain: the printer application's job {title} ended {end}")
        stream = os.path.join(self.dir, "spool", "out", title + ".kt50")
        seconds = (os.stat(stream).st_mtime_ns - start) / 1e9
        os.remove(stream)
        return seconds, None


def raster_pages(rasterinfo, raster):
    """The saved raster's pages as (count, first page's description)."""
    lines = subprocess.run([rasterinfo, raster], capture_output=True, text=True,
                           check=True).stdout.splitlines()
    return len(lines) - 1, lines[0].split(": ", 1)[1]


def print_table(full, title, rows, floor, floor_label):
    print(f"\n{title}")
    print(f"  {'case':<38} {'seconds':>8} {'x ' + floor_label:>14} {'per round':>11}")
    for key, label in rows:
        line = f"  {label:<38} {full.seconds(key):8.3f}"
        if key != floor:
            low, high = full.round_ratios(key, floor)
            line += f" {full.ratio(key, floor):14.2f}   {low:4.2f}-{high:4.2f}"
        print(line)


def document_cases(bin_dir, chain, document, raster, server):
    """The cases of one document: the chain to the raster and to the stream,
    the filter and the floor on the saved raster, the printer application."""
    rasterinfo = [os.path.join(bin_dir, "vantrex-rasterinfo")]
    cases = [(("chain", "raster"), (timed, chain + ["-m", "application/vnd.cups-raster", document])),
             (("pipe", "floor"), (run_command, rasterinfo, raster, True))]
    for name, keyword, value in METHODS:
        option = f"TKDotScreening={keyword}"
        cases.append((("chain", name), (timed, chain + ["-e", "-m", "printer/kt50", "-o", option,
                                                        document])))
        cases.append((("pipe", name), (run_command, [os.path.join(bin_dir, "vantrex-filter"), "1",
                                                     "bench", "chain", "1", option], raster, True)))
        if server:
            cases.append((("app", name), (server.print_pdf, document, value)))
    return cases


def bench_document(args, bin_dir, work, chain, document, server):
    """Saves the chain's raster of `document`, runs its rounds and prints them."""
    raster = os.path.join(work, "document.ras")
    with open(raster, "wb") as out:
        timed(chain + ["-m", "application/vnd.cups-raster", document], stdout=out)
    pages, first = raster_pages(os.path.join(bin_dir, "vantrex-rasterinfo"), raster)
    raster_bytes = os.path.getsize(raster)
    floors = [("chain", "raster"), ("pipe", "floor")] + [("chain", m[0]) for m in METHODS]
    full = run_rounds(document_cases(bin_dir, chain, document, raster, server),
                      lambda c: c[0](*c[1:]), floors, args.runs, args.max_runs or 3 * args.runs,
                      args.warmups)
    os.remove(raster)
    print(f"\n=== {document}, media={args.media}: {pages} page(s), the first {first}; "
          f"{raster_bytes / 1e9:.2f} GB of raster from the chain")
    report(full, args, server is not None)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build")
    parser.add_argument("--document", action="append", help="a PDF to print (again for more); "
                        "default: gorm.app's manual, where installed, and a document with pictures")
    parser.add_argument("--media", default="Letter", help="page size of every job (a PPD size)")
    parser.add_argument("--runs", type=int, default=3, help="rounds the figures are taken from")
    parser.add_argument("--max-runs", type=int, help="rounds at most while a floor moves "
                        "(default three times --runs)")
    parser.add_argument("--warmups", type=int, default=1, help="rounds run first and not counted")
    parser.add_argument("--no-app", action="store_true", help="leave out the printer application")
    args = parser.parse_args()
    bin_dir = os.path.join(args.build, "bin")
    app = os.path.join(bin_dir, "vantrex-printer-app")
    with_app = not args.no_app and os.path.exists(app)

    work = work_dir("vantrex-chain-")
    try:
        documents = args.document
        if not documents:
            documents = [DOCUMENT] if os.path.isfile(DOCUMENT) else []
            documents.append(os.path.join(work, "pictures.pdf"))
            picturedoc.make(documents[-1])
        conf = private_serverbin(work, os.path.join(bin_dir, "vantrex-filter"))
        chain = ["cupsfilter", "-c", conf, "-p", os.path.join(args.build, "ppd", "vantrex-kt50.ppd"),
                 "-o", f"media={args.media}"]
        print("Every case once a round in an order that turns each round, after "
              f"{args.warmups} warm-up round(s); the floors' spread is slowest / fastest - 1")
        with (PrinterApp(app, work) if with_app else _NoApp()) as server:
            for document in documents:
                bench_document(args, bin_dir, work, chain, document, server if with_app else None)
    finally:
        shutil.rmtree(work, ignore_errors=True)


class _NoApp:
    def __enter__(self):
        return self

    def __exit__(self, *_):
        pass


def report(full, args, with_app):
    print(full.describe())
    print("\nFloors over those rounds (fastest, median, slowest, spread):")
    print(full.floor_line(("chain", "raster"), "chain to the raster alone", 38))
    print(full.floor_line(("pipe", "floor"), "raster on a pipe, rasterinfo", 38))
    for name, _, _ in METHODS:
        print(full.floor_line(("chain", name), f"chain to the stream, {name}", 38))

    print_table(full, "The CUPS chain (cupsfilter, our PPD, PDF in):",
                [(("chain", "raster"), "to the raster alone")] +
                [(("chain", m[0]), f"to the stream, {m[0]}") for m in METHODS],
                ("chain", "raster"), "raster alone")
    print_table(full, "The filter on the chain's raster through a pipe (cat document.ras | ...):",
                [(("pipe", "floor"), "vantrex-rasterinfo")] +
                [(("pipe", m[0]), f"vantrex-filter, {m[0]}") for m in METHODS],
                ("pipe", "floor"), "rasterinfo")
    if with_app:
        for name, _, _ in METHODS:
            print_table(full, f"The printer application, PDF submitted to the stream's last byte, "
                        f"{name}:", [(("chain", name), "CUPS chain to the stream"),
                                     (("app", name), "printer application")],
                        ("chain", name), "CUPS chain")
    else:
        print("\nThe printer application: not built or not asked for; skipped")

    print("\nGoals:")
    for name, _, _ in METHODS:
        r = full.ratio(("chain", name), ("chain", "raster"))
        print(f"  chain, {name:<16} {r:5.2f} x the chain to the raster alone (goal <= 1.3): "
              f"{full.verdict(r, 1.3, ('chain', 'raster'))}")
    r = full.ratio(("pipe", "threshold"), ("pipe", "floor"))
    print(f"  pipe, threshold        {r:5.2f} x vantrex-rasterinfo on the same pipe (goal <= 1.15): "
          f"{full.verdict(r, 1.15, ('pipe', 'floor'))}")
    if with_app:
        for name, _, _ in METHODS:
            r = full.ratio(("app", name), ("chain", name))
            print(f"  app, {name:<18} {r:5.2f} x the CUPS chain to the stream (goal <= 1): "
                  f"{full.verdict(r, 1.0, ('chain', name))}")


if __name__ == "__main__":
    main()
