#!/usr/bin/env bash
# Starts the real parlet binary on the offscreen platform with a home of its own, lets it come up
# and closes it with SIGTERM, which must end it with exit code 0 and leave no settings file.
# With a private JACK server and the loop client, Parlet finds one input and one output and shows
# its window; without them it would stop at the "No MIDI input devices found" message.
# Usage: parlet-smoke.sh PARLET MIDILOOP. Exit 77 (skipped) when jackd cannot run here, unless
# PARLET_REQUIRE_JACK=1 makes that a failure.
set -u
parlet=$1
midiloop=$2
skip=77
[ "${PARLET_REQUIRE_JACK:-}" = 1 ] && skip=1

work=$(mktemp -d)
server="parlet-smoke-$$"
jack_pid=""
loop_pid=""
parlet_pid=""
cleanup() {
  for pid in $parlet_pid $loop_pid $jack_pid; do
    kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  done
  rm -rf "$work"
}
trap cleanup EXIT

export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$XDG_CONFIG_HOME/Vellmark" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
export JACK_DEFAULT_SERVER="$server" JACK_NO_START_SERVER=1 QT_QPA_PLATFORM=offscreen

# Polls `condition` every 50 ms for up to `seconds`.
wait_for() {
  local seconds=$1
  shift
  for _ in $(seq $((seconds * 20))); do
    "$@" && return 0
    sleep 0.05
  done
  return 1
}

if ! command -v jackd >/dev/null; then
  echo "SKIP: jackd is not installed"
  exit $skip
fi
jackd -n "$server" --no-realtime -d dummy -r 48000 -p 256 >"$work/jackd.log" 2>&1 &
jack_pid=$!
if ! wait_for 10 jack_lsp; then
  echo "SKIP: jackd cannot run here:"
  cat "$work/jackd.log"
  exit $skip
fi
"$midiloop" >"$work/midiloop.log" 2>&1 &
loop_pid=$!
loop_ports() { jack_lsp 2>/dev/null | grep -qx "parlet-loop:out"; }
if ! wait_for 10 loop_ports; then
  echo "FAIL: the loop client did not register its ports"
  cat "$work/midiloop.log"
  exit 1
fi

"$parlet" >"$work/parlet.log" 2>&1 &
parlet_pid=$!
# Ready for SIGTERM once it catches the signal (bit 15 of SigCgt); then give it the moment it
# needs to read its settings and show the window.
catches_sigterm() {
  local mask
  mask=$(awk '/^SigCgt:/ { print $2 }' "/proc/$parlet_pid/status" 2>/dev/null) || return 1
  [ -n "$mask" ] && (((16#$mask >> 14) & 1))
}
if ! wait_for 20 catches_sigterm; then
  echo "FAIL: parlet did not come up"
  cat "$work/parlet.log"
  exit 1
fi
sleep 0.5
if ! kill -0 "$parlet_pid" 2>/dev/null; then
  wait "$parlet_pid"
  echo "FAIL: parlet ended by itself with code $? before it was told to"
  cat "$work/parlet.log"
  exit 1
fi

kill -TERM "$parlet_pid"
ended() { ! kill -0 "$parlet_pid" 2>/dev/null; }
if ! wait_for 10 ended; then
  echo "FAIL: parlet did not end within 10 s of SIGTERM"
  exit 1
fi
wait "$parlet_pid"
status=$?
parlet_pid=""
cat "$work/parlet.log"
if [ "$status" -ne 0 ]; then
  echo "FAIL: parlet ended with code $status after SIGTERM"
  exit 1
fi
if [ -e "$XDG_CONFIG_HOME/Vellmark/parlet.ini" ]; then
  echo "FAIL: SIGTERM saved the settings"
  exit 1
fi
echo "parlet came up and ended cleanly on SIGTERM"
