#!/usr/bin/env bash
# Starts and stops a private vantrex-printer-app (tests, run-printer-app.sh):
# its own folder (spool, state, HOME, TMPDIR, log), a free loopback port, no
# TLS, one printer "KT50" on a file:// device inside the spool folder.
#   printer-app-server.sh start APP DIR    -> DIR/port, DIR/pid, DIR/log, DIR/spool/out/
#   printer-app-server.sh restart APP DIR  -> stop, then start on the same port and state
#                                             (the log so far kept as DIR/log.previous)
#   printer-app-server.sh stop DIR         -> SIGTERM to the recorded PID (SIGKILL after 5 s)
#   printer-app-server.sh run APP DIR ARGS -> a sub-command as the server's user
# As root, the server runs as user nobody: PAPPL's root paths are system-wide.
set -euo pipefail
cmd=$1

# Runs a command as the server's user in the server's environment.
app_env() {
  local user=()
  [ "$(id -u)" -ne 0 ] || user=(setpriv --reuid=nobody --regid=nogroup --clear-groups --)
  env -i PATH=/usr/bin:/bin HOME="$dir/home" TMPDIR="$dir/tmp" XDG_CONFIG_HOME="$dir/home/.config" \
    ${ASAN_OPTIONS:+ASAN_OPTIONS="$ASAN_OPTIONS"} ${LSAN_OPTIONS:+LSAN_OPTIONS="$LSAN_OPTIONS"} \
    ${UBSAN_OPTIONS:+UBSAN_OPTIONS="$UBSAN_OPTIONS"} \
    LANG=C.UTF-8 "${user[@]}" "$@"
}

# A loopback port nothing listens on (the server fails to start if another
# program takes it in between).
free_port() {
  local port
  for _ in $(seq 50); do
    port=$((20000 + RANDOM % 40000))
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || { echo "$port"; return; }
  done
  return 1
}

# Gone, or ended and waiting for its (adoptive) parent to reap it: every
# thread gone, not just the first (its sockets are closed only then).
ended() {
  [ ! -e "/proc/$1/stat" ] || { [ "$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null)" = Z ] &&
    [ "$(ls "/proc/$1/task" 2>/dev/null | wc -l)" -le 1 ]; }
}

stop() {
  [ -f "$dir/pid" ] || return 0
  pid=$(cat "$dir/pid")
  rm -f "$dir/pid"
  kill -TERM "$pid" 2>/dev/null || return 0
  for _ in $(seq 100); do ended "$pid" && return 0; sleep 0.05; done
  kill -KILL "$pid" 2>/dev/null || true
  return 1
}

start() {
  mkdir -p "$dir/home/.config" "$dir/tmp" "$dir/spool/out"
  [ -f "$dir/port" ] || free_port > "$dir/port"
  [ "$(id -u)" -ne 0 ] || chown -R nobody:nogroup "$dir"
  chmod 0755 "$dir"
  port=$(cat "$dir/port")
  local user=() socket ready=0 printers
  socket="$dir/tmp/$(basename "$app")$(id -u nobody).sock"
  [ "$(id -u)" -eq 0 ] || socket="$dir/tmp/$(basename "$app")$(id -u).sock"
  # A server that stopped (or was killed) leaves its socket file behind; the
  # new one listens on its port before it makes the socket again, so the old
  # file would pass for the new server.
  rm -f "$socket"
  [ "$(id -u)" -ne 0 ] || user=(setpriv --reuid=nobody --regid=nogroup --clear-groups --)
  env -i PATH=/usr/bin:/bin HOME="$dir/home" TMPDIR="$dir/tmp" XDG_CONFIG_HOME="$dir/home/.config" \
    ${ASAN_OPTIONS:+ASAN_OPTIONS="$ASAN_OPTIONS"} ${LSAN_OPTIONS:+LSAN_OPTIONS="$LSAN_OPTIONS"} \
    ${UBSAN_OPTIONS:+UBSAN_OPTIONS="$UBSAN_OPTIONS"} \
    LANG=C.UTF-8 "${user[@]}" "$app" server -o server-port="$port" -o spool-directory="$dir/spool" \
    -o log-file="$dir/log" -o log-level=debug -o server-options=no-tls > "$dir/stdout" 2>&1 &
  echo $! > "$dir/pid"
  # Whatever fails from here on, the server does not outlive this script.
  trap 'stop' ERR
  # Wait for both listeners before any sub-command: a sub-command that finds
  # no server starts a private one of its own.
  # A restart may wait seconds for the old port, and a sanitized build on a
  # busy machine starts slowly: up to 60 s, then the script fails.
  for _ in $(seq 600); do
    if [ -S "$socket" ] && (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then ready=1; break; fi
    ended "$(cat "$dir/pid")" && { echo "server died; log:" >&2; cat "$dir/log" "$dir/stdout" >&2; stop; exit 1; }
    sleep 0.1
  done
  [ "$ready" -eq 1 ] || { echo "server not listening after 60 s; log:" >&2; cat "$dir/log" >&2; stop; exit 1; }
  # Only a listing that worked tells whether the printer is missing.
  printers=$(app_env "$app" printers)
  grep -qx KT50 <<<"$printers" ||
    app_env "$app" add -d KT50 -m vantrex_kt50 -v "file://$dir/spool/out?ext=kt50"
  # Clients check printer-up-time > 0.
  sleep 1
  trap - ERR
}

case "$cmd" in
  start) app=$2; dir=$3; start ;;
  restart) app=$2; dir=$3; stop; [ ! -f "$dir/log" ] || mv -f "$dir/log" "$dir/log.previous"; start ;;
  stop) dir=$2; stop ;;
  run) app=$2; dir=$3; shift 3; app_env "$app" "$@" ;;
  *) echo "usage: $0 start|restart APP DIR | stop DIR | run APP DIR ARGS..." >&2; exit 2 ;;
esac
