#!/usr/bin/env bash
# The program as it is started from a shell: its options, no display at all, and a log.txt
# that cannot be written.
# Usage: program.sh <quillfrost executable> <data directory> <version>
# Every wait is bounded by E2E_LIMIT seconds (default 60) and polls for its state.
set -euo pipefail
game=$1 data=$2 version=$3
limit=${E2E_LIMIT:-60}

fail() { echo "program: $*" >&2; exit 1; }
work=$(mktemp -d)
pid=""
trap '[ -z "$pid" ] || kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT

# Runs a command with its output in $work/out and $work/err, and its status in $status.
run() {
  status=0
  "$@" >"$work/out" 2>"$work/err" </dev/null || status=$?
}
outputs() { echo "status $status, out '$(cat "$work/out")', err '$(cat "$work/err")'"; }

run "$game" --version
[ "$status" = 0 ] && [ "$(cat "$work/out")" = "Quillfrost $version" ] ||
  fail "--version: $(outputs)"
run "$game" --help
[ "$status" = 0 ] && head -n1 "$work/out" | grep -q "^usage: quillfrost " ||
  fail "--help: $(outputs)"
run "$game" --fullscreen
[ "$status" = 2 ] && [ ! -s "$work/out" ] && grep -q "^usage: quillfrost " "$work/err" ||
  fail "an unknown option: $(outputs)"

# Without a display the game says so and ends, rather than play on where nobody sees it.
run env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER SDL_AUDIODRIVER=dummy \
  timeout "$limit" "$game"
[ "$status" != 124 ] || fail "without a display the game still ran after $limit s"
[ "$status" = 1 ] && grep -q "^Quillfrost: No display could be opened" "$work/err" ||
  fail "without a display: $(outputs)"

# A directory in log.txt's place stops root too. The game runs on SDL's dummy video driver;
# its start sound, which the disk audio driver writes to a file, says it is up.
mkdir "$work/run" "$work/run/log.txt"
cp "$data"/*.png "$work/run"/
audio=$work/audio.raw
(cd "$work/run" && exec env SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$audio" \
  "$game" >"$work/out" 2>"$work/err") &
pid=$!
deadline=$((SECONDS + limit))
until [ -s "$audio" ] && [ -n "$(tr -d '\0' <"$audio" | head -c 1)" ]; do
  kill -0 "$pid" 2>/dev/null || fail "the game ended at start-up: $(cat "$work/err")"
  [ "$SECONDS" -lt "$deadline" ] || fail "no start sound after $limit s"
  sleep 0.1
done
kill -TERM "$pid"  # SDL turns it into a quit event: the game ends as if closed
status=0
wait "$pid" || status=$?
pid=""
log=$(cd "$work/run" && pwd -P)/log.txt
[ "$status" = 1 ] && grep -qx "Quillfrost: Cannot write $log: Is a directory" "$work/err" ||
  fail "log.txt a directory: $(outputs)"
echo "program: --version, --help, unknown option, no display, unwritable log.txt as expected"
