#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Builds the Debian packages into out/packages/ and checks them with lintian.
# The build dependencies come from debian/control (apt-get build-dep).
#
# Usage: scripts/build-packages.sh [--noapp]
#   --noapp   leave out vantrex-printer-app (build profile pkg.vantrex.noapp)
# The build runs in a copy of the tree, so nothing but out/packages/ changes.
set -euo pipefail
cd "$(dirname "$0")/.."

profiles=()
case "${1:-}" in
  --noapp) profiles=(pkg.vantrex.noapp) ;;
  "") ;;
  *) sed -n '2,8s/^# \{0,1\}//p' "$0" >&2; exit 2 ;;
esac
# Without the application's sources there is nothing to package for it.
if [ ! -f printer-app/CMakeLists.txt ] && [ ${#profiles[@]} -eq 0 ]; then
  echo "build-packages: no printer-app/ here: building without vantrex-printer-app" >&2
  profiles=(pkg.vantrex.noapp)
fi
profile_list=$(IFS=,; echo "${profiles[*]:-}")

./scripts/install-deps.sh package
sudo_cmd=""
[ "$(id -u)" -eq 0 ] || sudo_cmd=sudo
if ! dpkg-checkbuilddeps ${profile_list:+-P"$profile_list"} 2>/dev/null; then
  build_dep=(apt-get build-dep -y -q ./)
  [ -z "$profile_list" ] || build_dep+=(-P "$profile_list")
  $sudo_cmd apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo_cmd "${build_dep[@]}"
fi

version=$(dpkg-parsechangelog -S Version)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
src=$work/vantrex-$version
mkdir "$src"
tar -C . --exclude='./build*' --exclude=./out --exclude=./.git --exclude='./obj-*' \
    --exclude=./debian/tmp --exclude=./debian/.debhelper -cf - . | tar -C "$src" -xf -

(cd "$src" && dpkg-buildpackage -us -uc -b ${profile_list:+-P"$profile_list"} -j"${JOBS:-2}")

out=out/packages
mkdir -p "$out"
rm -f "$out"/*.deb "$out"/*.changes "$out"/*.buildinfo
mv "$work"/*.deb "$work"/*.changes "$work"/*.buildinfo "$out"/
echo "Packages in $out:"
ls -1 "$out"/*.deb

# Errors fail the build; warnings are either fixed or overridden with a reason.
lintian --fail-on error,warning --info "$out"/*.changes
