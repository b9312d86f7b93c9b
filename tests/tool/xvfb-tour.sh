#!/bin/bash
# Runs the real parlet under Xvfb with a private JACK server and the loop client, presses the
# tool buttons that have keyboard accelerators, and keeps screenshots of the wait window (the
# Monitor one shows messages fed into the loop by a second korrel). Usage, from the source tree:
#   xvfb-run -a -s "-screen 0 1280x900x24" tests/tool/xvfb-tour.sh [bin-folder] [screenshot.png]
set -u
B=$(cd "${1:-build/dev/bin}" && pwd)
T=$(mktemp -d)
rm -rf $T/home $T/start; mkdir -p $T/home/.config/Vellmark $T/start $T/home/Documents
export HOME=$T/home XDG_CONFIG_HOME=$T/home/.config
export JACK_DEFAULT_SERVER=tooltour-$$
jackd -n $JACK_DEFAULT_SERVER --no-realtime -d dummy -r 48000 -p 256 >$T/jackd.log 2>&1 & JP=$!
for i in $(seq 50); do JACK_NO_START_SERVER=1 jack_lsp >/dev/null 2>&1 && break; sleep 0.1; done
$B/parlet-midiloop & LP=$!
for i in $(seq 50); do JACK_NO_START_SERVER=1 jack_lsp 2>/dev/null | grep -qx parlet-loop:out && break; sleep 0.1; done
printf 'V3\r\n 0 \r\nparlet-loop:out\r\n 0 \r\nparlet-loop:in\r\n/home/demo/My Configs/loop.ocf\r\n%s\r\n%s\r\n%s\r\n' \
  "$T/home/.config/Vellmark" "$T/home/Documents" "$T/home/Documents" > $T/home/.config/Vellmark/parlet.ini
cd $T/start
$B/parlet > $T/parlet.log 2>&1 & PP=$!
W=$(xdotool search --sync --name "^Ombrix Configuration$" | head -1)
echo "main window $W"
sleep 1
key() { xdotool windowfocus --sync "$1" 2>/dev/null; xdotool key --clearmodifiers "$2"; }
waitgone() { for i in $(seq 50); do xdotool search --onlyvisible --name "^Waiting$" >/dev/null 2>&1 || return 0; sleep 0.1; done; echo "wait window still up"; }
shot() { import -window root "$1"; echo "shot $1"; }
for k in alt+d alt+r alt+v; do
  key $W $k; sleep 0.4; shot $T/shot-$k.png; waitgone
done
# Monitor stays up until Enter; feed the loop from a second stand-in so that messages arrive.
key $W alt+m
WW=$(xdotool search --sync --name "^Waiting$" | head -1); echo "wait window $WW"
sleep 1
for n in 0 1 2 3 4 5; do
  if $B/korrel -i 0 -o $n -P -D0 2>/dev/null | grep -q "output device $n (parlet-loop:in)"; then OUT=$n; break; fi
done
echo "loop output device for the feeder: ${OUT:-none}"
$B/korrel -i 0 -o ${OUT:-0} -P -D6 > $T/feeder.log 2>&1
sleep 0.8
shot "${2:-$T/wait-window.png}"
key $WW Return; waitgone
# Advanced tab: Program and Verify Executive by their accelerators.
key $W ctrl+Tab; sleep 0.3
for k in alt+p alt+v; do key $W $k; sleep 0.4; shot $T/shot-adv-$k.png; waitgone; done
shot $T/shot-end.png
kill $PP; wait $PP 2>/dev/null
kill $LP; sleep 0.3; kill $JP; wait 2>/dev/null
echo "screenshots in $T"
