# Shared by the install tests: set -euo pipefail, $build, $tmp (removed on exit), fail,
# cached (a value from the build's CMake cache) and expected_files.
set -euo pipefail
build=$(cd "$1" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "$(basename "$0"): $*" >&2; exit 1; }
cached() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
# The folder the Midi module goes in depends on the platform: lib, lib64 or a multiarch one.
expected_files() {
  sed "s|LIBDIR|$(cached CMAKE_INSTALL_LIBDIR)|" "$(dirname "$0")/installed_files.txt" | sort
}
