# SPDX-License-Identifier: Apache-2.0
"""A long PDF with pictures for the chain benchmark, made with Ghostscript.

Letter pages of text, each with a photo-like picture (sky, sun, hills, a lit
sphere and fine grain, as a sampled RGB image that Ghostscript embeds and
scales at print time, as it does a photograph or a screenshot) and a grey
gradient bar. Four pictures take turns, each at a size of its own.
"""
import math
import random
import subprocess

PICTURE_W, PICTURE_H = 480, 320
WORDS = ("raster screen lane page dot line tone ink paper job header band error "
         "matrix angle frequency density speed repeat mirror overlap threshold").split()


def picture(seed):
    """Rows of hex RGB for one photo-like picture."""
    rng = random.Random(seed)
    sun_x, sun_y = rng.uniform(0.55, 0.9), rng.uniform(0.1, 0.35)
    ball_x, ball_y = rng.uniform(0.15, 0.4), rng.uniform(0.3, 0.5)
    ridge = [rng.uniform(0, 2 * math.pi) for _ in range(3)]
    rows = []
    for y in range(PICTURE_H):
        v = y / PICTURE_H
        row = bytearray()
        for x in range(PICTURE_W):
            u = x / PICTURE_W
            r, g, b = 0.95 - 0.75 * v, 0.85 - 0.45 * v, 0.70 + 0.05 * v
            sun = max(0.0, 1 - math.hypot(u - sun_x, v - sun_y) * 6)
            r, g, b = r + sun * 0.5, g + sun * 0.4, b + sun * 0.1
            hill = 0.62 + 0.06 * math.sin(u * 7 + ridge[0]) + 0.03 * math.sin(u * 19 + ridge[1])
            if v > hill:
                shade = (v - hill) * 2
                r, g, b = 0.45 - shade, 0.60 - shade, 0.40 - shade
            d = math.hypot(u - ball_x, (v - ball_y) * 1.5)
            if d < 0.15:
                light = 1 - math.hypot(u - ball_x + 0.05, v - ball_y + 0.05) * 5
                r = g = b = max(0.1, light)
            grain = rng.uniform(-0.04, 0.04)
            row += bytes(max(0, min(255, int((c + grain) * 255))) for c in (r, g, b))
        rows.append(row.hex())
    return rows


def postscript(pages):
    """The document as PostScript: a picture in a reusable stream, drawn on
    every page, and text around it."""
    out = ["%!PS-Adobe-3.0", f"%%Pages: {pages}", "%%EndComments",
           "/Times-Roman findfont 10 scalefont setfont"]
    for n in range(4):
        out.append(f"/pic{n} currentfile /ASCIIHexDecode filter /ReusableStreamDecode filter")
        out.extend(picture(n))
        out.append("> def")
    rng = random.Random(19)
    for page in range(1, pages + 1):
        n = page % 4
        width = 300 + 60 * n
        height = width * PICTURE_H // PICTURE_W
        out.append(f"%%Page: {page} {page}")
        out.append("<< /PageSize [612 792] >> setpagedevice")
        out.append(f"72 740 moveto /Helvetica-Bold findfont 16 scalefont setfont (Chapter {page}) show")
        out.append("/Times-Roman findfont 10 scalefont setfont")
        y = 715
        for _ in range(14):
            line = " ".join(rng.choice(WORDS) for _ in range(14))
            out.append(f"72 {y} moveto ({line}) show")
            y -= 13
        out.append("gsave")
        out.append(f"72 {y - height - 10} translate {width} {height} scale")
        out.append(f"pic{n} 0 setfileposition")
        out.append(f"{PICTURE_W} {PICTURE_H} 8 [{PICTURE_W} 0 0 -{PICTURE_H} 0 {PICTURE_H}] "
                   f"pic{n} false 3 colorimage")
        out.append("grestore")
        out.append(f"<< /ShadingType 2 /ColorSpace /DeviceGray /Coords [72 0 540 0] "
                   f"/Function << /FunctionType 2 /Domain [0 1] /C0 [1] /C1 [0] /N 1 >> >> "
                   f"gsave 72 60 468 30 rectclip shfill grestore")
        out.append("showpage")
    out.append("%%EOF")
    return "\n".join(out) + "\n"


def make(pdf, pages=40):
    """Writes the document to `pdf` (ps2pdf, from Ghostscript)."""
    ps = pdf + ".ps"
    with open(ps, "w") as f:
        f.write(postscript(pages))
    subprocess.run(["ps2pdf", ps, pdf], check=True)
