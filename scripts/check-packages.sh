#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Checks the packages in out/packages/ the way a user meets them, in a fresh
# Debian 12 root (made with debootstrap on first use) and a network namespace
# of its own, so nothing it starts can clash with this machine's servers:
#   - apt-get install ./out/packages/*.deb pulls in every dependency;
#   - man shows each installed page;
#   - lpinfo -m lists the KT50; a queue on socket://127.0.0.1:9100 prints the
#     bundled sample to a listener there, and vantrex-decode accepts it;
#   - with vantrex-printer-app: systemd-analyze verify on its unit, and the
#     unit's ExecStart, started by hand, listens on loopback only;
#   - apt-get purge leaves none of the files the packages installed.
#
# Usage: scripts/check-packages.sh [ROOT_DIR]   (default /var/tmp/kt50-fresh)
# Needs root, debootstrap and unshare; makes the root only when it is absent.
set -euo pipefail
cd "$(dirname "$0")/.."
base=${1:-/var/tmp/kt50-fresh}
root=$base/root
[ "$(id -u)" -eq 0 ] || { echo "check-packages: run as root" >&2; exit 2; }
debs=(out/packages/*.deb)
[ -e "${debs[0]}" ] || { echo "check-packages: no packages in out/packages (scripts/build-packages.sh)" >&2; exit 2; }

if [ ! -x "$root/usr/bin/apt-get" ]; then
  mkdir -p "$base"
  command -v debootstrap >/dev/null || ./scripts/install-deps.sh package
  # The same archive as this machine's apt, updates and security included.
  . scripts/apt-archive.sh
  mapfile -t sources < <(archive_suites)
  mirror=$(bookworm_archive)
  [ -n "$mirror" ] || { echo "check-packages: no bookworm archive in apt's sources" >&2; exit 1; }
  debootstrap --variant=minbase bookworm "$root" "$mirror"
  for s in "${sources[@]}"; do echo "deb $s main"; done > "$root/etc/apt/sources.list"
  rm -f "$root"/etc/apt/sources.list.d/*
  # Services are started by hand below, not by package scripts.
  printf '#!/bin/sh\nexit 101\n' > "$root/usr/sbin/policy-rc.d"
  chmod 755 "$root/usr/sbin/policy-rc.d"
fi
cp /etc/resolv.conf "$root/etc/resolv.conf"

mounted=()
cleanup() {
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount -R "${mounted[$i]}" || true; done
}
trap cleanup EXIT
for fs in proc sys dev; do
  if ! mountpoint -q "$root/$fs"; then
    if [ "$fs" = proc ]; then
      mount -t proc proc "$root/proc"
    else
      # A slave, so that unmounting it later never reaches this machine's own.
      mount --rbind "/$fs" "$root/$fs" && mount --make-rslave "$root/$fs"
    fi
    mounted+=("$root/$fs")
  fi
done
in_root() {
  chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive "$@"
}

rm -rf "$root/tmp/kt50-packages"
mkdir -p "$root/tmp/kt50-packages"
cp "${debs[@]}" "$root/tmp/kt50-packages/"
packages=()
for deb in "${debs[@]}"; do packages+=("$(dpkg-deb -f "$deb" Package)"); done

echo "== apt-get install ./out/packages/*.deb"
in_root apt-get update -q >/dev/null
in_root sh -c 'cd /tmp/kt50-packages && apt-get install -y -q ./*.deb' \
  | grep -E '^(Setting up (cups|ghostscript|printer-driver|vantrex)|[0-9]+ upgraded)' || true
# Tools of the check itself, not of the packages.
in_root apt-get install -y -q --no-install-recommends \
  man-db netcat-openbsd iproute2 >/dev/null
in_root dpkg -L "${packages[@]}" | grep -vx -e '/\.' -e '' | sort -u > "$base/installed-files.txt"
echo "$(wc -l < "$base/installed-files.txt") paths installed by: ${packages[*]}"

echo "== man"
for page in $(grep -E '^/usr/share/man/man[18]/' "$base/installed-files.txt"); do
  name=$(basename "$page" .gz)
  in_root man -P cat "${name##*.}" "${name%.*}" 2>/dev/null | head -n 4 | tail -n 1 | sed "s/^ */${name}: /"
done

# Everything that listens runs in the namespace made below.
cat > "$root/tmp/kt50-check.sh" <<'EOF'
set -u
ip link set lo up
status=0
/usr/sbin/cupsd -f & cupsd=$!
app=""
trap 'kill $cupsd $app 2>/dev/null' EXIT
for _ in $(seq 50); do lpstat -r 2>/dev/null | grep -q 'is running' && break; sleep 0.2; done
echo "== lpinfo -m"
lpinfo -m | grep -i vantrex
model=$(lpinfo -m | awk '/KT50/ {print $1; exit}')
[ -n "$model" ] || { echo "FAIL: lpinfo -m does not list the KT50"; status=1; }
echo "== print the sample to socket://127.0.0.1:9100"
rm -f /tmp/kt50-out.kt50
nc -l 127.0.0.1 9100 > /tmp/kt50-out.kt50 & listener=$!
sleep 0.5
lpadmin -p KT50 -E -v socket://127.0.0.1:9100 -m "$model" 2>&1 | grep -v 'deprecated' || true
lp -d KT50 /usr/share/doc/printer-driver-vantrex/examples/sample.pdf
for _ in $(seq 300); do [ -z "$(lpstat -o KT50)" ] && break; sleep 1; done
lpstat -W completed -o KT50 | tail -n 1
for _ in $(seq 20); do kill -0 "$listener" 2>/dev/null || break; sleep 0.5; done
kill "$listener" 2>/dev/null || true
echo "stream: $(stat -c %s /tmp/kt50-out.kt50) bytes"
vantrex-decode /tmp/kt50-out.kt50 || { echo "FAIL: vantrex-decode refuses the stream"; status=1; }
lpadmin -x KT50
kill "$cupsd"; wait "$cupsd" 2>/dev/null || true

unit=/lib/systemd/system/vantrex-printer-app.service
if [ -f "$unit" ]; then
  echo "== the printer application's ExecStart, by hand"
  start=$(sed -n 's/^ExecStart=//p' "$unit")
  echo "$start"
  $start > /tmp/kt50-app.log 2>&1 & app=$!
  sleep 3
  ss -ltnp | sed -n '1p;/vantrex/p'
  if ss -ltnp | grep vantrex | awk '{print $4}' | grep -Ev '^(127\.0\.0\.1|\[::1\]):'; then
    echo "FAIL: listens beyond loopback"; status=1
  fi
  ss -ltnp | grep -q vantrex || { echo "FAIL: the application does not listen"; status=1; tail /tmp/kt50-app.log; }
  # A client sub-command reaches the server through its socket in /run.
  vantrex-printer-app add -d KT50 -m vantrex_kt50 -v socket://127.0.0.1:9100 ||
    { echo "FAIL: cannot add a printer"; status=1; }
  vantrex-printer-app printers
  sleep 1
  kill "$app"; wait "$app" 2>/dev/null || true
  ls -ld /var/lib/vantrex-printer-app.state /var/spool/vantrex-printer-app
fi
exit $status
EOF
status=0
unshare --net chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
  sh /tmp/kt50-check.sh || status=1

if in_root test -f /lib/systemd/system/vantrex-printer-app.service; then
  echo "== the printer application's service"
  if in_root test -L /etc/systemd/system/multi-user.target.wants/vantrex-printer-app.service; then
    echo "enabled on install"
  else
    echo "FAIL: not enabled on install"; status=1
  fi
  in_root apt-get install -y -q --no-install-recommends systemd >/dev/null
  if in_root systemd-analyze verify /lib/systemd/system/vantrex-printer-app.service; then
    echo "unit verified"
  else
    echo "FAIL: systemd-analyze verify"; status=1
  fi
fi

echo "== apt-get purge"
in_root apt-get purge -y -q "${packages[@]}" >/dev/null
left=()
while read -r path; do
  [ -e "$root$path" ] || [ -L "$root$path" ] || continue
  # Folders that other packages still use stay, as they should.
  if [ -d "$root$path" ] && in_root dpkg -S "$path" >/dev/null 2>&1; then continue; fi
  left+=("$path")
done < "$base/installed-files.txt"
for extra in /var/lib/vantrex-printer-app.state /var/spool/vantrex-printer-app \
             /etc/systemd/system/multi-user.target.wants/vantrex-printer-app.service; do
  [ -e "$root$extra" ] && left+=("$extra")
done
if [ ${#left[@]} -eq 0 ]; then
  echo "nothing left of the $(wc -l < "$base/installed-files.txt") installed paths"
else
  printf 'FAIL: left behind: %s\n' "${left[@]}"; status=1
fi
[ $status -eq 0 ] && echo "== all checks passed" || echo "== some checks FAILED"
exit $status
