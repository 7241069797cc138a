#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Runs two vantrex-filter builds over the same random jobs and compares them.

    tools/compare-filters.py OLD_FILTER NEW_FILTER [--jobs N] [--seed S] [--keep DIR]

Each job is a CUPS raster written here (uncompressed or compressed, either
byte order, odd sizes, one to four pages, sometimes a page that is not RGB or
claims more than the printer takes, sometimes cut at a random byte) and a
random set of job options over all six screening methods. Both filters get
the same raster and options (OLD from the named file, NEW from it or, for
half the jobs, through a pipe on its standard input); their standard output, standard error and
exit status must agree byte for byte. The one difference allowed: a job on
the image road (AM screen, error diffusion) cut inside a page's lines, where
NEW may print that page with the lines that arrived after everything OLD
printed (same status, same messages). Prints a summary; exit status 1 when
any job differs otherwise (the job is kept in --keep DIR when given).
"""
import argparse
import os
import random
import struct
import subprocess
import sys
import tempfile

HEADER_BYTES = 1796
FIELDS = {  # offsets in the version 2 page header
    "HWResolution": 276, "cupsWidth": 372, "cupsHeight": 376, "cupsBitsPerColor": 384,
    "cupsBitsPerPixel": 388, "cupsBytesPerLine": 392, "cupsColorOrder": 396,
    "cupsColorSpace": 400, "cupsCompression": 404, "cupsNumColors": 420,
}
CSPACE_RGB, CSPACE_K, CSPACE_SRGB = 1, 3, 19
METHODS = ["TKScreeningNone", "TKScreeningRough", "TKScreeningFine",
           "TKScreeningFrequencyAngle", "TKScreeningErrorDiffusion", "TKScreeningSolid"]
IMAGE_ROAD = {"TKScreeningFrequencyAngle", "TKScreeningErrorDiffusion"}
ESC_INIT = b"\x1b\x7c\x40"
ESC_FF = b"\x1b\x7c\x0c"


def header(width, height, bits_per_pixel, space, big_endian, claim=None):
    h = bytearray(HEADER_BYTES)
    order = ">" if big_endian else "<"
    bpl = (width * bits_per_pixel + 7) // 8
    values = {"HWResolution": 600, "cupsWidth": width, "cupsHeight": height,
              "cupsBitsPerColor": 8 if bits_per_pixel >= 8 else bits_per_pixel,
              "cupsBitsPerPixel": bits_per_pixel, "cupsBytesPerLine": bpl,
              "cupsColorOrder": 0, "cupsColorSpace": space,
              "cupsNumColors": 3 if bits_per_pixel == 24 else 1}
    if claim:
        values.update(claim)
    for name, value in values.items():
        struct.pack_into(order + "I", h, FIELDS[name], value & 0xFFFFFFFF)
    struct.pack_into(order + "I", h, FIELDS["HWResolution"] + 4, 600)
    return bytes(h)


def compress_line(line, bpp, rng):
    """One line in the raster's run-length code: runs of one pixel repeated,
    and runs of literal pixels."""
    out = bytearray()
    pixels = [line[i:i + bpp] for i in range(0, len(line), bpp)]
    i = 0
    while i < len(pixels):
        run = 1
        while i + run < len(pixels) and run < 128 and pixels[i + run] == pixels[i]:
            run += 1
        if run > 1 or rng.random() < 0.3:
            out.append(run - 1)
            out += pixels[i]
            i += run
            continue
        count = min(len(pixels) - i, rng.randint(1, 128))
        out.append(257 - count if count > 1 else 0)
        for p in pixels[i:i + count]:
            out += p
        i += count
    return bytes(out)


SHIFT = [bytes((i + k) & 255 for i in range(256)) for k in range(256)]


def page_lines(width, height, bpp, rng):
    style = rng.choice(["noise", "ramp", "flat", "stripes"])
    base = rng.randrange(256)
    ramp = bytes((x * 7 + c * 40) & 255 for x in range(width) for c in range(bpp))
    stripes = [bytes((255 if (x // 3 + odd) % 2 else base) for x in range(width) for _ in range(bpp))
               for odd in (0, 1)]
    lines = []
    for y in range(height):
        if lines and rng.random() < 0.2:
            line = lines[-1]
        elif style == "noise":
            line = rng.randbytes(width * bpp)
        elif style == "ramp":
            line = ramp.translate(SHIFT[(y * 3 + base) & 255])
        elif style == "flat":
            line = bytes([base]) * (width * bpp)
        else:
            line = stripes[(y // 2) % 2]
        lines.append(line)
    return lines


def raster(rng):
    compressed = rng.random() < 0.5
    big = rng.random() < 0.3
    sync = {(False, False): b"3SaR", (False, True): b"RaS3",
            (True, False): b"2SaR", (True, True): b"RaS2"}[(compressed, big)]
    data = bytearray(sync)
    pages = rng.choice([1, 1, 2, 2, 3, 4])
    for _ in range(pages):
        width = rng.choice([rng.randint(1, 40), rng.randint(41, 700), rng.randint(2470, 2490)])
        height = rng.choice([rng.randint(1, 30), rng.randint(31, 300), rng.randint(840, 900)])
        if width * height > 400000:
            height = max(1, 400000 // width)
        bpp, space, claim = 3, rng.choice([CSPACE_RGB, CSPACE_SRGB]), None
        odd = rng.random()
        if odd < 0.04:
            bpp, space = 1, CSPACE_K
        elif odd < 0.07:
            claim = rng.choice([{"cupsWidth": 19841}, {"cupsHeight": 29291},
                                {"cupsWidth": 170000000, "cupsBytesPerLine": 510000000}])
        data += header(width, height, 8 * bpp, space, big, claim)
        lines = page_lines(width, height, bpp, rng)
        if not compressed:
            for line in lines:
                data += line
            continue
        y = 0
        while y < height:
            repeat = 1
            while y + repeat < height and repeat < 256 and lines[y + repeat] == lines[y]:
                repeat += 1
            data.append(repeat - 1)
            data += compress_line(lines[y], bpp, rng)
            y += repeat
    cut = rng.random() < 0.25
    if cut:
        data = data[:rng.randint(0, len(data))]
    return bytes(data), cut


def options(rng):
    method = rng.choice(METHODS + ["TKScreeningBogus"] if rng.random() < 0.05 else METHODS)
    opts = [f"TKDotScreening={method}"]
    if rng.random() < 0.8:
        opts.append(f"TKDotScreeningFrequency=+{rng.randint(38, 200):03d}")
        opts.append(f"TKDotScreeningAngle=+{rng.randint(0, 90):02d}")
    if rng.random() < 0.5:
        opts.append("TKMirror=" + rng.choice(["TKMirrorON", "TKMirrorOFF"]))
    if rng.random() < 0.5:
        d = rng.randint(-16, 16)
        opts.append(f"TKWriteDensity={'-' if d < 0 else '+'}{abs(d):02d}")
        opts.append(f"TKLineEnhance=TKEnhance{rng.choice(['None', 'Bold1', 'Bold2'])}")
        opts.append(f"TKLaneOverlap={rng.randint(-3, 3)} TKWriteSpeed={rng.randint(0, 3)}")
    return method, " ".join(opts)


def run(filter_path, raster_path, opts, pipe=False):
    """The filter on the named file, or on its standard input (a pipe) when
    `pipe`, as CUPS runs it after another filter."""
    args = [filter_path, "1", "u", "t", "1", opts]
    data = None
    if pipe:
        with open(raster_path, "rb") as f:
            data = f.read()
    else:
        args.append(raster_path)
    p = subprocess.run(args, input=data, capture_output=True, timeout=120,
                       env=dict(os.environ, PPD=""))
    return p.returncode, p.stdout, p.stderr


def kept_cut_page(old, new, method, cut):
    """NEW printed one more page than OLD, the page the input cut short, and
    reported it printed just before the same error."""
    if not cut or method not in IMAGE_ROAD or old[0] != new[0] or old[0] != 1:
        return False
    extra = new[1][len(old[1]):]
    if not new[1].startswith(old[1]) or not extra.endswith(ESC_FF):
        return False
    if not (extra[25:] if not old[1] else extra).startswith(ESC_INIT):
        return False
    error = old[2].rfind(b"ERROR: raster ended early: page ")
    if error < 0:
        return False
    page = old[2][error:].split(b" ")[5]
    printed = b"PAGE: %s 1\nINFO: Printed page %s\n" % (page, page)
    return new[2] == old[2][:error] + printed + old[2][error:]


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("old")
    ap.add_argument("new")
    ap.add_argument("--jobs", type=int, default=3000)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--keep")
    args = ap.parse_args()
    rng = random.Random(args.seed)
    same = kept = differ = 0
    by_method = {}
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "job.ras")
        for n in range(args.jobs):
            data, cut = raster(rng)
            method, opts = options(rng)
            with open(path, "wb") as f:
                f.write(data)
            old, new = run(args.old, path, opts), run(args.new, path, opts, rng.random() < 0.5)
            by_method[method] = by_method.get(method, 0) + 1
            if old == new:
                same += 1
            elif kept_cut_page(old, new, method, cut):
                kept += 1
            else:
                differ += 1
                print(f"job {n}: differs ({opts}; status {old[0]} / {new[0]}; "
                      f"{len(old[1])} / {len(new[1])} bytes)\n  old: {old[2]!r}\n  new: {new[2]!r}")
                if args.keep:
                    os.makedirs(args.keep, exist_ok=True)
                    with open(os.path.join(args.keep, f"job{n}.ras"), "wb") as f:
                        f.write(data)
                    with open(os.path.join(args.keep, f"job{n}.options"), "w") as f:
                        f.write(opts + "\n")
    print(f"{args.jobs} jobs (seed {args.seed}): {same} identical, {kept} image-road pages cut short "
          f"now printed, {differ} different")
    print("jobs per method: " + ", ".join(f"{m} {c}" for m, c in sorted(by_method.items())))
    return 1 if differ else 0


if __name__ == "__main__":
    sys.exit(main())
