#!/usr/bin/env bash
# Tries the KT50 printer application without installing anything: builds it,
# starts it on a free loopback port with its state, spool and log in a
# temporary folder and a printer "KT50" whose device is a file there, prints
# the bundled sample (or a PDF, JPEG, PNG or PWG raster you name) by the
# application's own `submit`, renders the stream to preview pictures and
# stops the application.
#
# Usage: scripts/run-printer-app.sh [--keep] [-o kt50-NAME=VALUE ...] [FILE]
#   e.g. scripts/run-printer-app.sh -o kt50-dot-screening=error-diffusion
#   --keep  leaves the application running until Enter, to try its web page
# Output: out/printer-app-<name>.kt50, out/printer-app-<name>-<page>.png
# BUILD_DIR=... builds elsewhere than build/ (OUT_DIR=... writes elsewhere).
set -euo pipefail
cd "$(dirname "$0")/.."

usage() { sed -n '2,14s/^# \{0,1\}//p' "$0"; }
build=${BUILD_DIR:-build}
out=${OUT_DIR:-out}
keep=false
options=()
input=""
while [ $# -gt 0 ]; do
  case "$1" in
    --keep) keep=true; shift ;;
    -o) [ $# -ge 2 ] || { usage >&2; exit 2; }
        options+=(-o "$2"); shift 2 ;;
    -h|--help) usage; exit 0 ;;
    -*) echo "run-printer-app: unknown option $1" >&2; usage >&2; exit 2 ;;
    *) [ -z "$input" ] || { echo "run-printer-app: one document only" >&2; exit 2; }
       input=$1; shift ;;
  esac
done

./scripts/install-deps.sh run
configure=()
if [ ! -f "$build/CMakeCache.txt" ] &&
   ! dpkg-query -W -f='${Status}\n' libgtest-dev xvfb 2>/dev/null |
     grep -c 'install ok installed' | grep -qx 2; then
  configure+=(-DBUILD_TESTING=OFF)
fi
cmake -S . -B "$build" "${configure[@]}" > /dev/null
cmake --build "$build" -j2 --target vantrex-printer-app vantrex-decode vantrex_sample

input=$(realpath "${input:-$build/samples/sample.pdf}")
[ -r "$input" ] || { echo "run-printer-app: cannot read $input" >&2; exit 1; }
app=$(realpath "$build/bin/vantrex-printer-app")
server=$(realpath "$(dirname "$0")/printer-app-server.sh")
work=$(mktemp -d)
chmod 0755 "$work"   # as root the application runs as user nobody
trap '"$server" stop "$work"' EXIT

"$server" start "$app" "$work"
port=$(cat "$work/port")
name=$(basename "${input%.*}")
# The document must be readable by the application's user.
cp "$input" "$work/tmp/$name.${input##*.}"
chmod 0644 "$work/tmp/$name.${input##*.}"
echo "Printing $input on http://localhost:$port (printer KT50) ${options[*]:-}"
"$server" run "$app" "$work" submit -d KT50 -t "$name" "${options[@]}" "$work/tmp/$name.${input##*.}"

# Wait for the job to end; the log says how.
state=""
for _ in $(seq 600); do
  state=$(grep -oE '\[Job [0-9]+\] (Completed|Aborted|Canceled)' "$work/log" | tail -n 1 || true)
  [ -n "$state" ] && break
  sleep 0.2
done
stream=$work/spool/out/$name.kt50
mkdir -p "$out"
cp "$stream" "$out/printer-app-$name.kt50" 2>/dev/null || true
cp "$work/log" "$out/printer-app.log"
case "$state" in
  *Completed) ;;
  *) echo "run-printer-app: the job did not complete (${state:-no answer}); log in $out/printer-app.log" >&2
     grep -E '^E ' "$work/log" >&2 || true
     exit 1 ;;
esac
rm -f "$out/printer-app-$name"-*.png
"$build/bin/vantrex-decode" --out "$out/printer-app-$name" --format png "$out/printer-app-$name.kt50" > "$work/pages"
echo "Settings: $(grep -o 'KT50 settings: .*' "$work/log" | tail -n 1)"
echo "Stream:   $out/printer-app-$name.kt50 ($(stat -c %s "$out/printer-app-$name.kt50") bytes)"
while read -r line; do
  case "$line" in
    *.png) echo "Preview:  $line" ;;
    *) echo "Pages:    $line" ;;
  esac
done < "$work/pages"
echo "Log:      $out/printer-app.log"
echo "Web page: http://localhost:$port/ (printer settings: http://localhost:$port/KT50/printing)"
if $keep; then
  echo "The application keeps running (state in $work); press Enter to stop it."
  read -r _
fi
echo "Stopping the application."
