#!/usr/bin/env bash
# Builds the Debian packages with CPack into a scratch directory and checks each: the files of
# its part of an installation (below /usr), owned by root, the project's version, its section,
# and lintian without errors or warnings. The game: dependencies naming the runtime libraries
# and the font, a menu entry that starts /usr/games/quillfrost, a stripped program. The
# engine's development package: simdjson's development files as dependency, static libraries
# that keep their symbols, pkg-config files below /usr.
# Usage: package.sh <build directory> <version>
source "$(dirname "$0")/common.sh"
build=$1
version=$2
# A fixed place in the build tree: the installation keeps a record per place it installs to.
out=$build/tests/packaging/package
rm -rf "$out"
mkdir -p "$out"
trap 'rm -rf "$out"' EXIT

(cd "$build" && cpack -G DEB -B "$out" >"$out/cpack.log" 2>&1) || fail "cpack failed: $(cat "$out/cpack.log")"
debs=("$out"/*.deb)
names=$(for deb in "${debs[@]}"; do dpkg-deb -f "$deb" Package; done | LC_ALL=C sort | tr '\n' ' ')
want="libquillfrost-neat-dev quillfrost "
[ ! -d "$build/bindings/python" ] || want="libquillfrost-neat-dev python3-quillfrost quillfrost "
[ "$names" = "$want" ] || fail "cpack made the packages '$names', not '$want'"

for deb in "${debs[@]}"; do
  name=$(dpkg-deb -f "$deb" Package)
  contents=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./usr/||' | LC_ALL=C sort)
  same_files "$name" "$(expected_files "$build" /usr "$name")" "$contents"
  odd_owner=$(dpkg-deb -c "$deb" | awk '$2 != "root/root"')
  [ -z "$odd_owner" ] || fail "$name: files not owned by root: $odd_owner"
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "$name is not version $version"
  dpkg-deb -x "$deb" "$out/root"
done
section() { dpkg-deb -f "$out/$1"_*.deb Section; }
depends() { dpkg-deb -f "$out/$1"_*.deb Depends; }

game_depends=$(depends quillfrost)
for lib in libsdl2-2.0-0 libpng16-16 libfreetype6 libfontconfig1 fonts-liberation2; do
  grep -Eq "(^|, )$lib( |,|$)" <<<"$game_depends" || fail "the game's Depends lacks $lib: $game_depends"
done
[ "$(section quillfrost)" = games ] || fail "the game's section is not games"
grep -qx "Exec=/usr/games/quillfrost" "$out/root/usr/share/applications/"*.desktop ||
  fail "the package's menu entry does not start /usr/games/quillfrost"
file "$out/root/usr/lib/games/quillfrost/quillfrost" | grep -q ", stripped" ||
  fail "the packaged program is not stripped"

dev_depends=$(depends libquillfrost-neat-dev)
grep -Eq "(^|, )libsimdjson-dev( |,|$)" <<<"$dev_depends" ||
  fail "the development package's Depends lacks libsimdjson-dev: $dev_depends"
[ "$(section libquillfrost-neat-dev)" = libdevel ] || fail "the development package's section is not libdevel"
symbols=$(nm -C "$out"/root/usr/lib/*/libquillfrost_neat.a)
grep -q " T qf::TNEATPopulation::CreateInitialPopulation()$" <<<"$symbols" ||
  fail "libquillfrost_neat.a lost its symbols"
for pc in "$out"/root/usr/lib/*/pkgconfig/*.pc; do
  grep -qx "prefix=/usr" "$pc" || fail "${pc##*/} does not name the prefix /usr"
done

if [[ $names == *python3-quillfrost* ]]; then
  python_depends=$(depends python3-quillfrost)
  this=$(/usr/bin/python3 -c 'import sys; print("%d.%d" % sys.version_info[:2])')
  grep -q "python3 (>= $this), python3 (<< " <<<"$python_depends" && grep -q python3-numpy <<<"$python_depends" ||
    fail "the Python package's Depends does not name Python $this and numpy: $python_depends"
  [ "$(section python3-quillfrost)" = python ] || fail "the Python package's section is not python"
fi

# Root is fine here (CI runs as root); lintian only says it prefers not to be.
status=0
lintian --fail-on error,warning "${debs[@]}" >"$out/lintian.txt" 2>&1 || status=$?
tags=$(grep -v "running with root privileges" "$out/lintian.txt" || true)
[ "$status" = 0 ] || fail "lintian reports errors or warnings:
$tags"
echo "package: $names- files, version, sections, Depends (game: $game_depends; dev: $dev_depends;"
echo "  python: ${python_depends:-none}); lintian:"
echo "${tags:-  (nothing)}"
