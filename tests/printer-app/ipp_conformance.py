#!/usr/bin/python3
"""Debian's IPP conformance files (cups-ipp-utils) against a private
vantrex-printer-app: ipp-everywhere.test with a JPEG and 8-bit gray PWG
raster samples made here with Ghostscript, ipp-2.0.test, print-job.test (JPEG
and PWG raster) and validate-job.test. Every test must pass or be skipped,
except for the checks that PAPPL 1.3.1 cannot meet, listed in ALLOWED.

Usage: ipp_conformance.py APP SERVER_SCRIPT"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

TESTS = "/usr/share/cups/ipptool"

# Checks PAPPL 1.3.1 cannot meet. A failed test is allowed only when every
# one of its errors matches one of these.
ALLOWED = {
    # Not answered before PAPPL 1.4.
    "overrides-supported": r"^EXPECTED: overrides-supported$",
}

SAMPLE_PS = """%!PS
/page { /n exch def
  0 1 49 { /i exch def i 50 div setgray 0 i 16 mul 600 16 rectfill } for
  0 setgray /Helvetica findfont 48 scalefont setfont 72 700 moveto (KT50 page ) show
  n 4 string cvs show showpage } def
"""

# The sgray-8 600 dpi samples ipp-everywhere.test prints when present.
PWG_SAMPLES = {
    "color.jpg-4x6": (["-dDEVICEWIDTHPOINTS=288", "-dDEVICEHEIGHTPOINTS=432"], 1),
    "gray.jpg-4x6": (["-dDEVICEWIDTHPOINTS=288", "-dDEVICEHEIGHTPOINTS=432"], 1),
    "document-a4": (["-sPAPERSIZE=a4"], 3),
    "document-letter": (["-sPAPERSIZE=letter"], 3),
    "onepage-a4": (["-sPAPERSIZE=a4"], 1),
    "onepage-letter": (["-sPAPERSIZE=letter"], 1),
}


def gs(args, pages, out, work):
    ps = os.path.join(work, "doc.ps")
    with open(ps, "w") as f:
        f.write(SAMPLE_PS + "".join(f"{i} page\n" for i in range(1, pages + 1)))
    subprocess.run(["gs", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-dFIXEDMEDIA"] + args +
                   ["-sOutputFile=" + out, ps], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


def placeholders(work, test):
    """Empty files for every sample the test names: ipptool stops at a FILE
    it cannot read even when the test would be skipped (for raster types and
    resolutions the printer does not offer)."""
    for name in re.findall(r"^\s*FILE\s+(pwg-raster-samples-\S+)", open(test).read(), re.M):
        path = os.path.join(work, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        open(path, "ab").close()


def make_samples(work):
    jpeg = os.path.join(work, "sample.jpg")
    gs(["-sDEVICE=jpeggray", "-r150", "-dDEVICEWIDTHPOINTS=288", "-dDEVICEHEIGHTPOINTS=432"], 1,
       jpeg, work)
    folder = os.path.join(work, "pwg-raster-samples-600dpi", "sgray-8")
    os.makedirs(folder, exist_ok=True)
    for name, (args, pages) in PWG_SAMPLES.items():
        out = os.path.join(folder, f"{name}-sgray-8-600dpi.pwg")
        gs(["-sDEVICE=pwgraster", "-dcupsColorSpace=18", "-dcupsBitsPerColor=8", "-r600"] + args,
           pages, out, work)
    pwg = os.path.join(work, "sample.pwg")
    shutil.copy(os.path.join(folder, "onepage-a4-sgray-8-600dpi.pwg"), pwg)
    return jpeg, pwg


def run_ipptool(uri, test, sample=None):
    args = ["ipptool", "-V", "2.0", "-I", "-t", "-T", "30"]
    if sample:
        args += ["-f", sample]
    result = subprocess.run(args + [uri, test], capture_output=True, text=True, timeout=900)
    return result.stdout + result.stderr


IDLE_TEST = """{
  NAME "Wait until idle"
  OPERATION Get-Printer-Attributes
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR naturalLanguage attributes-natural-language en
  ATTR uri printer-uri $uri
  ATTR keyword requested-attributes printer-state
  STATUS successful-ok
  EXPECT printer-state WITH-VALUE 3 REPEAT-NO-MATCH REPEAT-LIMIT 600
}
"""


def wait_idle(uri, work):
    """A streaming printer answers server-error-busy to a raster job while it
    prints another: let the previous file's jobs finish first."""
    test = os.path.join(work, "wait-idle.test")
    with open(test, "w") as f:
        f.write(IDLE_TEST)
    subprocess.run(["ipptool", "-q", "-T", "10", uri, test], timeout=300)


