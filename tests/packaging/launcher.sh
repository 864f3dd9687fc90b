#!/usr/bin/env bash
# The installed launcher without a display: the player's directory, its links to the
# installed pictures across an upgrade and a removal, the player's own pictures left alone;
# then a real game on SDL's dummy video driver, which must find the installed sounds (the
# disk audio driver records what it plays) and leave log.txt in the player's directory.
# Usage: launcher.sh <staging directory> <version>
source "$(dirname "$0")/common.sh"
stage=$1
version=$2
root=$stage$prefix
work=$(mktemp -d)
pid=""
trap '[ -z "$pid" ] || kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT
before=$(cd "$root" && find . -printf '%P %s %T@\n' | LC_ALL=C sort)

# Runs a launcher in a clean environment without a display, so the game stops at once
# (status 1) after the launcher has prepared the player's directory.
start_without_display() {  # <launcher> [VAR=value...]
  local launcher=$1
  shift
  (cd "$work" && env -i PATH="$PATH" "$@" "$launcher" >"$work/out" 2>&1) &&
    fail "the game started without a display: $(cat "$work/out")"
  grep -q "^Quillfrost: No display could be opened" "$work/out" ||
    fail "unexpected output: $(cat "$work/out")"
}
all_pictures="bumba.png fons.png gameover.png invader.png player.png playersm.png rakete.png"
links_point_into() {  # <player directory> <data directory> [pictures, all by default]
  local p
  for p in ${3:-$all_pictures}; do
    [ -L "$1/$p" ] || fail "$1/$p is not a link"
    [ "$(readlink -f "$1/$p")" = "$(readlink -f "$2/$p")" ] ||
      fail "$1/$p leads to $(readlink -f "$1/$p"), not into $2"
  done
}

# Options go to the game as they are.
launcher=$root/games/quillfrost
home=$work/home
export HOME=$home
printed=$("$launcher" --version)
[ "$printed" = "Quillfrost $version" ] || fail "--version prints '$printed'"
"$launcher" --help | grep -q "^usage: quillfrost" || fail "--help prints no usage"
status=0
"$launcher" --fullscreen 2>/dev/null || status=$?
[ "$status" = 2 ] || fail "an unknown option gives status $status, not 2"

# A player's directory that cannot be written, even by root: a link into sysfs.
mkdir -p "$work/unwritable"
ln -s /sys/kernel "$work/unwritable/quillfrost"
status=0
XDG_DATA_HOME=$work/unwritable "$launcher" >"$work/out" 2>&1 || status=$?
[ "$status" != 0 ] && ! grep -q mktemp "$work/out" &&
  grep -q "^quillfrost: cannot write into $work/unwritable/quillfrost: " "$work/out" ||
  fail "an unwritable player's directory gives: $(cat "$work/out")"

# First start: the directory is made under ~/.local/share, holding links to the pictures.
rm -rf "$home"
start_without_display "$launcher" HOME="$home"
player=$home/.local/share/quillfrost
links_point_into "$player" "$root/share/quillfrost"

# The player replaces a picture with a file and another with a link of their own. Then a
# newer installation elsewhere (a copy) starts: the launcher's links follow it, the player's
# pictures stay. Once that installation is gone, the original mends the dangling links.
echo "my own background" >"$player/fons.png.new" && mv -f "$player/fons.png.new" "$player/fons.png"
echo "my own invader" >"$work/invader.png"
ln -sfn "$work/invader.png" "$player/invader.png"
cp -a "$root" "$work/newer"
start_without_display "$work/newer/games/quillfrost" HOME="$home"
[ "$(cat "$player/fons.png")" = "my own background" ] || fail "the player's fons.png was replaced"
[ "$(readlink "$player/invader.png")" = "$work/invader.png" ] || fail "the player's invader.png link was replaced"
untouched="bumba.png gameover.png player.png playersm.png rakete.png"
links_point_into "$player" "$work/newer/share/quillfrost" "$untouched"
rm -rf "$work/newer"
start_without_display "$launcher" HOME="$home"
links_point_into "$player" "$root/share/quillfrost" "$untouched"
[ "$(cat "$player/fons.png")" = "my own background" ] || fail "the player's fons.png was replaced"

# XDG_DATA_HOME is used when absolute, ignored when relative; without HOME there is no place.
start_without_display "$launcher" HOME="$home" XDG_DATA_HOME="$work/xdg"
links_point_into "$work/xdg/quillfrost" "$root/share/quillfrost"
rm -rf "$player"
start_without_display "$launcher" HOME="$home" XDG_DATA_HOME=relative/path
links_point_into "$player" "$root/share/quillfrost"
[ ! -e "$work/relative" ] || fail "a relative XDG_DATA_HOME was used"
(cd "$work" && env -i PATH="$PATH" "$launcher" >"$work/out" 2>&1) && fail "started without HOME"
grep -q "HOME is not set" "$work/out" || fail "no clear message without HOME: $(cat "$work/out")"

# A real game on the dummy video driver. Its start sound proves that the installed game found
# Media/ in the installed tree: the disk driver writes what it plays to a file.
rm -rf "$player"
audio=$work/audio.raw
(cd "$work" && exec env -i PATH="$PATH" HOME="$home" SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=disk \
  SDL_DISKAUDIOFILE="$audio" "$launcher" >"$work/out" 2>&1) &
pid=$!
sound_heard() {
  kill -0 "$pid" 2>/dev/null || fail "the game ended at start-up: $(cat "$work/out")"
  [ -s "$audio" ] && [ -n "$(tr -d '\0' <"$audio" | head -c 1)" ]
}
wait_for 60 "the start sound in $audio" sound_heard
kill -TERM "$pid"  # SDL turns it into a quit event: the game ends as if closed
status=0
wait "$pid" || status=$?
pid=""
[ "$status" = 0 ] || fail "the game ended with status $status: $(cat "$work/out")"
[ -f "$player/log.txt" ] || fail "no log.txt in the player's directory"
head -n 1 "$player/log.txt" | grep -qx $'Inserted new Invader, count : 1\r' ||
  fail "log.txt begins with '$(head -n 1 "$player/log.txt")'"

# Nothing was written into the installed tree.
after=$(cd "$root" && find . -printf '%P %s %T@\n' | LC_ALL=C sort)
[ "$before" = "$after" ] || fail "the installed tree changed: $(diff <(echo "$before") <(echo "$after"))"
echo "launcher: player's directory, links across upgrade and removal, own pictures kept, sounds found, log.txt written"
