#!/usr/bin/env bash
# The engine as its users meet it: the development files installed into a staging directory
# (DESTDIR), then programs outside the tree built against them. xor/ through its own
# CMakeLists.txt (find_package(Quillfrost CONFIG)), the same source through pkg-config, and
# the README's example through pkg-config; each evolves XOR with the installed library. Then
# the README's Python example with the installed module, where the build has one.
# Usage: consumer.sh <build directory> <scratch directory> <C++ compiler> <version> <README.md>
set -euo pipefail
build=$1 work=$2 cxx=$3 version=$4 readme=$5
here=$(cd "$(dirname "$0")" && pwd)
prefix=/usr/local
fail() { echo "${0##*/}: $*" >&2; exit 1; }
rm -rf "$work"
mkdir -p "$work"
cd "$work"

DESTDIR=$work/stage cmake --install "$build" --component dev --prefix "$prefix" >install.log ||
  fail "installing the development files failed: $(cat install.log)"
root=$work/stage$prefix

# The CMake package, found in the staged prefix and nowhere else.
cmake -S "$here/xor" -B cmake-build -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$root" >configure.log 2>&1 || fail "configuring failed: $(cat configure.log)"
grep -q "^-- Quillfrost $version from $root/" configure.log ||
  fail "not Quillfrost $version from $root: $(grep Quillfrost configure.log)"
cmake --build cmake-build >build.log 2>&1 || fail "building failed: $(cat build.log)"
cmake_out=$(cmake-build/xor cmake.json) || fail "the CMake-built program: $cmake_out"

# pkg-config, with the staging directory as the root the installed paths lie below.
export PKG_CONFIG_PATH=$root/$(cd "$root" && dirname "$(find . -name quillfrost-neat.pc)")
export PKG_CONFIG_SYSROOT_DIR=$work/stage
for module in quillfrost-neat quillfrost-neat-io; do
  [ "$(pkg-config --modversion $module)" = "$version" ] || fail "$module is not version $version"
done
# shellcheck disable=SC2046  # the flags are words
"$cxx" -std=c++20 -O2 -Wall -Wextra -Wpedantic -Werror "$here/xor/main.cpp" -o xor-pkgconfig \
  $(pkg-config --cflags --libs quillfrost-neat-io) 2>pkgconfig.log ||
  fail "building through pkg-config failed: $(cat pkgconfig.log)"
pkgconfig_out=$(./xor-pkgconfig pkgconfig.json) || fail "the pkg-config-built program: $pkgconfig_out"

# The same library, the same seed: the same run.
grep -q "^XOR solved in generation [0-9]* by a genome of [0-9]* genes; loaded back: solves$" \
  <<<"$cmake_out" || fail "unexpected result: $cmake_out"
[ "$pkgconfig_out" = "$cmake_out" ] || fail "CMake and pkg-config builds differ: $cmake_out / $pkgconfig_out"
cmp -s cmake.json pkgconfig.json || fail "the two champions' files differ"

# The README's example, as a newcomer copies it.
sed -n '/^<!-- the README example that the tests build -->$/,/^```$/p' "$readme" |
  sed '1,2d;$d' >example.cpp
[ -s example.cpp ] || fail "no example found in $readme"
# shellcheck disable=SC2046
"$cxx" -std=c++20 example.cpp -o example $(pkg-config --cflags --libs quillfrost-neat) \
  2>example.log || fail "the README's example does not build: $(cat example.log)"
example_out=$(./example) || fail "the README's example failed: $(tail -n 3 <<<"$example_out")"
echo "consumer: $cmake_out (CMake and pkg-config alike); README example: $(tail -n 1 <<<"$example_out")"

[ -d "$build/bindings/python" ] || exit 0
DESTDIR=$work/stage cmake --install "$build" --component python --prefix "$prefix" >>install.log ||
  fail "installing the Python module failed: $(cat install.log)"
sed -n '/^<!-- the README Python example that the tests run -->$/,/^```$/p' "$readme" |
  sed '1,2d;$d' >example.py
[ -s example.py ] || fail "no Python example found in $readme"
site=$(find "$root" -name __init__.py -path '*/quillfrost/*' -printf '%h')
python_out=$(env -u PYTHONPATH PYTHONPATH="${site%/quillfrost}" PYTHONDONTWRITEBYTECODE=1 \
  /usr/bin/python3 example.py 2>&1) || fail "the README's Python example failed: $(tail -n 3 <<<"$python_out")"
grep -q "^generation [0-9]*: best fitness 1[5-6]\.[0-9]*$" <<<"$(tail -n 1 <<<"$python_out")" ||
  fail "the README's Python example did not solve XOR: $(tail -n 1 <<<"$python_out")"
echo "README Python example: $(tail -n 1 <<<"$python_out")"
