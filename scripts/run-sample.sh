#!/usr/bin/env bash
# Prints the bundled sample document (or a PDF you name) the way a real queue
# would: the system's own PDF and raster filters, then vantrex-filter, into a
# KT50 command stream; vantrex-decode then renders it to preview pictures.
# Nothing is installed into the print system: a private ServerBin offers the
# freshly built filter to cupsfilter.
#
# Usage: scripts/run-sample.sh [-o KEY=VALUE ...] [FILE.pdf]
#   e.g. scripts/run-sample.sh -o TKDotScreening=TKScreeningErrorDiffusion
# Output: out/<name>.kt50, out/<name>-<page>.png, out/<name>.log
# BUILD_DIR=... builds elsewhere than build/ (OUT_DIR=... writes elsewhere).
set -euo pipefail
cd "$(dirname "$0")/.."

usage() { sed -n '2,11s/^# \{0,1\}//p' "$0"; }
build=${BUILD_DIR:-build}
out=${OUT_DIR:-out}

options=()
input=""
while [ $# -gt 0 ]; do
  case "$1" in
    -o) [ $# -ge 2 ] || { usage >&2; exit 2; }
        options+=(-o "$2"); shift 2 ;;
    -o*) options+=(-o "${1#-o}"); shift ;;
    -h|--help) usage; exit 0 ;;
    -*) echo "run-sample: unknown option $1" >&2; usage >&2; exit 2 ;;
    *) [ -z "$input" ] || { echo "run-sample: one document only" >&2; exit 2; }
       input=$1; shift ;;
  esac
done

./scripts/install-deps.sh run
# Tests stay as this build folder has them (off unless scripts/test.sh
# configured it).
cmake -S . -B "$build"
cmake --build "$build" -j"$(nproc)" --target vantrex-filter vantrex-decode vantrex_sample

input=${input:-$build/samples/sample.pdf}
[ -r "$input" ] || { echo "run-sample: cannot read $input" >&2; exit 1; }
name=$(basename "${input%.*}")
mkdir -p "$out"
stream=$out/$name.kt50
log=$out/$name.log

# A private ServerBin: the system's filters plus ours.
serverbin=$(cups-config --serverbin)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin/filter"
ln -s "$serverbin"/filter/* "$work/bin/filter/"
ln -sf "$(realpath "$build/bin/vantrex-filter")" "$work/bin/filter/vantrex-filter"
for dir in backend cgi-bin daemon driver monitor notifier; do
  [ -e "$serverbin/$dir" ] && ln -s "$serverbin/$dir" "$work/bin/$dir"
done
printf 'ServerBin %s\n' "$work/bin" > "$work/cups-files.conf"

echo "Printing $input through the CUPS filter chain ${options[*]:-}"
if ! cupsfilter -c "$work/cups-files.conf" -p ppd/vantrex-kt50.ppd -e -m printer/kt50 \
     "${options[@]}" "$input" > "$stream" 2> "$log"; then
  echo "run-sample: the filter chain failed; messages in $log:" >&2
  grep -E '^(ERROR|WARNING):' "$log" >&2 || tail -n 20 "$log" >&2
  exit 1
fi

rm -f "$out/$name"-*.png
"$build/bin/vantrex-decode" --out "$out/$name" --format png "$stream" > "$work/pages"
echo "Stream:  $stream ($(stat -c %s "$stream") bytes)"
while read -r line; do
  case "$line" in
    *.png) echo "Preview: $line" ;;
    *) echo "Pages:   $line" ;;
  esac
done < "$work/pages"
echo "Log:     $log"
