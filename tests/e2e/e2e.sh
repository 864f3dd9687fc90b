#!/usr/bin/env bash
# Starts the game under Xvfb, checks its window, pauses and resumes it with P, quits with
# Escape, and reads log.txt.
# Usage: e2e.sh <quillfrost executable> <data directory>
#          runs the game in a scratch copy of the data directory's pictures
#        e2e.sh --launcher <command> <player directory>
#          runs an installed launcher, which picks its own directory, from an empty scratch
#          directory, and looks for log.txt in the player directory
set -euo pipefail
if [ "$1" = --launcher ]; then
  game=$2 data="" logdir=$3
else
  game=$1 data=$2 logdir=""
fi
if [ -z "${E2E_INNER:-}" ]; then
  E2E_INNER=1 exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi

fail() { echo "e2e: $*" >&2; exit 1; }
work=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT
[ -z "$data" ] || cp "$data"/*.png "$work"/
cd "$work"

SDL_AUDIODRIVER=dummy "$game" &
pid=$!

win=""
for _ in $(seq 100); do
  win=$(xdotool search --name '^Quillfrost' 2>/dev/null | head -n1 || true)
  [ -n "$win" ] && break
  kill -0 "$pid" 2>/dev/null || fail "the game exited at start-up"
  sleep 0.1
done
[ -n "$win" ] || fail "no window titled Quillfrost appeared"

geometry=$(xwininfo -id "$win")
width=$(awk '/Width:/ {print $2}' <<<"$geometry")
height=$(awk '/Height:/ {print $2}' <<<"$geometry")
left=$(awk '/Absolute upper-left X:/ {print $4}' <<<"$geometry")
top=$(awk '/Absolute upper-left Y:/ {print $4}' <<<"$geometry")
[ "$width" = 471 ] && [ "$height" = 503 ] || fail "window is ${width}x${height}, not 471x503"
[ "$(xdotool getwindowname "$win")" = "Quillfrost" ] || fail "title is '$(xdotool getwindowname "$win")'"

press() {
  xdotool windowfocus --sync "$win" 2>/dev/null || true
  xdotool key --clearmodifiers "$1"
}
title_becomes() {
  for _ in $(seq 50); do
    [ "$(xdotool getwindowname "$win")" = "$1" ] && return 0
    sleep 0.1
  done
  fail "title did not become '$1' (it is '$(xdotool getwindowname "$win")')"
}

press p
title_becomes "Quillfrost [paused]"

# Paused, the view stands still: the playfield's red outline is where it belongs.
sleep 0.3
pixel() {  # client x y -> "r,g,b"
  import -window root -crop "1x1+$((left + $1))+$((top + $2))" txt:- |
    sed -n '2p' | sed -E 's/.*\(([0-9.]+),([0-9.]+),([0-9.]+).*/\1,\2,\3/' | cut -d, -f1-3
}
for point in "35 51" "434 51" "35 450" "434 450" "235 51" "35 250"; do
  rgb=$(pixel $point)
  [ "${rgb%%.*}" != "" ] || fail "could not read the screen"
  r=$(cut -d, -f1 <<<"$rgb"); g=$(cut -d, -f2 <<<"$rgb"); b=$(cut -d, -f3 <<<"$rgb")
  [ "${r%.*}" -ge 190 ] && [ "${g%.*}" -le 20 ] && [ "${b%.*}" -le 20 ] ||
    fail "pixel at client ($point) is $rgb, not the outline's red"
done

press p
title_becomes "Quillfrost"

press Escape
for _ in $(seq 100); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$pid" 2>/dev/null && fail "Escape did not end the program"
wait "$pid" || fail "the game exited with an error"
[ -z "$logdir" ] || cd "$logdir"

[ -f log.txt ] || fail "no log.txt was written"
lines=$(grep -c $'\r$' log.txt || true)
[ "$lines" -ge 10 ] || fail "log.txt has $lines CR LF lines"
for i in $(seq 10); do
  sed -n "${i}p" log.txt | grep -qx $'Inserted new Invader, count : '"$i"$'\r' ||
    fail "line $i of log.txt is '$(sed -n "${i}p" log.txt)'"
done
echo "e2e: window, title, outline, pause, quit and log all as expected"
