#!/usr/bin/env bash
# Builds the Debian package with CPack into a scratch directory and checks it: the same files
# as an installation (below /usr), dependencies naming the runtime libraries and the font,
# a menu entry that starts /usr/games/quillfrost, and no lintian errors.
# Usage: package.sh <build directory>
source "$(dirname "$0")/common.sh"
build=$1
# A fixed place in the build tree: the installation keeps a record per place it installs to.
out=$build/tests/packaging/package
rm -rf "$out"
mkdir -p "$out"
trap 'rm -rf "$out"' EXIT

(cd "$build" && cpack -G DEB -B "$out" >"$out/cpack.log" 2>&1) || fail "cpack failed: $(cat "$out/cpack.log")"
debs=("$out"/quillfrost_*.deb)
[ ${#debs[@]} = 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single package: $(ls "$out")"
deb=${debs[0]}

# The Python module is a package of its own.
grep -v '^lib/python3' "$expected_files" >"$out/expected-files.txt"
expected_files=$out/expected-files.txt
contents=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./usr/||' | LC_ALL=C sort)
same_files_as_expected "the package" "$contents"
odd_owner=$(dpkg-deb -c "$deb" | awk '$2 != "root/root"')
[ -z "$odd_owner" ] || fail "files not owned by root: $odd_owner"

depends=$(dpkg-deb -f "$deb" Depends)
for lib in libsdl2-2.0-0 libpng16-16 libfreetype6 libfontconfig1 fonts-liberation2; do
  grep -Eq "(^|, )$lib( |,|$)" <<<"$depends" || fail "Depends lacks $lib: $depends"
done
[ "$(dpkg-deb -f "$deb" Section)" = games ] || fail "the section is not games"

dpkg-deb -x "$deb" "$out/root"
grep -qx "Exec=/usr/games/quillfrost" "$out/root/usr/share/applications/"*.desktop ||
  fail "the package's menu entry does not start /usr/games/quillfrost"
file "$out/root/usr/lib/games/quillfrost/quillfrost" | grep -q ", stripped" ||
  fail "the packaged program is not stripped"

# Root is fine here (CI runs as root); lintian only says it prefers not to be.
status=0
lintian --fail-on error "$deb" >"$out/lintian.txt" 2>&1 || status=$?
tags=$(grep -v "running with root privileges" "$out/lintian.txt" || true)
[ "$status" = 0 ] || fail "lintian reports errors:
$tags"
echo "package: $(basename "$deb"), files, Depends ($depends), menu entry as expected; lintian:"
echo "${tags:-  (nothing)}"
