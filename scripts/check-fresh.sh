#!/usr/bin/env bash
# Shows that the README's two commands work on a machine that has nothing:
# makes a minimal Debian 12 (bookworm) root with debootstrap, from the
# archive apt uses here, copies a clean clone of a ref of this repository
# into it and runs ./scripts/run-sample.sh, then the README's install recipe
# with only the packages run-sample.sh installed (staged with DESTDIR), then
# ./scripts/test.sh there, printing each one's result and time, and a summary
# line per command.
#
# Usage: scripts/check-fresh.sh [REF]          (REF defaults to main)
#   WORK_DIR=...  where roots and logs go (default /var/tmp/vantrex-fresh)
#   VARIANT=...   debootstrap variant of the base (default minbase)
#   FRESH_BASE=1  bootstrap the base again instead of reusing the cached one
#   KEEP_ROOT=1   keep this run's root afterwards (its path is printed)
# Needs root and the network to the package archive (debootstrap comes with
# `scripts/install-deps.sh fresh`, which it runs). Slow: the
# base is bootstrapped once and kept as a tarball; every run unpacks a
# pristine copy of it, so the packages the commands install are fetched anew.
set -euo pipefail
# The whole script is one block, read before it runs: editing the file
# during a long run cannot change what the run does.
{
usage() { sed -n '2,18s/^# \{0,1\}//p' "$0"; }
case "${1:-}" in -h|--help) usage; exit 0 ;; esac
[ $# -le 1 ] || { usage >&2; exit 2; }
ref=${1:-main}
work=${WORK_DIR:-/var/tmp/vantrex-fresh}
variant=${VARIANT:-minbase}
repo=$(cd "$(dirname "$0")/.." && pwd)

[ "$(id -u)" -eq 0 ] || { echo "check-fresh: run as root" >&2; exit 1; }
[ -n "${CHECK_FRESH_NS:-}" ] || "$repo/scripts/install-deps.sh" fresh
commit=$(git -C "$repo" rev-parse --verify --quiet "$ref^{commit}") ||
  { echo "check-fresh: no such ref: $ref" >&2; exit 1; }
case "$work/" in
  "$repo"/*) echo "check-fresh: WORK_DIR must lie outside the repository" >&2; exit 1 ;;
esac

# Mounts are made in a private mount namespace: whatever happens to this
# script, they vanish with it and never show in the machine's own tree.
if [ -z "${CHECK_FRESH_NS:-}" ]; then
  CHECK_FRESH_NS=1 exec unshare --mount --propagation private -- "$0" "$@"
fi

# The archive apt uses here: "URI SUITE" for each bookworm suite of main.
. "$repo/scripts/apt-archive.sh"
mapfile -t sources < <(archive_suites)
mirror=$(bookworm_archive)
[ -n "$mirror" ] || { echo "check-fresh: no bookworm archive in apt's sources" >&2; exit 1; }

stamp() { date '+%H:%M:%S'; }
mkdir -p "$work"
base=$work/bookworm-$variant.tar
if [ -n "${FRESH_BASE:-}" ] || [ ! -s "$base" ]; then
  echo "[$(stamp)] bootstrapping bookworm ($variant) from $mirror"
  boot=$(mktemp -d "$work/boot.XXXXXX")
  chmod 755 "$boot"
  if ! debootstrap --variant="$variant" bookworm "$boot" "$mirror" > "$work/debootstrap.log" 2>&1; then
    echo "check-fresh: debootstrap failed; see $work/debootstrap.log" >&2
    tail -n 20 "$work/debootstrap.log" >&2
    rm -rf --one-file-system "$boot"
    exit 1
  fi
  tar -C "$boot" -cf "$base.part" . && mv "$base.part" "$base"
  rm -rf --one-file-system "$boot"
else
  echo "[$(stamp)] reusing the base $base"
fi

run=$(mktemp -d "$work/run.XXXXXX")
root=$run/root
logs=$run/logs
mkdir -p "$root" "$logs"
mounted=()
cleanup() {
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount -R "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}" || true
  done
  # Never delete through a mount that is still there.
  if [ -z "${KEEP_ROOT:-}" ] && ! grep -q " $root/" /proc/self/mounts; then
    rm -rf --one-file-system "$root"
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

tar -C "$root" -xf "$base"
# A root folder that only root may enter would fail every program that the
# scheduler runs as "lp", whatever the project does.
chmod 755 "$root"
# The root's apt reads the same archive; services that packages would start
# stay down (a chroot shares this machine's network, and its ports).
for s in "${sources[@]}"; do echo "deb $s main"; done > "$root/etc/apt/sources.list"
rm -f "$root"/etc/apt/sources.list.d/*
printf '#!/bin/sh\nexit 101\n' > "$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"
cp -L /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
grep -q localhost "$root/etc/hosts" 2>/dev/null ||
  printf '127.0.0.1\tlocalhost\n::1\tlocalhost ip6-localhost ip6-loopback\n' >> "$root/etc/hosts"

mount_in_root() {  # mount_in_root TARGET mount-arguments...
  local target=$root/$1; shift
  mkdir -p "$target"
  mount "$@" "$target" || return 1
  mounted+=("$target")
}
mount_in_root proc -t proc proc
mount_in_root sys -t sysfs sysfs || mount_in_root sys --rbind /sys
mount_in_root dev --bind /dev
mount_in_root dev/pts -t devpts -o newinstance,ptmxmode=0666,mode=620 devpts ||
  mount_in_root dev/pts --bind /dev/pts
mount_in_root dev/shm -t tmpfs -o mode=1777 shm

# A clean clone of the ref: committed files only, nothing of this work tree.
checkout=/root/kt50
git clone -q --no-checkout --no-hardlinks "$(git -C "$repo" rev-parse --path-format=absolute --git-common-dir)" "$root$checkout"
git -C "$root$checkout" checkout -q --detach "$commit"
echo "[$(stamp)] $ref ($(git -C "$repo" log -1 --format='%h %s' "$commit")) in $root$checkout"

names=(run-sample install-recipe test)
commands=(
  ./scripts/run-sample.sh
  "cmake -S . -B build-install && cmake --build build-install -j2 && DESTDIR=/tmp/kt50-stage cmake --install build-install"
  ./scripts/test.sh
)
results=()
failed=0
for i in "${!commands[@]}"; do
  cmd=${commands[i]}
  log=$logs/${names[i]}.log
  echo "[$(stamp)] $cmd (output in $log)"
  start=$(date +%s)
  set +e
  chroot "$root" /usr/bin/env -i HOME=/root TERM=dumb LANG=C.UTF-8 \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    /bin/bash -c "cd $checkout && $cmd" < /dev/null > "$log" 2>&1
  status=$?
  set -e
  seconds=$(( $(date +%s) - start ))
  tail -n 15 "$log" | sed 's/^/    /'
  if [ "$status" -eq 0 ]; then verdict="ok"; else verdict="FAILED (exit $status)"; failed=1; fi
  line=$(printf '%-16s %-20s %5d s   %s' "${names[i]}" "$verdict" "$seconds" "$cmd")
  echo "[$(stamp)] $line"
  results+=("$line")
done

echo "== fresh bookworm root, $ref at $(git -C "$repo" rev-parse --short "$commit") =="
printf '%s\n' "${results[@]}"
[ -z "${KEEP_ROOT:-}" ] || echo "root kept: $root"
echo "logs: $logs"
exit "$failed"
}
