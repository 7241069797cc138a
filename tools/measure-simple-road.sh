#!/usr/bin/env bash
# Times the filter's simple road on one full page (9920 x 14645, the sample
# chart) against reading the same raster with libcups alone, in one run, and
# prints the ratios. Usage: measure-simple-road.sh BUILD_DIR [file|pipe]
set -euo pipefail
bin=${1:?usage: measure-simple-road.sh BUILD_DIR [file|pipe]}/bin
via=${2:-file}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$bin/vantrex-mkraster" -w 9920 -h 14645 -c -o "$work/page.ras"
seconds() {  # seconds taken by "$@" with input from the raster
  local start end
  start=$(date +%s.%N)
  if [ "$via" = pipe ]; then cat "$work/page.ras" | "$@" >/dev/null; else "$@" <"$work/page.ras" >/dev/null; fi
  end=$(date +%s.%N)
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.6f\n", e - s }'
}
floor=$(seconds "$bin/vantrex-rasterinfo")
printf 'libcups read alone (%s): %.3f s\n' "$via" "$floor"
for screening in TKScreeningNone TKScreeningRough TKScreeningFine TKScreeningSolid; do
  t=$(seconds "$bin/vantrex-filter" 1 user title 1 "TKDotScreening=$screening")
  printf '%-18s %.3f s  = %.2f x the read alone\n' "$screening" "$t" \
    "$(awk -v t="$t" -v f="$floor" 'BEGIN { print t / f }')"
done
