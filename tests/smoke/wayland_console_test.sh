#!/usr/bin/env bash
# wayland_console_test.sh CONSOLE
# The console on a Wayland desktop (Debian's GNOME session is one): a
# headless weston, the console on it with QT_QPA_PLATFORM=wayland (Qt's
# Wayland plugin, package qt6-wayland, no fallback to X11), on the simulated
# bus. Its window must come up on the compositor (WAYLAND_DEBUG=client shows
# the requests: a toplevel with the console's title, configured by weston, a
# buffer attached), the console must stay up, and it must say nothing on
# standard error but its own lines and the simulator's: Qt's warnings about
# the platform would show there.
#
# Headless weston as root, as found on Debian 12 (weston 10): without
# XDG_RUNTIME_DIR it stops at once ("fatal: environment variable
# XDG_RUNTIME_DIR is not set"), with a folder of another mode than 0700 it
# warns. It is given a socket name of its own (--socket) so that it never
# takes or meets a desktop's wayland-0. --no-config keeps a weston.ini out,
# --idle-time=0 keeps the desktop shell from locking the screen. No --modules,
# no seat, no GPU and no other user are needed: the headless backend renders
# into memory. Weston is ready when its socket appears in XDG_RUNTIME_DIR.
set -euo pipefail
console=$1
scratch=$(mktemp -d)
weston_pid="" console_pid=""
finish() {
  local p
  for p in $console_pid $weston_pid; do
    kill "$p" 2>/dev/null || true
    wait "$p" 2>/dev/null || true
  done
  rm -rf "$scratch"
}
trap finish EXIT
command -v weston >/dev/null || { echo "FAIL: weston is not installed (scripts/setup installs it)"; exit 1; }
# A scratch HOME: the installed console copies its scene database there.
export XDG_RUNTIME_DIR=$scratch/runtime HOME=$scratch/home
mkdir -m 700 "$XDG_RUNTIME_DIR"
mkdir "$HOME"
unset XDG_DATA_HOME DISPLAY

socket=veltra-test-$$
weston --backend=headless-backend.so --socket="$socket" --no-config --idle-time=0 \
  >"$scratch/weston.log" 2>&1 &
weston_pid=$!
for _ in $(seq 100); do
  [ -S "$XDG_RUNTIME_DIR/$socket" ] && break
  kill -0 "$weston_pid" 2>/dev/null || break
  sleep 0.1
done
[ -S "$XDG_RUNTIME_DIR/$socket" ] || { echo "FAIL: weston did not start:"; cat "$scratch/weston.log"; exit 1; }

log=$scratch/console.log
QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY=$socket WAYLAND_DEBUG=client "$console" --simulate >/dev/null 2>"$log" &
console_pid=$!
for _ in $(seq 200); do
  grep -q "^veltra: simulated bus on " "$log" && break
  kill -0 "$console_pid" 2>/dev/null || break
  sleep 0.1
done

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
grep -q "^veltra: simulated bus on " "$log" || fail "the console did not come up on the simulated bus"
# Up for a while: the window was shown on the compositor and the event loop
# runs. Without the Wayland plugin, or without the compositor, Qt ends the
# program at once.
sleep "${VELTRA_WAYLAND_ALIVE_SECONDS:-3}"
kill -0 "$console_pid" 2>/dev/null || fail "the console ended"
kill -0 "$weston_pid" 2>/dev/null || fail "weston ended"
# The Wayland messages, as libwayland traces them: "[time] -> request" (sent)
# and "[time] event" (received).
trace() { grep -qE "^\[ *[0-9]+\.[0-9]+\] $1" "$log"; }
trace ' -> xdg_toplevel@[0-9]+\.set_title\("Veltra' || fail "no toplevel window titled Veltra"
trace 'xdg_surface@[0-9]+\.configure\(' || fail "weston did not configure the window"
trace ' -> wl_surface@[0-9]+\.attach\(wl_buffer@' || fail "the window was never drawn"
others=$(grep -vE '^veltra: |^sim |^\[ *[0-9]+\.[0-9]+\] ' "$log" || true)
[ -z "$others" ] || fail "warnings on standard error:"$'\n'"$others"

if [ "$failures" -ne 0 ]; then
  echo "console's standard error (without the Wayland trace):"; grep -vE '^\[ *[0-9]+\.[0-9]+\] ' "$log" || true
  echo "weston's log:"; tail -30 "$scratch/weston.log"
  exit 1
fi
echo "console under Wayland (headless weston) OK"
