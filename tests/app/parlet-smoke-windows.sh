#!/usr/bin/env bash
# Starts the real parlet.exe under Wine on a virtual display. Wine here has no MIDI device, so the
# program must say so in a message box titled "Parlet" and end with exit code 0 once its OK is
# pressed (Return); its main window, had it come up, would not end on Return.
# Usage: parlet-smoke-windows.sh PARLET_EXE WINE_RUN [COMMAND...]
# COMMAND, when given, runs while the message box is shown; its failure fails the test.
set -u
exe=$1
wine_run=$2
# A window program, with no console beside it to end it unasked, carrying the UTF-8 manifest.
x86_64-w64-mingw32-objdump -p "$exe" | grep -q '(Windows GUI)' ||
  { echo "parlet.exe is not linked as a window program"; exit 1; }
grep -qa '<activeCodePage[^>]*>UTF-8</activeCodePage>' "$exe" ||
  { echo "parlet.exe carries no manifest with the UTF-8 code page"; exit 1; }
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
export PARLET_WINE_DISPLAY=1
"$wine_run" "$exe" &
pid=$!
trap 'kill "$pid" 2>/dev/null' EXIT

box=""
for _ in $(seq 1 120); do
  box=$(xdotool search --name '^Parlet$' 2>/dev/null | head -n 1)
  [ -n "$box" ] && break
  kill -0 "$pid" 2>/dev/null || { echo "parlet.exe ended before any window came up"; exit 1; }
  sleep 0.5
done
[ -n "$box" ] || { echo "no window titled Parlet came up within 60 s"; exit 1; }
if (($# > 2)) && ! "${@:3}"; then
  echo "failed while parlet.exe ran: ${*:3}"
  exit 1
fi
xdotool key --window "$box" Return
for _ in $(seq 1 40); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.5
done
if kill -0 "$pid" 2>/dev/null; then
  echo "parlet.exe was still running 20 s after Return"
  exit 1
fi
wait "$pid"
code=$?
trap - EXIT
[ "$code" -eq 0 ] || { echo "parlet.exe ended with exit code $code"; exit 1; }
