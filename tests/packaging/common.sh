# Shared by the installation tests: where the test installation lives and small checks.
# The installation is made by install.sh into $stage with the prefix /usr/local.
set -euo pipefail
# As make install and make package do: CMake makes directories under the umask.
umask 022
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
prefix=/usr/local

fail() { echo "${0##*/}: $*" >&2; exit 1; }

# Files and links below a directory, relative to it, sorted.
files_below() { (cd "$1" && find . \( -type f -o -type l \) -printf '%P\n' | LC_ALL=C sort); }

# The files a package installs below a prefix (installed-files-<package>.txt), sorted, with the
# build's library directory (lib/<multiarch> on Debian) and build type, and the place and file
# name of the Python module: Debian's python3 finds it in lib/python3/dist-packages below /usr,
# in lib/python3.X/dist-packages below another prefix.
expected_files() {  # <build directory> <prefix> <package...>
  local build=$1 prefix=$2 libdir config site ext
  shift 2
  libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:[A-Z]*=//p' "$build/CMakeCache.txt")
  config=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt" | tr '[:upper:]' '[:lower:]')
  site=$(/usr/bin/python3 -c 'import sys; print("lib/python%d.%d/dist-packages" % sys.version_info[:2])')
  [ "$prefix" != /usr ] || site=lib/python3/dist-packages
  ext=$(/usr/bin/python3 -c 'import sysconfig; print(sysconfig.get_config_var("EXT_SUFFIX"))')
  for p in "$@"; do
    sed -e "s|@LIBDIR@|$libdir|" -e "s|@CONFIG@|$config|" -e "s|@PYTHON_SITE@|$site|" \
      -e "s|@PYTHON_EXT@|$ext|" "$here/installed-files-$p.txt"
  done | LC_ALL=C sort
}

# Compares two sorted file lists and fails naming the differences.
same_files() {  # <what> <expected list> <list>
  local diff
  if ! diff=$(diff <(printf '%s\n' "$2") <(printf '%s\n' "$3")); then
    fail "$1 differs from the expected files (< missing, > unexpected):
$diff"
  fi
}

# Polls a condition (a command) every 0.1 s for up to `limit` seconds.
wait_for() {  # <limit seconds> <description> <command...>
  local limit=$1 what=$2
  shift 2
  local deadline=$((SECONDS + limit))
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || fail "gave up after ${limit} s waiting for $what"
    sleep 0.1
  done
}
