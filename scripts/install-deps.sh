#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs what the build and the tests need from Debian's packages.
# Usage: install-deps.sh [run|test|fresh|bench|package]
#   run: enough to print the sample; test: that and the tests;
#   fresh: what scripts/check-fresh.sh needs besides the base system and git;
#   bench: the run set and what bench/bench-page.py runs besides the filter;
#   package: the Debian packaging tools (scripts/build-packages.sh takes the
#   build dependencies from debian/control) and scripts/check-packages.sh
set -euo pipefail
what=${1:-test}
# One line per package or group of packages, with what needs it.
run=(
  cmake g++ make pkg-config      # the build
  libcups2-dev libpng-dev        # libcups, libcupsimage and cups-config; PNG previews
  cups                           # cupsfilter (scripts/run-sample.sh)
  cups-client cups-bsd cups-daemon
  cups-filters ghostscript poppler-utils   # the PDF-to-raster road; the sample
  libpappl-dev                   # vantrex-printer-app
  libjpeg-dev                    # its JPEG documents (libpng-dev, above, reads the PNG ones)
  libhwy-dev                     # vector kernels with a run-time choice of instruction set
)
test=(
  libgtest-dev                   # the unit tests
  gnustep-devel gobjc++          # the dialog plug-in
  xvfb xauth fonts-dejavu-core fonts-vlgothic   # the panels on a virtual display
  libpappl-dev cups-ipp-utils    # the printer application and its IPP conformance files
  chromium chromium-driver python3-selenium   # its settings page in a headless browser
  groff-base                     # the manual pages' lint (release tests)
  clang-14 libfuzzer-14-dev      # the fuzzers (scripts/fuzz.sh)
)
fresh=(
  debootstrap                    # the fresh Debian root
)
bench=(
  python3 netpbm                 # bench/bench-page.py and the netpbm comparison
  gorm.app                       # its manual: the long real document of bench/bench-chain.py
)
package=(
  dpkg-dev debhelper lintian     # scripts/build-packages.sh
  debootstrap                    # scripts/check-packages.sh
)
case "$what" in
  run) packages=("${run[@]}") ;;
  test) packages=("${run[@]}" "${test[@]}") ;;
  fresh) packages=("${fresh[@]}") ;;
  bench) packages=("${run[@]}" "${bench[@]}") ;;
  package) packages=("${package[@]}") ;;
  *) echo "install-deps: unknown set '$what' (run, test, fresh, bench or package)" >&2; exit 2 ;;
esac
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd=sudo
  $sudo_cmd apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
