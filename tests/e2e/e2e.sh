#!/usr/bin/env bash
# Starts the game in a virtual X server, checks its window, waits for the playfield, pauses and
# resumes it with P, quits with Escape, and reads log.txt.
# Usage: e2e.sh <quillfrost executable> <data directory>
#          runs the game in a scratch copy of the data directory's pictures
#        e2e.sh --launcher <command> <player directory>
#          runs an installed launcher, which picks its own directory, from an empty scratch
#          directory, and looks for log.txt in the player directory
#
# Every step waits for the state it checks, never for a fixed time: on a busy machine the first
# frame may come seconds after the window, and a key pressed before then would pause a game
# that has drawn nothing. E2E_LIMIT (seconds, default 60) bounds each wait.
set -euo pipefail
if [ "$1" = --launcher ]; then
  game=$2 data="" logdir=$3
else
  game=$1 data=$2 logdir=""
fi
limit=${E2E_LIMIT:-60}

fail() { echo "e2e: $*" >&2; exit 1; }
work=$(mktemp -d)
pid=""
xvfb=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# Polls `command...` until it succeeds; fails after $limit seconds, with what the command last
# left in $why.
why=""
wait_for() {  # description command...
  local what=$1 deadline=$((SECONDS + limit))
  shift
  why=""
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || fail "waited ${limit} s for $what${why:+: $why}"
    sleep 0.1
  done
}

# A display of our own: the server takes the first free number itself (-displayfd), so runs
# started at the same moment, here or in another checkout, never race for one. Without
# -noreset the server resets whenever its last client leaves, and a client connecting just
# then is turned away: the polls below come and go, so the game could miss its display.
Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" \
  2>"$work/xvfb.log" &
xvfb=$!
server_ready() {
  kill -0 "$xvfb" 2>/dev/null || fail "Xvfb did not start: $(tail -n3 "$work/xvfb.log")"
  [ -s "$work/display" ]
}
wait_for "the virtual X server" server_ready
export DISPLAY=":$(head -n1 "$work/display")"

# The game runs in a directory of its own, apart from the server's files.
mkdir "$work/run"
[ -z "$data" ] || cp "$data"/*.png "$work/run"/
cd "$work/run"
# The game picks its video driver itself: with DISPLAY set, X11.
env -u SDL_VIDEODRIVER -u WAYLAND_DISPLAY SDL_AUDIODRIVER=dummy "$game" &
pid=$!

game_alive() { kill -0 "$pid" 2>/dev/null || fail "the game exited while running"; }
win=""
window_shown() {
  game_alive
  win=$(xdotool search --onlyvisible --name '^Quillfrost' 2>/dev/null | head -n1 || true)
  [ -n "$win" ] && xwininfo -id "$win" 2>/dev/null | grep -q 'Map State: IsViewable'
}
wait_for "a visible window titled Quillfrost" window_shown

geometry=$(xwininfo -id "$win")
width=$(awk '/Width:/ {print $2}' <<<"$geometry")
height=$(awk '/Height:/ {print $2}' <<<"$geometry")
left=$(awk '/Absolute upper-left X:/ {print $4}' <<<"$geometry")
top=$(awk '/Absolute upper-left Y:/ {print $4}' <<<"$geometry")
[ "$width" = 471 ] && [ "$height" = 503 ] || fail "window is ${width}x${height}, not 471x503"

# The window's icon for task bars and switchers: the game's 64-pixel icon, pixel for pixel
# (_NET_WM_ICON holds width, height, then ARGB values). Installed, its size is checked.
icon=""
[ -z "$data" ] || icon=$data/icons/quillfrost-64.png
icon_shown() {
  local have want="64, 64"
  have=$(xprop -id "$win" -notype -f _NET_WM_ICON 32c _NET_WM_ICON 2>/dev/null || true)
  have=${have#_NET_WM_ICON = }
  if [ -n "$icon" ]; then
    want=$(convert "$icon" -depth 8 rgba:- | od -An -v -tu1 | awk '
      { for (i = 1; i <= NF; ++i) v[n++] = $i }
      END { printf "64, 64"; for (i = 0; i < n; i += 4)
              printf ", %.0f", v[i + 3] * 16777216 + v[i] * 65536 + v[i + 1] * 256 + v[i + 2] }')
  else
    have=${have:0:6}
  fi
  why="_NET_WM_ICON begins '${have:0:40}'"
  [ "$have" = "$want" ]
}
wait_for "the game's icon on the window" icon_shown

# The playfield's red outline at its corners and edges, read from one capture of the screen.
outline=("35 51" "434 51" "35 450" "434 450" "235 51" "35 250")
outline_shown() {
  game_alive
  import -window root -crop "${width}x${height}+${left}+${top}" -depth 8 "rgb:$work/shot" \
    2>/dev/null || return 1
  local point x y rgb r g b
  for point in "${outline[@]}"; do
    read -r x y <<<"$point"
    rgb=$(od -An -tu1 -j $(((y * width + x) * 3)) -N3 "$work/shot")
    read -r r g b <<<"$rgb"
    if [ -z "$b" ] || [ "$r" -lt 190 ] || [ "$g" -gt 20 ] || [ "$b" -gt 20 ]; then
      why="pixel at client ($point) is ${r:-?},${g:-?},${b:-?}, not the outline's red"
      return 1
    fi
  done
}
# Keys go to the focused window; one pressed before the window has the focus is lost.
focused() {
  xdotool windowfocus "$win" 2>/dev/null || true
  [ "$(xdotool getwindowfocus 2>/dev/null)" = "$win" ]
}
press() {
  wait_for "the keyboard focus" focused
  xdotool key --clearmodifiers "$1"
}
title_is() {
  local title
  title=$(xdotool getwindowname "$win")
  why="it is '$title'"
  [ "$title" = "$1" ]
}
title_becomes() { wait_for "the title '$1'" title_is "$1"; }

# The first frames draw the playfield; pausing before them would leave the bare background.
# Until the new game runs, the title may still say paused.
wait_for "the running game's first frames" outline_shown
title_becomes "Quillfrost"
press p
title_becomes "Quillfrost [paused]"
# Paused, the view stands still with the last frame's playfield on screen.
wait_for "the playfield in the paused view" outline_shown

press p
title_becomes "Quillfrost"

press Escape
game_ended() { ! kill -0 "$pid" 2>/dev/null; }
wait_for "Escape to end the program" game_ended
status=0
wait "$pid" || status=$?
pid=""
[ "$status" = 0 ] || fail "the game exited with status $status"
[ -z "$logdir" ] || cd "$logdir"

[ -f log.txt ] || fail "no log.txt was written"
lines=$(grep -c $'\r$' log.txt || true)
[ "$lines" -ge 10 ] || fail "log.txt has $lines CR LF lines"
for i in $(seq 10); do
  sed -n "${i}p" log.txt | grep -qx $'Inserted new Invader, count : '"$i"$'\r' ||
    fail "line $i of log.txt is '$(sed -n "${i}p" log.txt)'"
done
echo "e2e: window, title, outline, pause, quit and log all as expected"
