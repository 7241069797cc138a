#!/usr/bin/env bash
# Installs what the build and the tests need from Debian's packages.
# Usage: install-deps.sh [run|test]   (run: enough to print the sample)
set -euo pipefail
what=${1:-test}
packages=(cmake g++ make pkg-config libcups2-dev libpng-dev
          cups-client cups-bsd cups-daemon cups-filters ghostscript poppler-utils)
if [ "$what" = test ]; then
  packages+=(libgtest-dev gnustep-devel gobjc++ xvfb xauth fonts-dejavu-core fonts-vlgothic
             clang-14 libfuzzer-14-dev)
fi
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
