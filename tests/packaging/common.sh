# Shared by the installation tests: where the test installation lives and small checks.
# The installation is made by install.sh into $stage with the prefix /usr/local.
set -euo pipefail
# As make install and make package do: CMake makes directories under the umask.
umask 022
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
prefix=/usr/local
expected_files=$here/installed-files.txt

fail() { echo "${0##*/}: $*" >&2; exit 1; }

# Files and links below a directory, relative to it, sorted.
files_below() { (cd "$1" && find . \( -type f -o -type l \) -printf '%P\n' | LC_ALL=C sort); }

# Compares a sorted file list with installed-files.txt and fails naming the differences.
same_files_as_expected() {  # <what> <list>
  local diff
  if ! diff=$(diff <(LC_ALL=C sort "$expected_files") <(printf '%s\n' "$2")); then
    fail "$1 differs from installed-files.txt (< missing, > unexpected):
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
