#!/usr/bin/env bash
# The real parlet.exe under Wine on a virtual display with the test MIDI driver, driven as a user
# would: it offers the driver's device names, remembers the chosen ones in parlet.ini, and its
# sequencer, started by remote control, plays a file whose notes the driver's log shows at their
# times. Prints the notes' lateness against the file (p50, p99, worst).
# Usage: parlet-winmidi-windows.sh PARLET_EXE PARLET_MIDI_INJECT_EXE WINE_RUN
set -u
exe=$1
inject=$2
wine_run=$3
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
export PARLET_WINE_DISPLAY=1 QT_QPA_PLATFORM=windows:fontengine=freetype
work=$(mktemp -d)
pid=
trap 'kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "$*"; exit 1; }
# Polls `$2...` every half second, up to $1 times.
poll() { for _ in $(seq 1 "$1"); do "${@:2}" && return 0; sleep 0.5; done; return 1; }
shown() { [ -n "$(xdotool search --name "^$1\$" 2>/dev/null)" ]; }
window() { # waits for the window titled $1 and activates it
  poll 60 shown "$1" || fail "no window \"$1\" came up"
  xdotool windowactivate --sync "$(xdotool search --name "^$1\$" | tail -n 1)" 2>/dev/null
  sleep 0.5
}

# 200 notes 5 to 35 ms apart: format 0, 500 ticks a quarter at 500000 us a quarter, a tick a ms.
bytes() { printf "$(printf '\\x%02x' "$@")"; }
notes=200
for ((i = 0; i < notes; ++i)); do
  bytes $((i ? 5 + i * 7 % 31 : 0)) 0x90 $((60 + i % 12)) 0x40
done >"$work/track"
bytes 0 0xff 0x2f 0 >>"$work/track"
length=$(wc -c <"$work/track")
{ printf 'MThd'; bytes 0 0 0 6 0 0 0 1 1 0xf4; printf 'MTrk'
  bytes 0 0 $((length >> 8)) $((length & 255)); cat "$work/track"; } >"$work/notes.mid"

# A Wine server left from a run on another display keeps drawing there: end it first, and wait
# for this run's to end after.
prefix=$("$wine_run" cmd /c echo %WINEPREFIX% | tr -d '\r')
WINEPREFIX=$prefix wineserver -k 2>/dev/null
trap 'kill "$pid" 2>/dev/null; WINEPREFIX=$prefix wineserver -w; rm -rf "$work"' EXIT
"$wine_run" reg add 'HKCU\Software\Wine\Drivers' /v Audio /d parletmidi /f >/dev/null ||
  fail "the driver could not be registered"
ini=$("$wine_run" winepath -u "$("$wine_run" cmd /c echo %APPDATA% | tr -d '\r')\\parlet.ini")
rm -f "$ini"
export PARLET_WINMIDI_INPUTS='Keys A|parlet-loop:out' PARLET_WINMIDI_OUTPUTS='Synth B|parlet-loop:in'
export PARLET_WINMIDI_LOG="Z:${work//\//\\}\\sent.log" PARLET_WINMIDI_PIPE="\\\\.\\pipe\\parlet-e2e-$$"
"$wine_run" "$exe" &
pid=$!

# Two devices on each side: the dialog asks, and the second (the loop's port) is taken.
for _ in in out; do
  window 'Select MIDI device'
  xdotool key Down Return
  sleep 1
done
window 'Parlet' # the configuration file chooser: none
xdotool key Escape
poll 20 eval '! shown Parlet' || fail "the file chooser stayed"
window 'Ombrix Configuration'
# The Sequencer button, which has no shortcut, at its place in the window.
read -r x y < <(xdotool getwindowgeometry "$(xdotool search --name '^Ombrix Configuration$' |
  tail -n 1)" | sed -n 's/.*Position: \([0-9]*\),\([0-9]*\).*/\1 \2/p')
xdotool mousemove $((x + 126)) $((y + 167)) click 1
window 'Sequencer'
xdotool key alt+a # allow remote control
sleep 1           # once the window has taken the key
"$wine_run" "$inject" "$PARLET_WINMIDI_PIPE" '1 0 CF 7F' || fail "no remote Play"
window 'Parlet' # the MIDI file chooser
xdotool type --delay 20 "Z:${work//\//\\}\\notes.mid"
xdotool key Return

sent() { cat "$work/sent.log" 2>/dev/null | grep -c ' 90 '; }
poll 60 eval '[ "$(sent)" -ge "$notes" ]'
[ "$(sent)" -eq "$notes" ] || fail "$(sent) of $notes notes went out"
# Lateness of each note against the file, from the first.
awk '/ 90 / {
       t = $1 / 1000; if (!n++) first = t; else due += 5 + (n - 1) * 7 % 31
       late = t - first - due; print late < 0 ? -late : late }' "$work/sent.log" | sort -n |
  awk '{ late[++n] = $1 }
       END { printf "lateness of %d notes: p50 %.1f ms, p99 %.1f ms, worst %.1f ms\n", n,
               late[int(n * 0.5)], late[int(n * 0.99)], late[n]
             exit late[n] > 50 }' || fail "a note went out more than 50 ms off its time"

# Exit saves the chosen devices by name.
xdotool key alt+c
sleep 1 # for the sequencer window to close
for _ in 1 2; do # a key lost by a busy Wine is pressed again
  window 'Ombrix Configuration'
  xdotool key alt+x
  poll 20 eval '! kill -0 "$pid" 2>/dev/null' && break
done
kill -0 "$pid" 2>/dev/null && fail "parlet.exe did not end on Exit"
lines=$(sed -n '2,5p' "$ini" | tr -d '\r' | paste -sd '|')
[ "$lines" = " 1 |parlet-loop:out| 1 |parlet-loop:in" ] || fail "parlet.ini holds: $lines"
