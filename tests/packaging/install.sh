#!/usr/bin/env bash
# Installs the build into a staging directory, twice as an upgrade does, and checks what
# landed: the file list (the game's and the engine's development files), the modes, the menu
# entry, the metainfo and the manual page.
# Usage: install.sh <build directory> <staging directory>
source "$(dirname "$0")/common.sh"
build=$1
stage=$2
root=$stage$prefix

rm -rf "$stage"
for _ in 1 2; do
  DESTDIR=$stage cmake --install "$build" --prefix "$prefix" >/dev/null
done

packages="quillfrost libquillfrost-neat-dev"
[ ! -d "$build/bindings/python" ] || packages+=" python3-quillfrost"
expected=$(expected_files "$build" "$prefix" $packages)
same_files "the installation" "$expected" "$(files_below "$root")"

# The tree is read-only for players; only the launcher and the program are executable.
while read -r f; do
  mode=$(stat -c %a "$root/$f")
  case $f in
  games/quillfrost | lib/games/quillfrost/quillfrost) want=755 ;;
  *) want=644 ;;
  esac
  [ "$mode" = "$want" ] || fail "$f has mode $mode, not $want"
done <<<"$expected"
bad_dirs=$(find "$root" -type d ! -perm 755)
[ -z "$bad_dirs" ] || fail "directories not 755: $bad_dirs"

entry=$root/share/applications/io.github.quillfrost.quillfrost.desktop
desktop-file-validate "$entry" || fail "desktop-file-validate rejects the menu entry"
grep -qx "Exec=$prefix/games/quillfrost" "$entry" || fail "the menu entry does not start $prefix/games/quillfrost"
grep -qx "Icon=quillfrost" "$entry" || fail "the menu entry's icon is not quillfrost"
for icon in $(grep '^share/icons/' <<<"$expected"); do
  size=$(cut -d/ -f4 <<<"$icon")
  [ "$(identify -format '%wx%h' "$root/$icon")" = "$size" ] || fail "$icon is not $size"
done

# validate-tree checks the metainfo and that the menu entry it names is there.
appstreamcli validate-tree --no-net --pedantic "$root" || fail "appstreamcli rejects the metainfo"

page=$root/share/man/man6/quillfrost.6.gz
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "the manual page has warnings: $warnings"
LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" 2>/dev/null | grep -q "XDG_DATA_HOME" ||
  fail "the manual page does not render"
echo "install: $(wc -l <<<"$expected") files, modes, menu entry, icons, metainfo, manual page as expected"
