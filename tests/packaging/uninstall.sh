#!/usr/bin/env bash
# Uninstalls the test installation: every file and directory it made goes, and a file that
# something else put into one of the shared directories stays, with the directories above it.
# Usage: uninstall.sh <build directory> <staging directory>
source "$(dirname "$0")/common.sh"
build=$1
stage=$2
[ -d "$stage" ] || fail "nothing is installed in $stage"
mkdir -p "$stage$prefix/share/applications"
echo "another program's entry" >"$stage$prefix/share/applications/other.desktop"

DESTDIR=$stage cmake -DQF_BUILD_DIR="$build" -DQF_PREFIX="$prefix" \
  -P "$here/../../packaging/uninstall.cmake" >/dev/null

left=$(cd "$stage" && find . -mindepth 1 -printf '%P\n' | LC_ALL=C sort)
want=$(printf '%s\n' usr usr/local usr/local/share usr/local/share/applications \
  usr/local/share/applications/other.desktop)
[ "$left" = "$want" ] || fail "after uninstalling, $stage holds:
$left"
rm -rf "$stage"
echo "uninstall: everything installed removed, another program's file kept"
