#!/usr/bin/env bash
# run_script_test.sh: the README's first command. Starts scripts/run as a
# user does (offscreen here), waits until the console says where its
# simulated bus is, asks that bus one request over UDP, and checks that the
# console is still running a few seconds later. Then ends it.
#   VELTRA_BUILD_DIR     the tree scripts/run builds and starts (build-release)
#   VELTRA_RUN_TIMEOUT   seconds to wait for the window, building included
#                        (default 900: on a tree not built yet scripts/run
#                        builds the console first)
# Sends only to the simulated bus on 127.0.0.1.
set -euo pipefail
cd "$(dirname "$0")/../.."
scratch=$(mktemp -d)
pid=""
finish() {
  # scripts/run runs in a session of its own (setsid): its build, if one is
  # still going, ends with it.
  if [ -n "$pid" ]; then
    kill -TERM -- "-$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  fi
  rm -rf "$scratch"
}
trap finish EXIT
# HOME stays: the compiler cache is there. The console started from a build
# tree keeps its scenes beside the executable, not in HOME.
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$scratch/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

log=$scratch/stderr.log
setsid scripts/run >"$scratch/stdout.log" 2>"$log" </dev/null &
pid=$!

# The console's line about the simulated bus comes just before the window is
# shown: "veltra: simulated bus on UDP 127.0.0.1:PORT and serial line PTY".
pattern='^veltra: simulated bus on UDP 127\.0\.0\.1:\([0-9][0-9]*\) and serial line \(/dev/pts/[0-9][0-9]*\)$'
deadline=$((SECONDS + ${VELTRA_RUN_TIMEOUT:-900}))
port=""
while [ "$SECONDS" -lt "$deadline" ]; do
  port=$(sed -n "s|$pattern|\1|p" "$log")
  [ -n "$port" ] && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.2
done
if [ -z "$port" ]; then
  kill -0 "$pid" 2>/dev/null && state="still running after ${VELTRA_RUN_TIMEOUT:-900} s" || state="ended"
  echo "FAIL: scripts/run $state without the simulated bus's line; standard error:"
  tail -40 "$log"
  exit 1
fi
pty=$(sed -n "s|$pattern|\2|p" "$log")
[ -c "$pty" ] || fail "the simulated serial line $pty is not a character device"

# The simulated bus answers: the request "read the output states of module 1"
# (routed, subnet 1) that veltra-cli sends for `read-status 1`; any frame
# back (55 AA ...) will do.
reply=$(python3 - "$port" <<'PY'
import socket, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("127.0.0.1", 0))
s.settimeout(2.0)
s.sendto(bytes.fromhex("55 AA 0A 00 01 01 00 08 54 B9"), ("127.0.0.1", int(sys.argv[1])))
try:
    data, _ = s.recvfrom(512)
    print(data.hex(" ").upper())
except socket.timeout:
    print("no reply")
PY
)
[[ "$reply" == "55 AA "* ]] || fail "the simulated bus on 127.0.0.1:$port did not answer: $reply"

# Up for a while: the window was shown and the event loop runs.
sleep "${VELTRA_RUN_ALIVE_SECONDS:-3}"
kill -0 "$pid" 2>/dev/null || fail "the console ended: $(tail -20 "$log")"
# The simulator logs every request it takes to the console's standard error.
grep -q "^sim " "$log" || fail "no line of the simulator on standard error"

[ "$failures" -eq 0 ] || { echo "standard error:"; tail -40 "$log"; exit 1; }
echo "scripts/run OK: window up on the simulated bus (UDP 127.0.0.1:$port, serial line $pty)"