def server_alive(server):
    """By its PID: a sub-command would start a private server of its own."""
    pid = open(os.path.join(server, "pid")).read().strip()
    try:
        return open(f"/proc/{pid}/stat").read().split()[2] != "Z"
    except OSError:
        return False


def judge(output):
    """(passed, skipped, allowed failures, real failures) of one ipptool run."""
    passed, skipped, allowed, failed = [], [], [], []
    current = None
    for line in output.splitlines():
        m = re.match(r"\s+(.*?)\s+\[(PASS|FAIL|SKIP)\]\s*$", line)
        if m:
            name, verdict = m.groups()
            current = None
            if verdict == "PASS":
                passed.append(name)
            elif verdict == "SKIP":
                skipped.append(name)
            else:
                current = {"name": name, "errors": []}
                failed.append(current)
            continue
        if current is not None and re.match(r"\s+(EXPECTED|Duplicate|Bad|Unable|Missing|Expected|"
                                            r"Unexpected|status-message)", line):
            current["errors"].append(line.strip())
    real = []
    for test in failed:
        errors = [e for e in test["errors"] if not e.startswith("status-message")]
        ok = errors and all(any(re.match(p, e) for p in ALLOWED.values()) for e in errors)
        (allowed if ok else real).append(test)
    return passed, skipped, allowed, real


def main():
    app, script = sys.argv[1], sys.argv[2]
    work = tempfile.mkdtemp(prefix="kt50-ipptool-")
    os.chmod(work, 0o755)  # the server runs as another user
    server = os.path.join(work, "server")
    os.makedirs(server)
    try:
        everywhere = os.path.join(work, "ipp-everywhere.test")
        shutil.copy(os.path.join(TESTS, "ipp-everywhere.test"), everywhere)
        placeholders(work, everywhere)
        jpeg, pwg = make_samples(work)
        subprocess.run([script, "start", app, server], check=True)
        port = open(os.path.join(server, "port")).read().strip()
        uri = f"ipp://127.0.0.1:{port}/ipp/print/KT50"
        runs = [
            ("ipp-everywhere.test (JPEG + PWG raster samples)", everywhere, jpeg),
            ("ipp-2.0.test", os.path.join(TESTS, "ipp-2.0.test"), jpeg),
            ("print-job.test (JPEG)", os.path.join(TESTS, "print-job.test"), jpeg),
            ("print-job.test (PWG raster)", os.path.join(TESTS, "print-job.test"), pwg),
            ("validate-job.test", os.path.join(TESTS, "validate-job.test"), None),
        ]
        bad = 0
        for title, test, sample in runs:
            wait_idle(uri, work)
            output = run_ipptool(uri, test, sample)
            passed, skipped, allowed, real = judge(output)
            print(f"{title}: {len(passed)} passed, {len(skipped)} skipped, "
                  f"{len(allowed)} allowed failures, {len(real)} failures")
            if os.environ.get("KT50_VERBOSE"):
                for name in passed:
                    print(f"  passed: {name}")
            for test_ in allowed:
                print(f"  allowed: {test_['name']}: {'; '.join(test_['errors'])}")
            for test_ in real:
                print(f"  FAILED: {test_['name']}: {'; '.join(test_['errors'])}")
            if not server_alive(server):
                print(f"  FAILED: the server stopped answering after {title}; its output:")
                print(open(os.path.join(server, "stdout")).read()[-3000:])
                return 1
            if not passed or real:
                bad += 1
                if not passed:
                    print(output)
        # The server served everything and is still up.
        if subprocess.run([script, "run", app, server, "printers"], capture_output=True,
                          text=True).stdout.split() != ["KT50"]:
            print("server no longer answers")
            bad += 1
        return 1 if bad else 0
    finally:
        subprocess.run([script, "stop", server])
        if os.environ.get("KT50_KEEP_LOG") and os.path.exists(os.path.join(server, "log")):
            shutil.copy(os.path.join(server, "log"), os.environ["KT50_KEEP_LOG"])
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
